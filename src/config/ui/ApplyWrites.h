#pragma once

#include "config/SettingKeys.h"

#include <QString>

namespace brevant {

class MessageBoxPresenter;
class Settings;

// The writes of one Apply button, in the order they are made. Every write is made even when an
// earlier one failed (Settings logs each failure); the user learns of a failure once, after the
// last write, so that an Apply never looks saved when it was not.
class ApplyWrites
{
public:
    ApplyWrites(Settings& settings, MessageBoxPresenter& messages);

    void write(IniKey key, const QString& value);
    // After the last write: tells the user, when any write failed, that the settings were not saved.
    void reportFailure();

private:
    Settings& m_settings;
    MessageBoxPresenter& m_messages;
    QString m_firstFailure;
};

} // namespace brevant
