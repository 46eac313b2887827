#pragma once

#include "config/SettingKeys.h"

#include <QByteArray>
#include <QStringView>
#include <array>
#include <limits>

namespace brevant {

// How the program reads a key's text (the conversions of ValueConversion.h).
enum class Conversion
{
    WholeNumber, // rounded half to even, 32-bit
    Number,      // as written
    Boolean,     // any non-zero number, "True" or "False"
    NumberIsOne, // true only for a number equal to 1
    Minutes      // minutes to whole seconds, half to even, 32-bit
};

// Everything the program knows about one key of UpsConfigure.ini. The typed accessors of
// Settings, the first-install file, the fire drill's `set` check and the key table of
// docs/settings.md all come from AllSettings; tests/config/tst_settingtable holds the file and
// the doc to it.
struct SettingSpec
{
    IniKey key;
    Conversion conversion = Conversion::Number;
    // What an absent or unreadable value reads as, and a value out of [lowest, highest] too, in
    // the file's own unit (minutes for Delaytime, 0 or 1 for the Boolean ones).
    double fallback = 0;
    double lowest = -std::numeric_limits<double>::infinity();
    double highest = std::numeric_limits<double>::infinity();
    QStringView firstInstall; // empty: the first-install file leaves the key out
    QStringView values;       // the values a user writes, in words
    QStringView fallbackText; // what the fallback means, in words
    QStringView meaning;
};

namespace settingtable {

using C = Conversion;
inline constexpr double NoLimit = std::numeric_limits<double>::infinity();

// A key a user sets to 0 or 1, read without a range.
constexpr SettingSpec zeroOrOne(IniKey k, C conversion, double fallback, QStringView firstInstall,
                                QStringView fallbackText, QStringView meaning)
{
    return {k, conversion, fallback, -NoLimit, NoLimit, firstInstall, u"0 or 1", fallbackText, meaning};
}
constexpr SettingSpec eventDisableevent(EventSection s)
{
    return zeroOrOne(key::Disableevent(s), C::Number, 0, u"0",
                     u"0: the event is enabled (any other number disables it)", u"1 = the event is disabled");
}
constexpr SettingSpec eventRecordlog(EventSection s)
{
    return zeroOrOne(key::Recordlog(s), C::Boolean, 0, u"1", u"false",
                     u"write a record when the event happens");
}
constexpr SettingSpec eventShutdown(EventSection s, QStringView firstInstall)
{
    return zeroOrOne(key::Shutdown(s), C::Boolean, 0, firstInstall,
                     u"false; the battery-recovered test `Shutdown = 1` is false too",
                     u"start the shutdown countdown on the event");
}
constexpr SettingSpec eventDelaytime(EventSection s, QStringView firstInstall)
{
    return {.key = key::Delaytime(s),
            .conversion = C::Minutes,
            .fallback = 2,
            .firstInstall = firstInstall,
            .values = u"decimal minutes",
            .fallbackText = u"2 minutes (120 s), the settings page's own default; beyond the 32-bit range of "
                            u"seconds it is clamped to that range",
            .meaning = u"countdown length; stored as typed"};
}
constexpr SettingSpec recordLimit(IniKey k, QStringView list)
{
    return {.key = k,
            .conversion = C::Number,
            .fallback = 1000,
            .lowest = 10,
            .highest = 1000,
            .firstInstall = u"1000",
            .values = u"10 to 1000",
            .fallbackText = u"1000, the largest limit; also any number below 10 or above 1000",
            .meaning = list};
}

// Off (0) unless set; not in the first-install file.
constexpr SettingSpec lowBatteryThreshold(IniKey k, double highest, QStringView values, QStringView meaning)
{
    return {.key = k,
            .conversion = C::WholeNumber,
            .fallback = 0,
            .lowest = 0,
            .highest = highest,
            .firstInstall = {},
            .values = values,
            .fallbackText = u"0: off; also any value out of range",
            .meaning = meaning};
}

} // namespace settingtable

// In the order of the first-install file, sections together.
inline constexpr std::array AllSettings{
    SettingSpec{.key = key::ComboPort,
                .conversion = Conversion::WholeNumber,
                .fallback = 0,
                .lowest = 1,
                .firstInstall = u"0",
                .values = u"0 to 4",
                .fallbackText = u"the USB link; also any number that rounds to less than 1",
                .meaning = u"0 = USB link, 1 to 4 = serial port COM1 to COM4"},
    settingtable::recordLimit(key::Logcount, u"most records kept in the program log"),
    settingtable::recordLimit(key::Eventcount, u"most records kept in the UPS event list"),
    settingtable::recordLimit(key::Closecount, u"most records kept in the closed-applications list"),
    settingtable::zeroOrOne(key::OsDisableevent, Conversion::WholeNumber, 0, u"0", u"0",
                            u"\"Disable on all events\" box of the OS Event Log page"),
    settingtable::zeroOrOne(key::Saveapllication, Conversion::Boolean, 0, u"0", u"false",
                            u"save and close applications through `close.exe` before a shutdown (spelt so)"),
    settingtable::eventDisableevent(EventSection::OnBattery),
    settingtable::eventRecordlog(EventSection::OnBattery),
    settingtable::eventShutdown(EventSection::OnBattery, u"0"),
    settingtable::eventDelaytime(EventSection::OnBattery, u"2"),
    settingtable::eventDisableevent(EventSection::LowBattery),
    settingtable::eventRecordlog(EventSection::LowBattery),
    settingtable::eventShutdown(EventSection::LowBattery, u"1"),
    settingtable::eventDelaytime(EventSection::LowBattery, u"1"),
    settingtable::zeroOrOne(key::ShutDown, Conversion::NumberIsOne, 0, u"0", u"not 1: no shutdown request",
                            u"1 = a confirmed shutdown is to run now"),
    settingtable::zeroOrOne(key::CloseAppFlag, Conversion::NumberIsOne, 0, u"0", u"not 1: nothing to import",
                            u"1 = `CloseApp.ini` holds entries not yet imported"),
    settingtable::zeroOrOne(key::SaveList, Conversion::Boolean, 0, u"0", u"false",
                            u"1 = show the saved-applications window at start"),
    settingtable::zeroOrOne(key::DesktopNotifications, Conversion::Boolean, 1, {}, u"on",
                            u"0 = no desktop notifications"),
    settingtable::lowBatteryThreshold(key::BatteryLowCharge, 95, u"0 to 95 (%)",
                                      u"battery low, on battery, when the UPS reports its charge at or "
                                      u"below it"),
    settingtable::lowBatteryThreshold(key::BatteryLowRuntime, 120, u"0 to 120 (minutes)",
                                      u"battery low, on battery, when the UPS reports its runtime at or "
                                      u"below it"),
};

// The row of a key the program uses; every key of SettingKeys.h has one.
const SettingSpec& settingSpec(IniKey key);
// The row whose section and key match without regard to case, as the file's readers match them.
const SettingSpec* findSetting(QStringView section, QStringView name);

// The settings file as first installed, made from the table.
QByteArray firstInstallText();

} // namespace brevant
