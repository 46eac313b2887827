#pragma once

#include <QStringList>
#include <QtGlobal>
#include <algorithm>

// Collects warnings for the duration of a test, and passes them on.
class WarningLog
{
public:
    WarningLog() { s_previous = qInstallMessageHandler(&WarningLog::handle); }
    ~WarningLog()
    {
        qInstallMessageHandler(s_previous);
        s_messages.clear();
    }
    WarningLog(const WarningLog&) = delete;
    WarningLog& operator=(const WarningLog&) = delete;

    static qsizetype count(const QString& text)
    {
        return std::count_if(s_messages.cbegin(), s_messages.cend(),
                             [&](const QString& m) { return m.contains(text); });
    }
    static bool contains(const QString& text) { return count(text) > 0; }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (type == QtWarningMsg)
            s_messages.append(message);
        s_previous(type, context, message);
    }
    static inline QtMessageHandler s_previous = nullptr;
    static inline QStringList s_messages;
};
