#pragma once

#include "config/AppPaths.h"
#include "config/IniFile.h"
#include "config/SettingKeys.h"

#include <QByteArray>
#include <QFile>

// A CloseApp.ini as close.exe leaves it, with `entries` applications (32767 at most: Count is 16-bit).
inline QByteArray saveListText(int entries)
{
    QByteArray sections[4] = {"[CloseApp]\r\nCount=" + QByteArray::number(entries) + "\r\n", "[Date]\r\n",
                              "[Time]\r\n", "[SaveAppFileName]\r\n"};
    for (int i = 1; i <= entries; ++i) {
        const QByteArray key = QByteArray::number(i) + '=';
        sections[0] += key + "Writer" + QByteArray::number(i) + "\r\n";
        sections[1] += key + "2026-12-01\r\n";
        sections[2] += key + "10:00:00\r\n";
        sections[3] += key + "/home/user/report" + QByteArray::number(i) + ".odt\r\n";
    }
    return sections[0] + sections[1] + sections[2] + sections[3];
}

// The list in place and flagged for import ([Schema] CloseAppFlag=1), as close.exe leaves it.
inline void writeFlaggedSaveList(const brevant::AppPaths& paths, const QByteArray& list)
{
    QFile file(paths.closeAppList());
    if (!file.open(QIODevice::WriteOnly) || file.write(list) != list.size())
        qFatal("cannot write %s", qPrintable(paths.closeAppList()));
    file.close();
    if (!brevant::WriteIni(paths.settingsFile(), brevant::key::CloseAppFlag, QStringLiteral("1")).ok())
        qFatal("cannot write %s", qPrintable(paths.settingsFile()));
}
