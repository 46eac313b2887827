#include "config/Settings.h"

#include "base/Logging.h"
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

QString Settings::read(IniKey key) const
{
    return ReadIni(m_file, key);
}

Status Settings::write(IniKey key, const QString& value) const
{
    Status written = WriteIni(m_file, key, value);
    if (!written.ok())
        qCWarning(lcSettings).noquote()
            << "[" << key.section << "]" << key.name << "=" << value << "was not written:" << written.error();
    if (m_observer)
        m_observer(key, value);
    return written;
}

LinkChoice Settings::link() const
{
    const auto port = conversion::wholeNumber(read(key::ComboPort));
    if (!port || *port < 1)
        return {};
    return {true, *port};
}

bool Settings::eventDisabled(EventSection section) const
{
    return conversion::number(read(key::Disableevent(section))).value_or(0) != 0;
}

bool Settings::recordLog(EventSection section) const
{
    return conversion::boolean(read(key::Recordlog(section))).value_or(false);
}

bool Settings::shutdownOnEvent(EventSection section) const
{
    return conversion::boolean(read(key::Shutdown(section))).value_or(false);
}

bool Settings::lowBatteryShutdownIsOne() const
{
    return conversion::numberEquals(read(key::Shutdown(EventSection::LowBattery)), 1);
}

qint32 Settings::delaySeconds(EventSection section) const
{
    return conversion::minutesToSeconds(read(key::Delaytime(section))).value_or(DefaultDelaySeconds);
}

double Settings::recordLimit(RecordList list) const
{
    const auto limit = conversion::number(read(key::limit(list)));
    return limit && std::isfinite(*limit) ? *limit : DefaultRecordLimit;
}

bool Settings::saveApplications() const
{
    return conversion::boolean(read(key::Saveapllication)).value_or(false);
}

bool Settings::shutdownRequested() const
{
    return conversion::numberEquals(read(key::ShutDown), 1);
}

bool Settings::closeAppFlagSet() const
{
    return conversion::numberEquals(read(key::CloseAppFlag), 1);
}

bool Settings::saveListWanted() const
{
    return conversion::boolean(read(key::SaveList)).value_or(false);
}

} // namespace brevant
