#include "EngineFixture.h"
#include "app/MainWindow.h"
#include "controls/XpCmdButton.h"
#include "engine/WindowsModel.h"
#include "monitor/StatusDisplay.h"
#include "platform/HelpOpener.h"

#include <QApplication>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>

using namespace brevant;
using testsupport::EngineFixture;

namespace {

class RecordingHelp final : public HelpOpener
{
public:
    void openHelp(const QString& file) override { opened.append(file); }
    QStringList opened;
};

// A main window over an engine on virtual time, as the program builds it.
struct Fixture
{
    explicit Fixture(bool notificationArea = true)
        : window(f.engine(), help, notificationArea)
    {
        f.start();
    }
    QWidget* find(const char* name) const { return window.findChild<QWidget*>(QLatin1String(name)); }
    QString currentPage() const { return window.findChild<QStackedWidget*>()->currentWidget()->objectName(); }

    EngineFixture f;
    RecordingHelp help;
    MainWindow window;
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void pageButtonsChooseAndHighlightAndHelpOpens()
    {
        Fixture x;
        // The program puts its own Event Manager page in place of the stand-in, and hears of it shown.
        int eventManagerShown = 0;
        auto* eventManager = new QWidget;
        eventManager->setObjectName(QStringLiteral("FrmEventManager"));
        x.window.setEventManagerPage(eventManager, [&eventManagerShown] { ++eventManagerShown; });
        x.window.show();
        PageButtons& buttons = x.window.pageButtons();
        QStringList seen; // per click: the page shown, and the buttons framed as shown (#) or not (.)
        for (int page = PageButtons::PageCount - 1; page >= 0; --page) {
            QTest::mouseClick(x.find(QByteArray("xpcmdbutton" + QByteArray::number(page + 1)).constData()),
                              Qt::LeftButton);
            const QImage drawn = buttons.grab().toImage();
            QString framed;
            for (int other = 0; other < PageButtons::PageCount; ++other) {
                // The button's frame's left edge.
                const QRect around = buttons.button(PageButtons::Page(other))->geometry();
                const QColor edge = drawn.pixelColor(around.left() - 4, around.center().y());
                framed += edge == PageButtons::Shown ? u'#' : edge == PageButtons::NotShown ? u'.' : u'?';
            }
            seen.append(x.currentPage() + u' ' + framed);
        }
        QCOMPARE(seen, QStringList({"FrmEventManager ....#", "FrmClose ...#.", "FrmUpsEvent ..#..",
                                    "FrmLog .#...", "frmStatus #...."}));
        QCOMPARE(eventManagerShown, 1);
        QCOMPARE(x.window.findChildren<QWidget*>(QStringLiteral("FrmEventManager")),
                 QList<QWidget*>{eventManager});

        // Help opens from the title's Help image, a page's Help button, and F1 wherever the focus is.
        QTest::mouseClick(x.find("imgTitleHelp"), Qt::LeftButton);
        x.window.selectPage(PageButtons::LogRecord);
        QTest::mouseClick(x.find("xpcmdbutton9"), Qt::LeftButton);
        x.find("MSFlexGrid1")->setFocus();
        QTest::keyClick(x.find("MSFlexGrid1"), Qt::Key_F1);
        QCOMPARE(x.help.opened, QStringList(3, x.f.paths().helpFile()));
    }

    void minimiseAndCloseFollowTheNotificationArea_data()
    {
        QTest::addColumn<bool>("notificationArea");
        QTest::newRow("notification area") << true;
        QTest::newRow("none") << false;
    }

    void minimiseAndCloseFollowTheNotificationArea()
    {
        QFETCH(bool, notificationArea);
        Fixture x(notificationArea);
        QVERIFY(!x.window.isVisible()); // loaded hidden, on the Status page
        QCOMPARE(x.currentPage(), QStringLiteral("frmStatus"));
        x.window.bringUp();
        QTest::mouseClick(x.find("imgTitleMinimize"), Qt::LeftButton);
        QVERIFY(!x.f.engine().windows().isVisible(WindowsModel::frmMain));
        // Without a notification area the taskbar must still lead back to the window.
        QCOMPARE(x.window.isVisible(), !notificationArea);
        QCOMPARE(x.window.isMinimized(), !notificationArea);
        QVERIFY(x.f.engine().display().isAnimationPaused()); // nobody sees it

        x.window.bringUp(); // the tray icon's double click
        QVERIFY(x.window.isVisible() && !x.window.isMinimized());
        QVERIFY(x.f.engine().windows().isVisible(WindowsModel::frmMain));
        // A shutdown request hides the window the same way.
        x.f.engine().windows().hide(WindowsModel::frmMain);
        QCOMPARE(x.window.isVisible(), !notificationArea);

        // Ending the monitor is a knowing choice: the close image asks, "Keep watching" (the focused
        // answer, Escape too) keeps it. A window manager's close hides the window where the tray can bring
        // it back, and asks where nothing could. The exit runs once however often it is asked for.
        x.window.bringUp();
        QSignalSpy exited(&x.f.engine(), &MonitorEngine::exited);
        auto* question = x.window.findChild<QWidget*>(QStringLiteral("FrmQuit"));
        QTest::mouseClick(x.find("imgTitleClose"), Qt::LeftButton);
        QVERIFY(question->isVisible());
        QVERIFY((question->geometry().center() - x.window.frameGeometry().center()).manhattanLength() <= 2);
        QCOMPARE(question->focusWidget(), question->findChild<QWidget*>(QStringLiteral("CmdKeepWatching")));
        QTest::keyClick(question, Qt::Key_Escape);
        QVERIFY(!question->isVisible());

        QVERIFY(!x.window.close()); // refused: the exit decides what ends
        QCOMPARE(x.window.isVisible(), !notificationArea);
        QCOMPARE(question->isVisible(), !notificationArea);
        QCOMPARE(exited.count(), 0);

        QTest::mouseClick(x.find("imgTitleClose"), Qt::LeftButton);
        QTest::mouseClick(question->findChild<QWidget*>(QStringLiteral("CmdQuit")), Qt::LeftButton);
        x.window.requestExit();
        QCOMPARE(exited.count(), 1);
        QCOMPARE(x.f.takeAppended().count({RecordTableId::Log, QStringLiteral("Program quit")}), 1);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
