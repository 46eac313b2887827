#include "EngineFixture.h"
#include "art/ArtCatalogue.h"
#include "controls/XpCmdButton.h"
#include "monitor/StatusDisplay.h"
#include "monitor/ui/PictureView.h"
#include "monitor/ui/StatusPage.h"
#include "platform/sim/VirtualScheduler.h"
#include "shutdown/Confirmation.h"

#include <QLabel>
#include <QTest>

using namespace brevant;
using testsupport::EngineFixture;
using UpsState = SimulatedHalvic::UpsState;

namespace {

StatusPage::Parts partsOf(EngineFixture& f)
{
    return {f.engine().display(), f.engine().countdown(), f.engine().confirmation(), f.engine().readiness()};
}

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

// The Status page draws the status model: every picture, both texts and the Shutdown button.
class TestStatusPage : public QObject
{
    Q_OBJECT

private slots:
    void showsEachPowerState_data()
    {
        QTest::addColumn<UpsState>("ups");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("colour");
        QTest::addColumn<bool>("shutdown");        // the Shutdown button is enabled and asks
        QTest::addColumn<QStringList>("pictures"); // right after the tick, before any animation step
        QTest::addColumn<int>("animation");        // the one picture timer running; -1: none
        QTest::addColumn<QString>("alarm");        // a second later
        const QString countdown = QStringLiteral("System ShutDown After 60  Seconds");
        // The lost link keeps the still mains pipe, covered by the disconnected picture.
        // clang-format off
        QTest::newRow("on-line") << UpsState::Online << "UPS is on-line" << "#008000" << false << QStringList{"Image1", "ImageAC1", "ImageAC2"} << int(StatusDisplay::Timer4) << "";
        QTest::newRow("on battery") << UpsState::OnBattery << "UPS is on Battery" << "#FF8000" << true << QStringList{"ImageDC1", "ImageDC2", "ImaSOk", "ImaAlarm"} << int(StatusDisplay::Timer5) << countdown;
        QTest::newRow("battery low") << UpsState::LowBattery << "UPS is Low Battery" << "#FF0000" << true << QStringList{"ImageBL1", "ImageBL2", "ImaSLow", "ImaAlarm"} << int(StatusDisplay::Timer6) << countdown;
        QTest::newRow("USB lost") << UpsState::Silent << "UPS Disconnect" << "#000000" << false << QStringList{"Image1", "ImageAC1", "ImaDisconnected"} << -1 << " ";
        // clang-format on
    }

    void showsEachPowerState()
    {
        QFETCH(UpsState, ups);
        QFETCH(QString, colour);
        QFETCH(int, animation);
        EngineFixture f({{key::Shutdown(EventSection::OnBattery), QStringLiteral("1")},
                         {key::Delaytime(EventSection::OnBattery), QStringLiteral("1")},
                         {key::Shutdown(EventSection::LowBattery), QStringLiteral("1")},
                         {key::Delaytime(EventSection::LowBattery), QStringLiteral("1")}});
        StatusPage page(partsOf(f));
        page.show();
        f.start();
        f.platform().halvic.setUpsState(ups);
        f.tick();

        auto* label = page.findChild<QLabel*>(QStringLiteral("LblMessage"));
        QTEST(label->text(), "message");
        QVERIFY2(label->styleSheet().contains(colour), qPrintable(label->styleSheet()));
        QTEST(shownPictures(page), "pictures");
        for (auto timer : {StatusDisplay::Timer4, StatusDisplay::Timer5, StatusDisplay::Timer6})
            QCOMPARE(f.engine().display().isRunning(timer), timer == animation);
        f.advance(1000);
        QTEST(page.findChild<QLabel*>(QStringLiteral("LblAlarm"))->text(), "alarm");
        QTest::mouseClick(page.findChild<XpCmdButton*>(QStringLiteral("CmdShutdown")), Qt::LeftButton);
        QTEST(f.engine().confirmation().askShutdown(), "shutdown");
    }

    void outOfSightPausesAndReleases_data()
    {
        QTest::addColumn<QString>("away");
        QTest::addColumn<bool>("released"); // the pictures' cache is dropped while nothing shows them
        QTest::newRow("window hidden") << "window" << true;
        QTest::newRow("window minimised") << "minimise" << true;
        QTest::newRow("another page, window shown") << "page" << false;
    }

    // Out of sight, the page stops the animation, keeps no picture timer armed and (with the window
    // gone) frees its pictures; back in sight it goes on. A picture rendered again is a new pixmap.
    void outOfSightPausesAndReleases()
    {
        QFETCH(QString, away);
        EngineFixture f;
        StatusDisplay& display = f.engine().display();
        const auto scene = [] {
            return art::pixmap(art::statusLayer(art::StatusLayer::Scene), art::StatusCanvas, 1.0).cacheKey();
        };
        {
            QWidget window;
            auto* page = new StatusPage(partsOf(f), &window);
            QVERIFY(display.isAnimationPaused()); // built hidden, as the main window is
            f.start();
            window.show();
            QVERIFY(!display.isAnimationPaused());
            f.advance(1000);
            const qint64 before = scene();

            if (away == u"window")
                window.hide();
            else if (away == u"minimise")
                window.showMinimized();
            else
                page->hide();
            page->followVisibility(); // as the main window does on a change of its state
            QVERIFY(display.isAnimationPaused());
            f.advance(10);
            QCOMPARE(f.platform().scheduler.nextDueMs(), 2200); // only the poll remains
            QTEST(scene() != before, "released");

            window.showNormal();
            page->show();
            page->followVisibility();
            QVERIFY(!display.isAnimationPaused());
            window.hide();
        }
        // The model outlives its page and animates for whoever looks next.
        QVERIFY(!display.isAnimationPaused());
    }

    void mainsFlowRunsTwoCyclesPerPeriod()
    {
        VirtualScheduler s;
        StatusDisplay d(s);
        QList<int> frames;
        connect(&d, &StatusDisplay::flowPictureChanged, this, [&](int picture) { frames.append(picture); });
        d.AcPipeDisplay();
        s.advanceBy(1000); // Timer4: AC1 -> AC2, flow frames start
        QVERIFY(!d.isVisible(StatusDisplay::ImageAC1) && d.isVisible(StatusDisplay::ImageAC2) &&
                d.isRunning(StatusDisplay::Timer7));
        s.advanceBy(2000);
        // Frames count down from 6 to 1, the second cycle begins, and the next Timer4 tick ends it.
        QCOMPARE(frames.mid(0, 6), (QList<int>{6, 5, 4, 3, 2, 1}));
        QVERIFY(!d.isRunning(StatusDisplay::Timer7));
        QCOMPARE(d.flowCycles(), 0);
        QVERIFY(d.isVisible(StatusDisplay::ImageAC1) && !d.isVisible(StatusDisplay::ImageAC2));
    }

    void showsOnlyTheValuesTheUpsGives_data()
    {
        QTest::addColumn<QStringList>("values"); // "name=value" set on the simulated UPS
        QTest::addColumn<QString>("state");
        QTest::addColumn<QStringList>("shown"); // the group's visible labels, "objectName=text"
        const QStringList all{"battery.charge=87", "battery.runtime=1380",         "ups.load=23",
                              "device.mfr=EATON",  "device.model=Ellipse PRO 650", "input.voltage=230"};
        QTest::newRow("everything") << all << "onbattery"
                                    << QStringList{"LblCharge=Charge 87 %", "LblRuntime=Runtime about 23 min",
                                                   "LblLoad=Load 23 %", "LblModel=EATON Ellipse PRO 650"};
        QTest::newRow("charge only") << QStringList{"battery.charge=100"} << "online"
                                     << QStringList{"LblCharge=Charge 100 %"};
        QTest::newRow("voltage only: nothing the group shows")
            << QStringList{"input.voltage=230"} << "online" << QStringList{};
        QTest::newRow("UPS silent") << all << "silent" << QStringList{};
        QTest::newRow("serial link") << all << "serial" << QStringList{};
    }

    void showsOnlyTheValuesTheUpsGives()
    {
        QFETCH(QStringList, values);
        QFETCH(QString, state);
        EngineFixture f;
        for (const QString& value : values)
            f.platform().halvic.setValue(value.section(u'=', 0, 0).toUtf8(), value.section(u'=', 1).toUtf8());
        if (state == u"serial")
            f.set(key::ComboPort, QStringLiteral("1"));
        else
            f.platform().halvic.setUpsState(*SimulatedHalvic::parseUpsState(state));
        StatusPage page(partsOf(f));
        page.show();
        f.start();
        f.tick();
        auto* group = page.findChild<QWidget*>(QStringLiteral("UpsDetailsGroup"));
        QStringList shown;
        for (const char* name : {"LblCharge", "LblRuntime", "LblLoad", "LblModel"}) {
            auto* label = group->findChild<QLabel*>(QLatin1String(name));
            if (label->isVisible()) {
                shown.append(QLatin1String(name) + u'=' + label->text());
                QCOMPARE(label->accessibleName(), label->text());
            }
        }
        QTEST(shown, "shown");
        QCOMPARE(group->isVisible(), !shown.isEmpty());
    }

    // The protection line follows the readiness check: protected in green; a UPS that stops answering,
    // or a library that says it could not switch the UPS off, makes it "Not protected" in red with the
    // reason, and the tray carries the warning; both clear when that ends.
    void showsWhetherTheComputerIsProtected()
    {
        EngineFixture f({{key::Shutdown(EventSection::LowBattery), QStringLiteral("1")},
                         {key::Delaytime(EventSection::LowBattery), QStringLiteral("1")}});
        StatusPage page(partsOf(f));
        page.show();
        f.start();
        f.engine().startReadiness();
        auto* line = page.findChild<QLabel*>(QStringLiteral("LblProtection"));
        // The line starts so, red (and carried by the tray) exactly when not protected.
        const auto shows = [&](QStringView start, bool warned) {
            return line->text().startsWith(start) &&
                   (line->palette().color(QPalette::WindowText).red() > 128) == warned &&
                   f.platform().tray.warning() == (warned ? line->text() : QString());
        };
        QVERIFY2(shows(u"Protected — shutdown 1 min after battery low", false), qPrintable(line->text()));
        f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::Silent);
        f.tick();
        QVERIFY2(shows(u"Not protected: the UPS does not answer over USB.", true), qPrintable(line->text()));
        f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::Online);
        f.tick();
        QVERIFY2(shows(u"Protected", false), qPrintable(line->text()));
        // The library says, with the next status, that it could not switch the UPS off.
        f.platform().halvic.setUpsOff(HALVIC_UPS_OFF_NO, "the UPS has no writable DelayBeforeShutdown");
        f.tick();
        QVERIFY2(shows(u"Not protected: the UPS cannot be switched off over USB (the UPS has no writable "
                       u"DelayBeforeShutdown). Set up Halvic.conf as Why? explains",
                       true),
                 qPrintable(line->text()));
        f.platform().halvic.setUpsOff(HALVIC_UPS_OFF_SECONDARY);
        f.tick();
        QVERIFY2(shows(u"Protected", false), qPrintable(line->text()));
    }
};

QTEST_MAIN(TestStatusPage)
#include "tst_statuspage.moc"
