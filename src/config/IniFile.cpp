#include "config/IniFile.h"

#include "base/Logging.h"
#include "platform/FileLock.h"

#include <QMutex>
#include <QSet>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <optional>

namespace brevant {
namespace {

constexpr unsigned NewFileMode = 0644; // the owner writes, everyone may read the settings

constexpr QByteArrayView Utf8Mark("\xEF\xBB\xBF");
constexpr QByteArrayView Utf16LeMark("\xFF\xFE");
constexpr QByteArrayView Utf16BeMark("\xFE\xFF");

QByteArrayView trimmed(QByteArrayView text)
{
    // NUL counts as a blank: a file padded with zeros reads as meant, and a write keeps its bytes.
    auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; };
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
    if (text.startsWith(Utf8Mark)) // a file of several, each with its byte order mark
        text = trimmed(text.sliced(Utf8Mark.size()));
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
// A line ends in LF, CR LF or a lone CR.
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
        const auto end = std::find_if(m_text.begin() + m_start, m_text.end(),
                                      [](char c) { return c == '\n' || c == '\r'; });
        m_next = end - m_text.begin();
        if (m_next < m_text.size())
            m_next += m_text.sliced(m_next).startsWith("\r\n") ? 2 : 1;
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
    const QByteArray eol = text.contains("\r\n")                         ? QByteArray("\r\n")
                           : text.contains('\r') && !text.contains('\n') ? QByteArray("\r")
                                                                         : QByteArray("\n");
    const auto endsLine = [](char c) { return c == '\n' || c == '\r'; };
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
            const QByteArrayView ending = line.endsWith("\r\n") ? "\r\n"
                                          : line.endsWith('\n') ? "\n"
                                          : line.endsWith('\r') ? "\r"
                                                                : "";
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
        if (insertAt > 0 && !endsLine(result.at(insertAt - 1))) {
            result.insert(insertAt, eol);
            insertAt += eol.size();
        }
        result.insert(insertAt, keyText);
        return result;
    }
    if (!result.isEmpty() && !endsLine(result.back()))
        result += eol;
    result += '[' + section.toByteArray() + ']' + eol + keyText;
    return result;
}

QString valueIn(QByteArrayView utf8, const QString& section, const QString& key, const QString& defaultText)
{
    const auto value = findValue(utf8, section.toUtf8(), key.toUtf8());
    return value ? seenValue(*value) : defaultText;
}

// The readable text of a file, or an empty one with the problem logged once.
QByteArray readableText(const QString& fileName, qint64 maxBytes)
{
    const Result<std::optional<IniText>> text = readIniFile(fileName, maxBytes);
    if (!text.ok()) {
        warnOnce(text.error());
        return {};
    }
    return text.value() ? text.value()->utf8 : QByteArray();
}

} // namespace

IniText decodeIni(QByteArrayView bytes)
{
    const auto utf16 = [&](QStringConverter::Encoding encoding) -> QByteArray {
        QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
        return QString(decoder(bytes.sliced(2))).toUtf8();
    };
    if (bytes.startsWith(Utf16LeMark))
        return {utf16(QStringConverter::Utf16LE), IniEncoding::Utf16Le};
    if (bytes.startsWith(Utf16BeMark))
        return {utf16(QStringConverter::Utf16BE), IniEncoding::Utf16Be};
    if (bytes.startsWith(Utf8Mark))
        return {bytes.sliced(Utf8Mark.size()).toByteArray(), IniEncoding::Utf8WithMark};
    return {bytes.toByteArray(), IniEncoding::Utf8};
}

QByteArray encodeIni(const IniText& text)
{
    const auto utf16 = [&](QStringConverter::Encoding encoding, QByteArrayView mark) -> QByteArray {
        QStringEncoder encoder(encoding, QStringConverter::Flag::Stateless);
        return mark.toByteArray() + QByteArray(encoder(QString::fromUtf8(text.utf8)));
    };
    switch (text.encoding) {
    case IniEncoding::Utf16Le:
        return utf16(QStringConverter::Utf16LE, Utf16LeMark);
    case IniEncoding::Utf16Be:
        return utf16(QStringConverter::Utf16BE, Utf16BeMark);
    case IniEncoding::Utf8WithMark:
        return Utf8Mark.toByteArray() + text.utf8;
    case IniEncoding::Utf8:
        break;
    }
    return text.utf8;
}

Result<std::optional<IniText>> readIniFile(const QString& fileName, qint64 maxBytes)
{
    const Result<std::optional<QByteArray>> bytes = readRegularFile(fileName, maxBytes);
    if (!bytes.ok())
        return Result<std::optional<IniText>>::failure(bytes.error());
    if (!bytes.value())
        return Result<std::optional<IniText>>::success(std::nullopt);
    return Result<std::optional<IniText>>::success(decodeIni(*bytes.value()));
}

void warnOnce(const QString& problem)
{
    // Outlives every caller, a static destructor's included.
    static auto* const mutex = new QMutex;
    static auto* const told = new QSet<QString>;
    const QMutexLocker locker(mutex);
    if (!told->contains(problem)) {
        told->insert(problem);
        qCWarning(lcSettings).noquote() << problem;
    }
}

QString ReadIni(const QString& fileName, const QString& section, const QString& key,
                const QString& defaultText)
{
    return valueIn(readableText(fileName, IniFileMaxBytes), section, key, defaultText);
}

QString iniValue(QByteArrayView utf8, IniKey key)
{
    return valueIn(utf8, key.section.toString(), key.name.toString(), QString());
}

IniSnapshot IniSnapshot::read(const QString& fileName)
{
    IniSnapshot snapshot;
    snapshot.parse(readableText(fileName, IniFileMaxBytes));
    return snapshot;
}

IniSnapshot IniSnapshot::fromText(QByteArrayView bytes)
{
    IniSnapshot snapshot;
    snapshot.parse(decodeIni(bytes).utf8);
    return snapshot;
}

void IniSnapshot::parse(QByteArrayView text)
{
    LineCursor cursor(text);
    QHash<QByteArray, QByteArray>* section = nullptr; // null before the first section and in repeats
    while (cursor.next()) {
        if (const auto name = sectionName(cursor.line())) {
            const QByteArray folded = foldedCase(*name);
            section = m_sections.contains(folded) ? nullptr : &m_sections[folded];
            continue;
        }
        if (!section)
            continue;
        if (const auto kv = keyLine(cursor.line()); kv && !section->contains(foldedCase(kv->key)))
            section->insert(foldedCase(kv->key), unquoted(kv->value));
    }
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

bool IniSnapshot::contains(IniKey key) const
{
    const auto found = m_sections.constFind(foldedCase(key.section.toUtf8()));
    return found != m_sections.cend() && found->contains(foldedCase(key.name.toUtf8()));
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
    if (!lock.status().ok())
        qCWarning(lcSettings).noquote()
            << "writing" << fileName << "without its lock:" << lock.status().error();
    // An unreadable file must not be replaced by one holding only this key.
    const Result<std::optional<IniText>> current = readIniFile(fileName, IniFileMaxBytes);
    if (!current.ok())
        return Status::failure(current.error());
    IniText text = current.value().value_or(IniText{});
    text.utf8 = withKeySet(text.utf8, section.toUtf8(), key.toUtf8(), oneLine);
    return replaceFileAtomically(fileName, encodeIni(text), NewFileMode);
}

QString ReadIni(const QString& fileName, IniKey key)
{
    return ReadIni(fileName, key.section.toString(), key.name.toString());
}

Status WriteIni(const QString& fileName, IniKey key, const QString& value)
{
    return WriteIni(fileName, key.section.toString(), key.name.toString(), value);
}

Result<QByteArray> readSaveList(const QString& fileName)
{
    const Result<std::optional<QByteArray>> bytes = readRegularFile(fileName, IniFileMaxBytes);
    if (!bytes.ok())
        return Result<QByteArray>::failure(bytes.error());
    return Result<QByteArray>::success(bytes.value().value_or(QByteArray()));
}

} // namespace brevant
