#pragma once

#include <QByteArray>
#include <QLibrary>
#include <QString>
#include <halvic/Halvic.h>

// Calls libHalvic the way the monitor does: loaded by its bare name (or a given path), fresh
// zeroed buffers plus a terminating zero for every exchange.
class HalvicClient
{
public:
    struct Reply
    {
        QByteArray code;
        QByteArray status; // empty unless the code said a status block can be read
        bool buffersIntact = true;

        bool answered() const
        {
            return code == HALVIC_REPLY_STATUS && status.contains(char(HALVIC_VALID_MARKER));
        }
        bool is(bool mains, bool low) const
        {
            return answered() && status.at(HALVIC_MAINS_BYTE - 1) == char(mains) &&
                   status.at(HALVIC_LOW_BATTERY_BYTE - 1) == char(low);
        }
        // The forced-shutdown byte of an answer: 1, 0 or another value ("no news").
        int forcedShutdown() const { return answered() ? status.at(HALVIC_FORCED_SHUTDOWN_BYTE - 1) : -1; }
    };
    // The reply code of a UPS that does not answer.
    static QByteArray silence() { return QByteArray(HALVIC_REPLY_CODE_SIZE, '\0'); }

    explicit HalvicClient(const QString& library = QStringLiteral("Halvic"));

    bool isLoaded() const { return m_open != nullptr; }
    QString errorString() const { return m_library.errorString(); }
    void open() const { m_open(); }
    void close() const { m_close(); }
    // The program's exit path: nothing is called after this.
    bool unload() { return m_library.unload(); }
    Reply exchange(int command) const;
    // HalvicValues into the program's buffer; "missing" when the library lacks the function and
    // "overrun" when it wrote past the buffer's terminating zero.
    QByteArray values() const;
    // Asks for UPS off until the reply code is `code`, for at most 15 s, and returns the last
    // code. Every call is a new request that waits only 20 ms for the library's worker, so a
    // reply once seen is not asked for again.
    QByteArray switchOffUntil(const QByteArray& code) const;

private:
    QLibrary m_library;
    HalvicHidHandleFunction m_open = nullptr;
    HalvicCloseHandleDeviceFunction m_close = nullptr;
    HalvicCmdOutputFunction m_output = nullptr;
    HalvicCmdInputFunction m_input = nullptr;
    HalvicValuesFunction m_values = nullptr;
};
