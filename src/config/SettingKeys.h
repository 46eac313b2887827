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
// drill and the tests) takes it from here. What an unreadable value of each means is in
// Settings.h and docs/settings.md.
//
//   Section        Key              Value                  Conversion
//   Mscomm         ComboPort        0 = USB, 1..4 = COMn   whole number
//   OSEvent        Logcount         10..1000               number (limit of the program log)
//   OSEvent        Eventcount       10..1000               number (limit of the UPS events)
//   OSEvent        Closecount       10..1000               number (limit of the closed applications)
//   OSEvent        Disableevent     0/1                    whole number (locks the OS Event Log page)
//   OSEvent        Saveapllication  0/1                    Boolean (close.exe before a shutdown)
//   UpsOnBattery,  Disableevent     0/1                    number, compared with 0
//   UpsLowBattery  Recordlog        0/1                    Boolean
//                  Shutdown         0/1                    Boolean; "= 1" when the battery recovers
//                  Delaytime        minutes                minutes x 60, half to even, 32-bit
//   Schema         ShutDown         0/1                    number, compared with 1 (the hand-over)
//   Schema         CloseAppFlag     0/1                    number, compared with 1
//   Schema         SaveList         0/1                    Boolean
//   Desktop        Notifications    0/1                    Boolean; absent or unreadable: on
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
