// The confirmation window over the engine's confirmation: real window offscreen, real clicks.
#include "EngineFixture.h"
#include "controls/XpCanvas.h"
#include "controls/XpCmdButton.h"
#include "engine/Confirmation.h"
#include "shutdown/ui/QuestionWindow.h"

#include <QLabel>
#include <QTest>

using namespace brevant;
using testsupport::EngineFixture;

namespace {

struct Question
{
    Question()
        : window(f.engine().confirmation())
    {
        f.start();
    }
    Confirmation& confirmation() { return f.engine().confirmation(); }
    QString text() { return window.findChild<QLabel*>(QStringLiteral("Label1"))->text(); }
    void click(const char* button)
    {
        QTest::mouseClick(window.findChild<XpCmdButton*>(QLatin1String(button)), Qt::LeftButton);
    }

    EngineFixture f;
    QuestionWindow window;
};

} // namespace

class TestQuestionWindow : public QObject
{
    Q_OBJECT

private slots:
    void framedByTheCanvas();
    void asksAndAnswers();
    void windowManagerCloseIsNo_data();
    void windowManagerCloseIsNo();
    void secondRequestBringsItUpWithItsQuestion();
};

void TestQuestionWindow::framedByTheCanvas()
{
    Question q;
    q.confirmation().pressShutdownButton();
    QVERIFY(q.window.isVisible());
    auto* canvas = q.window.findChild<XpCanvas*>();
    QVERIFY(canvas);
    QCOMPARE(canvas->caption(), QStringLiteral("System Information"));
    QCOMPARE(q.window.windowTitle(), QStringLiteral("System Information"));
    QVERIFY(q.window.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(q.window.findChild<XpCmdButton*>(QStringLiteral("xpcmdbutton1"))->plainCaption(),
             QStringLiteral("YES"));
    QCOMPARE(q.window.findChild<XpCmdButton*>(QStringLiteral("xpcmdbutton2"))->plainCaption(),
             QStringLiteral("NO"));
    // The content keeps clear of the frame.
    const QRect inside = q.window.rect().marginsRemoved(XpCanvas::frameMargins());
    for (const char* part : {"Label1", "xpcmdbutton1", "xpcmdbutton2"})
        QVERIFY2(inside.contains(q.window.findChild<QWidget*>(QLatin1String(part))->geometry()), part);
}

void TestQuestionWindow::asksAndAnswers()
{
    Question q;
    q.f.engine().records().appendRecord(RecordTableId::UpsEvent, QStringLiteral("event"));
    q.confirmation().pressClearUps();
    QCOMPARE(q.text(), QStringLiteral("     Are you sure clear all logs ?"));
    q.click("xpcmdbutton2");
    QVERIFY(!q.window.isVisible());
    QCOMPARE(q.f.engine().records().recordCount(RecordTableId::UpsEvent), 1);

    q.confirmation().pressClearUps();
    q.click("xpcmdbutton1");
    QVERIFY(!q.window.isVisible());
    QCOMPARE(q.f.engine().records().recordCount(RecordTableId::UpsEvent), 0);

    q.confirmation().pressShutdownButton();
    QCOMPARE(q.text(), QStringLiteral("Are you sure shutdown system and ups ?"));
    QCOMPARE(q.window.focusWidget(), q.window.findChild<QWidget*>(QStringLiteral("xpcmdbutton2")));
}

void TestQuestionWindow::windowManagerCloseIsNo_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("close from the window manager") << false;
    QTest::newRow("Escape") << true;
}

// A closed window answers NO: the flags drop, and the next request shows the window again.
void TestQuestionWindow::windowManagerCloseIsNo()
{
    QFETCH(bool, escape);
    Question q;
    q.confirmation().pressShutdownButton();
    if (escape)
        QTest::keyClick(&q.window, Qt::Key_Escape);
    else
        q.window.close();
    QVERIFY(!q.window.isVisible());
    QVERIFY(!q.confirmation().isLoaded());
    QVERIFY(!q.confirmation().askShutdown());

    q.confirmation().pressClearLog();
    QVERIFY(q.window.isVisible());
    QCOMPARE(q.text(), QStringLiteral("     Are you sure clear all logs ?"));
    q.click("xpcmdbutton1");
    QCOMPARE(q.f.get(key::ShutDown), QString()); // the dropped shutdown stays dropped
}

void TestQuestionWindow::secondRequestBringsItUpWithItsQuestion()
{
    Question q;
    q.confirmation().pressShutdownButton();
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    q.window.hide(); // put away by the desktop, still loaded

    q.confirmation().pressClearLog();
    QVERIFY(q.window.isVisible());
    QVERIFY(QTest::qWaitForWindowActive(&q.window));
    QCOMPARE(q.text(), QStringLiteral("Are you sure shutdown system and ups ?"));
    QVERIFY(q.confirmation().askShutdown() && q.confirmation().askClearLog());
}

QTEST_MAIN(TestQuestionWindow)
#include "tst_questionwindow.moc"
