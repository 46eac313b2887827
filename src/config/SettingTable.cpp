#include "config/SettingTable.h"

#include <QtGlobal>

namespace brevant {

const SettingSpec& settingSpec(IniKey key)
{
    for (const SettingSpec& spec : AllSettings) {
        if (spec.key.section == key.section && spec.key.name == key.name)
            return spec;
    }
    qFatal("no row in AllSettings for a key of SettingKeys.h");
}

const SettingSpec* findSetting(QStringView section, QStringView name)
{
    for (const SettingSpec& spec : AllSettings) {
        if (section.compare(spec.key.section, Qt::CaseInsensitive) == 0 &&
            name.compare(spec.key.name, Qt::CaseInsensitive) == 0)
            return &spec;
    }
    return nullptr;
}

QByteArray firstInstallText()
{
    QByteArray text;
    QStringView section;
    for (const SettingSpec& spec : AllSettings) {
        if (spec.firstInstall.isEmpty())
            continue;
        if (spec.key.section != section) {
            section = spec.key.section;
            text += '[' + section.toUtf8() + "]\n";
        }
        text += spec.key.name.toUtf8() + '=' + spec.firstInstall.toUtf8() + '\n';
    }
    return text;
}

} // namespace brevant
