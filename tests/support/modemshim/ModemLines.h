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

    void reset() { write({{"CTS", 0}, {"DCD", 0}, {"DTR", 0}, {"RTS", 0}}); }

    void setInputs(bool cts, bool dcd)
    {
        QMap<QByteArray, int> lines = read();
        lines["CTS"] = cts;
        lines["DCD"] = dcd;
        write(lines);
    }

    // 1 or 0 for a line the file holds, -1 for one it does not.
    int line(const QString& name) const { return read().value(name.toLatin1(), -1); }

private:
    QMap<QByteArray, int> read() const
    {
        QMap<QByteArray, int> lines;
        QFile file(m_file);
        for (const QByteArray& text :
             file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>()) {
            if (const qsizetype equals = text.indexOf('='); equals > 0)
                lines.insert(text.left(equals), text.mid(equals + 1).toInt());
        }
        return lines;
    }

    void write(const QMap<QByteArray, int>& lines) const
    {
        QByteArray text;
        for (auto it = lines.cbegin(); it != lines.cend(); ++it)
            text += it.key() + '=' + QByteArray::number(it.value()) + '\n';
        QFile file(m_file);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
            qFatal("cannot write the modem-line state file %s", qPrintable(m_file));
    }

    QString m_file;
};

} // namespace testsupport
