#include "config/ui/OsEventLogPage.h"

#include "config/Settings.h"
#include "config/ValueConversion.h"
#include "config/ui/ApplyWrites.h"
#include "config/ui/PageParts.h"
#include "controls/XpCheckBox.h"
#include "controls/XpCmdButton.h"
#include "link/SerialLink.h"
#include "platform/MessageBoxPresenter.h"
#include "platform/qt/QtSerialPort.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyledItemDelegate>
#include <cmath>

namespace brevant {

const QString OsEventLogPage::RangeMessage = QStringLiteral("Please input number range between 10 and 1000");
const QString OsEventLogPage::NumberMessage = QStringLiteral("Please input number ");
const QString OsEventLogPage::MessageTitle = QStringLiteral("System Information");

namespace {

constexpr SpinRange LimitRange{10, 1000};
// What a limit that no one can read stands for (the largest limit).
const QString UnreadableLimit = QStringLiteral("1000");
// The port list; an entry's position is the value of `[Mscomm] ComboPort`.
const QStringList PortNames{QStringLiteral("USB"), QStringLiteral("COM1"), QStringLiteral("COM2"),
                            QStringLiteral("COM3"), QStringLiteral("COM4")};
constexpr int DeviceRole = Qt::UserRole;

struct LimitRow
{
    const char* label;
    const char* caption;
    const char* box;
    const char* down;
    const char* up;
    const char* what; // for the spin buttons' accessible names
    RecordList list;
};
constexpr LimitRow LimitRows[] = {
    {"Label12", "Limit log record count", "TextLimitLog", "Command2", "Command6", "log record limit",
     RecordList::Log},
    {"Label13", "Limit event record count", "TextLimitEvent", "Command9", "Command10", "event record limit",
     RecordList::Event},
    {"Label14", "Limit closed applications  record count", "TextLimitClose", "Command11", "Command12",
     "closed applications record limit", RecordList::Close},
};

QString portDevice(int position)
{
    return position == 0 ? QStringLiteral("through the Halvic library") : QtSerialPort::deviceName(position);
}

// The port list's entries with the device each name stands for at the right, in grey: the
// entries' own texts stay the names that Apply compares.
class PortDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        painter->save();
        painter->setPen(
            option.palette.color(selected ? QPalette::HighlightedText : QPalette::PlaceholderText));
        painter->drawText(option.rect.adjusted(0, 0, -Padding, 0), Qt::AlignRight | Qt::AlignVCenter,
                          index.data(DeviceRole).toString());
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.rwidth() +=
            option.fontMetrics.horizontalAdvance(index.data(DeviceRole).toString()) + 3 * Padding;
        return size;
    }

private:
    static constexpr int Padding = 8;
};

} // namespace

OsEventLogPage::OsEventLogPage(EventManagerParts parts, QWidget* parent)
    : QGroupBox(QStringLiteral("OS Event Log"), parent)
    , m_parts(std::move(parts))
{
    setObjectName(QStringLiteral("FrmOSLog"));
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);

    // Created in the order Tab visits them.
    auto* portLabel = named(new QLabel(QStringLiteral("Communication port setting"), this), "Label18");
    m_port = named(new QComboBox(this), "ComboPort");
    m_port->setItemDelegate(new PortDelegate(m_port));
    m_port->setAccessibleName(portLabel->text());
    m_port->setMinimumContentsLength(6);
    portLabel->setBuddy(m_port);
    m_portDevice = named(new QLabel(this), "LblPortDevice");
    m_portDevice->setForegroundRole(QPalette::PlaceholderText);
    auto* portRow = new QHBoxLayout;
    portRow->setSpacing(10);
    portRow->addWidget(m_port);
    portRow->addWidget(m_portDevice, 1);
    grid->addWidget(portLabel, 0, 0);
    grid->addLayout(portRow, 0, 1);

    for (const LimitRow& row : LimitRows) {
        auto* label = named(new QLabel(QLatin1String(row.caption), this), row.label);
        label->setTextFormat(Qt::PlainText); // keeps the caption's two blanks
        const SpinField limit(this, {row.down, row.box, row.up}, QStringLiteral("1000"), LimitRange);
        label->setBuddy(limit.box);
        limit.box->setAccessibleName(label->text().simplified());
        limit.box->setAccessibleDescription(QStringLiteral("10 to 1000; the arrow keys step it"));
        limit.down->setAccessibleName(QStringLiteral("Lower the %1").arg(QLatin1String(row.what)));
        limit.up->setAccessibleName(QStringLiteral("Raise the %1").arg(QLatin1String(row.what)));
        limit.row->addStretch();
        m_limits.append({limit.box, key::limit(row.list)});
        m_limitSpins << limit.down << limit.up;
        const int at = grid->rowCount();
        grid->addWidget(label, at, 0);
        grid->addLayout(limit.row, at, 1);
    }
    grid->setColumnStretch(1, 1);

    m_disable = named(new XpCheckBox(QStringLiteral("&Disable on all events"), this), "ChkOSDisable");
    m_save = named(new XpCheckBox(QStringLiteral("&Save all apllications before shutdown of system"), this),
                   "ChkOSSave");
    auto* apply = named(new XpCmdButton(QStringLiteral("&Apply"), this), "Command5");
    auto* help = named(new XpCmdButton(QStringLiteral("&Help"), this), "xpcmdbutton11");

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 12);
    layout->setSpacing(8);
    layout->addLayout(grid);
    layout->addSpacing(4);
    layout->addWidget(m_disable);
    layout->addWidget(m_save);
    layout->addStretch();
    layout->addLayout(buttonRow(apply, help));

    connect(m_port, &QComboBox::currentIndexChanged, this, &OsEventLogPage::showPortDevice);
    connect(m_disable, &XpCheckBox::Click, this, &OsEventLogPage::disableClicked);
    connect(apply, &XpCmdButton::Click, this, &OsEventLogPage::apply);
    connect(help, &XpCmdButton::Click, this, &OsEventLogPage::helpRequested);
}

void OsEventLogPage::load()
{
    const Settings& settings = m_parts.settings;
    m_port->clear();
    for (int position = 0; position < PortNames.size(); ++position) {
        m_port->addItem(PortNames.at(position), portDevice(position));
        m_port->setItemData(position, portDevice(position), Qt::ToolTipRole);
    }
    m_port->view()->setMinimumWidth(m_port->view()->sizeHintForColumn(0));
    // As the link reads the setting: no number, or one below 1, is USB. A port beyond COM4 is
    // none of the entries, and Apply then leaves the setting as it is unless one is chosen.
    const int position = qMax(conversion::wholeNumber(settings.read(key::ComboPort)).value_or(0), 0);
    m_port->setCurrentIndex(position < PortNames.size() ? position : -1);
    showPortDevice();

    // The boxes show what the program does with the values, which for "0" and "1" are the values.
    const bool disabled = conversion::wholeNumber(settings.read(key::OsDisableevent)).value_or(0) != 0;
    m_disable->setValue(disabled ? XpCheckBox::Checked : XpCheckBox::Clear);
    m_save->setValue(settings.saveApplications() ? XpCheckBox::Checked : XpCheckBox::Clear);
    for (const Limit& limit : std::as_const(m_limits))
        limit.box->setText(settings.read(limit.key));
}

void OsEventLogPage::showPortDevice()
{
    const int position = m_port->currentIndex();
    m_portDevice->setText(position < 0 ? QString() : portDevice(position));
    m_port->setAccessibleDescription(m_portDevice->text());
}

// The box raises Click before it changes: the handler acts on the value the click gives.
void OsEventLogPage::disableClicked()
{
    const bool becomesChecked = m_disable->value() == XpCheckBox::Clear;
    m_save->setEnabled(!becomesChecked);
    if (becomesChecked)
        m_save->setValue(XpCheckBox::Clear);
    for (const Limit& limit : std::as_const(m_limits))
        limit.box->setEnabled(!becomesChecked);
    for (XpCmdButton* spin : std::as_const(m_limitSpins))
        spin->setEnabled(!becomesChecked);
}

void OsEventLogPage::apply()
{
    for (const Limit& limit : std::as_const(m_limits))
        checkLimit(limit);

    ApplyWrites writes(m_parts.settings, m_parts.messages);
    for (auto limit = m_limits.crbegin(); limit != m_limits.crend(); ++limit) // closed apps, events, log
        writes.write(limit->key, limitToWrite(*limit));
    writes.write(key::Saveapllication, QString::number(m_save->value()));
    writes.write(key::OsDisableevent, QString::number(m_disable->value()));
    const qsizetype position = PortNames.indexOf(m_port->currentText());
    if (position >= 0)
        writes.write(key::ComboPort, QString::number(position));
    writes.reportFailure();

    m_parts.applyLinkChoice();
    if (m_parts.settings.link().serial && !m_parts.serial.isOpen())
        tellPortNotOpened();
}

// A limit out of range, or text without a number, is refused: the box takes the stored limit back
// and the user is told. An empty box is refused with its own message.
void OsEventLogPage::checkLimit(const Limit& limit)
{
    MessageBoxPresenter& messages = m_parts.messages;
    const QString stored = m_parts.settings.read(limit.key);
    if (!limit.box->text().isEmpty()) {
        const std::optional<double> number = boxNumber(limit.box->text());
        if (!number || *number < LimitRange.lowest || *number > *LimitRange.highest) {
            limit.box->setText(stored);
            messages.showMessage(MessageBoxPresenter::Icon::Critical, MessageTitle, RangeMessage);
        }
    }
    if (limit.box->text().isEmpty()) {
        messages.showMessage(MessageBoxPresenter::Icon::Critical, MessageTitle, NumberMessage);
        limit.box->setText(stored);
    }
}

// The whole part of the box's number. A stored limit that no one can read, put back by the check,
// is replaced by the limit it stands for.
QString OsEventLogPage::limitToWrite(const Limit& limit)
{
    const std::optional<double> number = boxNumber(limit.box->text());
    if (!number) {
        limit.box->setText(UnreadableLimit);
        return UnreadableLimit;
    }
    return QString::number(std::trunc(*number), 'f', 0);
}

void OsEventLogPage::tellPortNotOpened()
{
    m_parts.messages.showMessage(
        MessageBoxPresenter::Icon::Warning, MessageTitle,
        QStringLiteral("The UPS port could not be opened.\n\n%1\n\nThe port is saved as your choice: Brevant "
                       "tries it again when you press Apply and at its next start. Until it is open, "
                       "Brevant cannot tell when the mains fails.")
            .arg(m_parts.serial.lastOpen().error()));
}

} // namespace brevant
