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

// Answers every exchange with the reply code and status block it was given, and checks that each
// buffer arrives zeroed, terminating zero included.
class ScriptedHalvic : public HalvicApi
{
public:
    QByteArray replyCode;
    QByteArray statusBlock;
    QList<int> commands;
    int inputReads = 0;
    bool buffersFresh = true;

    Status hidHandle() override { return Status::success(); }
    Status closeHandleDevice() override { return Status::success(); }
    Status cmdOutput(int command, char* reply) override
    {
        commands.append(command);
        checkZeroed(reply, ReplyCodeSize);
        std::memcpy(reply, replyCode.constData(), std::min<qsizetype>(replyCode.size(), ReplyCodeSize));
        return Status::success();
    }
    Status cmdInput(char* block, char* second) override
    {
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

} // namespace

Q_DECLARE_METATYPE(Flags)

class TestUsbLink : public QObject
{
    Q_OBJECT

private slots:
    void exchange_data();
    void exchange();
    void queryReopensOnlyASilentDevice();
};

void TestUsbLink::exchange_data()
{
    QTest::addColumn<Flags>("before");
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("replyCode");
    QTest::addColumn<QByteArray>("statusBlock");
    QTest::addColumn<Flags>("after");

    const Flags none{false, false, false};
    const Flags all{true, true, true};
    const Flags lost{false, true, true};
    const QByteArray t1("T1");
    const QByteArray valid = block({{1, 'T'}, {3, 1}, {4, 0}});
    // clang-format off
    QTest::newRow("T at byte 1, on battery, low")   << none << 1 << t1 << block({{1, 'T'}, {3, 0}, {4, 1}}) << all;
    QTest::newRow("on mains, not low")              << lost << 1 << t1 << valid << Flags{true, false, false};
    QTest::newRow("T at byte 50")                   << none << 1 << t1 << block({{50, 'T'}, {3, 0}, {4, 0}}) << Flags{true, true, false};
    QTest::newRow("byte 3 = 2 keeps on mains")      << none << 1 << t1 << block({{1, 'T'}, {3, 2}, {4, 1}}) << Flags{true, false, true};
    QTest::newRow("byte 4 = 0xff keeps low")        << lost << 1 << t1 << block({{2, 'T'}, {3, 1}, {4, char(0xff)}}) << Flags{true, false, true};
    QTest::newRow("digit characters are no numbers") << lost << 1 << t1 << block({{1, 'T'}, {3, '1'}, {4, '0'}}) << all;
    QTest::newRow("lower-case t only")              << all << 1 << t1 << block({{1, 't'}, {3, 1}, {4, 0}}) << lost;
    QTest::newRow("S1 to a status query")           << lost << 1 << QByteArray("S1") << valid << lost;
    QTest::newRow("T2")                             << all << 1 << QByteArray("T2") << valid << lost;
    QTest::newRow("t1")                             << all << 1 << QByteArray("t1") << valid << lost;
    QTest::newRow("nothing")                        << all << 1 << QByteArray() << valid << lost;
    QTest::newRow("UPS off answered S1")            << all << 2 << QByteArray("S1") << valid << all;
    QTest::newRow("UPS off unanswered")             << all << 2 << QByteArray() << valid << lost;
    QTest::newRow("unknown command calls nothing")  << all << 3 << t1 << valid << lost;
    // clang-format on
}

void TestUsbLink::exchange()
{
    QFETCH(Flags, before);
    QFETCH(int, command);
    QFETCH(QByteArray, replyCode);
    QFETCH(QByteArray, statusBlock);

    ScriptedHalvic library;
    RecordingMessageBox messages;
    VirtualScheduler scheduler;
    UsbLink link(library, messages, scheduler);
    library.replyCode = "T1";
    library.statusBlock =
        block({{1, 'T'}, {3, char(before.onBattery ? 0 : 1)}, {4, char(before.lowBattery)}});
    link.usbExchange(UsbLink::StatusQuery);
    link.setUsbConnected(before.connected);
    QCOMPARE(flagsOf(link), before);
    library.commands.clear();
    library.inputReads = 0;

    library.replyCode = replyCode;
    library.statusBlock = statusBlock;
    link.usbExchange(command);

    QTEST(flagsOf(link), "after");
    QCOMPARE(library.inputReads, replyCode == "T1" && command != 3 ? 1 : 0);
    QVERIFY(library.buffersFresh);
    QCOMPARE(library.commands, command == 3 ? QList<int>{} : QList<int>{command});
    QVERIFY(messages.shown().isEmpty());
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

QTEST_GUILESS_MAIN(TestUsbLink)
#include "tst_usblink.moc"
