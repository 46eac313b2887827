#pragma once

#include "InstallLayout.h"
#include "shutdown/Readiness.h"

namespace brevant {

class ActiveLink;
class RecordStore;
class SerialLink;
class Settings;
class SystemPowerOff;

// The checks of the shutdown path that need neither the link nor the UPS, each read-only.
namespace readiness {

// The link answers: the USB UPS answered its last question, the serial port is open.
Readiness::Check linkAnswers(ActiveLink& links, const SerialLink& serial);
// The link can switch the UPS off. The serial link always can once its port is open (DTR); over
// USB the library says whether it could, without trying. A secondary of a shared UPS is
// protected by its primary, and a library that cannot tell is no reason.
Readiness::Check upsSwitchesOff(ActiveLink& links);
// The system will power off for this user now (SystemPowerOff::checkReadiness).
Readiness::Check systemPowersOff(SystemPowerOff& powerOff);
// With "Save all applications" on, close.exe is a file this user may run.
Readiness::Check closeProgramRuns(const Settings& settings, QString closeProgram);
// The settings file can be written: the shutdown hands over to close.exe through it.
Readiness::Check settingsWritable(QString settingsFile);
// Every record table can be read: the shutdown and its reasons are recorded there.
Readiness::Check recordsOpen(const RecordStore& records);
// A system-wide file this user must read, when it exists; the administrator's UPS settings by
// default, which the package gives to root and the group brevant only.
Readiness::Check systemFileReadable(QString file = QString::fromLatin1(build::SysconfDir) +
                                                   QStringLiteral("/brevant/Halvic.conf"));

} // namespace readiness
} // namespace brevant
