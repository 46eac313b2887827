// The pieces of libHalvic that decide what a reply means (configuration, NUT names, status and
// the UPS-off command), and the worker thread behind the NUT and HID backends.
#include "Config.h"
#include "FakeNutServer.h"
#include "NutBackend.h"
#include "NutProtocol.h"
#include "NutStatusPipe.h"
#include "TestFiles.h"
#include "ThreadedBackend.h"
#include "UpsValues.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <cmath>
#include <map>
#include <memory>
#include <poll.h>

using namespace halvic;

namespace {

QString text(const std::string& value)
{
    return QString::fromStdString(value);
}

// A device that answers on mains, hangs until told otherwise or the worker is stopped, is stuck
// whatever the interrupt, or throws. Its control belongs to the worker's factory: a worker left to
// finish alone never touches the test's stack.
struct DeviceControl
{
    enum Mode
    {
        Answer,
        Hang,
        Stuck,
        Throw
    };
    std::atomic<Mode> mode{Answer};
    std::atomic<int> switchedOff{0};
};

class ControlledDevice : public Backend
{
public:
    ControlledDevice(std::shared_ptr<DeviceControl> control, const Interrupt& interrupt)
        : m_control(std::move(control))
        , m_interrupt(interrupt)
    {}
    std::optional<UpsReading> readStatus() override { return act(), UpsReading{}; }
    bool switchOff() override { return act(), ++m_control->switchedOff; }

private:
    void act()
    {
        if (m_control->mode == DeviceControl::Throw)
            throw std::bad_alloc();
        while (m_control->mode == DeviceControl::Stuck ||
               (m_control->mode == DeviceControl::Hang && !m_interrupt.isRaised()))
            waitFor(-1, POLLIN, Clock::now() + std::chrono::milliseconds(5), m_interrupt);
    }

    std::shared_ptr<DeviceControl> m_control;
    const Interrupt& m_interrupt;
};

std::unique_ptr<ThreadedBackend> controlledWorker(const std::shared_ptr<DeviceControl>& control,
                                                  WorkerTiming timing)
{
    return std::make_unique<ThreadedBackend>(
        [control](const Interrupt& interrupt) {
            return std::make_unique<ControlledDevice>(control, interrupt);
        },
        timing);
}

} // namespace

class TestHalvicParts : public QObject
{
    Q_OBJECT

private slots:
    void readsNutText_data();
    void readsNutText();
    void loadsConfiguration_data();
    void loadsConfiguration();
    void workerSendsTheCommandOnceTheDeviceIsFree();
    void workerSurvivesThrowingAndStuckDevices();
    void credentialsGoOnlyToTheNamedServer_data();
    void credentialsGoOnlyToTheNamedServer();
    void statusPipeAsksJustBeforeEachPoll();
    void statusPipeGivesUpOnAServerThatSaysTooMuch();
    void writesWholeValueLines_data();
    void writesWholeValueLines();
};

void TestHalvicParts::readsNutText_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("read");
    // clang-format off
    QTest::newRow("target: empty, first UPS on localhost") << "target" << "" << "|localhost|3493|default";
    QTest::newRow("target: bare name, on localhost") << "target" << "ups" << "ups|localhost|3493|default";
    QTest::newRow("target: name, host, port")    << "target" << "eaton@127.0.0.1:3500" << "eaton|127.0.0.1|3500|named";
    QTest::newRow("target: IPv6 with port")      << "target" << "ups@[::1]:3500" << "ups|::1|3500|named";
    QTest::newRow("target: no host")             << "target" << "ups@" << "invalid";
    QTest::newRow("status: LB before OB")        << "status" << "LB OB" << "battery low";
    QTest::newRow("status: blanks around")       << "status" << "\tOL  LB \r\n" << "mains low";
    QTest::newRow("status: token inside a word") << "status" << "OLD" << "none";
    QTest::newRow("status: OL and OB contradict") << "status" << "OL OB" << "none";
    QTest::newRow("status: quotes are part of a word") << "status" << "OL \"L\"B" << "mains";
    QTest::newRow("status: forced shutdown alone") << "status" << "FSD" << "power unknown forced";
    QTest::newRow("status: forced shutdown on battery") << "status" << "FSD OB LB" << "battery low forced";
    QTest::newRow("logins: own count") << "logins" << "NUMLOGINS ups 3" << "3";
    QTest::newRow("logins: another UPS") << "logins" << "NUMLOGINS other 3" << "none";
    QTest::newRow("logins: an error") << "logins" << "ERR UNKNOWN-UPS" << "none";
    QTest::newRow("name: line end smuggles a request") << "name" << "ups\nSET VAR" << "invalid";
    QTest::newRow("name: 65 characters")         << "name" << QString(65, 'u') << "invalid";
    QTest::newRow("off: returns when mains is back") << "off" << "load.off load.off.delay shutdown.stayoff shutdown.return" << "shutdown.return";
    QTest::newRow("off: staying off before a delayed load off") << "off" << "load.off.delay shutdown.stayoff" << "shutdown.stayoff";
    QTest::newRow("off: never an immediate one") << "off" << "load.off" << "";
    // clang-format on
}

void TestHalvicParts::readsNutText()
{
    QFETCH(QString, kind);
    QFETCH(QString, input);
    const std::string in = input.toStdString();
    QString read;
    if (kind == u"target") {
        const auto target = parseNutTarget(in);
        read = target ? QStringList{text(target->ups), text(target->host), QString::number(target->port),
                                    target->hostNamed ? QStringLiteral("named") : QStringLiteral("default")}
                            .join('|')
                      : QStringLiteral("invalid");
    } else if (kind == u"status") {
        const auto reading = readingFromUpsStatus(in);
        read = !reading
                   ? QStringLiteral("none")
                   : QString(!reading->powerKnown ? "power unknown"
                             : reading->onMains   ? "mains"
                                                  : "battery") +
                         (reading->batteryLow ? " low" : "") + (reading->forcedShutdown ? " forced" : "");
    } else if (kind == u"logins") {
        const auto count = loginCountFromAnswer(in, "ups");
        read = count ? QString::number(*count) : QStringLiteral("none");
    } else if (kind == u"name") {
        read = isValidNutName(in) ? QStringLiteral("valid") : QStringLiteral("invalid");
    } else {
        read = text(preferredOffCommand(splitNutLine(in)));
    }
    QTEST(read, "read");
}

// Each file names itself in nut_ups; the system file (etc) also sets the backend, the user and a
// sim_file relative to itself. Every file is readable by all: only one holding a password (marked
// '*') is refused.
void TestHalvicParts::loadsConfiguration_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("loaded"); // backend|nut_ups|nut_user|sim_file|refusals
    const QString system = QStringLiteral("sim|%1|system|etc/states/ups.state|%2");
    // clang-format off
    QTest::newRow("user file overrides the system file's keys")
        << QStringList{"etc", "xdg/brevant"} << QStringList{"XDG_CONFIG_HOME=xdg"} << system.arg("xdg/brevant", "0");
    QTest::newRow("environment overrides every file") << QStringList{"etc"} << QStringList{"HALVIC_NUT_UPS=env"} << system.arg("env", "0");
    QTest::newRow("a password others can read: the file is refused")
        << QStringList{"etc", "xdg/brevant*"} << QStringList{"XDG_CONFIG_HOME=xdg"} << system.arg("etc", "1");
    QTest::newRow("beside the library: only that one")
        << QStringList{"lib", "etc", "xdg/brevant"} << QStringList{"XDG_CONFIG_HOME=xdg"} << "|lib||lib/halvic-sim.state|0";
    QTest::newRow("HALVIC_CONF names the one file")
        << QStringList{"lib", "etc", "named"} << QStringList{"HALVIC_CONF=named/Halvic.conf"} << "|named||lib/halvic-sim.state|0";
    // clang-format on
}

void TestHalvicParts::loadsConfiguration()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, environment);
    QTemporaryDir root;
    const auto at = [&](const QString& relative) { return root.filePath(relative).toStdString(); };
    QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("lib"))));
    for (QString file : files) {
        const bool password = file.endsWith('*');
        QByteArray conf = "; comment\n# comment\n NUT_UPS = " + file.remove('*').toUtf8() + " \n";
        if (file == u"etc")
            conf += "Backend = SIM\nnut_user = system\nsim_file = states/ups.state\n";
        if (password)
            conf += "nut_password = x\n";
        const QString path = root.filePath(file + QStringLiteral("/Halvic.conf"));
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        testsupport::writeFile(path, conf);
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    }
    std::map<std::string, std::string> variables;
    for (const QString& variable : environment) {
        const QString value = variable.section('=', 1);
        variables[variable.section('=', 0, 0).toStdString()] = value == u"env" ? "env" : at(value);
    }
    const auto lookup = [&](const char* name) -> std::optional<std::string> {
        const auto it = variables.find(name);
        return it == variables.end() ? std::nullopt : std::optional(it->second);
    };
    const Config config = loadConfig(at("lib"), lookup, at("etc"));
    QTEST(QStringList({text(config.backend), text(config.nutUps), text(config.nutUser), text(config.simFile),
                       QString::number(config.refusals.size())})
              .join('|')
              .remove(root.path() + '/'),
          "loaded");
}

// While the device hangs, the reading goes stale and UPS-off calls are answered "not accepted"
// within commandWait; the worker sends the command once the device is free, once for all the
// calls that came while it waited; stopping a hung worker is prompt.
void TestHalvicParts::workerSendsTheCommandOnceTheDeviceIsFree()
{
    using std::chrono::milliseconds;
    const auto control = std::make_shared<DeviceControl>();
    auto worker = controlledWorker(control, {.pollInterval = milliseconds(10),
                                             .staleAfter = milliseconds(300),
                                             .firstReadingWait = milliseconds(5000)});
    QVERIFY(worker->readStatus().has_value());
    control->mode = DeviceControl::Hang;
    QTRY_VERIFY(!worker->readStatus().has_value());
    QCOMPARE(worker->requestSwitchOff(), OffReply::NoAnswer);
    QCOMPARE(worker->requestSwitchOff(), OffReply::NoAnswer);
    QCOMPARE(control->switchedOff.load(), 0);
    control->mode = DeviceControl::Answer;
    QTRY_COMPARE(control->switchedOff.load(), 1);
    QTRY_COMPARE(worker->requestSwitchOff(), OffReply::Accepted);

    control->mode = DeviceControl::Hang;
    QTRY_VERIFY(!worker->readStatus().has_value());
    QElapsedTimer stopping;
    stopping.start();
    worker.reset();
    QVERIFY2(stopping.elapsed() < 5000, "the interrupt did not end the device's wait");
}

// A device that throws (out of memory) costs one answer, not the program; one stuck beyond any
// interrupt with a UPS-off pending is left behind when the backend ends, and logs after the
// test's own objects are gone (the sanitizer run proves it touches nothing freed).
void TestHalvicParts::workerSurvivesThrowingAndStuckDevices()
{
    using std::chrono::milliseconds;
    const auto control = std::make_shared<DeviceControl>();
    auto worker = controlledWorker(control, {.pollInterval = milliseconds(10),
                                             .staleAfter = milliseconds(300),
                                             .firstReadingWait = milliseconds(5000),
                                             .commandWait = milliseconds(200),
                                             .commandDeadline = milliseconds(50)});
    control->mode = DeviceControl::Throw;
    QCOMPARE(worker->requestSwitchOff(), OffReply::NoAnswer);
    QTRY_VERIFY(!worker->readStatus().has_value());
    control->mode = DeviceControl::Answer;
    QTRY_VERIFY(worker->readStatus().has_value());
    QTRY_COMPARE(worker->requestSwitchOff(), OffReply::Accepted);

    control->mode = DeviceControl::Stuck;
    QTRY_VERIFY(!worker->readStatus().has_value());
    QCOMPARE(worker->requestSwitchOff(), OffReply::NoAnswer);
    worker.reset();
    control->mode = DeviceControl::Answer; // the worker left alone ends on its own
    QTRY_COMPARE(control.use_count(), 1);
}

void TestHalvicParts::credentialsGoOnlyToTheNamedServer_data()
{
    QTest::addColumn<bool>("named");
    QTest::addColumn<QStringList>("requests");
    // LIST CMD as the connection begins, on the library's own thread: whether nut_offcmd is
    // offered, told with the values.
    // clang-format off
    QTest::newRow("named in nut_ups: logs in, is primary on this machine, logs out")
        << true
        << QStringList{"USERNAME \"admin\"",
                       "PASSWORD \"secret\"",
                       "LOGIN fake",
                       "PRIMARY fake",
                       "LIST CMD fake",
                       "FSD fake",
                       "GET NUMLOGINS fake",
                       "INSTCMD fake load.off",
                       "LOGOUT"};
    QTest::newRow("localhost by default: a secondary that sends no credentials") << false << QStringList{};
    // clang-format on
}

void TestHalvicParts::credentialsGoOnlyToTheNamedServer()
{
    QFETCH(bool, named);
    QFETCH(QStringList, requests);
    const fakenut::FakeNutServer server(fakenut::Behaviour::Serve, {.commands = {"load.off"}});
    const Interrupt interrupt;
    {
        NutBackend backend(
            {.target = {.ups = "fake", .host = "127.0.0.1", .port = server.port(), .hostNamed = named},
             .user = "admin",
             .password = "secret",
             .offCommand = "load.off"},
            interrupt);
        QVERIFY(backend.readStatus().has_value());
        QCOMPARE(backend.requestSwitchOff(), named ? OffReply::Accepted : OffReply::NotMine);
    }
    const auto sent = [&] {
        QStringList lines;
        // The status and the values asked with it are other tests' matter.
        const QRegularExpression valueRequest(QStringLiteral("^GET VAR fake "));
        for (const std::string& line : server.requests()) {
            if (!valueRequest.match(text(line)).hasMatch())
                lines << text(line);
        }
        return lines;
    };
    QTRY_COMPARE(sent(), requests);
}

// The monitor's rhythm, shortened: each request leaves the socket just before the poll it is for
// (the kernel sends it; the server's arrival times show when), and the poll takes its answers,
// which say what the server knew then. The first poll finds the connection just used and sends
// nothing: when its request would leave is not foreseeable yet.
void TestHalvicParts::statusPipeAsksJustBeforeEachPoll()
{
    using namespace std::chrono_literals;
    fakenut::FakeNutServer server(fakenut::Behaviour::Serve, {.variables = {{"battery.charge", "80"}}});
    const Interrupt interrupt;
    const std::vector<std::string> requests{"GET VAR fake ups.status", "GET VAR fake battery.charge"};
    const auto pipe = NutStatusPipe::open(
        {.ups = "fake", .host = "127.0.0.1", .port = server.port(), .hostNamed = true}, requests, interrupt);
    QVERIFY(pipe);
    const size_t warmUp = server.requests().size();
    constexpr auto Rhythm = 500ms;
    constexpr auto Lead = 60ms;
    constexpr int Polls = 6;
    std::vector<Deadline> departures;
    Deadline poll = Clock::now();
    for (int k = 0; k <= Polls; ++k) {
        QTest::qWait(int(std::chrono::ceil<std::chrono::milliseconds>(poll - Clock::now()).count()));
        // Half a poll: a test thread late under load still takes the answer, and one a poll old
        // would tell the status before.
        const auto answers = pipe->take(Rhythm / 2);
        if (k >= 2) {
            QVERIFY2(answers, qPrintable(QStringLiteral("poll %1").arg(k)));
            const std::string told = (k - 1) % 2 ? "OL" : "OB";
            QCOMPARE(text(answers->front()), text("VAR fake ups.status \"" + told + '"'));
            QCOMPARE(text(answers->back()), QStringLiteral("VAR fake battery.charge \"80\""));
        }
        server.setStatus(k % 2 ? "OL" : "OB");
        if (k > 0 && k < Polls)
            departures.push_back(poll + Rhythm - Lead);
        if (k < Polls)
            pipe->prefetch(poll + Rhythm - Lead, Rhythm);
        poll += Rhythm;
    }
    QVERIFY(!pipe->isBroken());
    std::vector<Deadline> arrivals;
    const auto lines = server.requests();
    for (size_t i = warmUp; i < lines.size(); ++i) {
        if (lines[i] == requests.front())
            arrivals.push_back(server.arrivals()[i]);
    }
    QCOMPARE(arrivals.size(), departures.size());
    for (size_t i = 0; i < departures.size(); ++i) {
        const auto early = std::chrono::duration_cast<std::chrono::milliseconds>(departures[i] - arrivals[i]);
        QVERIFY2(
            early < 25ms && early > -250ms,
            qPrintable(
                QStringLiteral("request %1 arrived %2 ms before it was to leave").arg(i).arg(early.count())));
    }
}

// Lines nobody asked for end the pipe: it never reads on for them, nor waits.
void TestHalvicParts::statusPipeGivesUpOnAServerThatSaysTooMuch()
{
    using namespace std::chrono_literals;
    fakenut::FakeNutServer server(fakenut::Behaviour::Serve);
    const Interrupt interrupt;
    const auto pipe =
        NutStatusPipe::open({.ups = "fake", .host = "127.0.0.1", .port = server.port(), .hostNamed = true},
                            {"GET VAR fake ups.status"}, interrupt);
    QVERIFY(pipe);
    server.setBehaviour(fakenut::Behaviour::EndlessList);
    QTest::qWait(300); // idle long enough for the first request's time to be foreseen
    pipe->prefetch(Clock::now() + 100ms, 300ms);
    QTRY_VERIFY(!pipe->take(1s) && pipe->isBroken());
}

void TestHalvicParts::writesWholeValueLines_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("written");
    // clang-format off
    QTest::newRow("room for all")         << 4096 << QByteArray("battery.charge 87\nbattery.runtime 1380\ninput.voltage 230.5\ndevice.mfr EATON\n");
    QTest::newRow("exactly the first line") << 19 << QByteArray("battery.charge 87\n");
    QTest::newRow("one byte short of it") << 18   << QByteArray("device.mfr EATON\n");
    QTest::newRow("only the terminator")  << 1    << QByteArray();
    QTest::newRow("no room at all")       << 0    << QByteArray();
    // clang-format on
}

// Lines that do not fit, names that are not one word and values that would break a line are left
// out whole; the terminator always fits and nothing is written past size.
void TestHalvicParts::writesWholeValueLines()
{
    QFETCH(int, size);
    QFETCH(QByteArray, written);
    const UpsValues values{{"battery.charge", valueNumber(87.04)},
                           {"battery.runtime", valueNumber(1380.0, 0)},
                           {"input.voltage", valueNumber(230.5)},
                           {"bad name", "1"},
                           {"device.model", "two\nlines"},
                           {"output.voltage", valueNumber(std::nan(""))},
                           {"device.mfr", "EATON"}};
    QByteArray buffer(size + 8, '\x5a');
    QCOMPARE(writeValueLines(values, buffer.data(), size), written.size());
    QCOMPARE(buffer.left(written.size()), written);
    if (size > 0)
        QCOMPARE(buffer.at(written.size()), '\0');
    QCOMPARE(buffer.mid(size), QByteArray(8, '\x5a'));
}

QTEST_GUILESS_MAIN(TestHalvicParts)
#include "tst_halvicparts.moc"
