// libFuzzer target: UpsConfigure.ini and CloseApp.ini as any program or editor may have left them.
// The scanning reader and the snapshot must agree on every key, and a key written into the file
// must read back as written.
#include "FuzzSupport.h"
#include "config/IniFile.h"

#include <QRegularExpression>

using namespace brevant;

namespace {

// The names of the sections and keys the file itself uses, and the program's own.
QList<std::pair<QString, QString>> namesIn(const QString& text)
{
    QList<std::pair<QString, QString>> names{{QStringLiteral("Schema"), QStringLiteral("ShutDown")},
                                             {QStringLiteral("CloseApp"), QStringLiteral("Count")}};
    static const QRegularExpression sectionLine(QStringLiteral("^\\s*\\[([A-Za-z0-9]{1,12})\\]"),
                                                QRegularExpression::MultilineOption);
    static const QRegularExpression keyLine(QStringLiteral("^\\s*([A-Za-z0-9]{1,12})\\s*="),
                                            QRegularExpression::MultilineOption);
    QStringList sections;
    for (auto it = sectionLine.globalMatch(text); it.hasNext() && sections.size() < 8;)
        sections << it.next().captured(1);
    QStringList keys;
    for (auto it = keyLine.globalMatch(text); it.hasNext() && keys.size() < 8;)
        keys << it.next().captured(1);
    for (const QString& section : std::as_const(sections)) {
        for (const QString& key : std::as_const(keys))
            names.append({section, key});
    }
    return names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView text(data, qsizetype(size));
    const QString file = fuzz::scratchFile(QStringLiteral("UpsConfigure.ini"), text);
    const IniSnapshot snapshot = IniSnapshot::fromText(text);
    const auto names = namesIn(QString::fromUtf8(text));
    for (const auto& [section, key] : names) {
        const QString absent = QStringLiteral("\x01absent");
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
