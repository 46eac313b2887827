// "Am I protected?": the readiness check's verdict from the settings and its checks, on virtual
// time, with a real settings file and real record databases; the checks that need no link
// against real files.
#include "config/Settings.h"
#include "link/ActiveLink.h"
#include "platform/sim/RecordingMessageBox.h"
#include "platform/sim/SimulatedHalvic.h"
#include "platform/sim/SimulatedPlatform.h"
#include "platform/sim/SimulatedSerialPort.h"
#include "records/RecordStore.h"
#include "shutdown/Readiness.h"
#include "shutdown/ReadinessChecks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace brevant;
using Finding = Readiness::Finding;

namespace {

constexpr int tenMinutes = 10 * 60 * 1000;
const QString adduser = QStringLiteral("Add this user to the group brevant, as root: adduser ");

// A check whose answer the test sets and may hold back; counts how often it was asked.
struct FakeCheck
{
    Finding finding = Finding::yes();
    bool holdBack = false;
    int asked = 0;
    std::function<void(Finding)> held;

    Readiness::Check check()
    {
        return [this](std::function<void(Finding)> answer) {
            ++asked;
            if (holdBack)
                held = std::move(answer);
            else
                answer(finding);
        };
    }
};

// The answer of one concrete check, which answers at once.
Finding findingOf(const Readiness::Check& check)
{
    std::optional<Finding> answered;
    check([&answered](const Finding& finding) { answered = finding; });
    return answered.value_or(Finding::no(QStringLiteral("no answer"), {}));
}

// Whether `finds` holds when run as an ordinary user: root may read and write any file, so as root
// it runs in a child process that has become "nobody" and answers by its exit status.
bool asUser(const std::function<bool()>& finds)
{
    if (geteuid() != 0)
        return finds();
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 && finds() ? 0 : 1);
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QString notProtected(const QString& reasonAndRemedy)
{
    return QStringLiteral("Not protected: ") + reasonAndRemedy;
}

} // namespace

class TestReadiness : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void verdict_data();
    void verdict();
    void recheckLogsEachChangeOnce();
    void aRecheckDuringALateAnswerRunsOnceMore();

    void upsSwitchesOff_data();
    void upsSwitchesOff();
    void files_data();
    void files();
    void recordsOpen();

private:
    Settings settings() const { return Settings(m_dir->filePath(QStringLiteral("UpsConfigure.ini"))); }
    QStringList log() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordStore> m_records;
    VirtualScheduler m_scheduler;
};

void TestReadiness::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_records = std::make_unique<RecordStore>(m_dir->filePath(QStringLiteral("EventRecord.mdb")),
                                              m_dir->filePath(QStringLiteral("CloseAppRecord.mdb")));
    QVERIFY(m_records->open().ok());
    // A shutdown 1 minute after battery low, unless a row says otherwise.
    QVERIFY(settings().write(key::Shutdown(EventSection::LowBattery), QStringLiteral("1")).ok());
    QVERIFY(settings().write(key::Delaytime(EventSection::LowBattery), QStringLiteral("1")).ok());
}

void TestReadiness::cleanup()
{
    m_records.reset();
    m_dir.reset();
}

QStringList TestReadiness::log() const
{
    QStringList messages;
    for (const QStringList& row : m_records->rows(RecordTableId::Log))
        messages << row.value(2);
    return messages;
}

// The checks are asked in order, up to the first that fails.
void TestReadiness::verdict_data()
{
    QTest::addColumn<QStringList>("settings"); // "Section/Key=value"; "/": a directory in the file's place
    QTest::addColumn<QList<bool>>("checksReady");
    QTest::addColumn<QString>("text"); // %1: the settings file
    const QList<bool> allReady{true, true, true};
    const QString noShutdown = notProtected("no shutdown is set for a mains failure or a low battery. Turn "
                                            "on the shutdown for battery low in the event settings.");
    // clang-format off
    QTest::newRow("battery low") << QStringList() << allReady << "Protected — shutdown 1 min after battery low";
    QTest::newRow("the mains failure comes first") << QStringList{"UpsOnBattery/Shutdown=1", "UpsOnBattery/Delaytime=2.5"}
        << allReady << "Protected — shutdown 2 min 30 s after the mains fails";
    QTest::newRow("half a minute") << QStringList{"UpsLowBattery/Delaytime=0.5"} << allReady << "Protected — shutdown 30 s after battery low";
    QTest::newRow("no shutdown set") << QStringList{"UpsLowBattery/Shutdown=0"} << allReady << noShutdown;
    QTest::newRow("battery-low event switched off: its countdown never ends") << QStringList{"UpsLowBattery/Disableevent=1"} << allReady << noShutdown;
    QTest::newRow("a check that fails is said before the shutdown left unset")
        << QStringList{"UpsLowBattery/Shutdown=0"} << QList<bool>{false, true, true} << notProtected("reason 0. Remedy 0.");
    QTest::newRow("the first check that fails gives the reason") << QStringList() << QList<bool>{true, false, false} << notProtected("reason 1. Remedy 1.");
    QTest::newRow("the last one") << QStringList() << QList<bool>{true, true, false} << notProtected("reason 2. Remedy 2.");
    // A file that gives no settings reads as "no shutdown": the verdict says what is wrong with it.
    QTest::newRow("damaged settings file") << QStringList{"/"} << QList<bool>() << notProtected("%1 is a directory, not a file. "
        "Set the shutdown again on the Event Manager page, or remove the file so that Brevant writes its "
        "first-install settings at its next start.");
    // clang-format on
}

void TestReadiness::verdict()
{
    QFETCH(QStringList, settings);
    QFETCH(QList<bool>, checksReady);
    QFETCH(QString, text);
    const QString path = m_dir->filePath(QStringLiteral("UpsConfigure.ini"));
    if (settings == QStringList{"/"})
        QVERIFY(QFile::remove(path) && QDir().mkpath(path));
    else
        for (const QString& s : settings)
            QVERIFY(this->settings()
                        .write(IniKey{s.section(u'/', 0, 0), s.section(u'/', 1).section(u'=', 0, 0)},
                               s.section(u'=', 1))
                        .ok());
    Settings file = this->settings();
    Readiness readiness(m_scheduler, file, *m_records);
    std::vector<FakeCheck> checks(checksReady.size());
    for (qsizetype i = 0; i < checksReady.size(); ++i) {
        if (!checksReady[i])
            checks[i].finding =
                Finding::no(QStringLiteral("reason %1").arg(i), QStringLiteral("Remedy %1").arg(i));
        readiness.addCheck(checks[i].check());
    }
    QSignalSpy changed(&readiness, &Readiness::verdictChanged);
    readiness.start();
    QVERIFY(readiness.known());
    QCOMPARE(readiness.verdict().text, text.arg(path));
    QCOMPARE(readiness.verdict().isProtected, text.startsWith(u"Protected"));
    QCOMPARE(changed.size(), 1);
    const qsizetype firstFailing = checksReady.indexOf(false);
    for (qsizetype i = 0; i < checksReady.size(); ++i)
        QCOMPARE(checks[i].asked, firstFailing < 0 || i <= firstFailing ? 1 : 0);
}

// Rechecked every ten minutes, and at once on request (a port Apply, a settings change, the user).
// The program log gets each change once; a start that finds all well stays quiet.
void TestReadiness::recheckLogsEachChangeOnce()
{
    Settings file = settings();
    FakeCheck check;
    const QString broken = notProtected("broken. Mend it.");
    const QString fine = QStringLiteral("Protected — shutdown 1 min after battery low");
    {
        Readiness readiness(m_scheduler, file, *m_records);
        readiness.addCheck(check.check());
        QSignalSpy changed(&readiness, &Readiness::verdictChanged);
        readiness.start();
        readiness.recheck();
        QCOMPARE(check.asked, 2);
        QCOMPARE(log(), QStringList());
        check.finding = Finding::no(QStringLiteral("broken"), QStringLiteral("Mend it"));
        m_scheduler.advanceBy(tenMinutes - 1);
        QCOMPARE(check.asked, 2);
        m_scheduler.advanceBy(1);
        QCOMPARE(check.asked, 3);
        QCOMPARE(readiness.verdict().text, broken);
        m_scheduler.advanceBy(3 * tenMinutes);
        readiness.recheck();
        QCOMPARE(check.asked, 7);
        QCOMPARE(changed.size(), 2);
        QCOMPARE(log(), QStringList{broken});
        check.finding = Finding::yes();
        readiness.recheck();
        QCOMPARE(readiness.verdict().text, fine);
        QCOMPARE(log(), (QStringList{broken, fine}));
        QVERIFY(file.write(key::Delaytime(EventSection::LowBattery), QStringLiteral("3")).ok());
        readiness.recheck();
        QCOMPARE(log().constLast(), QStringLiteral("Protected — shutdown 3 min after battery low"));
    }
    check.finding = Finding::no(QStringLiteral("broken"), QStringLiteral("Mend it"));
    Readiness atStart(m_scheduler, file, *m_records);
    atStart.addCheck(check.check());
    atStart.start();
    QCOMPARE(log().size(), 4);
    QCOMPARE(log().constLast(), broken);
}

// A check that answers later (the system bus): a recheck meanwhile waits for it and then runs all
// checks once more; an answer arriving after the model is gone is dropped.
void TestReadiness::aRecheckDuringALateAnswerRunsOnceMore()
{
    const Settings file = settings();
    FakeCheck late;
    late.holdBack = true;
    auto readiness = std::make_unique<Readiness>(m_scheduler, file, *m_records);
    readiness->addCheck(late.check());
    readiness->start();
    QVERIFY(!readiness->known());
    readiness->recheck();
    readiness->recheck();
    QCOMPARE(late.asked, 1);
    late.held(Finding::no(QStringLiteral("slow"), QStringLiteral("Wait")));
    QCOMPARE(readiness->verdict().text, notProtected("slow. Wait."));
    QCOMPARE(late.asked, 2);
    readiness.reset();
    late.held(Finding::yes());
    QCOMPARE(log(), QStringList{notProtected("slow. Wait.")});
}

void TestReadiness::upsSwitchesOff_data()
{
    QTest::addColumn<QString>("port"); // [Mscomm] ComboPort
    QTest::addColumn<bool>("values");  // the library has the fifth function
    QTest::addColumn<QByteArray>("upsOff");
    QTest::addColumn<QByteArray>("why");
    QTest::addColumn<QString>("reason"); // empty: ready
    const QByteArray noCommand("UPS 'ups' offers no delayed off command");
    // clang-format off
    QTest::newRow("the library can")          << "0" << true  << QByteArray("yes") << QByteArray() << "";
    QTest::newRow("it cannot tell")           << "0" << true  << QByteArray()      << QByteArray() << "";
    QTest::newRow("a secondary: its primary switches the UPS off") << "0" << true << QByteArray("secondary") << QByteArray() << "";
    QTest::newRow("it cannot, and why")       << "0" << true  << QByteArray("no")  << noCommand
                                              << "the UPS cannot be switched off over USB (UPS 'ups' offers no delayed off command)";
    QTest::newRow("it cannot, without a why") << "0" << true  << QByteArray("no")  << QByteArray()
                                              << "the UPS cannot be switched off over USB";
    QTest::newRow("an older library never tells") << "0" << false << QByteArray("no") << noCommand << "";
    QTest::newRow("serial: DTR switches it off") << "1" << true << QByteArray("no") << noCommand << "";
    // clang-format on
}

void TestReadiness::upsSwitchesOff()
{
    QFETCH(QString, port);
    QFETCH(bool, values);
    QFETCH(QByteArray, upsOff);
    QFETCH(QByteArray, why);
    QFETCH(QString, reason);
    Settings file = settings();
    QVERIFY(file.write(key::ComboPort, port).ok());
    SimulatedHalvic library;
    library.setValuesSupported(values);
    library.setUpsOff(upsOff, why);
    RecordingMessageBox messages;
    UsbLink usb(library, messages);
    SimulatedSerialPort serialPort;
    SerialLink serial(serialPort);
    ActiveLink links(file, usb, serial);
    links.openAtStartup();
    QVERIFY(links.firstStatus());
    const Finding finding = findingOf(readiness::upsSwitchesOff(links));
    QCOMPARE(finding.reason, reason);
    QCOMPARE(finding.ready, reason.isEmpty());
    QCOMPARE(finding.remedy.isEmpty(), reason.isEmpty());
}

// The settings file, the administrator's UPS settings and close.exe, made by the test's user; the
// rows about permissions run the check as another, ordinary user.
void TestReadiness::files_data()
{
    QTest::addColumn<QString>("check"); // settings | system | close (with "Save all applications" on)
    QTest::addColumn<QString>("path");  // below the test's folder; a folder in it is made
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<int>("mode"); // of the file made at path; 0: none made; -1: a folder instead
    QTest::addColumn<bool>("otherUser");
    QTest::addColumn<QString>("reason"); // %1: the path; empty: ready
    const QString unwritable =
        QStringLiteral("the settings file %1 cannot be written, so applications cannot "
                       "be saved before the shutdown");
    const QString unreadable = QStringLiteral("this user cannot read the system's UPS settings in %1");
    const QString saveAll = QStringLiteral("\"Save all applications\" is on, but %1 is ");
    // clang-format off
    QTest::newRow("settings: a new file")            << "settings" << "c/new.ini" << 0700 << 0 << false << "";
    QTest::newRow("settings: a read-only file is replaced whole") << "settings" << "c/UpsConfigure.ini" << 0777 << 0444 << true << "";
    QTest::newRow("settings: no folder")             << "settings" << "gone/UpsConfigure.ini" << 0 << 0 << false << unwritable;
    QTest::newRow("settings: a read-only folder")    << "settings" << "c/UpsConfigure.ini" << 0555 << 0666 << true << unwritable;
    QTest::newRow("settings: a folder in its place") << "settings" << "c/UpsConfigure.ini" << 0700 << -1 << false << unwritable;
    QTest::newRow("system: absent")                  << "system" << "c/Halvic.conf" << 0755 << 0 << true << "";
    QTest::newRow("system: readable")                << "system" << "c/Halvic.conf" << 0755 << 0644 << true << "";
    QTest::newRow("system: below a file")            << "system" << "c/x/Halvic.conf" << 0755 << 0 << false << unreadable;
    QTest::newRow("system: not for this user")       << "system" << "c/Halvic.conf" << 0755 << 0640 << true << unreadable;
    QTest::newRow("system: a folder it cannot enter") << "system" << "c/Halvic.conf" << 0700 << 0644 << true << unreadable;
    QTest::newRow("close: off, missing")             << "close off" << "c/close.exe" << 0755 << 0 << false << "";
    QTest::newRow("close: executable")               << "close" << "c/close.exe" << 0755 << 0755 << false << "";
    QTest::newRow("close: missing")                  << "close" << "c/close.exe" << 0755 << 0 << false << saveAll + "missing";
    QTest::newRow("close: not executable")           << "close" << "c/close.exe" << 0755 << 0644 << false << saveAll + "not executable";
    // clang-format on
}

void TestReadiness::files()
{
    QFETCH(QString, check);
    QFETCH(QString, path);
    QFETCH(int, folderMode);
    QFETCH(int, mode);
    QFETCH(bool, otherUser);
    QFETCH(QString, reason);
    if (otherUser && geteuid() != 0)
        QSKIP("needs root to become another user");
    QVERIFY(QFile::setPermissions(m_dir->path(), QFile::Permissions(0x7755))); // others may enter
    const QString file = m_dir->filePath(path);
    const QString folder = QFileInfo(file).absolutePath();
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("c"))));
    QVERIFY(QFile(m_dir->filePath(QStringLiteral("c/x"))).open(QIODevice::WriteOnly)); // a file, not a folder
    if (mode == -1)
        QVERIFY(QDir().mkpath(file));
    if (mode > 0) {
        QFile made(file);
        QVERIFY(made.open(QIODevice::WriteOnly));
        made.close();
        QVERIFY(::chmod(QFile::encodeName(file).constData(), mode_t(mode)) == 0);
    }
    if (folderMode)
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), mode_t(folderMode)) == 0);
    Settings saveAll = settings();
    QVERIFY(saveAll.write(key::Saveapllication, QString::number(int(check == u"close"))).ok());
    const Readiness::Check checked = check == u"settings" ? readiness::settingsWritable(file)
                                     : check == u"system" ? readiness::systemFileReadable(file)
                                                          : readiness::closeProgramRuns(saveAll, file);
    const QString expected = reason.isEmpty() ? QString() : reason.arg(file);
    const auto finds = [&] {
        const Finding finding = findingOf(checked);
        if (finding.ready == reason.isEmpty() && finding.reason == expected &&
            finding.remedy.isEmpty() == finding.ready &&
            (check != u"system" || finding.ready || finding.remedy.startsWith(adduser)))
            return true;
        qWarning("found: %s / %s", qPrintable(finding.reason), qPrintable(finding.remedy));
        return false;
    };
    QVERIFY(otherUser ? asUser(finds) : finds());
}

void TestReadiness::recordsOpen()
{
    QCOMPARE(findingOf(readiness::recordsOpen(*m_records)).ready, true);
    m_records->close();
    const Finding closed = findingOf(readiness::recordsOpen(*m_records));
    QVERIFY2(closed.reason.startsWith(u"the record table record cannot be read ("),
             qPrintable(closed.reason));
}

QTEST_GUILESS_MAIN(TestReadiness)
#include "tst_readiness.moc"
