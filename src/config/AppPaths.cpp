#include "config/AppPaths.h"

#include "InstallLayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <optional>

namespace brevant {
namespace {

QString absoluteClean(const QString& path)
{
    return QDir::cleanPath(QDir(path).absolutePath());
}

// The prefix of the installation the program directory belongs to: <prefix>/bin with the private
// library directory beside it, or the private library directory itself (close.exe lives there).
std::optional<QString> installPrefix(const QString& programDir)
{
    const QString binDir = u'/' + QLatin1StringView(build::BinDir);
    const QString privateDir = u'/' + QLatin1StringView(build::PrivateLibDir);
    if (programDir.endsWith(binDir)) {
        const QString prefix = programDir.chopped(binDir.size());
        if (QFileInfo(prefix + privateDir).isDir())
            return prefix;
    }
    if (programDir.endsWith(privateDir)) {
        const QString prefix = programDir.chopped(privateDir.size());
        if (QFileInfo(prefix + binDir).isDir())
            return prefix;
    }
    return std::nullopt;
}

// An XDG base directory: the variable's value when it is an absolute path, else the default below
// the home directory (a relative value is invalid and ignored).
QString xdgBase(const QString& value, const QString& home, QStringView fallback)
{
    if (QDir::isAbsolutePath(value))
        return absoluteClean(value);
    return absoluteClean(home + u'/' + fallback);
}

Status makePrivatePath(const QString& path)
{
    if (QFileInfo(path).isDir())
        return Status::success();
    const QString parent = QFileInfo(path).path();
    if (parent != path) {
        if (Status made = makePrivatePath(parent); !made.ok())
            return made;
    }
    if (!QDir().mkdir(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) &&
        !QFileInfo(path).isDir())
        return Status::failure(QStringLiteral("cannot create the directory ") + path);
    return Status::success();
}

} // namespace

AppPaths::Context AppPaths::currentContext()
{
    Context context;
    context.programDir = QCoreApplication::applicationDirPath();
    context.programDirWritable = QFileInfo(context.programDir).isWritable();
    context.appDirOverride = qEnvironmentVariable("BREVANT_APP_DIR");
    context.configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    context.dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    context.home = QDir::homePath();
    return context;
}

AppPaths AppPaths::resolve(const Context& context)
{
    if (!context.appDirOverride.isEmpty())
        return AppPaths(context.appDirOverride);
    const QString programDir = absoluteClean(context.programDir);
    const std::optional<QString> prefix = installPrefix(programDir);
    if (!prefix && context.programDirWritable)
        return AppPaths(programDir);

    AppPaths paths;
    paths.m_mode = Mode::Installed;
    paths.m_configDir = xdgBase(context.configHome, context.home, u".config") + QStringLiteral("/brevant");
    paths.m_dataDir = xdgBase(context.dataHome, context.home, u".local/share") + QStringLiteral("/brevant");
    const auto inPrefix = [&](const char* relative) -> QString {
        return *prefix + u'/' + QLatin1StringView(relative);
    };
    paths.m_programsDir = prefix ? inPrefix(build::PrivateLibDir) : programDir;
    paths.m_helpDir = prefix ? inPrefix(build::HelpDir) : programDir + QStringLiteral("/help");
    return paths;
}

AppPaths::AppPaths(const QString& appDir)
    : m_configDir(absoluteClean(appDir))
    , m_dataDir(m_configDir)
    , m_programsDir(m_configDir)
    , m_helpDir(m_configDir + QStringLiteral("/help"))
{}

Status AppPaths::createDirectories() const
{
    if (Status made = makePrivatePath(m_configDir); !made.ok())
        return made;
    return makePrivatePath(m_dataDir);
}

AppPaths AppPaths::withFilesIn(const QString& dir) const
{
    AppPaths copy = *this;
    copy.m_configDir = absoluteClean(dir);
    copy.m_dataDir = copy.m_configDir;
    return copy;
}

} // namespace brevant
