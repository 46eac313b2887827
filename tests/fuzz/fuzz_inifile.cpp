// libFuzzer target: UpsConfigure.ini and CloseApp.ini as any program or editor may have left them,
// in UTF-8 or UTF-16 with any line ends.
// The scanning reader and the snapshot must agree on every key, and a key written into the file
// must read back as written.
#include "FuzzSupport.h"
#include "config/IniFile.h"

#include <QRegularExpression>

using namespace brevant;

namespace {

// The names of the sections and keys the file itself uses (the first eight of each), and the
// program's own.
QList<std::pair<QString, QString>> namesIn(const QString& text)
{
    static const QRegularExpression sectionLine(QStringLiteral("^\\s*\\[([A-Za-z0-9]{1,12})\\]"),
                                                QRegularExpression::MultilineOption);
    static const QRegularExpression keyLine(QStringLiteral("^\\s*([A-Za-z0-9]{1,12})\\s*="),
                                            QRegularExpression::MultilineOption);
    const auto firstEight = [&text](const QRegularExpression& line) {
        QStringList found;
        for (auto it = line.globalMatch(text); it.hasNext() && found.size() < 8;)
            found << it.next().captured(1);
        return found;
    };
    QList<std::pair<QString, QString>> names{{QStringLiteral("Schema"), QStringLiteral("ShutDown")},
                                             {QStringLiteral("CloseApp"), QStringLiteral("Count")}};
    const QStringList keys = firstEight(keyLine);
    for (const QString& section : firstEight(sectionLine)) {
        for (const QString& key : keys)
            names.append({section, key});
    }
    return names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView text(data, qsizetype(size));
    const QString file = QString::fromStdString(fuzz::scratchFile("UpsConfigure.ini", data, size));
    const IniSnapshot snapshot = IniSnapshot::fromText(text);
    const auto names = namesIn(QString::fromUtf8(decodeIni(text).utf8));
    const QString absent = QStringLiteral("\x01absent");
    for (const auto& [section, key] : names) {
        if (ReadIni(file, section, key, absent) != snapshot.value(section, key, absent))
            fuzz::invariantBroken("ReadIni and IniSnapshot disagree");
    }

    const auto& [section, key] = names.at(size % names.size());
    const QString written = QStringLiteral("v%1").arg(size);
    if (!WriteIni(file, section, key, written).ok())
        fuzz::invariantBroken("WriteIni failed on a writable file");
    if (ReadIni(file, section, key) != written)
        fuzz::invariantBroken("a written key does not read back");
    return 0;
}
