// The alarm, confirmation and save-list windows over the engine's models: real windows offscreen,
// their controls found by name and clicked as a user clicks them.
#include "EngineFixture.h"
#include "TestFiles.h"
#include "config/Settings.h"
#include "engine/WindowsModel.h"
#include "shutdown/AlarmController.h"
#include "shutdown/Confirmation.h"
#include "shutdown/ui/AlarmWindow.h"
#include "shutdown/ui/QuestionWindow.h"
#include "shutdown/ui/SaveListWindow.h"

#include <QLabel>
#include <QTableView>
#include <QTest>

using namespace brevant;
using testsupport::EngineFixture;

namespace {

template <typename W = QWidget>
W* find(const QWidget& window, const char* name)
{
    return window.findChild<W*>(QLatin1String(name));
}

void click(const QWidget& window, const char* name)
{
    QTest::mouseClick(find(window, name), Qt::LeftButton);
}

// The ways a user dismisses a window: its dismissing button, Escape, or the window manager's close.
void dismiss(QWidget& window, char how, const char* button)
{
    if (how == 'b')
        click(window, button);
    else if (how == 'e')
        QTest::keyClick(&window, Qt::Key_Escape);
    else
        window.close();
}

} // namespace

class TestShutdownWindows : public QObject
{
    Q_OBJECT

private slots:
    void alarmShutsDownOrComesBackEmpty_data()
    {
        QTest::addColumn<char>("how");
        QTest::addColumn<bool>("low");
        QTest::addColumn<int>("comesBackMs"); // 0: shut down at once
        QTest::newRow("Shutdown") << 'y' << false << 0;
        QTest::newRow("Cancel") << 'b' << false << 5000;
        QTest::newRow("closed from the window manager") << 'w' << false << 5000;
        QTest::newRow("Escape, battery low") << 'e' << true << 2000;
    }

    // Shutdown shuts down at once. Closing the window must not leave the bar running with nothing on
    // screen: it is a Cancel. While the power stays out the window comes back with an empty bar, and a
    // full bar shuts down.
    void alarmShutsDownOrComesBackEmpty()
    {
        QFETCH(char, how);
        QFETCH(bool, low);
        QFETCH(int, comesBackMs);
        EngineFixture f({{key::Shutdown(EventSection::OnBattery), QStringLiteral("1")},
                         {key::Delaytime(EventSection::OnBattery), QStringLiteral("0")},
                         {key::Shutdown(EventSection::LowBattery), QStringLiteral("1")},
                         {key::Delaytime(EventSection::LowBattery), QStringLiteral("0")}});
        AlarmWindow window(f.engine().alarm());
        f.start();
        // With a zero delay the first countdown step after the first tick shows the window.
        f.platform().halvic.setUpsState(low ? SimulatedHalvic::UpsState::LowBattery
                                            : SimulatedHalvic::UpsState::OnBattery);
        f.advance(2200 + 1000);
        QVERIFY(window.isVisible() && window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(window.focusWidget(), find(window, "xpcmdbutton2")); // Enter or Space cancels
        for (const char* image : {"imgTitleClose", "imgTitleMinimize", "imgTitleHelp"})
            click(window, image);
        QVERIFY(window.isVisible()); // the title images do nothing
        f.advance(1000);
        if (how == 'y') {
            click(window, "xpcmdbutton1");
            QVERIFY(!window.isVisible());
            QCOMPARE(f.get(key::ShutDown), QStringLiteral("1"));
            return;
        }
        dismiss(window, how, "xpcmdbutton2");
        AlarmController& alarm = f.engine().alarm();
        const qint16 stoppedAt = alarm.barPos();
        f.advance(comesBackMs - 1);
        QVERIFY(!window.isVisible());
        QCOMPARE(alarm.barPos(), stoppedAt);
        f.advance(1);
        QVERIFY(window.isVisible());
        QCOMPARE(alarm.barPos(), AlarmController::BarStart);

        f.advance(4000);
        QCOMPARE(f.get(key::ShutDown), QString());
        f.advance(300); // the watcher's look at the hand-over, then the UPS-off commands 10 ms apart
        QVERIFY(!window.isVisible());
        QCOMPARE(f.platform().powerOff.count(), 1);
    }

    void questionNoDropsEveryJob_data()
    {
        QTest::addColumn<char>("how");
        QTest::newRow("NO") << 'b';
        QTest::newRow("closed from the window manager") << 'w';
    }

    // NO, and a closed window, drop every job asked about; the next request asks again. A clear request
    // while the shutdown question is put away brings that question back, not its own; YES does both.
    void questionNoDropsEveryJob()
    {
        QFETCH(char, how);
        EngineFixture f;
        Confirmation& confirmation = f.engine().confirmation();
        QuestionWindow window(confirmation);
        f.start();
        confirmation.pressShutdownButton();
        confirmation.pressClearLog();
        QCOMPARE(window.focusWidget(), find(window, "xpcmdbutton2")); // NO has the focus
        dismiss(window, how, "xpcmdbutton2");
        QVERIFY(!window.isVisible() && !confirmation.isLoaded());
        QCOMPARE(f.messages(RecordTableId::Log), QStringList{QStringLiteral("Program start")});

        confirmation.pressClearLog();
        click(window, "xpcmdbutton1");
        QVERIFY(f.messages(RecordTableId::Log).isEmpty());
        f.advance(1000);
        QCOMPARE(f.get(key::ShutDown), QString()); // the dropped shutdown stays dropped

        f.engine().records().appendRecord(RecordTableId::Log, QStringLiteral("Power failure"));
        confirmation.pressShutdownButton();
        window.hide();
        confirmation.pressClearLog();
        QTRY_VERIFY(window.isVisible());
        QCOMPARE(find<QLabel>(window, "Label1")->text(),
                 QStringLiteral("Are you sure shutdown system and ups ?"));
        click(window, "xpcmdbutton1");
        QVERIFY(f.messages(RecordTableId::Log).isEmpty());
        QCOMPARE(f.get(key::ShutDown), QStringLiteral("1"));
    }

    // The list closed from the window manager is done with, as after its Close button.
    void saveListShowsTheImportUntilClosed()
    {
        // close.exe's list of three closed applications, the second without a saved file.
        EngineFixture f({{key::SaveList, QStringLiteral("1")}, {key::CloseAppFlag, QStringLiteral("1")}});
        testsupport::writeFile(f.paths().closeAppList(),
                               "[CloseApp]\nCount=3\n1=Writer\n2=Sheet\n3=Mail\n"
                               "[Date]\n1=2026-12-03\n2=2026-12-01\n3=2026-12-02\n"
                               "[Time]\n1=10:00:00\n2=11:00:00\n3=12:00:00\n"
                               "[SaveAppFileName]\n1=/home/u/a.odt\n3=/home/u/c.eml\n");
        SaveListWindow window(f.engine().saveList(), f.engine().records());
        f.engine().finishSplash();
        QVERIFY(window.isVisible());
        const QAbstractItemModel* grid = find<QTableView>(window, "MSFlexGrid3")->model();
        QStringList shown; // by date; the entry without a file is left out
        for (int row = 0; row < grid->rowCount(); ++row) {
            for (int column = 0; column < grid->columnCount(); ++column)
                shown.append(grid->index(row, column).data().toString());
        }
        QCOMPARE(shown, QStringList({"2026-12-02", "12:00:00", "Mail", "/home/u/c.eml", "2026-12-03",
                                     "10:00:00", "Writer", "/home/u/a.odt"}));

        window.close();
        QVERIFY(!f.engine().windows().isVisible(WindowsModel::frmSave));
        QVERIFY(!f.engine().settings().saveListWanted()); // not shown at the next start
    }
};

QTEST_MAIN(TestShutdownWindows)
#include "tst_shutdownwindows.moc"
