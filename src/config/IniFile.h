#pragma once

#include "base/Result.h"
#include "config/SettingKeys.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <chrono>

namespace brevant {

// Private-profile access to INI files (UpsConfigure.ini, CloseApp.ini).
//
// Section and key names match without regard to ASCII case; the first matching section and the
// first matching key in it win. A value is trimmed, loses one pair of enclosing quotes and is
// seen with at most IniValueMaxChars characters. An absent file, section or key yields the
// default text. Files are UTF-8.
inline constexpr int IniValueMaxChars = 253;

QString ReadIni(const QString& fileName, const QString& section, const QString& key,
                const QString& defaultText = QString());

// Longest wait for the lock of a file that another writer holds.
inline constexpr std::chrono::milliseconds IniLockWait{300};

// Sets key=value in the section, creating file, section and key as needed and replacing an
// earlier value in place; every other line is kept byte for byte. A value is cut at its first
// line break.
//
// The write is atomic (temporary file, every write checked, sync, rename): a failure, a full disk
// included, says why and leaves the file byte for byte as it was. It runs under an advisory lock
// on "<file>.lock", so concurrent writers of different keys lose nothing; when another holder
// keeps the lock longer than IniLockWait, the write goes ahead without it, with a warning. A new
// file is created with mode 0644 and its lock file 0600, whatever the umask; a rewritten file
// keeps its mode.
Status WriteIni(const QString& fileName, const QString& section, const QString& key, const QString& value);

QString ReadIni(const QString& fileName, IniKey key);

// A whole INI file parsed once, for a reader that looks up many keys (the save-list import reads
// four per entry, up to 32767 entries). value() follows exactly the rules of ReadIni.
class IniSnapshot
{
public:
    // An absent or unreadable file gives an empty snapshot, in which every key is absent.
    static IniSnapshot read(const QString& fileName);
    static IniSnapshot fromText(QByteArrayView text);

    QString value(const QString& section, const QString& key, const QString& defaultText = QString()) const;
    QString value(IniKey key) const;

private:
    // Section -> key -> stored value, names folded to lower case; the first of each counts.
    QHash<QByteArray, QHash<QByteArray, QByteArray>> m_sections;
};
Status WriteIni(const QString& fileName, IniKey key, const QString& value);

} // namespace brevant
