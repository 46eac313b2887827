#include "app/StatusWindow.h"

#include "app/PowerFlowView.h"
#include "controls/XpCmdButton.h"
#include "engine/Confirmation.h"
#include "engine/MonitorEngine.h"
#include "monitor/StatusDisplay.h"
#include "shutdown/Countdown.h"

#include <QCloseEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace brevant {

StatusWindow::StatusWindow(MonitorEngine& engine, QWidget* parent)
    : QWidget(parent)
    , m_engine(engine)
    , m_message(new QLabel(this))
    , m_alarm(new QLabel(this))
    , m_flow(new PowerFlowView(engine.display(), this))
    , m_shutdown(new XpCmdButton(tr("Shutdown"), this))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Brevant System "));
    m_message->setObjectName(QStringLiteral("LblMessage"));
    m_alarm->setObjectName(QStringLiteral("LblAlarm"));
    m_shutdown->setObjectName(QStringLiteral("CmdShutdown"));
    QFont big = m_message->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    m_message->setFont(big);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->addWidget(m_message);
    layout->addWidget(m_flow);
    layout->addWidget(m_alarm);
    layout->addWidget(m_shutdown, 0, Qt::AlignRight);

    StatusDisplay& display = engine.display();
    showMessage(display.message(), display.messageColor());
    m_shutdown->setEnabled(display.shutdownEnabled());
    connect(&display, &StatusDisplay::messageChanged, this, &StatusWindow::showMessage);
    connect(&display, &StatusDisplay::shutdownEnabledChanged, m_shutdown, &QWidget::setEnabled);
    connect(&engine.countdown(), &Countdown::lblAlarmChanged, m_alarm, &QLabel::setText);
    connect(m_shutdown, &XpCmdButton::Click, this, [this] { m_engine.confirmation().pressShutdownButton(); });
}

void StatusWindow::showMessage(const QString& text, quint32 color)
{
    m_message->setText(text);
    m_message->setStyleSheet(QStringLiteral("color: ") + StatusDisplay::colorName(color));
}

void StatusWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    emit exitRequested();
}

} // namespace brevant
