#pragma once

#include <QString>

namespace brevant {

// The files the program keeps in its application directory: the directory of the executable,
// or BREVANT_APP_DIR when set.
class AppPaths
{
public:
    static AppPaths fromEnvironment();
    explicit AppPaths(QString appDir);

    const QString& appDir() const { return m_appDir; }
    QString settingsFile() const { return file(u"UpsConfigure.ini"); }
    QString eventDatabase() const { return file(u"EventRecord.mdb"); }
    QString closeAppDatabase() const { return file(u"CloseAppRecord.mdb"); }
    QString closeAppList() const { return file(u"CloseApp.ini"); }
    QString closeProgram() const { return file(u"close.exe"); }
    QString helpFile() const { return file(u"Brevant.chm"); }

private:
    QString file(QStringView name) const;

    QString m_appDir;
};

} // namespace brevant
