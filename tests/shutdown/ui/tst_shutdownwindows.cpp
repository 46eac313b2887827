// The alarm, confirmation and save-list windows over the engine's models: real windows offscreen,
// their controls found by name and clicked as a user clicks them.
#include "EngineFixture.h"
#include "TestFiles.h"
#include "config/Settings.h"
#include "controls/XpCanvas.h"
#include "controls/XpCmdButton.h"
#include "engine/Confirmation.h"
#include "engine/WindowsModel.h"
#include "shutdown/AlarmController.h"
#include "shutdown/ui/AlarmWindow.h"
#include "shutdown/ui/QuestionWindow.h"
#include "shutdown/ui/SaveListWindow.h"

#include <QAbstractItemModel>
#include <QLabel>
#include <QTableView>
#include <QTest>

using namespace brevant;
using testsupport::EngineFixture;

namespace {

template <typename W = QWidget>
W* find(const QWidget& window, const char* name)
{
    W* widget = window.findChild<W*>(QLatin1String(name));
    if (!widget)
        qFatal("no %s in %s", name, qPrintable(window.objectName()));
    return widget;
}

QString text(const QWidget& window, const char* label)
{
    return find<QLabel>(window, label)->text();
}
void click(const QWidget& window, const char* name)
{
    QTest::mouseClick(find(window, name), Qt::LeftButton);
}

enum Dismissal
{
    ByButton,
    ByEscape,
    ByWindowManager
};

// The ways a user dismisses a window: its dismissing button, Escape, or the window manager's close.
void dismiss(QWidget& window, int how, const char* button)
{
    if (how == ByButton)
        click(window, button);
    else if (how == ByEscape)
        QTest::keyClick(&window, Qt::Key_Escape);
    else
        window.close();
}

// On battery (or low) with a zero delay: the first countdown step after the first tick shows the
// window.
struct AlarmUp
{
    explicit AlarmUp(bool low = false)
        : f({{key::Shutdown(EventSection::OnBattery), QStringLiteral("1")},
             {key::Delaytime(EventSection::OnBattery), QStringLiteral("0")},
             {key::Shutdown(EventSection::LowBattery), QStringLiteral("1")},
             {key::Delaytime(EventSection::LowBattery), QStringLiteral("0")}})
        , window(f.engine().alarm())
    {
        f.start();
        f.platform().halvic.setUpsState(low ? SimulatedHalvic::UpsState::LowBattery
                                            : SimulatedHalvic::UpsState::OnBattery);
        f.advance(2200 + 1000);
    }
    AlarmController& alarm() { return f.engine().alarm(); }

    EngineFixture f;
    AlarmWindow window;
};

// The confirmation window over a started engine.
struct Question
{
    Question() { f.start(); }
    Confirmation& confirmation() { return f.engine().confirmation(); }

    EngineFixture f;
    QuestionWindow window{f.engine().confirmation()};
};

QColor pixel(QWidget* widget, QPoint at)
{
    return widget->grab().toImage().pixelColor(at * widget->devicePixelRatioF());
}

} // namespace

class TestShutdownWindows : public QObject
{
    Q_OBJECT

private slots:
    void alarmWarnsAndDrawsTheBar();
    void alarmCancelComesBackEmpty_data();
    void alarmCancelComesBackEmpty();
    void questionNoDropsEveryJob_data();
    void questionNoDropsEveryJob();
    void secondRequestKeepsTheShutdownQuestion();
    void saveListShowsTheImportUntilClosed_data();
    void saveListShowsTheImportUntilClosed();
};

void TestShutdownWindows::alarmWarnsAndDrawsTheBar()
{
    AlarmUp a;
    QVERIFY(a.window.isVisible());
    QVERIFY(a.window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(a.window.windowTitle(), QStringLiteral("Alarm Message"));
    QCOMPARE(text(a.window, "Label1"),
             QStringLiteral("Please save all files , System will shutdown after five seconds"));
    QCOMPARE(find<XpCmdButton>(a.window, "xpcmdbutton1")->plainCaption(), QStringLiteral("Shutdown"));
    QCOMPARE(a.window.focusWidget(), find(a.window, "xpcmdbutton2")); // Enter or Space cancels

    // An empty bar shows its track where the first chunk goes; the chunk comes with the model's tick.
    QWidget* bar = find(a.window, "picpgb2");
    const QPoint firstChunk(AlarmController::BarStart + 4, 10);
    const QColor track = pixel(bar, firstChunk);
    a.f.advance(100);
    QVERIFY(pixel(bar, firstChunk) != track);
    QCOMPARE(pixel(bar, firstChunk + QPoint(AlarmController::ChunkStep, 0)), track);

    click(a.window, "xpcmdbutton1");
    QVERIFY(!a.window.isVisible());
    QCOMPARE(a.f.get(key::ShutDown), QStringLiteral("1"));
}

void TestShutdownWindows::alarmCancelComesBackEmpty_data()
{
    QTest::addColumn<int>("how");
    QTest::addColumn<bool>("low");
    QTest::addColumn<int>("comesBackMs");
    QTest::newRow("Cancel") << int(ByButton) << false << 5000;
    QTest::newRow("Escape") << int(ByEscape) << false << 5000;
    QTest::newRow("closed from the window manager") << int(ByWindowManager) << false << 5000;
    QTest::newRow("Cancel, battery low") << int(ByButton) << true << 2000;
}

// Closing the window must not leave the bar running with nothing on screen: it is a Cancel. While
// the power stays out the window comes back with an empty bar, and a full bar shuts down.
void TestShutdownWindows::alarmCancelComesBackEmpty()
{
    QFETCH(int, how);
    QFETCH(bool, low);
    QFETCH(int, comesBackMs);
    AlarmUp a(low);
    for (const char* image : {"imgTitleClose", "imgTitleMinimize", "imgTitleHelp"})
        click(a.window, image);
    QVERIFY(a.window.isVisible()); // the title images do nothing
    a.f.advance(1000);
    dismiss(a.window, how, "xpcmdbutton2");
    QVERIFY(!a.alarm().isVisible());
    const qint16 stoppedAt = a.alarm().barPos();
    a.f.advance(comesBackMs - 1);
    QVERIFY(!a.window.isVisible());
    QCOMPARE(a.alarm().barPos(), stoppedAt);
    a.f.advance(1);
    QVERIFY(a.window.isVisible());
    QCOMPARE(a.alarm().barPos(), AlarmController::BarStart);

    a.f.advance(4000);
    QVERIFY(a.window.isVisible());
    QCOMPARE(a.f.get(key::ShutDown), QString());
    a.f.advance(100);
    QVERIFY(!a.window.isVisible());
    QVERIFY(!a.f.engine().windows().isVisible(WindowsModel::frmMain));
    QCOMPARE(a.f.get(key::ShutDown), QStringLiteral("1"));
    a.f.advance(100);
    QCOMPARE(a.f.platform().powerOff.count(), 1);
}

void TestShutdownWindows::questionNoDropsEveryJob_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("NO") << int(ByButton);
    QTest::newRow("Escape") << int(ByEscape);
    QTest::newRow("closed from the window manager") << int(ByWindowManager);
}

// NO, and a closed window, drop every job asked about; the next request asks again.
void TestShutdownWindows::questionNoDropsEveryJob()
{
    QFETCH(int, how);
    Question q;
    q.confirmation().pressShutdownButton();
    q.confirmation().pressClearLog();
    QCOMPARE(q.window.windowTitle(), QStringLiteral("System Information"));
    QCOMPARE(q.window.findChild<XpCanvas*>()->caption(), QStringLiteral("System Information"));
    QCOMPARE(q.window.focusWidget(), find(q.window, "xpcmdbutton2")); // NO has the focus
    dismiss(q.window, how, "xpcmdbutton2");
    QVERIFY(!q.window.isVisible());
    QVERIFY(!q.confirmation().isLoaded());
    QVERIFY(!q.confirmation().askShutdown() && !q.confirmation().askClearLog());
    QCOMPARE(q.f.messages(RecordTableId::Log), QStringList{QStringLiteral("Program start")});

    q.f.engine().records().appendRecord(RecordTableId::UpsEvent, QStringLiteral("event"));
    q.confirmation().pressClearUps();
    QCOMPARE(text(q.window, "Label1"), QStringLiteral("     Are you sure clear all logs ?"));
    click(q.window, "xpcmdbutton1");
    QVERIFY(!q.window.isVisible());
    QCOMPARE(q.f.engine().records().recordCount(RecordTableId::UpsEvent), 0);
    q.f.advance(1000);
    QCOMPARE(q.f.get(key::ShutDown), QString()); // the dropped shutdown stays dropped
    QCOMPARE(q.f.platform().powerOff.count(), 0);
}

// One window for both: a clear asked while the shutdown question is up keeps that question, and
// one YES does both.
void TestShutdownWindows::secondRequestKeepsTheShutdownQuestion()
{
    Question q;
    q.confirmation().pressShutdownButton();
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    q.window.hide(); // put away by the desktop, still loaded

    q.confirmation().pressClearLog();
    QVERIFY(QTest::qWaitForWindowActive(&q.window));
    QCOMPARE(text(q.window, "Label1"), QStringLiteral("Are you sure shutdown system and ups ?"));
    click(q.window, "xpcmdbutton1");
    QVERIFY(q.f.messages(RecordTableId::Log).isEmpty());
    QCOMPARE(q.f.get(key::ShutDown), QStringLiteral("1"));
}

void TestShutdownWindows::saveListShowsTheImportUntilClosed_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Close") << int(ByButton);
    QTest::newRow("closed from the window manager") << int(ByWindowManager);
}

void TestShutdownWindows::saveListShowsTheImportUntilClosed()
{
    QFETCH(int, how);
    // close.exe's list of three closed applications, the second without a saved file.
    EngineFixture f({{key::SaveList, QStringLiteral("1")}, {key::CloseAppFlag, QStringLiteral("1")}});
    testsupport::writeFile(f.paths().closeAppList(), "[CloseApp]\nCount=3\n1=Writer\n2=Sheet\n3=Mail\n"
                                                     "[Date]\n1=2026-12-03\n2=2026-12-01\n3=2026-12-02\n"
                                                     "[Time]\n1=10:00:00\n2=11:00:00\n3=12:00:00\n"
                                                     "[SaveAppFileName]\n1=/home/u/a.odt\n3=/home/u/c.eml\n");
    SaveListWindow window(f.engine());
    f.engine().finishSplash();
    QVERIFY(window.isVisible());
    QCOMPARE(window.windowTitle(), QStringLiteral("Save List"));
    const QAbstractItemModel* grid = find<QTableView>(window, "MSFlexGrid3")->model();
    QStringList shown; // by date; the entry without a file is left out
    for (int row = 0; row < grid->rowCount(); ++row) {
        for (int column = 0; column < grid->columnCount(); ++column)
            shown.append(grid->index(row, column).data().toString());
    }
    QCOMPARE(shown, QStringList({"2026-12-02", "12:00:00", "Mail", "/home/u/c.eml", "2026-12-03", "10:00:00",
                                 "Writer", "/home/u/a.odt"}));
    QCOMPARE(grid->headerData(3, Qt::Horizontal).toString(), QStringLiteral("SaveAppFileName"));

    dismiss(window, how, "xpcmdbutton1");
    QVERIFY(!window.isVisible());
    QVERIFY(!f.engine().windows().isVisible(WindowsModel::frmSave));
    QVERIFY(!f.engine().windows().isVisible(WindowsModel::frmMain));
    QVERIFY(!f.engine().settings().saveListWanted()); // not shown at the next start
}

QTEST_MAIN(TestShutdownWindows)
#include "tst_shutdownwindows.moc"
