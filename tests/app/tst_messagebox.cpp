#include "EngineFixture.h"
#include "controls/XpCmdButton.h"
#include "monitor/ui/StatusPage.h"
#include "platform/qtwidgets/QtMessageBox.h"
#include "shutdown/AlarmController.h"
#include "shutdown/ui/AlarmWindow.h"
#include "shutdown/ui/QuestionWindow.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>

using namespace brevant;
using testsupport::EngineFixture;

// The alarm and confirmation windows and the message box draw the engine's models and send
// their buttons to it.
class TestWindows : public QObject
{
    Q_OBJECT

private slots:
    void shutdownButtonAsksAndYesRequests();
    void alarmWindowShowsAndCancels();
    void oneErrorMessageAtATime();
};

void TestWindows::shutdownButtonAsksAndYesRequests()
{
    EngineFixture f;
    StatusPage window(f.engine());
    QuestionWindow question(f.engine().confirmation());
    f.start();
    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::OnBattery);
    f.tick();
    window.show();
    auto* shutdown = window.findChild<XpCmdButton*>(QStringLiteral("CmdShutdown"));
    QTest::mouseClick(shutdown, Qt::LeftButton);
    QVERIFY(question.isVisible());
    QCOMPARE(question.findChild<QLabel*>(QStringLiteral("Label1"))->text(),
             QStringLiteral("Are you sure shutdown system and ups ?"));
    QTest::mouseClick(question.findChild<XpCmdButton*>(QStringLiteral("xpcmdbutton1")), Qt::LeftButton);
    QVERIFY(!question.isVisible());
    QCOMPARE(f.get(key::ShutDown), QStringLiteral("1"));
}

void TestWindows::alarmWindowShowsAndCancels()
{
    EngineFixture f({{key::Shutdown(EventSection::OnBattery), QStringLiteral("1")},
                     {key::Delaytime(EventSection::OnBattery), QStringLiteral("0")}});
    AlarmWindow window(f.engine().alarm());
    f.start();
    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::OnBattery);
    f.advance(2200 + 1000);
    QVERIFY(window.isVisible());
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QTest::mouseClick(window.findChild<XpCmdButton*>(QStringLiteral("xpcmdbutton2")), Qt::LeftButton);
    QVERIFY(!window.isVisible());
    QVERIFY(f.engine().alarm().isLoaded());
}

void TestWindows::oneErrorMessageAtATime()
{
    QtMessageBox messages;
    messages.showError(QStringLiteral("first"));
    messages.showError(QStringLiteral("second"));
    const auto open = [] {
        QList<QMessageBox*> boxes;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                boxes.append(box);
        }
        return boxes;
    };
    QCOMPARE(open().size(), 1);
    QCOMPARE(open().first()->text(), QStringLiteral("first"));
    open().first()->close();
    QTRY_COMPARE(open().size(), 0);
    messages.showError(QStringLiteral("third"));
    QCOMPARE(open().size(), 1);
    QCOMPARE(open().first()->text(), QStringLiteral("third"));
    open().first()->close();
}

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
