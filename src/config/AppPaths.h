#pragma once

#include "base/Result.h"

#include <QString>

namespace brevant {

// Where every file of the program is, for the monitor, close.exe and the fire drill alike.
//
// Portable mode: BREVANT_APP_DIR is set, or the program's directory is writable and not part of an
// installation. Everything lives in that one application directory: settings, databases,
// CloseApp.ini, close.exe and the help.
//
// Installed mode: the program sits in an installation (<prefix>/bin beside <prefix>/lib/brevant,
// or the private library directory itself, where close.exe is), or its directory is not writable.
// Settings go to $XDG_CONFIG_HOME/brevant, databases and CloseApp.ini to $XDG_DATA_HOME/brevant;
// close.exe stays in the private library directory and the help in <prefix>/share/brevant/help.
// An installation is recognised by its layout rather than by the permissions alone, so that
// neither root nor a user who installed into their own home ends up writing beside the program.
class AppPaths
{
public:
    enum class Mode
    {
        Portable,
        Installed
    };

    // Everything the choice depends on.
    struct Context
    {
        QString programDir; // directory of the running executable
        bool programDirWritable = false;
        QString appDirOverride; // BREVANT_APP_DIR
        QString configHome;     // XDG_CONFIG_HOME; empty or relative: <home>/.config
        QString dataHome;       // XDG_DATA_HOME; empty or relative: <home>/.local/share
        QString home;
    };

    // The running process: its executable's directory and its environment.
    static Context currentContext();
    static AppPaths resolve(const Context& context);
    static AppPaths fromEnvironment() { return resolve(currentContext()); }

    // Portable: everything in appDir.
    explicit AppPaths(const QString& appDir);

    Mode mode() const { return m_mode; }
    const QString& configDir() const { return m_configDir; }
    const QString& dataDir() const { return m_dataDir; }

    QString settingsFile() const { return m_configDir + QStringLiteral("/UpsConfigure.ini"); }
    // The applications close.exe asks to quit, one name a line.
    QString closeConfig() const { return m_configDir + QStringLiteral("/close.conf"); }
    QString eventDatabase() const { return m_dataDir + QStringLiteral("/EventRecord.mdb"); }
    QString closeAppDatabase() const { return m_dataDir + QStringLiteral("/CloseAppRecord.mdb"); }
    QString closeAppList() const { return m_dataDir + QStringLiteral("/CloseApp.ini"); }
    QString closeProgram() const { return m_programsDir + QStringLiteral("/close.exe"); }
    QString helpFile() const { return m_helpDir + QStringLiteral("/index.html"); }

    // Creates the settings and data directories where missing, readable by the user only.
    Status createDirectories() const;

    // The same programs and help, with settings, databases and lists in dir: the fire drill's copy.
    AppPaths withFilesIn(const QString& dir) const;

private:
    AppPaths() = default;

    Mode m_mode = Mode::Portable;
    QString m_configDir;
    QString m_dataDir;
    QString m_programsDir;
    QString m_helpDir;
};

} // namespace brevant
