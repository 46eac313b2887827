#include "config/Settings.h"

#include "base/Logging.h"
#include "config/IniFile.h"
#include "config/SettingTable.h"
#include "config/ValueConversion.h"

#include <algorithm>
#include <cmath>

namespace brevant {

namespace {

void warnUnprotected(const QString& problem)
{
    warnOnce(problem + QStringLiteral(": every setting reads as its default, and nothing is shut down"));
}

} // namespace

Settings::Settings(QString iniFile)
    : m_file(std::move(iniFile))
{}

QString Settings::read(IniKey key) const
{
    const Result<std::optional<IniText>> text = readIniFile(m_file, SettingsFileMaxBytes);
    if (!text.ok()) {
        warnUnprotected(text.error());
        return {};
    }
    return text.value() ? iniValue(text.value()->utf8, key) : QString();
}

double Settings::value(IniKey key) const
{
    const SettingSpec& setting = settingSpec(key);
    const QString text = read(key);
    std::optional<double> converted;
    switch (setting.conversion) {
    case Conversion::WholeNumber:
        converted = conversion::wholeNumber(text);
        break;
    case Conversion::Number:
        converted = conversion::number(text);
        break;
    case Conversion::Boolean:
        converted = conversion::boolean(text);
        break;
    case Conversion::NumberIsOne:
        converted = conversion::numberEquals(text, 1);
        break;
    case Conversion::Minutes:
        if (const auto seconds = conversion::minutesToSeconds(text))
            return *seconds;
        return setting.fallback * 60;
    }
    // A number too large for a double is infinite, and out of every range.
    if (!converted || !std::isfinite(*converted) || *converted < setting.lowest ||
        *converted > setting.highest)
        return setting.fallback;
    return *converted;
}

Status Settings::write(IniKey key, const QString& value)
{
    Status written = WriteIni(m_file, key, value);
    if (!written.ok())
        qCWarning(lcSettings).noquote()
            << "[" << key.section << "]" << key.name << "=" << value << "was not written:" << written.error();
    if (m_observer)
        m_observer(key, value);
    return written;
}

Status Settings::fileProblem() const
{
    const Result<std::optional<IniText>> text = readIniFile(m_file, SettingsFileMaxBytes);
    if (!text.ok())
        return Status::failure(text.error());
    if (!text.value())
        return Status::failure(QStringLiteral("the settings file %1 does not exist").arg(m_file));
    const IniSnapshot settings = IniSnapshot::fromText(text.value()->utf8);
    if (std::none_of(AllSettings.cbegin(), AllSettings.cend(),
                     [&](const SettingSpec& setting) { return settings.contains(setting.key); }))
        return Status::failure(
            QStringLiteral(
                "the settings file %1 holds none of the settings: it is damaged or not a settings file")
                .arg(m_file));
    return Status::success();
}

Status Settings::reportFileProblem() const
{
    Status problem = fileProblem();
    if (!problem.ok())
        warnUnprotected(problem.error());
    return problem;
}

LinkChoice Settings::link() const
{
    const int port = int(value(key::ComboPort));
    return port == 0 ? LinkChoice{} : LinkChoice{true, port};
}

bool Settings::eventDisabled(EventSection section) const
{
    return value(key::Disableevent(section)) != 0;
}

bool Settings::recordLog(EventSection section) const
{
    return value(key::Recordlog(section)) != 0;
}

bool Settings::shutdownOnEvent(EventSection section) const
{
    return value(key::Shutdown(section)) != 0;
}

bool Settings::lowBatteryShutdownIsOne() const
{
    return conversion::numberEquals(read(key::Shutdown(EventSection::LowBattery)), 1);
}

qint32 Settings::delaySeconds(EventSection section) const
{
    return qint32(value(key::Delaytime(section)));
}

std::optional<int> Settings::threshold(IniKey key) const
{
    const int threshold = int(value(key));
    return threshold > 0 ? std::optional<int>(threshold) : std::nullopt;
}

std::optional<int> Settings::lowBatteryCharge() const
{
    return threshold(key::BatteryLowCharge);
}

std::optional<int> Settings::lowBatteryRuntimeMinutes() const
{
    return threshold(key::BatteryLowRuntime);
}

double Settings::recordLimit(RecordList list) const
{
    return value(key::limit(list));
}

bool Settings::saveApplications() const
{
    return value(key::Saveapllication) != 0;
}

bool Settings::shutdownRequested() const
{
    return value(key::ShutDown) != 0;
}

bool Settings::closeAppFlagSet() const
{
    return value(key::CloseAppFlag) != 0;
}

bool Settings::saveListWanted() const
{
    return value(key::SaveList) != 0;
}

} // namespace brevant
