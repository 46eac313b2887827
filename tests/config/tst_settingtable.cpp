// The one table of settings against everything made from it or written beside it: the first-install
// file, the key table of docs/settings.md, and what the typed reading makes of each key.
#include "TestFiles.h"
#include "config/FirstInstall.h"
#include "config/SettingTable.h"
#include "config/Settings.h"

#include <QTemporaryDir>
#include <QTest>
#include <cmath>

using namespace brevant;

namespace {

const QString SourceDir = QStringLiteral(BREVANT_SOURCE_DIR);

// The key table of docs/settings.md as the table makes it.
QString keyTable()
{
    const auto code = [](QStringView text) -> QString { return u'`' + text.toString() + u'`'; };
    QString table =
        QStringLiteral("| Section | Key | Value | First install | Absent, unreadable or out of range | "
                       "Meaning |\n|---|---|---|---|---|---|\n");
    for (const SettingSpec& setting : AllSettings)
        table += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 |\n")
                     .arg(code(setting.key.section), code(setting.key.name), setting.values.toString(),
                          setting.firstInstall.isEmpty() ? QStringLiteral("(not written)")
                                                         : code(setting.firstInstall),
                          setting.fallbackText.toString(), setting.meaning.toString());
    return table;
}

} // namespace

class TestSettingTable : public QObject
{
    Q_OBJECT

private slots:
    // Scripts and the fault run start from the shipped file, and the docs show the keys: both must be
    // what the table makes.
    void sourceFilesAreTheTables()
    {
        QCOMPARE(testsupport::readFile(SourceDir + QStringLiteral("/src/config/UpsConfigure.ini")),
                 firstInstallSettings());
        const QString doc =
            QString::fromUtf8(testsupport::readFile(SourceDir + QStringLiteral("/docs/settings.md")));
        const QString table = keyTable();
        QVERIFY2(doc.contains(table), qPrintable("docs/settings.md must hold, under \"Keys\":\n" + table));
    }

    // Every key: found by its name in any case and only at its own row; absent, unreadable and
    // out-of-range text reads as the fallback; the first-install value reads as itself.
    void everyKeyReadsByItsRow_data()
    {
        QTest::addColumn<int>("row");
        for (qsizetype i = 0; i < qsizetype(AllSettings.size()); ++i) {
            const IniKey key = AllSettings[i].key;
            QTest::newRow(qPrintable(key.section + u' ' + key.name)) << int(i);
        }
    }

    void everyKeyReadsByItsRow()
    {
        QFETCH(int, row);
        const SettingSpec& setting = AllSettings[row];
        QCOMPARE(findSetting(setting.key.section.toString().toUpper(), setting.key.name.toString().toLower()),
                 &setting);
        QTemporaryDir dir;
        Settings settings(dir.filePath(QStringLiteral("UpsConfigure.ini")));
        const auto inUnits = [&](double v) { return setting.conversion == Conversion::Minutes ? v * 60 : v; };
        const double fallback = inUnits(setting.fallback);
        QCOMPARE(settings.value(setting.key), fallback);
        QStringList unreadable{QString(), QStringLiteral("abc")};
        if (std::isfinite(setting.lowest))
            unreadable << QString::number(setting.lowest - 1) << QStringLiteral("-5");
        if (std::isfinite(setting.highest))
            unreadable << QString::number(setting.highest + 1) << QStringLiteral("1e999");
        for (const QString& text : unreadable) {
            QVERIFY(settings.write(setting.key, text).ok());
            QVERIFY2(settings.value(setting.key) == fallback, qPrintable(text));
        }
        if (!setting.firstInstall.isEmpty()) {
            QVERIFY(settings.write(setting.key, setting.firstInstall.toString()).ok());
            QCOMPARE(settings.value(setting.key), inUnits(setting.firstInstall.toDouble()));
        }
    }
};

QTEST_GUILESS_MAIN(TestSettingTable)
#include "tst_settingtable.moc"
