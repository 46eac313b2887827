#include "config/Settings.h"

#include "config/IniFile.h"
#include "config/ValueConversion.h"

#include <cmath>

namespace brevant {

namespace {
constexpr qint32 DefaultDelaySeconds = 120;
constexpr double DefaultRecordLimit = 1000;
} // namespace

Settings::Settings(QString iniFile)
    : m_file(std::move(iniFile))
{}

QString Settings::read(const QString& section, const QString& key) const
{
    return ReadIni(m_file, section, key, QString());
}

void Settings::write(const QString& section, const QString& key, const QString& value) const
{
    WriteIni(m_file, section, key, value);
    if (m_observer)
        m_observer(section, key, value);
}

QString Settings::sectionName(EventSection section)
{
    return section == EventSection::OnBattery ? QStringLiteral("UpsOnBattery")
                                              : QStringLiteral("UpsLowBattery");
}

QString Settings::limitKey(RecordList list)
{
    switch (list) {
    case RecordList::Log:
        return QStringLiteral("Logcount");
    case RecordList::Event:
        return QStringLiteral("Eventcount");
    case RecordList::Close:
        break;
    }
    return QStringLiteral("Closecount");
}

LinkChoice Settings::link() const
{
    const auto port = conversion::wholeNumber(read(QStringLiteral("Mscomm"), QStringLiteral("ComboPort")));
    if (!port || *port < 1)
        return {};
    return {true, *port};
}

bool Settings::eventDisabled(EventSection section) const
{
    return conversion::number(read(sectionName(section), QStringLiteral("Disableevent"))).value_or(0) != 0;
}

bool Settings::recordLog(EventSection section) const
{
    return conversion::boolean(read(sectionName(section), QStringLiteral("Recordlog"))).value_or(false);
}

bool Settings::shutdownOnEvent(EventSection section) const
{
    return conversion::boolean(read(sectionName(section), QStringLiteral("Shutdown"))).value_or(false);
}

bool Settings::lowBatteryShutdownIsOne() const
{
    return conversion::numberEquals(read(QStringLiteral("UpsLowBattery"), QStringLiteral("Shutdown")), 1);
}

qint32 Settings::delaySeconds(EventSection section) const
{
    return conversion::minutesToSeconds(read(sectionName(section), QStringLiteral("Delaytime")))
        .value_or(DefaultDelaySeconds);
}

double Settings::recordLimit(RecordList list) const
{
    const auto limit = conversion::number(read(QStringLiteral("OSEvent"), limitKey(list)));
    return limit && std::isfinite(*limit) ? *limit : DefaultRecordLimit;
}

bool Settings::saveApplications() const
{
    return conversion::boolean(read(QStringLiteral("OSEvent"), QStringLiteral("Saveapllication")))
        .value_or(false);
}

bool Settings::shutdownRequested() const
{
    return conversion::numberEquals(read(QStringLiteral("Schema"), QStringLiteral("ShutDown")), 1);
}

bool Settings::closeAppFlagSet() const
{
    return conversion::numberEquals(read(QStringLiteral("Schema"), QStringLiteral("CloseAppFlag")), 1);
}

bool Settings::saveListWanted() const
{
    return conversion::boolean(read(QStringLiteral("Schema"), QStringLiteral("SaveList"))).value_or(false);
}

} // namespace brevant
