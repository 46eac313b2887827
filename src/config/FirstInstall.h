#pragma once

#include <QByteArray>
#include <QString>

namespace brevant {

// The settings file as first installed: USB link, every list limited to 1000 records, every event
// recorded, and a shutdown one minute after the battery runs low.
QByteArray firstInstallSettings();

// Writes the first-install settings to file unless it exists. False when it could not be written.
bool installDefaultSettings(const QString& file);

} // namespace brevant
