#include "config/IniFile.h"

#include "base/Logging.h"
#include "platform/FileLock.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <optional>

namespace brevant {
namespace {

constexpr unsigned NewFileMode = 0644; // the owner writes, everyone may read the settings

QByteArrayView trimmed(QByteArrayView text)
{
    auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

// Names match without regard to ASCII case; the scanning reader and the snapshot fold alike.
char foldedCase(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

QByteArray foldedCase(QByteArrayView name)
{
    QByteArray folded(name.size(), Qt::Uninitialized);
    std::transform(name.begin(), name.end(), folded.begin(), [](char c) { return foldedCase(c); });
    return folded;
}

bool equalsIgnoringCase(QByteArrayView a, QByteArrayView b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return foldedCase(x) == foldedCase(y); });
}

// Name of a "[Section]" line, if the line is one.
std::optional<QByteArrayView> sectionName(QByteArrayView line)
{
    QByteArrayView text = trimmed(line);
    if (text.startsWith("\xEF\xBB\xBF")) // byte order mark of a file saved by a Windows editor
        text = trimmed(text.sliced(3));
    if (text.isEmpty() || text.front() != '[')
        return std::nullopt;
    const qsizetype close = text.indexOf(']');
    if (close < 0)
        return std::nullopt;
    return trimmed(text.sliced(1, close - 1));
}

struct KeyLine
{
    QByteArrayView key;
    QByteArrayView value;
};

std::optional<KeyLine> keyLine(QByteArrayView line)
{
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return std::nullopt;
    return KeyLine{trimmed(line.first(eq)), trimmed(line.sliced(eq + 1))};
}

// One physical line at a time, with the offsets of its start and of the start of the next line.
class LineCursor
{
public:
    explicit LineCursor(QByteArrayView text)
        : m_text(text)
    {}
    bool next()
    {
        if (m_next >= m_text.size())
            return false;
        m_start = m_next;
        const qsizetype nl = m_text.indexOf('\n', m_start);
        m_next = nl < 0 ? m_text.size() : nl + 1;
        return true;
    }
    QByteArrayView line() const { return m_text.sliced(m_start, m_next - m_start); }
    qsizetype start() const { return m_start; }
    qsizetype end() const { return m_next; }

private:
    QByteArrayView m_text;
    qsizetype m_start = 0;
    qsizetype m_next = 0;
};

QByteArray unquoted(QByteArrayView value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.sliced(1, value.size() - 2);
    return value.toByteArray();
}

std::optional<QByteArray> findValue(QByteArrayView text, QByteArrayView section, QByteArrayView key)
{
    LineCursor cursor(text);
    bool inSection = false;
    bool sectionSeen = false;
    while (cursor.next()) {
        if (const auto name = sectionName(cursor.line())) {
            if (sectionSeen)
                return std::nullopt; // only the first matching section counts
            inSection = equalsIgnoringCase(*name, section);
            sectionSeen = inSection;
            continue;
        }
        if (!inSection)
            continue;
        if (const auto kv = keyLine(cursor.line()); kv && equalsIgnoringCase(kv->key, key))
            return unquoted(kv->value);
    }
    return std::nullopt;
}

// A stored value as a reader sees it: at most IniValueMaxChars characters, never half of one.
QString seenValue(const QByteArray& stored)
{
    QString result = QString::fromUtf8(stored);
    if (result.size() > IniValueMaxChars) {
        result.truncate(IniValueMaxChars);
        if (result.back().isHighSurrogate())
            result.chop(1);
    }
    return result;
}

QByteArray withKeySet(const QByteArray& text, QByteArrayView section, QByteArrayView key,
                      QByteArrayView value)
{
    const QByteArray eol = text.contains("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
    LineCursor cursor(text);
    bool inSection = false;
    bool sectionSeen = false;
    qsizetype insertAt = -1; // end of the header or of the last key line of the matching section
    while (cursor.next()) {
        if (const auto name = sectionName(cursor.line())) {
            if (sectionSeen)
                break;
            inSection = equalsIgnoringCase(*name, section);
            sectionSeen = inSection;
            if (inSection)
                insertAt = cursor.end();
            continue;
        }
        if (!inSection)
            continue;
        if (const auto kv = keyLine(cursor.line()); kv && equalsIgnoringCase(kv->key, key)) {
            const QByteArrayView line = cursor.line();
            const QByteArrayView ending = line.endsWith("\r\n") ? "\r\n" : (line.endsWith('\n') ? "\n" : "");
            QByteArray result = text.first(cursor.start());
            result += kv->key.toByteArray() + '=' + value.toByteArray() + ending.toByteArray();
            result += text.sliced(cursor.end());
            return result;
        }
        if (keyLine(cursor.line()))
            insertAt = cursor.end();
    }

    QByteArray result = text;
    QByteArray keyText = key.toByteArray() + '=' + value.toByteArray() + eol;
    if (insertAt >= 0) {
        if (insertAt > 0 && result.at(insertAt - 1) != '\n') {
            result.insert(insertAt, eol);
            insertAt += eol.size();
        }
        result.insert(insertAt, keyText);
        return result;
    }
    if (!result.isEmpty() && !result.endsWith('\n'))
        result += eol;
    result += '[' + section.toByteArray() + ']' + eol + keyText;
    return result;
}

} // namespace

QString ReadIni(const QString& fileName, const QString& section, const QString& key,
                const QString& defaultText)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return defaultText;
    const QByteArray text = file.readAll();
    const auto value = findValue(text, section.toUtf8(), key.toUtf8());
    return value ? seenValue(*value) : defaultText;
}

IniSnapshot IniSnapshot::read(const QString& fileName)
{
    QFile file(fileName);
    return fromText(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
}

IniSnapshot IniSnapshot::fromText(QByteArrayView text)
{
    IniSnapshot snapshot;
    LineCursor cursor(text);
    QHash<QByteArray, QByteArray>* section = nullptr; // null before the first section and in repeats
    while (cursor.next()) {
        if (const auto name = sectionName(cursor.line())) {
            const QByteArray folded = foldedCase(*name);
            section = snapshot.m_sections.contains(folded) ? nullptr : &snapshot.m_sections[folded];
            continue;
        }
        if (!section)
            continue;
        if (const auto kv = keyLine(cursor.line()); kv && !section->contains(foldedCase(kv->key)))
            section->insert(foldedCase(kv->key), unquoted(kv->value));
    }
    return snapshot;
}

QString IniSnapshot::value(const QString& section, const QString& key, const QString& defaultText) const
{
    const auto found = m_sections.constFind(foldedCase(section.toUtf8()));
    if (found == m_sections.cend())
        return defaultText;
    const auto value = found->constFind(foldedCase(key.toUtf8()));
    return value == found->cend() ? defaultText : seenValue(*value);
}

QString IniSnapshot::value(IniKey key) const
{
    return value(key.section.toString(), key.name.toString());
}

Status WriteIni(const QString& fileName, const QString& section, const QString& key, const QString& value)
{
    QByteArray oneLine = value.toUtf8();
    if (const qsizetype brk = oneLine.indexOf('\n'); brk >= 0)
        oneLine.truncate(brk);
    if (const qsizetype brk = oneLine.indexOf('\r'); brk >= 0)
        oneLine.truncate(brk);

    // Without the lock a concurrent writer could lose this update or have it lose theirs; a
    // holder that does not let go must still not keep the setting from being written. The atomic
    // replacement keeps the file whole either way.
    const FileLock lock(fileName + QStringLiteral(".lock"), IniLockWait);
    if (!lock.isLocked())
        qCWarning(lcSettings) << "writing" << fileName << "without its lock:" << lock.error();
    QByteArray text;
    if (QFile current(fileName); current.open(QIODevice::ReadOnly))
        text = current.readAll();
    else if (QFileInfo::exists(
                 fileName)) // an unreadable file must not be replaced by one holding only this key
        return Status::failure(QStringLiteral("cannot read %1: %2").arg(fileName, current.errorString()));
    return replaceFileAtomically(fileName, withKeySet(text, section.toUtf8(), key.toUtf8(), oneLine),
                                 NewFileMode);
}

QString ReadIni(const QString& fileName, IniKey key)
{
    return ReadIni(fileName, key.section.toString(), key.name.toString());
}

Status WriteIni(const QString& fileName, IniKey key, const QString& value)
{
    return WriteIni(fileName, key.section.toString(), key.name.toString(), value);
}

} // namespace brevant
