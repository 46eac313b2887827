#pragma once

#include "base/Result.h"
#include "config/SettingKeys.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <chrono>
#include <optional>

namespace brevant {

// Private-profile access to INI files (UpsConfigure.ini, CloseApp.ini).
//
// Section and key names match without regard to ASCII case; the first matching section and the
// first matching key in it win. A value is trimmed, loses one pair of enclosing quotes and is
// seen with at most IniValueMaxChars characters. An absent file, section or key yields the
// default text. Lines end in LF, CR LF or a lone CR.
//
// Files are UTF-8, or UTF-16 (little or big endian) with a byte order mark, as Windows editors
// save them; a UTF-8 byte order mark is skipped. NUL counts as a blank around names and values.
// A write keeps the file's encoding and its line ends.
//
// Only a regular file is read, and only up to a size: a FIFO, a device, a directory or a larger
// file is refused (one warning under brevant.settings for each reason), and reads as absent.
inline constexpr int IniValueMaxChars = 253;
// CloseApp.ini with its 32767 entries, each value at its longest, stays below this.
inline constexpr qint64 IniFileMaxBytes = 64 << 20;
// UpsConfigure.ini holds about 400 bytes; it is read at every use of a setting.
inline constexpr qint64 SettingsFileMaxBytes = 1 << 20;

enum class IniEncoding
{
    Utf8,
    Utf8WithMark,
    Utf16Le,
    Utf16Be
};

// A file's text as the readers see it: UTF-8 without byte order mark.
struct IniText
{
    QByteArray utf8;
    IniEncoding encoding = IniEncoding::Utf8;
};
IniText decodeIni(QByteArrayView bytes);
QByteArray encodeIni(const IniText& text);

// The decoded text of an INI file of at most maxBytes; no text when there is no file, the reason
// when it cannot be read or is not a regular file.
Result<std::optional<IniText>> readIniFile(const QString& fileName, qint64 maxBytes);

// A problem with a file, logged under brevant.settings once in the program's life.
void warnOnce(const QString& problem);

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
// The value of the key in decoded text, by the rules of ReadIni.
QString iniValue(QByteArrayView utf8, IniKey key);

// A whole INI file parsed once, for a reader that looks up many keys (the save-list import reads
// four per entry, up to 32767 entries). value() follows exactly the rules of ReadIni.
class IniSnapshot
{
public:
    // An absent or unreadable file gives an empty snapshot, in which every key is absent.
    static IniSnapshot read(const QString& fileName);
    // The file's bytes in any of the encodings above.
    static IniSnapshot fromText(QByteArrayView bytes);

    QString value(const QString& section, const QString& key, const QString& defaultText = QString()) const;
    QString value(IniKey key) const;
    bool contains(IniKey key) const;

private:
    void parse(QByteArrayView utf8);

    // Section -> key -> stored value, names folded to lower case; the first of each counts.
    QHash<QByteArray, QHash<QByteArray, QByteArray>> m_sections;
};
Status WriteIni(const QString& fileName, IniKey key, const QString& value);

// The bytes of CloseApp.ini for the save-list import (parse them with IniSnapshot::fromText): empty
// when there is no list, the reason when it is no regular file or larger than IniFileMaxBytes.
Result<QByteArray> readSaveList(const QString& fileName);

} // namespace brevant
