#pragma once

// For tests run with the modem-line shim preloaded (see modemshim.c): a pseudo-terminal whose
// slave stands in for a serial device, and the shim's state file, in which the test sets the
// input lines and reads back the output lines. No real serial device is ever opened.

#include <QFile>
#include <QMap>
#include <QString>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace testsupport {

class PseudoTerminal
{
public:
    PseudoTerminal()
        : m_master(posix_openpt(O_RDWR | O_NOCTTY))
    {
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0)
            m_slave = QString::fromLocal8Bit(ptsname(m_master));
    }
    ~PseudoTerminal()
    {
        if (m_master >= 0)
            ::close(m_master);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // The device path of the slave; empty when no pseudo-terminal could be made.
    const QString& slave() const { return m_slave; }

private:
    int m_master;
    QString m_slave;
};

class ModemLines
{
public:
    // True when the shim is loaded into this process.
    static bool shimActive() { return dlsym(RTLD_DEFAULT, "brevant_modemshim_active") != nullptr; }

    // Points the shim at `stateFile` (BREVANT_MODEMSHIM_STATE) with every line low.
    explicit ModemLines(QString stateFile)
        : m_file(std::move(stateFile))
    {
        qputenv("BREVANT_MODEMSHIM_STATE", QFile::encodeName(m_file));
        reset();
    }

    void reset()
    {
        write({{QStringLiteral("CTS"), 0},
               {QStringLiteral("DCD"), 0},
               {QStringLiteral("DTR"), 0},
               {QStringLiteral("RTS"), 0}});
    }

    void setInputs(bool cts, bool dcd)
    {
        QMap<QString, int> lines = read();
        lines[QStringLiteral("CTS")] = cts;
        lines[QStringLiteral("DCD")] = dcd;
        write(lines);
    }

    // 1 or 0 for a line the file holds, -1 for one it does not.
    int line(const QString& name) const { return read().value(name, -1); }

private:
    QMap<QString, int> read() const
    {
        QMap<QString, int> lines;
        QFile file(m_file);
        if (!file.open(QIODevice::ReadOnly))
            return lines;
        for (const QByteArray& text : file.readAll().split('\n')) {
            const QList<QByteArray> parts = text.split('=');
            if (parts.size() == 2)
                lines.insert(QString::fromLatin1(parts[0]), parts[1].toInt());
        }
        return lines;
    }

    void write(const QMap<QString, int>& lines) const
    {
        QFile file(m_file);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write the modem-line state file %s", qPrintable(m_file));
        for (auto it = lines.cbegin(); it != lines.cend(); ++it)
            file.write(QStringLiteral("%1=%2\n").arg(it.key()).arg(it.value()).toLatin1());
    }

    QString m_file;
};

} // namespace testsupport
