#include "monitor/ui/StatusPage.h"

#include "art/ArtCatalogue.h"
#include "controls/SkinPalette.h"
#include "controls/XpCmdButton.h"
#include "monitor/ui/PictureView.h"
#include "shutdown/Confirmation.h"
#include "shutdown/Countdown.h"
#include "shutdown/Readiness.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaEnum>
#include <QPainter>
#include <QVBoxLayout>

namespace brevant {

namespace {

const QString Disconnected = QStringLiteral("UPS Disconnect");

struct Layer
{
    StatusDisplay::Element element;
    art::StatusLayer picture;
    const char* description;
};

// Drawn in this order, over the scene.
constexpr Layer PipeLayers[] = {
    {StatusDisplay::ImageAC1, art::StatusLayer::AC1, QT_TRANSLATE_NOOP("StatusPage", "Mains pipe")},
    {StatusDisplay::ImageAC2, art::StatusLayer::AC2, QT_TRANSLATE_NOOP("StatusPage", "Mains pipe, flowing")},
    {StatusDisplay::ImageDC1, art::StatusLayer::DC1, QT_TRANSLATE_NOOP("StatusPage", "Battery pipe")},
    {StatusDisplay::ImageDC2, art::StatusLayer::DC2, QT_TRANSLATE_NOOP("StatusPage", "Battery pipe, pale")},
    {StatusDisplay::ImageBL1, art::StatusLayer::BL1, QT_TRANSLATE_NOOP("StatusPage", "Low battery pipe")},
    {StatusDisplay::ImageBL2, art::StatusLayer::BL2,
     QT_TRANSLATE_NOOP("StatusPage", "Low battery pipe, pale")},
};

struct StatusPicture
{
    StatusDisplay::Element element;
    art::StatusPicture picture;
    const char* description;
};

constexpr StatusPicture StatusPictures[] = {
    {StatusDisplay::ImaAlarm, art::StatusPicture::ImaAlarm, QT_TRANSLATE_NOOP("StatusPage", "Alarm")},
    {StatusDisplay::ImaSOk, art::StatusPicture::ImaSOk, QT_TRANSLATE_NOOP("StatusPage", "On battery")},
    {StatusDisplay::ImaSLow, art::StatusPicture::ImaSLow, QT_TRANSLATE_NOOP("StatusPage", "Battery low")},
};

QLabel* detailLabel(const char* name, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

// Shown with its text, or hidden when the UPS did not give the value.
void showDetail(QLabel* label, const QString& text)
{
    label->setText(text);
    label->setAccessibleName(text);
    label->setVisible(!text.isEmpty());
}

QString percent(const std::optional<double>& value, const QString& what)
{
    return value ? QStringLiteral("%1 %2 %").arg(what).arg(qRound(*value)) : QString();
}

QString elementName(StatusDisplay::Element element)
{
    return QString::fromLatin1(QMetaEnum::fromType<StatusDisplay::Element>().valueToKey(element));
}

} // namespace

// The fixed drawing under the pipe layers.
class StatusPage::Scene : public QWidget
{
public:
    explicit Scene(QWidget* parent)
        : QWidget(parent)
    {
        setObjectName(QStringLiteral("FlowScene"));
        setFixedSize(art::StatusCanvas);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.drawPixmap(0, 0,
                     art::pixmap(art::statusLayer(art::StatusLayer::Scene), size(), devicePixelRatioF()));
    }
};

StatusPage::StatusPage(Parts parts, QWidget* parent)
    : QWidget(parent)
    , m_display(parts.display)
    , m_countdown(parts.countdown)
    , m_confirmation(parts.confirmation)
    , m_scene(new Scene(this))
    , m_flow(new PictureView(QStringLiteral("Image1"), art::StatusCanvas, m_scene))
    , m_disconnected(new PictureView(QStringLiteral("ImaDisconnected"), art::StatusCanvas, m_scene))
    , m_message(new QLabel(this))
    , m_alarm(new QLabel(this))
    , m_protection(new QLabel(this))
    , m_detailsGroup(new QFrame(this))
    , m_charge(detailLabel("LblCharge", m_detailsGroup))
    , m_runtime(detailLabel("LblRuntime", m_detailsGroup))
    , m_load(detailLabel("LblLoad", m_detailsGroup))
    , m_model(detailLabel("LblModel", m_detailsGroup))
    , m_shutdown(new XpCmdButton(tr("Shutdown"), this))
{
    setObjectName(QStringLiteral("frmStatus"));
    for (const Layer& layer : PipeLayers) {
        auto* view = new PictureView(elementName(layer.element), art::StatusCanvas, m_scene);
        view->setPicture(art::statusLayer(layer.picture));
        view->setAccessibleName(tr(layer.description));
        m_elements[layer.element] = view;
    }
    // The flow frames run over the pipes; the lost link covers everything.
    m_flow->raise();
    m_flow->setAccessibleName(tr("Mains flow"));
    m_elements[StatusDisplay::Image1] = m_flow;
    m_disconnected->setPicture(art::statusLayer(art::StatusLayer::Disconnected));
    m_disconnected->setAccessibleName(tr("UPS disconnected"));
    m_disconnected->raise();

    auto* pictures = new QHBoxLayout;
    pictures->setSpacing(8);
    for (const StatusPicture& entry : StatusPictures) {
        auto* view = new PictureView(elementName(entry.element), art::StatusPictureSize, this);
        view->setPicture(art::statusPicture(entry.picture));
        view->setAccessibleName(tr(entry.description));
        pictures->addWidget(view);
        m_elements[entry.element] = view;
    }

    m_message->setObjectName(QStringLiteral("LblMessage"));
    QFont big = m_message->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    m_message->setFont(big);
    m_message->setMinimumHeight(art::StatusPictureSize.height());
    m_alarm->setObjectName(QStringLiteral("LblAlarm"));
    QFont countdown = m_alarm->font();
    countdown.setBold(true);
    m_alarm->setFont(countdown);
    m_shutdown->setObjectName(QStringLiteral("CmdShutdown"));
    m_shutdown->setMinimumWidth(96);

    m_protection->setObjectName(QStringLiteral("LblProtection"));
    m_protection->setWordWrap(true);
    m_protection->setTextFormat(Qt::PlainText);
    auto* protectionHelp = new XpCmdButton(tr("Why?"), this);
    protectionHelp->setObjectName(QStringLiteral("CmdProtectionHelp"));
    protectionHelp->setAccessibleName(tr("Why? What protects this computer"));
    connect(protectionHelp, &XpCmdButton::Click, this, &StatusPage::protectionHelpRequested);

    // Text and a one-pixel frame in the art set's colours: drawn by Qt, crisp at any scale.
    m_detailsGroup->setObjectName(QStringLiteral("UpsDetailsGroup"));
    m_detailsGroup->setAccessibleName(tr("What the UPS reports"));
    m_detailsGroup->setStyleSheet(
        QStringLiteral("QFrame#UpsDetailsGroup { background: white; border: 1px "
                       "solid %1; border-radius: 4px; } QLabel { color: %2; }")
            .arg(QColor(skinPalette::DisabledCaption).name(), QColor(skinPalette::Caption).name()));
    auto* details = new QHBoxLayout(m_detailsGroup);
    details->setContentsMargins(10, 4, 10, 4);
    details->setSpacing(18);
    for (QLabel* label : {m_charge, m_runtime, m_load, m_model})
        details->addWidget(label);
    QFont bold = m_model->font();
    bold.setBold(true);
    m_model->setFont(bold);

    auto* top = new QHBoxLayout;
    top->addWidget(m_message, 1);
    top->addLayout(pictures);
    auto* protection = new QHBoxLayout;
    protection->addWidget(m_protection, 1);
    protection->addWidget(protectionHelp);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_alarm, 1);
    bottom->addWidget(m_shutdown);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->addLayout(top);
    layout->addLayout(protection);
    layout->addStretch();
    layout->addWidget(m_scene, 0, Qt::AlignHCenter);
    layout->addWidget(m_detailsGroup, 0, Qt::AlignHCenter);
    layout->addStretch();
    layout->addLayout(bottom);

    connect(&m_display, &StatusDisplay::elementChanged, this, &StatusPage::showElement);
    connect(&m_display, &StatusDisplay::messageChanged, this, &StatusPage::showMessage);
    connect(&m_display, &StatusDisplay::flowPictureChanged, this, &StatusPage::showFlowPicture);
    connect(&m_display, &StatusDisplay::detailsChanged, this, &StatusPage::showDetails);
    connect(&m_display, &StatusDisplay::shutdownEnabledChanged, this, [this](bool enabled) {
        if (m_seen)
            m_shutdown->setEnabled(enabled);
    });
    connect(&m_countdown, &Countdown::lblAlarmChanged, this, [this](const QString& text) {
        if (m_seen)
            m_alarm->setText(text);
    });
    connect(m_shutdown, &XpCmdButton::Click, this, [this] { m_confirmation.pressShutdownButton(); });
    connect(&parts.readiness, &Readiness::verdictChanged, this, &StatusPage::showVerdict);
    showVerdict(parts.readiness.verdict());

    // Built out of sight, as the main window is loaded hidden.
    showModel();
    m_display.pauseAnimation();
    followVisibility();
}

StatusPage::~StatusPage()
{
    // The model outlives the page and animates on for whoever draws it next.
    m_display.resumeAnimation();
}

void StatusPage::followVisibility()
{
    // The whole window out of sight: its pictures are rendered again when it comes back.
    if (!window()->isVisible() || window()->isMinimized())
        art::releasePixmaps();
    const bool seen = isVisible() && !window()->isMinimized();
    if (seen == m_seen)
        return;
    m_seen = seen;
    if (seen) {
        m_display.resumeAnimation();
        showModel();
    } else {
        m_display.pauseAnimation();
    }
}

void StatusPage::showModel()
{
    const bool seen = std::exchange(m_seen, true);
    for (int e = 0; e < StatusDisplay::ElementCount; ++e)
        showElement(StatusDisplay::Element(e), m_display.isVisible(StatusDisplay::Element(e)));
    showMessage(m_display.message(), m_display.messageColor());
    showFlowPicture(m_display.flowPicture());
    m_shutdown->setEnabled(m_display.shutdownEnabled());
    m_alarm->setText(m_countdown.lblAlarm());
    showDetails(m_display.details());
    m_seen = seen;
}

void StatusPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    followVisibility();
}

void StatusPage::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    followVisibility();
}

void StatusPage::showElement(StatusDisplay::Element element, bool visible)
{
    if (!m_seen)
        return;
    if (QWidget* view = m_elements[element])
        view->setVisible(visible);
}

void StatusPage::showMessage(const QString& text, quint32 color)
{
    if (!m_seen)
        return;
    m_message->setText(text);
    m_message->setStyleSheet(QStringLiteral("color: ") + StatusDisplay::colorName(color));
    // The still mains pipe of a lost link must never read as on-line.
    m_disconnected->setVisible(text == Disconnected);
}

void StatusPage::showFlowPicture(int frame)
{
    if (!m_seen)
        return;
    m_flow->setPicture(art::flowFrame(frame));
}

void StatusPage::showDetails(const UpsDetails& details)
{
    if (!m_seen)
        return;
    showDetail(m_charge, percent(details.chargePercent, tr("Charge")));
    showDetail(m_runtime, details.runtimeSeconds ? tr("Runtime %1").arg(details.runtimeText()) : QString());
    showDetail(m_load, percent(details.loadPercent, tr("Load")));
    const QString model = QStringList{details.manufacturer, details.model}.join(u' ').trimmed();
    showDetail(m_model, model);
    m_detailsGroup->setVisible(!details.isEmpty() && !(m_charge->isHidden() && m_runtime->isHidden() &&
                                                       m_load->isHidden() && m_model->isHidden()));
}

// The verdict is our own line under the page's own texts: green when protected, red when not.
void StatusPage::showVerdict(const ReadinessVerdict& verdict)
{
    m_protection->setText(verdict.text);
    m_protection->setAccessibleName(verdict.text);
    QPalette colours = m_protection->palette();
    colours.setColor(QPalette::WindowText, verdict.isProtected ? QColor(0, 110, 0) : QColor(180, 0, 0));
    m_protection->setPalette(colours);
}

} // namespace brevant
