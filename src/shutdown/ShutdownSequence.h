#pragma once

#include <QObject>
#include <QString>
#include <memory>

namespace brevant {

class AlarmController;
class ProcessStarter;
class RecordStore;
class Scheduler;
class SerialLink;
class Settings;
class SystemPowerOff;
class Timer;
class UsbLink;
class WindowsModel;

// The last stage of every shutdown, and the confirmation window's logic.
//
// `RequestShutdown` arms the watcher `Timer3` and either starts close.exe or writes the handshake
// `[Schema] ShutDown` = 1 itself; the watcher resets the handshake, switches the UPS off through
// the link in use and shuts the system down. The handshake lives in the settings file so that
// close.exe can give it once it has saved the user's work.
class ShutdownSequence : public QObject
{
    Q_OBJECT

public:
    static const QString ShutdownQuestion; // "Are you sure shutdown system and ups ?"
    static const QString ClearQuestion;    // "     Are you sure clear all logs ?"

    struct Parts
    {
        Scheduler& scheduler;
        Settings& settings;
        UsbLink& usb;
        SerialLink& serial;
        RecordStore& records;
        SystemPowerOff& powerOff;
        ProcessStarter& processStarter;
        AlarmController& alarm;
        WindowsModel& windows;
        QString closeProgram; // close.exe in the application directory
    };

    explicit ShutdownSequence(Parts parts, QObject* parent = nullptr);
    ~ShutdownSequence() override;

    // The four buttons that open the confirmation window, each after setting its flag.
    void pressShutdownButton();
    void pressClearLog();
    void pressClearUps();
    void pressClearClose();

    void pressYes();
    void pressNo();

    enum class Origin
    {
        ConfirmationWindow,
        AlarmWindow
    };
    void RequestShutdown(Origin origin);

    bool askShutdown() const { return m_askShutdown; }
    bool askClearLog() const { return m_askClearLog; }
    bool askClearUps() const { return m_askClearUps; }
    bool askClearClose() const { return m_askClearClose; }
    void resetFlags();

    bool questionLoaded() const { return m_questionLoaded; }
    QString questionText() const { return m_questionText; }
    bool watcherArmed() const;

signals:
    void questionShown(const QString& text);
    void questionUnloaded();

private:
    void showQuestion();
    void unloadQuestion();
    void Timer3_Timer();
    void switchUpsOff();

    Parts m_parts;
    bool m_askShutdown = false;
    bool m_askClearLog = false;
    bool m_askClearUps = false;
    bool m_askClearClose = false;
    bool m_questionLoaded = false;
    QString m_questionText;
    std::unique_ptr<Timer> m_timer3;
};

} // namespace brevant
