#pragma once

#include <QWidget>

class QLabel;

namespace brevant {

class MonitorEngine;
class PowerFlowView;
class XpCmdButton;

// The main window as far as it exists today: the Status page. It draws the engine's status
// model (text, colour, power flow, countdown, Shutdown button) and nothing else.
class StatusWindow : public QWidget
{
    Q_OBJECT

public:
    explicit StatusWindow(MonitorEngine& engine, QWidget* parent = nullptr);

signals:
    // The window's close button ends the program, as the title bar's close image does.
    void exitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showMessage(const QString& text, quint32 color);

    MonitorEngine& m_engine;
    QLabel* m_message;
    QLabel* m_alarm;
    PowerFlowView* m_flow;
    XpCmdButton* m_shutdown;
};

} // namespace brevant
