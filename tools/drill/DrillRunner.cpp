#include "DrillRunner.h"

#include "base/Logging.h"
#include "config/IniFile.h"
#include "config/Settings.h"
#include "engine/MonitorEngine.h"
#include "engine/WindowsModel.h"
#include "link/SerialLink.h"
#include "link/UsbLink.h"
#include "monitor/StatusDisplay.h"
#include "platform/sim/SimulatedPlatform.h"
#include "records/RecordStore.h"
#include "shutdown/AlarmController.h"
#include "shutdown/Confirmation.h"
#include "shutdown/Countdown.h"

#include <cmath>
#include <optional>

namespace brevant::drill {
namespace {

// How the simulated UPS answers the command to switch off, as the scenario sets it: accepted at
// once; "under way" for a while from the first command, then accepted (the primary computer of a
// shared UPS waits for the other computers); or "not this computer's" (a secondary).
class UpsOffAnswer
{
public:
    // The words after "usb upsoff", as the scenario's parser let them through. A new answer
    // starts its wait afresh.
    void set(const QStringList& words)
    {
        m_reply = words.first() == u"notmine" ? HALVIC_REPLY_NOT_MINE : HALVIC_REPLY_ACCEPTED;
        m_underWayMs = words.first() == u"underway" ? std::llround(words.at(1).toDouble() * 1000.0) : 0;
        m_firstCommandMs.reset();
    }

    const char* replyAt(qint64 nowMs)
    {
        if (!m_firstCommandMs)
            m_firstCommandMs = nowMs;
        return nowMs - *m_firstCommandMs < m_underWayMs ? HALVIC_REPLY_UNDER_WAY : m_reply;
    }

private:
    const char* m_reply = HALVIC_REPLY_ACCEPTED;
    qint64 m_underWayMs = 0;
    std::optional<qint64> m_firstCommandMs;
};

// The USB library as the engine sees it: the simulated UPS answers every UPS-off command as the
// scenario says, and each command is reported with that answer.
class ReportingHalvic final : public HalvicApi
{
public:
    using UpsOffReported = std::function<void(QByteArrayView replyCode)>;

    ReportingHalvic(SimulatedHalvic& inner, std::function<qint64()> now, UpsOffReported onUpsOff)
        : m_inner(inner)
        , m_now(std::move(now))
        , m_onUpsOff(std::move(onUpsOff))
    {}
    Status hidHandle() override { return m_inner.hidHandle(); }
    Status closeHandleDevice() override { return m_inner.closeHandleDevice(); }
    Status cmdOutput(int command, char* replyCode) override
    {
        if (command != UsbLink::UpsOff)
            return m_inner.cmdOutput(command, replyCode);
        m_inner.setUpsOffReply(m_upsOffAnswer.replyAt(m_now()));
        const Status sent = m_inner.cmdOutput(command, replyCode);
        m_onUpsOff(QByteArrayView(replyCode, ReplyCodeSize));
        return sent;
    }
    Status cmdInput(char* statusBlock, char* secondBuffer) override
    {
        return m_inner.cmdInput(statusBlock, secondBuffer);
    }
    QByteArray values() override { return m_inner.values(); }

    UpsOffAnswer& upsOffAnswer() { return m_upsOffAnswer; }

private:
    SimulatedHalvic& m_inner;
    std::function<qint64()> m_now;
    UpsOffReported m_onUpsOff;
    UpsOffAnswer m_upsOffAnswer;
};

// The answers other than a plain "accepted" by their scenario words; nothing for "accepted" and
// for no answer, whose reports stay as they always were.
QString upsOffReplyName(QByteArrayView replyCode)
{
    if (replyCode == QByteArrayView(HALVIC_REPLY_UNDER_WAY))
        return QStringLiteral("underway");
    if (replyCode == QByteArrayView(HALVIC_REPLY_NOT_MINE))
        return QStringLiteral("notmine");
    return {};
}

// The serial port, reporting the raise of DTR, which asks the UPS to switch off.
class ReportingSerialPort final : public SerialPort
{
public:
    ReportingSerialPort(SerialPort& inner, std::function<void()> onUpsOff)
        : m_inner(inner)
        , m_onUpsOff(std::move(onUpsOff))
    {}
    Status open(int portNumber) override { return m_inner.open(portNumber); }
    void close() override { m_inner.close(); }
    bool isOpen() const override { return m_inner.isOpen(); }
    void setRts(bool high) override { m_inner.setRts(high); }
    void setDtr(bool high) override
    {
        if (high)
            m_onUpsOff();
        m_inner.setDtr(high);
    }
    bool cts() override { return m_inner.cts(); }
    bool dcd() override { return m_inner.dcd(); }

private:
    SerialPort& m_inner;
    std::function<void()> m_onUpsOff;
};

} // namespace

struct DrillRunner::Private
{
    Private(const AppPaths& paths, Report& sink)
        : report(sink)
        , halvic(
              platform.halvic, [this] { return platform.scheduler.nowMs(); },
              [this](QByteArrayView replyCode) {
                  Report::Fields fields{{u"link", QStringLiteral("usb")}};
                  if (const QString reply = upsOffReplyName(replyCode); !reply.isEmpty())
                      fields.append({u"reply", reply});
                  emitEvent(u"ups-off", fields);
              })
        , serialPort(platform.serialPort,
                     [this] {
                         emitEvent(u"ups-off", {{u"link", QStringLiteral("serial")}});
                     })
        , engine(paths, {platform.scheduler, halvic, serialPort, platform.messages, platform.tray,
                         platform.powerOff, platform.processStarter})
    {
        connectReports();
    }

    void emitEvent(QStringView event, const Report::Fields& fields)
    {
        report.event(platform.scheduler.nowMs(), event, fields);
    }

    void connectReports();
    void apply(const ScenarioCommand& command);
    void press(const QString& button);

    Report& report;
    SimulatedPlatform platform;
    ReportingHalvic halvic;
    ReportingSerialPort serialPort;
    MonitorEngine engine;
};

void DrillRunner::Private::connectReports()
{
    QObject::connect(&engine.display(), &StatusDisplay::messageChanged,
                     [this](const QString& text, quint32 color) {
                         emitEvent(u"status", {{u"text", text}, {u"color", StatusDisplay::colorName(color)}});
                     });
    platform.tray.onReplace = [this](const SimulatedTray::Icon& icon) {
        emitEvent(u"tray", {{u"icon", trayPictureName(icon.picture)}, {u"tip", icon.tip}});
    };
    QObject::connect(&engine.records(), &RecordStore::recordAppended,
                     [this](RecordTableId table, const QString& text) {
                         emitEvent(u"record", {{u"table", RecordStore::tableName(table)}, {u"text", text}});
                     });
    QObject::connect(&engine.records(), &RecordStore::tableCleared, [this](RecordTableId table) {
        emitEvent(u"cleared", {{u"table", RecordStore::tableName(table)}});
    });
    QObject::connect(&engine.countdown(), &Countdown::lblAlarmChanged, [this](const QString& text) {
        emitEvent(u"countdown", {{u"text", text}});
    });
    AlarmController& alarm = engine.alarm();
    QObject::connect(&alarm, &AlarmController::shown, [this] {
        emitEvent(u"alarm", {{u"action", QStringLiteral("show")}});
    });
    QObject::connect(&alarm, &AlarmController::hidden, [this] {
        emitEvent(u"alarm", {{u"action", QStringLiteral("hide")}});
    });
    QObject::connect(&alarm, &AlarmController::unloaded, [this] {
        emitEvent(u"alarm", {{u"action", QStringLiteral("unload")}});
    });
    QObject::connect(&engine.confirmation(), &Confirmation::questionShown, [this](const QString& text) {
        emitEvent(u"question", {{u"text", text}});
    });
    QObject::connect(&engine.confirmation(), &Confirmation::questionUnloaded, [this] {
        emitEvent(u"question", {{u"action", QStringLiteral("unload")}});
    });
    QObject::connect(&engine.windows(), &WindowsModel::visibilityChanged,
                     [this](WindowsModel::Window window, bool visible) {
                         emitEvent(u"window",
                                   {{u"name", window == WindowsModel::frmMain ? QStringLiteral("frmMain")
                                                                              : QStringLiteral("frmSave")},
                                    {u"action", visible ? QStringLiteral("show") : QStringLiteral("hide")}});
                     });
    engine.settings().setWriteObserver([this](IniKey key, const QString& value) {
        emitEvent(u"settings",
                  {{u"section", key.section.toString()}, {u"key", key.name.toString()}, {u"value", value}});
    });
    platform.processStarter.onStart = [this](const QString& program) {
        emitEvent(u"start-program", {{u"path", program}});
    };
    platform.powerOff.onShutdown = [this] { emitEvent(u"system-shutdown", {}); };
}

void DrillRunner::Private::apply(const ScenarioCommand& c)
{
    if (c.verb == u"usb" && c.args.first() == u"fsd") {
        platform.halvic.setForcedShutdown(c.args.at(1) == u"on");
    } else if (c.verb == u"usb" && c.args.first() == u"upsoff") {
        halvic.upsOffAnswer().set(c.args.mid(1));
    } else if (c.verb == u"usb" && c.args.size() == 2) {
        // "usb charge 40", "usb runtime 300": what the UPS reports of its battery from now on.
        const QByteArray name = c.args.first() == u"charge" ? "battery.charge" : "battery.runtime";
        platform.halvic.setValue(name, c.args.at(1).toUtf8());
    } else if (c.verb == u"usb") {
        platform.halvic.setUpsState(*SimulatedHalvic::parseUpsState(c.args.first()));
    } else if (c.verb == u"serial") {
        for (const QString& a : c.args) {
            const bool asserted = a.endsWith(u'1');
            if (a.startsWith(u"cts"))
                platform.serialPort.setCts(asserted);
            else
                platform.serialPort.setDcd(asserted);
        }
    } else if (c.verb == u"set") {
        const Status written =
            WriteIni(engine.paths().settingsFile(), c.args.at(0), c.args.at(1), c.valueText);
        if (!written.ok())
            qCWarning(lcSettings).noquote() << "line" << c.line << ':' << written.error();
    } else if (c.verb == u"press") {
        press(c.args.first());
    }
}

void DrillRunner::Private::press(const QString& button)
{
    Confirmation& question = engine.confirmation();
    AlarmController& alarm = engine.alarm();
    RecordStore& records = engine.records();
    // A button that is disabled, or on a window that is not up, ignores the press.
    if (button == u"shutdown" && engine.display().shutdownEnabled())
        question.pressShutdownButton();
    else if (button == u"yes" && question.isLoaded())
        question.pressYes();
    else if (button == u"no" && question.isLoaded())
        question.pressNo();
    else if (button == u"clear-log" && records.recordCount(RecordTableId::Log).valueOr(0) > 0)
        question.pressClearLog();
    else if (button == u"clear-events" && records.recordCount(RecordTableId::UpsEvent).valueOr(0) > 0)
        question.pressClearUps();
    else if (button == u"clear-closed" && records.recordCount(RecordTableId::CloseApp).valueOr(0) > 0)
        question.pressClearClose();
    else if (button == u"alarm-shutdown" && alarm.isVisible())
        alarm.pressShutdown();
    else if (button == u"alarm-cancel" && alarm.isVisible())
        alarm.pressCancel();
}

DrillRunner::DrillRunner(const AppPaths& paths, Report& report)
    : d(std::make_unique<Private>(paths, report))
{}

DrillRunner::~DrillRunner() = default;

void DrillRunner::run(const Scenario& scenario)
{
    // Settings and device states given for time 0 set the stage: they hold before the program
    // loads. Everything else happens after the load.
    auto setsTheStage = [](const ScenarioCommand& c) {
        return c.timeMs == 0 && c.verb != u"press" && c.verb != u"end";
    };
    for (const ScenarioCommand& c : scenario.commands) {
        if (setsTheStage(c)) {
            d->report.command(c);
            d->apply(c);
        }
    }
    // The simulated cable hangs on the serial port the settings choose.
    if (const LinkChoice link = d->engine.settings().link(); link.serial)
        d->platform.serialPort.setUpsPort(link.port);
    d->engine.finishSplash();
    for (const ScenarioCommand& c : scenario.commands) {
        if (setsTheStage(c))
            continue;
        // Everything due at the command's moment happens first.
        d->platform.scheduler.advanceTo(c.timeMs);
        if (c.verb == u"end") {
            d->engine.exit();
            d->report.finished(c.timeMs);
            return;
        }
        d->report.command(c);
        d->apply(c);
    }
}

} // namespace brevant::drill
