#pragma once

#include <QByteArray>
#include <QLibrary>
#include <QString>

// Calls libHalvic the way the monitor does: loaded by its bare name (or a given path), fresh
// zeroed buffers of 2, 50 and 6 bytes plus a terminating zero for every exchange.
class HalvicClient
{
public:
    static constexpr int StatusQuery = 1;
    static constexpr int SwitchOff = 2;

    struct Reply
    {
        QByteArray code;   // 2 bytes
        QByteArray status; // 50 bytes, empty unless the code was "T1"
        bool buffersIntact = true;

        bool answered() const { return code == "T1" && status.contains('T'); }
        bool onMains() const { return status.at(2) == 1; }
        bool batteryLow() const { return status.at(3) == 1; }
    };

    explicit HalvicClient(const QString& library = QStringLiteral("Halvic"));

    bool isLoaded() const { return m_open != nullptr; }
    QString errorString() const { return m_library.errorString(); }
    // The file the dynamic loader actually picked.
    QString loadedFrom() const;

    void open() const { m_open(); }
    void close() const { m_close(); }
    Reply exchange(int command) const;

private:
    using Procedure = void (*)();
    using Output = void (*)(int, int, char*);
    using Input = void (*)(char*, char*);

    QLibrary m_library;
    Procedure m_open = nullptr;
    Procedure m_close = nullptr;
    Output m_output = nullptr;
    Input m_input = nullptr;
};
