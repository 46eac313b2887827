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

QString code(QStringView text)
{
    return u'`' + text.toString() + u'`';
}

// The key table of docs/settings.md as the table makes it.
QString keyTable()
{
    QString table =
        QStringLiteral("| Section | Key | Value | First install | Absent, unreadable or out of range | "
                       "Meaning |\n|---|---|---|---|---|---|\n");
    for (const SettingSpec& setting : AllSettings) {
        table += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 |\n")
                     .arg(code(setting.key.section), code(setting.key.name), setting.values.toString(),
                          setting.firstInstall.isEmpty() ? QStringLiteral("(not written)")
                                                         : code(setting.firstInstall),
                          setting.fallbackText.toString(), setting.meaning.toString());
    }
    return table;
}

} // namespace

class TestSettingTable : public QObject
{
    Q_OBJECT

private slots:
    // scripts and the fault run start from this file; the program writes the table's own.
    void firstInstallFileIsTheTables()
    {
        QCOMPARE(testsupport::readFile(SourceDir + QStringLiteral("/src/config/UpsConfigure.ini")),
                 firstInstallSettings());
    }

    void settingsDocIsTheTables()
    {
        const QString doc =
            QString::fromUtf8(testsupport::readFile(SourceDir + QStringLiteral("/docs/settings.md")));
        const QString table = keyTable();
        if (!doc.contains(table))
            qWarning().noquote() << "docs/settings.md must hold, under \"Keys\":\n" + table;
        QVERIFY(doc.contains(table));
    }

    // Every key: absent, unreadable and out-of-range text reads as the fallback; the first-install
    // value reads as itself.
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
        QTemporaryDir dir;
        Settings settings(dir.filePath(QStringLiteral("UpsConfigure.ini")));
        const double fallback =
            setting.conversion == Conversion::Minutes ? setting.fallback * 60 : setting.fallback;
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
            const double value = setting.firstInstall.toDouble();
            QCOMPARE(settings.value(setting.key),
                     setting.conversion == Conversion::Minutes ? value * 60 : value);
        }
    }

    // Every key named in SettingKeys.h has its row, and no key two.
    void keysAreUnique()
    {
        for (const SettingSpec& setting : AllSettings)
            QCOMPARE(
                findSetting(setting.key.section.toString().toUpper(), setting.key.name.toString().toLower()),
                &setting);
    }
};

QTEST_GUILESS_MAIN(TestSettingTable)
#include "tst_settingtable.moc"
