#pragma once

#include <QLoggingCategory>

// One category per subsystem. Warnings and failures are on by default; debug output is turned on
// with QT_LOGGING_RULES, e.g. QT_LOGGING_RULES="brevant.*.debug=true".
namespace brevant {

Q_DECLARE_LOGGING_CATEGORY(lcSettings) // brevant.settings: the settings file and its writes
Q_DECLARE_LOGGING_CATEGORY(lcLink)     // brevant.link: the USB library and the serial port
Q_DECLARE_LOGGING_CATEGORY(lcMonitor)  // brevant.monitor: poll ticks and power events
Q_DECLARE_LOGGING_CATEGORY(lcRecords)  // brevant.records: the record databases
Q_DECLARE_LOGGING_CATEGORY(lcShutdown) // brevant.shutdown: countdown, alarm, hand-over, UPS off, power-off
Q_DECLARE_LOGGING_CATEGORY(lcEngine)   // brevant.engine: start-up and exit
Q_DECLARE_LOGGING_CATEGORY(lcPlatform) // brevant.platform: tray, processes, single instance, D-Bus
Q_DECLARE_LOGGING_CATEGORY(lcUi)       // brevant.ui: windows and pages
Q_DECLARE_LOGGING_CATEGORY(lcArt)      // brevant.art: the pictures of the windows

} // namespace brevant
