#include "config/ui/EventSettingsPage.h"

#include "config/Settings.h"
#include "config/ui/ApplyWrites.h"
#include "config/ui/PageParts.h"
#include "controls/XpCheckBox.h"
#include "controls/XpCmdButton.h"
#include "platform/MessageBoxPresenter.h"

#include <QApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

// QtGui's way of letting a synthesised key press reach the shortcuts first, as a typed one does
// (the same call QTest makes).
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k, Qt::KeyboardModifiers mods,
                                               const QString& text, bool autorep, ushort count);

namespace brevant {

const QString EventSettingsPage::ThresholdTitle = QStringLiteral("System Information");
const QString EventSettingsPage::ChargeRangeMessage =
    QStringLiteral("Please input number range between 0 and 95");
const QString EventSettingsPage::RuntimeRangeMessage =
    QStringLiteral("Please input number range between 0 and 120");

namespace {

// The controls' names on the two sub-pages.
struct PageNames
{
    const char* frame;
    const char* caption;
    const char* disable;
    const char* options;
    const char* record;
    const char* shutdown;
    const char* delayLabel;
    const char* delay;
    const char* unit;
    const char* up;
    const char* down;
    const char* apply;
    const char* help;
};

constexpr PageNames OnBatteryNames{
    "FrmUpsOnBatt",   "UPS On Battery ", "ChkOnBattE", "Frame2",   "ChkOnBattL", "ChkOnBattS",  "Label19",
    "TxtOnBattCount", "Label16",         "Command7",   "Command8", "CmdOnBatt",  "xpcmdbutton6"};
constexpr PageNames LowBatteryNames{
    "FrmUpsLowBatt",   "UPS Low Battery ", "ChkLowBattE", "Frame4",   "ChkLowBattL", "ChkLowBattS",  "Label8",
    "TxtLowBattCount", "Label7",           "Command3",    "Command4", "CmdLowBatt",  "xpcmdbutton10"};

constexpr SpinRange DelayRange{1, std::nullopt};
constexpr SpinRange ChargeRange{0, 95};
constexpr SpinRange RuntimeRange{0, 120};

// What the page shows when the file holds no delay, and what an unreadable delay stands for.
const QString DefaultDelay = QStringLiteral("2");

int checkValue(bool checked)
{
    return checked ? XpCheckBox::Checked : XpCheckBox::Clear;
}

// One press of a key, sent as if typed to the widget with the keyboard focus in the active window:
// that window's shortcuts see it first, then the widget and its parents.
void sendKeyPress(Qt::Key key)
{
    QWidget* target = QApplication::focusWidget();
    if (!target)
        target = QApplication::activeWindow();
    if (!target)
        return;
    if (qt_sendShortcutOverrideEvent(target, 0, key, Qt::NoModifier, QString(), false, 1))
        return;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &release);
}

} // namespace

EventSettingsPage::EventSettingsPage(EventSection section, EventManagerParts parts, QWidget* parent)
    : QGroupBox(parent)
    , m_section(section)
    , m_parts(std::move(parts))
{
    const PageNames& names = section == EventSection::OnBattery ? OnBatteryNames : LowBatteryNames;
    setObjectName(QLatin1String(names.frame));
    setTitle(QLatin1String(names.caption));

    // Created in the order Tab visits them.
    m_disable = named(new XpCheckBox(QStringLiteral("&Disable on all events"), this), names.disable);
    m_options = named(new QGroupBox(this), names.options);
    m_record = named(new XpCheckBox(QStringLiteral("Enable for &record logs"), m_options), names.record);
    m_shutdown = named(new XpCheckBox(QStringLiteral("Enable for &this event"), m_options), names.shutdown);
    auto* delayLabel =
        named(new QLabel(QStringLiteral("Operating System Shutdown Delay"), m_options), names.delayLabel);
    const SpinField delay(m_options, {names.down, names.delay, names.up}, DefaultDelay, DelayRange);
    m_down = delay.down;
    m_delay = delay.box;
    m_up = delay.up;
    auto* unit = named(new QLabel(QStringLiteral("Minutes"), m_options), names.unit);
    auto* apply = named(new XpCmdButton(QStringLiteral("&Apply"), this), names.apply);
    auto* help = named(new XpCmdButton(QStringLiteral("&Help"), this), names.help);

    delayLabel->setBuddy(m_delay);
    m_delay->setAccessibleName(delayLabel->text());
    m_delay->setAccessibleDescription(QStringLiteral("in minutes; the arrow keys step it"));
    m_down->setAccessibleName(QStringLiteral("One minute less"));
    m_up->setAccessibleName(QStringLiteral("One minute more"));
    delay.row->addSpacing(6);
    delay.row->addWidget(unit);
    delay.row->addStretch();
    auto* options = new QVBoxLayout(m_options);
    options->setContentsMargins(14, 10, 14, 12);
    options->setSpacing(8);
    options->addWidget(m_record);
    options->addWidget(m_shutdown);
    options->addSpacing(4);
    options->addWidget(delayLabel);
    options->addLayout(delay.row);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 12);
    layout->setSpacing(10);
    layout->addWidget(m_disable);
    layout->addWidget(m_options);
    if (section == EventSection::LowBattery)
        buildThresholds(layout);
    layout->addStretch();
    layout->addLayout(buttonRow(apply, help));

    connect(m_disable, &XpCheckBox::Click, this, &EventSettingsPage::disableClicked);
    connect(m_shutdown, &XpCheckBox::Click, this, &EventSettingsPage::shutdownClicked);
    connect(apply, &XpCmdButton::Click, this, &EventSettingsPage::apply);
    if (section == EventSection::LowBattery)
        connect(help, &XpCmdButton::Click, this, [] { sendKeyPress(Qt::Key_F1); });
    else
        connect(help, &XpCmdButton::Click, this, &EventSettingsPage::helpRequested);
}

void EventSettingsPage::load()
{
    // The boxes show what the monitor does with the values, which for "0" and "1" are the values.
    const Settings& settings = m_parts.settings;
    m_disable->setValue(checkValue(settings.eventDisabled(m_section)));
    m_record->setValue(checkValue(settings.recordLog(m_section)));
    m_shutdown->setValue(checkValue(settings.shutdownOnEvent(m_section)));
    m_delay->setText(settings.read(key::Delaytime(m_section)));

    const bool disabled = m_disable->value() == XpCheckBox::Checked;
    m_options->setEnabled(!disabled);
    // A lock left by an unapplied "Disable on all events" goes with the reload.
    m_record->setEnabled(!disabled);
    m_shutdown->setEnabled(!disabled);
    setDelayEnabled(m_shutdown->value() == XpCheckBox::Checked);
    if (m_thresholds)
        loadThresholds();
}

void EventSettingsPage::buildThresholds(QVBoxLayout* layout)
{
    m_thresholds =
        named(new QGroupBox(QStringLiteral("Battery low at my own threshold"), this), "FrameOwnLow");
    auto* rows = new QVBoxLayout(m_thresholds);
    rows->setContentsMargins(14, 10, 14, 12);
    rows->setSpacing(8);
    struct Row
    {
        const char* label;
        SpinField::Names names;
        SpinRange range;
        const char* unit;
        QLineEdit*& box;
        QWidget*& row;
    };
    const Row thresholds[] = {
        {"Charge at or below",
         {"CmdLowChargeDown", "TxtLowCharge", "CmdLowChargeUp"},
         ChargeRange,
         "%",
         m_lowCharge,
         m_chargeRow},
        {"Runtime at or below",
         {"CmdLowRuntimeDown", "TxtLowRuntime", "CmdLowRuntimeUp"},
         RuntimeRange,
         "Minutes",
         m_lowRuntime,
         m_runtimeRow},
    };
    for (const Row& r : thresholds) {
        r.row = new QWidget(m_thresholds);
        auto* line = new QHBoxLayout(r.row);
        line->setContentsMargins(0, 0, 0, 0);
        auto* label = new QLabel(QLatin1String(r.label), r.row);
        label->setMinimumWidth(130);
        line->addWidget(label);
        const SpinField field(r.row, r.names, QStringLiteral("0"), r.range);
        r.box = field.box;
        label->setBuddy(r.box);
        r.box->setAccessibleName(label->text());
        r.box->setPlaceholderText(QStringLiteral("off"));
        r.box->setAccessibleDescription(QStringLiteral("0 or empty: off; the arrow keys step it"));
        field.down->setAccessibleName(QStringLiteral("%1, one less").arg(label->text()));
        field.up->setAccessibleName(QStringLiteral("%1, one more").arg(label->text()));
        line->addLayout(field.row);
        line->addSpacing(6);
        line->addWidget(new QLabel(QLatin1String(r.unit), r.row));
        line->addStretch();
        rows->addWidget(r.row);
    }
    m_thresholdReason = named(new QLabel(m_thresholds), "LblOwnLowReason");
    m_thresholdReason->setWordWrap(true);
    rows->addWidget(m_thresholdReason);
    layout->addWidget(m_thresholds);
}

// Rows for values the UPS does not report are greyed and put away, with the reason in their
// place: a threshold there would never act, and the page keeps its room.
void EventSettingsPage::loadThresholds()
{
    const Settings& settings = m_parts.settings;
    m_lowCharge->setText(settings.read(key::BatteryLowCharge));
    m_lowRuntime->setText(settings.read(key::BatteryLowRuntime));
    const UpsDetails details = m_upsDetails ? m_upsDetails() : UpsDetails{};
    const bool known = !m_upsDetails;
    const bool charge = known || details.chargePercent.has_value();
    const bool runtime = known || details.runtimeSeconds.has_value();
    m_chargeRow->setEnabled(charge);
    m_chargeRow->setVisible(charge);
    m_runtimeRow->setEnabled(runtime);
    m_runtimeRow->setVisible(runtime);
    QString reason;
    if (!charge && !runtime)
        reason = QStringLiteral("The UPS reports neither its charge nor its runtime (a serial UPS never "
                                "does): only its own battery-low signal counts.");
    else if (!charge)
        reason = QStringLiteral("The UPS does not report its charge.");
    else if (!runtime)
        reason = QStringLiteral("The UPS does not report its runtime.");
    m_thresholdReason->setText(reason);
    m_thresholdReason->setVisible(!reason.isEmpty());
}

// A threshold out of range, or text without a number, is refused: the box takes the stored value
// back and the user is told. An empty box turns the threshold off.
void EventSettingsPage::applyThresholds(ApplyWrites& writes)
{
    struct Threshold
    {
        QLineEdit* box;
        IniKey key;
        SpinRange range;
        const QString& message;
    };
    for (const Threshold& t :
         {Threshold{m_lowCharge, key::BatteryLowCharge, ChargeRange, ChargeRangeMessage},
          Threshold{m_lowRuntime, key::BatteryLowRuntime, RuntimeRange, RuntimeRangeMessage}}) {
        if (!t.box->isEnabled())
            continue;
        const QString text = t.box->text().trimmed();
        const std::optional<double> number = boxNumber(text);
        if (!text.isEmpty() && (!number || *number < t.range.lowest || *number > *t.range.highest)) {
            t.box->setText(m_parts.settings.read(t.key));
            m_parts.messages.showMessage(MessageBoxPresenter::Icon::Critical, ThresholdTitle, t.message);
            continue;
        }
        writes.write(t.key, number ? QString::number(qRound(*number)) : QString());
    }
}

// The check boxes raise Click before they change: the handlers act on the value the click gives.
void EventSettingsPage::disableClicked()
{
    const bool becomesChecked = m_disable->value() == XpCheckBox::Clear;
    m_options->setEnabled(!becomesChecked);
    m_record->setEnabled(!becomesChecked);
    m_shutdown->setEnabled(!becomesChecked);
    if (becomesChecked) {
        m_record->setValue(XpCheckBox::Clear);
        m_shutdown->setValue(XpCheckBox::Clear);
        m_down->setEnabled(false);
        m_up->setEnabled(false);
    }
}

void EventSettingsPage::shutdownClicked()
{
    setDelayEnabled(m_shutdown->value() == XpCheckBox::Clear);
}

void EventSettingsPage::setDelayEnabled(bool enabled)
{
    m_delay->setEnabled(enabled);
    m_down->setEnabled(enabled);
    m_up->setEnabled(enabled);
}

void EventSettingsPage::apply()
{
    ApplyWrites writes(m_parts.settings, m_parts.messages);
    writes.write(key::Disableevent(m_section), QString::number(m_disable->value()));
    writes.write(key::Shutdown(m_section), QString::number(m_shutdown->value()));
    writes.write(key::Recordlog(m_section), QString::number(m_record->value()));
    writes.write(key::Delaytime(m_section), delayToWrite());
    if (m_thresholds)
        applyThresholds(writes);
    writes.reportFailure();
    if (m_parts.settingsApplied)
        m_parts.settingsApplied();
}

// The delay is written as typed ("0.5" stays "0.5"). A box that holds no number (emptied, or left
// at "." while typing) would write a delay nobody can read: the box takes the file's delay back
// instead, or the page's default 2 minutes when the file holds none either.
QString EventSettingsPage::delayToWrite()
{
    if (!boxNumber(m_delay->text())) {
        const QString stored = m_parts.settings.read(key::Delaytime(m_section));
        m_delay->setText(boxNumber(stored) ? stored : DefaultDelay);
    }
    return m_delay->text();
}

} // namespace brevant
