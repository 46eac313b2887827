#include "link/UsbLink.h"
#include "platform/sim/RecordingMessageBox.h"
#include "platform/sim/SimulatedHalvic.h"
#include "platform/sim/VirtualScheduler.h"

#include <QTest>
#include <algorithm>
#include <cstring>

using namespace brevant;

namespace {

struct Flags
{
    bool connected = false;
    bool onBattery = false;
    bool lowBattery = false;
    friend bool operator==(const Flags&, const Flags&) = default;
};

char* toString(const Flags& flags)
{
    return QTest::toString(QStringLiteral("connected=%1 onBattery=%2 lowBattery=%3")
                               .arg(flags.connected)
                               .arg(flags.onBattery)
                               .arg(flags.lowBattery));
}

Flags flagsOf(const UsbLink& link)
{
    return {link.usbConnected(), link.usbOnBattery(), link.usbLowBattery()};
}

enum class FailingCall
{
    None,
    CmdOutput,
    CmdInput
};

// Answers every exchange with the reply code and status block it was given, and checks that each
// buffer arrives zeroed, terminating zero included.
class ScriptedHalvic : public HalvicApi
{
public:
    QByteArray replyCode;
    QByteArray statusBlock;
    FailingCall failing = FailingCall::None;
    QList<int> commands;
    int inputReads = 0;
    bool buffersFresh = true;

    Status hidHandle() override { return Status::success(); }
    Status closeHandleDevice() override { return Status::success(); }

    Status cmdOutput(int command, char* reply) override
    {
        if (failing == FailingCall::CmdOutput)
            return Status::failure(QStringLiteral("undefined symbol: CmdOutput"));
        commands.append(command);
        checkZeroed(reply, ReplyCodeSize);
        std::memcpy(reply, replyCode.constData(), std::min<qsizetype>(replyCode.size(), ReplyCodeSize));
        return Status::success();
    }

    Status cmdInput(char* block, char* second) override
    {
        if (failing == FailingCall::CmdInput)
            return Status::failure(QStringLiteral("undefined symbol: CmdInput"));
        ++inputReads;
        checkZeroed(block, StatusBlockSize);
        checkZeroed(second, SecondBufferSize);
        std::memcpy(block, statusBlock.constData(), std::min<qsizetype>(statusBlock.size(), StatusBlockSize));
        std::memset(second, 'x', SecondBufferSize);
        return Status::success();
    }

private:
    void checkZeroed(const char* buffer, int size)
    {
        buffersFresh = buffersFresh && std::all_of(buffer, buffer + size + 1, [](char c) { return c == 0; });
    }
};

// A 50-byte status block; positions counted from 1 as the UPS documents them.
QByteArray block(std::initializer_list<std::pair<int, char>> bytes)
{
    QByteArray result(HalvicApi::StatusBlockSize, '\0');
    for (const auto& [position, value] : bytes)
        result[position - 1] = value;
    return result;
}

void prime(UsbLink& link, ScriptedHalvic& library, Flags flags)
{
    library.replyCode = "T1";
    library.statusBlock = block({{1, 'T'}, {3, char(flags.onBattery ? 0 : 1)}, {4, char(flags.lowBattery)}});
    link.usbExchange(UsbLink::StatusQuery);
    link.setUsbConnected(flags.connected);
    library.commands.clear();
    library.inputReads = 0;
}

} // namespace

Q_DECLARE_METATYPE(Flags)
Q_DECLARE_METATYPE(FailingCall)

class TestUsbLink : public QObject
{
    Q_OBJECT

private:
    VirtualScheduler m_scheduler;

private slots:
    void exchange_data();
    void exchange();
    void lostLinkKeepsLastStateUntilReconnect();
    void everyFailedExchangeShowsItsMessage();
    void queryReopensOnlyASilentDevice();
    void upsOffGoesOutThreeTimesTenMillisecondsApart();
};

void TestUsbLink::exchange_data()
{
    QTest::addColumn<Flags>("before");
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("replyCode");
    QTest::addColumn<QByteArray>("statusBlock");
    QTest::addColumn<FailingCall>("failing");
    QTest::addColumn<Flags>("after");
    QTest::addColumn<bool>("blockRead");

    const Flags none{false, false, false};
    const Flags all{true, true, true};
    const Flags connectedOnMains{true, false, false};
    const Flags lostOnBatteryLow{false, true, true};
    const auto ok = FailingCall::None;

    QTest::newRow("T at byte 1, on battery, low")
        << none << 1 << QByteArray("T1") << block({{1, 'T'}, {3, 0}, {4, 1}}) << ok << all << true;
    QTest::newRow("on mains, not low") << lostOnBatteryLow << 1 << QByteArray("T1")
                                       << block({{1, 'T'}, {3, 1}, {4, 0}}) << ok << connectedOnMains << true;
    QTest::newRow("T at byte 50") << none << 1 << QByteArray("T1") << block({{50, 'T'}, {3, 0}, {4, 0}}) << ok
                                  << Flags{true, true, false} << true;
    QTest::newRow("T as byte 3 and 4 leaves both flags")
        << lostOnBatteryLow << 1 << QByteArray("T1") << block({{3, 'T'}, {4, 'T'}}) << ok << all << true;
    QTest::newRow("lower-case t only") << all << 1 << QByteArray("T1") << block({{1, 't'}, {3, 1}, {4, 0}})
                                       << ok << lostOnBatteryLow << true;
    QTest::newRow("block of zeros") << connectedOnMains << 1 << QByteArray("T1") << block({}) << ok << none
                                    << true;
    QTest::newRow("byte 3 = 2 keeps on battery")
        << lostOnBatteryLow << 1 << QByteArray("T1") << block({{1, 'T'}, {3, 2}, {4, 0}}) << ok
        << Flags{true, true, false} << true;
    QTest::newRow("byte 3 = 2 keeps on mains")
        << none << 1 << QByteArray("T1") << block({{1, 'T'}, {3, 2}, {4, 1}}) << ok
        << Flags{true, false, true} << true;
    QTest::newRow("byte 4 = 0xff keeps low")
        << lostOnBatteryLow << 1 << QByteArray("T1") << block({{2, 'T'}, {3, 1}, {4, char(0xff)}}) << ok
        << Flags{true, false, true} << true;
    QTest::newRow("digit characters are not numbers")
        << lostOnBatteryLow << 1 << QByteArray("T1") << block({{1, 'T'}, {3, '1'}, {4, '0'}}) << ok << all
        << true;
    QTest::newRow("S1 to a status query, connected")
        << all << 1 << QByteArray("S1") << block({{1, 'T'}}) << ok << all << false;
    QTest::newRow("S1 to a status query, not connected")
        << lostOnBatteryLow << 1 << QByteArray("S1") << block({{1, 'T'}}) << ok << lostOnBatteryLow << false;
    QTest::newRow("T2") << all << 1 << QByteArray("T2") << block({{1, 'T'}}) << ok << lostOnBatteryLow
                        << false;
    QTest::newRow("t1") << all << 1 << QByteArray("t1") << block({{1, 'T'}}) << ok << lostOnBatteryLow
                        << false;
    QTest::newRow("1T") << all << 1 << QByteArray("1T") << block({{1, 'T'}}) << ok << lostOnBatteryLow
                        << false;
    QTest::newRow("one character") << all << 1 << QByteArray("T") << block({{1, 'T'}}) << ok
                                   << lostOnBatteryLow << false;
    QTest::newRow("nothing") << all << 1 << QByteArray() << block({{1, 'T'}}) << ok << lostOnBatteryLow
                             << false;
    QTest::newRow("command 2 answered T1")
        << none << 2 << QByteArray("T1") << block({{1, 'T'}, {3, 0}, {4, 1}}) << ok << all << true;
    QTest::newRow("command 2 answered S1") << all << 2 << QByteArray("S1") << block({}) << ok << all << false;
    QTest::newRow("command 2 unanswered")
        << all << 2 << QByteArray() << block({}) << ok << lostOnBatteryLow << false;
    QTest::newRow("unknown command calls nothing")
        << all << 3 << QByteArray("T1") << block({{1, 'T'}}) << ok << lostOnBatteryLow << false;
    QTest::newRow("CmdOutput cannot be called")
        << all << 1 << QByteArray("T1") << block({{1, 'T'}}) << FailingCall::CmdOutput << all << false;
    QTest::newRow("CmdInput cannot be called")
        << connectedOnMains << 1 << QByteArray("T1") << block({{1, 'T'}, {3, 0}, {4, 1}})
        << FailingCall::CmdInput << connectedOnMains << false;
}

void TestUsbLink::exchange()
{
    QFETCH(Flags, before);
    QFETCH(int, command);
    QFETCH(QByteArray, replyCode);
    QFETCH(QByteArray, statusBlock);
    QFETCH(FailingCall, failing);
    QFETCH(Flags, after);
    QFETCH(bool, blockRead);

    ScriptedHalvic library;
    RecordingMessageBox messages;
    UsbLink link(library, messages, m_scheduler);
    prime(link, library, before);
    QCOMPARE(flagsOf(link), before);

    library.replyCode = replyCode;
    library.statusBlock = statusBlock;
    library.failing = failing;
    link.usbExchange(command);

    QCOMPARE(flagsOf(link), after);
    QCOMPARE(library.inputReads, blockRead ? 1 : 0);
    QVERIFY(library.buffersFresh);
    if (command == 1 || command == 2) {
        QCOMPARE(library.commands, failing == FailingCall::CmdOutput ? QList<int>{} : QList<int>{command});
    } else {
        QVERIFY(library.commands.isEmpty());
    }
    QCOMPARE(messages.shown().size(), failing == FailingCall::None ? 0 : 1);
    if (failing != FailingCall::None)
        QVERIFY(messages.shown().constFirst().startsWith(u"undefined symbol"));
}

void TestUsbLink::lostLinkKeepsLastStateUntilReconnect()
{
    ScriptedHalvic library;
    RecordingMessageBox messages;
    UsbLink link(library, messages, m_scheduler);

    library.replyCode = "T1";
    library.statusBlock = block({{1, 'T'}, {3, 0}, {4, 1}});
    link.usbExchange(UsbLink::StatusQuery);
    QCOMPARE(flagsOf(link), (Flags{true, true, true}));

    library.replyCode.clear();
    for (int tick = 0; tick < 3; ++tick) {
        link.usbExchange(UsbLink::StatusQuery);
        QCOMPARE(flagsOf(link), (Flags{false, true, true}));
    }

    library.replyCode = "T1";
    library.statusBlock = block({{7, 'T'}, {3, 1}, {4, 0}});
    link.usbExchange(UsbLink::StatusQuery);
    QCOMPARE(flagsOf(link), (Flags{true, false, false}));
    QVERIFY(library.buffersFresh);
}

void TestUsbLink::everyFailedExchangeShowsItsMessage()
{
    SimulatedHalvic library;
    RecordingMessageBox messages;
    UsbLink link(library, messages, m_scheduler);
    QVERIFY(link.hidHandle().ok());
    link.usbExchange(UsbLink::StatusQuery);

    library.setLibraryMissing(true);
    QVERIFY(!link.hidHandle().ok());
    QVERIFY(messages.shown().isEmpty());
    link.usbExchange(UsbLink::StatusQuery);
    link.usbExchange(UsbLink::UpsOff);
    QCOMPARE(messages.shown(), QStringList(2, SimulatedHalvic::missingLibraryText()));
    QCOMPARE(flagsOf(link), (Flags{true, false, false}));
    QCOMPARE(library.upsOffCount(), 0);
}

void TestUsbLink::queryReopensOnlyASilentDevice()
{
    SimulatedHalvic library;
    RecordingMessageBox messages;
    VirtualScheduler scheduler;
    UsbLink link(library, messages, scheduler);

    link.query(); // never answered yet: reopen first
    QCOMPARE(library.hidHandleCount(), 1);
    QVERIFY(link.answering());
    link.query();
    QCOMPARE(library.hidHandleCount(), 1);

    library.setUpsState(SimulatedHalvic::UpsState::Silent);
    link.query();
    QVERIFY(!link.answering());
    library.setUpsState(SimulatedHalvic::UpsState::LowBattery);
    link.query();
    QCOMPARE(library.hidHandleCount(), 2);
    QCOMPARE(link.state(), (UpsState{true, true, true}));
}

void TestUsbLink::upsOffGoesOutThreeTimesTenMillisecondsApart()
{
    SimulatedHalvic library;
    RecordingMessageBox messages;
    VirtualScheduler scheduler;
    library.setClock([&scheduler] { return scheduler.nowMs(); });
    UsbLink link(library, messages, scheduler);
    link.query();
    link.switchUpsOff();
    QCOMPARE(library.upsOffTimes(), (QList<qint64>{0, 10, 20}));
    QVERIFY(link.answering()); // "S1" leaves every flag alone
}

QTEST_GUILESS_MAIN(TestUsbLink)
#include "tst_usblink.moc"
