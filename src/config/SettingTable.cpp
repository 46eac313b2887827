#include "config/SettingTable.h"

#include <QtGlobal>

namespace brevant {

const SettingSpec& settingSpec(IniKey key)
{
    for (const SettingSpec& setting : AllSettings) {
        if (setting.key.section == key.section && setting.key.name == key.name)
            return setting;
    }
    qFatal("no row in AllSettings for a key of SettingKeys.h");
}

const SettingSpec* findSetting(QStringView section, QStringView name)
{
    for (const SettingSpec& setting : AllSettings) {
        if (section.compare(setting.key.section, Qt::CaseInsensitive) == 0 &&
            name.compare(setting.key.name, Qt::CaseInsensitive) == 0)
            return &setting;
    }
    return nullptr;
}

QByteArray firstInstallText()
{
    QByteArray text;
    QStringView section;
    for (const SettingSpec& setting : AllSettings) {
        if (setting.firstInstall.isEmpty())
            continue;
        if (setting.key.section != section) {
            section = setting.key.section;
            text += '[' + section.toUtf8() + "]\n";
        }
        text += setting.key.name.toUtf8() + '=' + setting.firstInstall.toUtf8() + '\n';
    }
    return text;
}

} // namespace brevant
