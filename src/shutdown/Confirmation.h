#pragma once

#include <QObject>
#include <QString>

namespace brevant {

class RecordStore;
class ShutdownSequence;

// The confirmation window's behaviour. Four buttons open it, each after setting its flag: the
// Status page's Shutdown and the three record pages' clear buttons. YES does every job whose flag
// is set, in the order shutdown, program log, UPS events, closed applications; NO drops them all.
class Confirmation : public QObject
{
    Q_OBJECT

public:
    static const QString ShutdownQuestion; // "Are you sure shutdown system and ups ?"
    static const QString ClearQuestion;    // "     Are you sure clear all logs ?"

    Confirmation(ShutdownSequence& shutdown, RecordStore& records, QObject* parent = nullptr);

    void pressShutdownButton();
    void pressClearLog();
    void pressClearUps();
    void pressClearClose();

    void pressYes();
    void pressNo();
    // Unloads the window; the flags stay as they are.
    void unload();

    bool askShutdown() const { return m_askShutdown; }
    bool askClearLog() const { return m_askClearLog; }
    bool askClearUps() const { return m_askClearUps; }
    bool askClearClose() const { return m_askClearClose; }
    void resetFlags();

    bool isLoaded() const { return m_loaded; }
    QString questionText() const { return m_questionText; }

signals:
    void questionShown(const QString& text);
    // A further request while the window is loaded: it comes to the front with its question unchanged.
    void questionRaised();
    void questionUnloaded();

private:
    void show();

    ShutdownSequence& m_shutdown;
    RecordStore& m_records;
    bool m_askShutdown = false;
    bool m_askClearLog = false;
    bool m_askClearUps = false;
    bool m_askClearClose = false;
    bool m_loaded = false;
    QString m_questionText;
};

} // namespace brevant
