#pragma once

#include <QString>
#include <QStringView>

namespace brevant {

enum class EventSection
{
    OnBattery,
    LowBattery
};

enum class RecordList
{
    Log,
    Event,
    Close
};

// One key of an INI file: the section and the key name, as stored.
struct IniKey
{
    QStringView section;
    QStringView name;
};

// Every key of UpsConfigure.ini. Each is named here once; everything that reads or writes the
// file (the settings accessors, the shutdown hand-over, the save-list import, close.exe, the fire
// drill and the tests) takes it from here. What each key holds, its first-install value, its
// conversion, its range and what an unreadable value means are in its row of AllSettings
// (SettingTable.h).
namespace key {

inline constexpr IniKey ComboPort{u"Mscomm", u"ComboPort"};
inline constexpr IniKey Logcount{u"OSEvent", u"Logcount"};
inline constexpr IniKey Eventcount{u"OSEvent", u"Eventcount"};
inline constexpr IniKey Closecount{u"OSEvent", u"Closecount"};
inline constexpr IniKey OsDisableevent{u"OSEvent", u"Disableevent"};
inline constexpr IniKey Saveapllication{u"OSEvent", u"Saveapllication"};
inline constexpr IniKey ShutDown{u"Schema", u"ShutDown"};
inline constexpr IniKey CloseAppFlag{u"Schema", u"CloseAppFlag"};
inline constexpr IniKey SaveList{u"Schema", u"SaveList"};
// Desktop notifications of power events and shutdown countdowns.
inline constexpr IniKey DesktopNotifications{u"Desktop", u"Notifications"};
// The user's own battery-low thresholds.
inline constexpr IniKey BatteryLowCharge{u"Battery", u"LowCharge"};
inline constexpr IniKey BatteryLowRuntime{u"Battery", u"LowRuntime"};

constexpr QStringView eventSection(EventSection section)
{
    return section == EventSection::OnBattery ? QStringView(u"UpsOnBattery") : QStringView(u"UpsLowBattery");
}
constexpr IniKey Disableevent(EventSection section)
{
    return {eventSection(section), u"Disableevent"};
}
constexpr IniKey Recordlog(EventSection section)
{
    return {eventSection(section), u"Recordlog"};
}
constexpr IniKey Shutdown(EventSection section)
{
    return {eventSection(section), u"Shutdown"};
}
constexpr IniKey Delaytime(EventSection section)
{
    return {eventSection(section), u"Delaytime"};
}
constexpr IniKey limit(RecordList list)
{
    return list == RecordList::Log ? Logcount : list == RecordList::Event ? Eventcount : Closecount;
}

} // namespace key

// CloseApp.ini, the list close.exe leaves for the next start. Entry i (1..Count) is spread over
// four sections under the key i.
namespace closeapplist {

inline constexpr IniKey Count{u"CloseApp", u"Count"};
inline constexpr QStringView AppNameSection = u"CloseApp";
inline constexpr QStringView DateSection = u"Date";
inline constexpr QStringView TimeSection = u"Time";
inline constexpr QStringView SavedFileSection = u"SaveAppFileName";

} // namespace closeapplist

} // namespace brevant
