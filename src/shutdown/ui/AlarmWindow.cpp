#include "app/AlarmWindow.h"

#include "controls/WindowFunctions.h"
#include "controls/XpCmdButton.h"
#include "shutdown/AlarmController.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>

namespace brevant {

// The 415 × 19 progress bar: an empty track with chunks drawn at the x positions the model reports.
class AlarmWindow::Bar : public QWidget
{
public:
    explicit Bar(QWidget* parent)
        : QWidget(parent)
    {
        setObjectName(QStringLiteral("picpgb2"));
        setFixedSize(AlarmController::BarWidth, 19);
    }
    void reset()
    {
        m_chunks.clear();
        update();
    }
    void addChunk(int x)
    {
        m_chunks.append(x);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QColor(0x7a, 0x86, 0x96));
        p.setBrush(QColor(0xf4, 0xf6, 0xf9));
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x2e, 0x9d, 0x4f));
        for (int x : m_chunks)
            p.drawRoundedRect(QRectF(x, 4, 8, 12), 1.5, 1.5);
    }

private:
    QList<int> m_chunks;
};

AlarmWindow::AlarmWindow(AlarmController& alarm, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint)
    , m_bar(new Bar(this))
{
    setObjectName(QStringLiteral("frmAlarm"));
    setWindowTitle(QStringLiteral("Alarm Message"));
    auto* message =
        new QLabel(QStringLiteral("Please save all files , System will shutdown after five seconds"), this);
    message->setObjectName(QStringLiteral("Label1"));
    message->setStyleSheet(QStringLiteral("color: white; font-weight: bold"));
    auto* shutdown = new XpCmdButton(QStringLiteral("Shutdown"), this);
    shutdown->setObjectName(QStringLiteral("xpcmdbutton1"));
    auto* cancel = new XpCmdButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("xpcmdbutton2"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(shutdown);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(14);
    layout->addWidget(message);
    layout->addWidget(m_bar);
    layout->addLayout(buttons);

    connect(shutdown, &XpCmdButton::Click, &alarm, &AlarmController::pressShutdown);
    connect(cancel, &XpCmdButton::Click, &alarm, &AlarmController::pressCancel);
    connect(&alarm, &AlarmController::barReset, m_bar, [this] { m_bar->reset(); });
    connect(&alarm, &AlarmController::chunkDrawn, m_bar, [this](int x) { m_bar->addChunk(x); });
    connect(&alarm, &AlarmController::shown, this, [this] {
        show();
        SetTopMost(this, true);
        raise();
    });
    connect(&alarm, &AlarmController::hidden, this, &QWidget::hide);
    connect(&alarm, &AlarmController::unloaded, this, &QWidget::hide);
}

void AlarmWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QLinearGradient gradient(0, 0, width(), 0);
    gradient.setColorAt(0, QColor(131, 166, 244));
    gradient.setColorAt(1, QColor(33, 120, 224));
    p.fillRect(rect(), gradient);
}

} // namespace brevant
