#include "EngineFixture.h"
#include "art/ArtCatalogue.h"
#include "controls/XpCmdButton.h"
#include "engine/Confirmation.h"
#include "monitor/StatusDisplay.h"
#include "monitor/ui/PictureView.h"
#include "monitor/ui/StatusPage.h"

#include <QLabel>
#include <QTest>

using namespace brevant;
using testsupport::EngineFixture;
using UpsState = SimulatedHalvic::UpsState;

// The Status page draws the status model: every picture, both texts and the Shutdown button.
class TestStatusPage : public QObject
{
    Q_OBJECT

private slots:
    void showsEachPowerState_data();
    void showsEachPowerState();
    void countdownAndShutdownButton();
    void animationRunsOnlyWhileSeen();
    void windowOutOfSightHoldsNoPictures_data();
    void windowOutOfSightHoldsNoPictures();
};

namespace {

QStringList shownPictures(const QWidget& page)
{
    QStringList names;
    for (const char* name : {"Image1", "ImageAC1", "ImageAC2", "ImageDC1", "ImageDC2", "ImageBL1", "ImageBL2",
                             "ImaSOk", "ImaSLow", "ImaAlarm", "ImaDisconnected"}) {
        auto* picture = page.findChild<PictureView*>(QLatin1String(name));
        if (picture && picture->isVisible())
            names.append(QLatin1String(name));
    }
    return names;
}

} // namespace

void TestStatusPage::showsEachPowerState_data()
{
    QTest::addColumn<UpsState>("ups");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<bool>("shutdown");
    QTest::addColumn<QStringList>("pictures"); // right after the tick, before any animation step
    QTest::addColumn<int>("animation");        // the one picture timer running; -1: none

    QTest::newRow("on-line") << UpsState::Online << "UPS is on-line"
                             << "#008000" << false << QStringList{"Image1", "ImageAC1", "ImageAC2"}
                             << int(StatusDisplay::Timer4);
    QTest::newRow("on battery") << UpsState::OnBattery << "UPS is on Battery"
                                << "#FF8000" << true
                                << QStringList{"ImageDC1", "ImageDC2", "ImaSOk", "ImaAlarm"}
                                << int(StatusDisplay::Timer5);
    QTest::newRow("battery low") << UpsState::LowBattery << "UPS is Low Battery"
                                 << "#FF0000" << true
                                 << QStringList{"ImageBL1", "ImageBL2", "ImaSLow", "ImaAlarm"}
                                 << int(StatusDisplay::Timer6);
    // The lost link keeps the still mains pipe, covered by the disconnected picture.
    QTest::newRow("USB lost") << UpsState::Silent << "UPS Disconnect"
                              << "#000000" << false << QStringList{"Image1", "ImageAC1", "ImaDisconnected"}
                              << -1;
}

void TestStatusPage::showsEachPowerState()
{
    QFETCH(UpsState, ups);
    QFETCH(QString, message);
    QFETCH(QString, colour);
    QFETCH(bool, shutdown);
    QFETCH(QStringList, pictures);
    QFETCH(int, animation);
    EngineFixture f;
    StatusPage page(f.engine());
    page.show();
    f.start();
    f.platform().halvic.setUpsState(ups);
    f.tick();

    auto* label = page.findChild<QLabel*>(QStringLiteral("LblMessage"));
    QVERIFY(label);
    QCOMPARE(label->text(), message);
    QVERIFY2(label->styleSheet().contains(colour), qPrintable(label->styleSheet()));
    QCOMPARE(page.findChild<XpCmdButton*>(QStringLiteral("CmdShutdown"))->isEnabled(), shutdown);
    QCOMPARE(shownPictures(page), pictures);
    for (auto timer : {StatusDisplay::Timer4, StatusDisplay::Timer5, StatusDisplay::Timer6})
        QCOMPARE(f.engine().display().isRunning(timer), timer == animation);
}

void TestStatusPage::countdownAndShutdownButton()
{
    EngineFixture f({{key::Shutdown(EventSection::OnBattery), QStringLiteral("1")},
                     {key::Delaytime(EventSection::OnBattery), QStringLiteral("1")}});
    StatusPage page(f.engine());
    page.show();
    f.start();
    f.platform().halvic.setUpsState(UpsState::OnBattery);
    f.tick();
    f.advance(1000);
    QCOMPARE(page.findChild<QLabel*>(QStringLiteral("LblAlarm"))->text(),
             QStringLiteral("System ShutDown After 60  Seconds"));

    QTest::mouseClick(page.findChild<XpCmdButton*>(QStringLiteral("CmdShutdown")), Qt::LeftButton);
    QVERIFY(f.engine().confirmation().askShutdown());
    QCOMPARE(f.engine().confirmation().questionText(), Confirmation::ShutdownQuestion);
}

// Hidden, the page stops the animation and keeps no picture timer armed; shown, it goes on.
void TestStatusPage::animationRunsOnlyWhileSeen()
{
    EngineFixture f;
    StatusDisplay& display = f.engine().display();
    {
        QWidget window;
        auto* page = new StatusPage(f.engine(), &window);
        QVERIFY(display.isAnimationPaused()); // built hidden, as the main window is
        f.start();
        window.show();
        QVERIFY(!display.isAnimationPaused());
        f.advance(1000);
        QVERIFY(display.isRunning(StatusDisplay::Timer7));

        window.hide();
        QVERIFY(display.isAnimationPaused());
        f.advance(10);
        QCOMPARE(f.platform().scheduler.nextDueMs(), 2200); // only the poll remains

        window.show();
        page->hide(); // another page chosen
        QVERIFY(display.isAnimationPaused());
        page->show();
        QVERIFY(!display.isAnimationPaused());
        window.hide();
    }
    // The model outlives its page and animates for whoever looks next.
    QVERIFY(!display.isAnimationPaused());
}

enum class Away
{
    WindowHidden,
    WindowMinimised,
    OtherPageChosen,
};

void TestStatusPage::windowOutOfSightHoldsNoPictures_data()
{
    QTest::addColumn<Away>("away");
    QTest::addColumn<bool>("released");
    QTest::newRow("window hidden") << Away::WindowHidden << true;
    QTest::newRow("window minimised") << Away::WindowMinimised << true;
    QTest::newRow("another page, window shown") << Away::OtherPageChosen << false;
}

// A picture rendered again is a new pixmap; one still cached is the same.
void TestStatusPage::windowOutOfSightHoldsNoPictures()
{
    QFETCH(Away, away);
    QFETCH(bool, released);
    EngineFixture f;
    QWidget window;
    auto* page = new StatusPage(f.engine(), &window);
    f.start();
    window.show();
    const auto scene = [&] {
        return art::pixmap(art::statusLayer(art::StatusLayer::Scene), art::StatusCanvas, 1.0).cacheKey();
    };
    const qint64 before = scene();
    QCOMPARE(scene(), before);

    switch (away) {
    case Away::WindowHidden:
        window.hide();
        break;
    case Away::WindowMinimised:
        window.showMinimized();
        page->followVisibility(); // as the main window does on a change of its state
        break;
    case Away::OtherPageChosen:
        page->hide();
        break;
    }
    QCOMPARE(scene() != before, released);
}

QTEST_MAIN(TestStatusPage)
#include "tst_statuspage.moc"
