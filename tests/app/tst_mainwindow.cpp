#include "EngineFixture.h"
#include "app/MainWindow.h"
#include "controls/SkinImage.h"
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
    template <typename T = QWidget>
    T* find(const char* name) const
    {
        T* widget = window.findChild<T*>(QLatin1String(name));
        if (!widget)
            qFatal("no %s in the main window", name);
        return widget;
    }
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
    void pageButtonsChooseAndHighlight_data();
    void pageButtonsChooseAndHighlight();
    void hoverColoursOnlyPagesNotShown();
    void minimiseHidesOrGoesToTheTaskbar_data();
    void minimiseHidesOrGoesToTheTaskbar();
    void closeImageAndWindowManagerCloseExitOnce_data();
    void closeImageAndWindowManagerCloseExitOnce();
    void helpFromTitlePagesAndF1_data();
    void helpFromTitlePagesAndF1();
    void eventManagerPageSlot();
};

void TestMainWindow::pageButtonsChooseAndHighlight_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("frame");
    QTest::newRow("Status") << int(PageButtons::Status) << "frmStatus";
    QTest::newRow("Log Record") << int(PageButtons::LogRecord) << "FrmLog";
    QTest::newRow("Event Record") << int(PageButtons::EventRecord) << "FrmUpsEvent";
    QTest::newRow("Closed Applications") << int(PageButtons::ClosedApplications) << "FrmClose";
    QTest::newRow("Event Manager") << int(PageButtons::EventManager) << "FrmEventManager";
}

void TestMainWindow::pageButtonsChooseAndHighlight()
{
    QFETCH(int, page);
    QFETCH(QString, frame);
    Fixture x;
    x.window.show();
    x.window.selectPage(PageButtons::ClosedApplications);
    const QByteArray name = "xpcmdbutton" + QByteArray::number(page + 1);
    auto* button = x.find<XpCmdButton>(name.constData());
    QTest::mouseClick(button, Qt::LeftButton);

    QCOMPARE(x.currentPage(), frame);
    PageButtons& buttons = x.window.pageButtons();
    const QImage drawn = buttons.grab().toImage();
    for (int other = 0; other < PageButtons::PageCount; ++other) {
        const auto which = PageButtons::Page(other);
        const QColor expected = other == page ? PageButtons::Shown : PageButtons::NotShown;
        QCOMPARE(buttons.pageFlag(which), other == page);
        QCOMPARE(buttons.frameColor(which), expected);
        // The frame's left edge, as drawn.
        const QRect around = buttons.button(which)->geometry();
        QCOMPARE(drawn.pixelColor(around.left() - 4, around.center().y()), expected);
    }
}

void TestMainWindow::hoverColoursOnlyPagesNotShown()
{
    Fixture x;
    x.window.show();
    PageButtons& buttons = x.window.pageButtons();
    x.window.selectPage(PageButtons::LogRecord);
    QTest::mouseMove(buttons.button(PageButtons::EventRecord));
    QCOMPARE(buttons.frameColor(PageButtons::EventRecord), PageButtons::Hover);
    // The pointer leaves it (as the window system reports) for the button of the page shown.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(buttons.button(PageButtons::EventRecord), &leave);
    QCOMPARE(buttons.frameColor(PageButtons::EventRecord), PageButtons::NotShown);
    QTest::mouseMove(buttons.button(PageButtons::LogRecord));
    QCOMPARE(buttons.frameColor(PageButtons::LogRecord), PageButtons::Shown);
}

void TestMainWindow::minimiseHidesOrGoesToTheTaskbar_data()
{
    QTest::addColumn<bool>("notificationArea");
    QTest::newRow("notification area") << true;
    QTest::newRow("none") << false;
}

void TestMainWindow::minimiseHidesOrGoesToTheTaskbar()
{
    QFETCH(bool, notificationArea);
    Fixture x(notificationArea);
    QVERIFY(!x.window.isVisible()); // loaded hidden, on the Status page
    QCOMPARE(x.currentPage(), QStringLiteral("frmStatus"));
    QCOMPARE(x.window.windowTitle(), QStringLiteral("Brevant System "));
    x.window.bringUp();
    QVERIFY(x.window.isVisible());
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
}

void TestMainWindow::closeImageAndWindowManagerCloseExitOnce_data()
{
    QTest::addColumn<bool>("windowManager");
    QTest::newRow("close image") << false;
    QTest::newRow("window manager (Alt+F4)") << true;
}

void TestMainWindow::closeImageAndWindowManagerCloseExitOnce()
{
    QFETCH(bool, windowManager);
    Fixture x;
    x.window.bringUp();
    QSignalSpy exited(&x.f.engine(), &MonitorEngine::exited);
    for (int twice = 0; twice < 2; ++twice) {
        if (windowManager)
            QVERIFY(!x.window.close()); // refused: the exit decides what ends
        else
            QTest::mouseClick(x.find("imgTitleClose"), Qt::LeftButton);
    }
    QCOMPARE(exited.count(), 1);
    const auto appended = x.f.takeAppended();
    QCOMPARE(appended.count({RecordTableId::Log, QStringLiteral("Program quit")}), 1);
}

void TestMainWindow::helpFromTitlePagesAndF1_data()
{
    QTest::addColumn<QByteArray>("control");
    QTest::addColumn<int>("page");
    QTest::newRow("title Help image") << QByteArray("imgTitleHelp") << int(PageButtons::Status);
    QTest::newRow("Log Record Help") << QByteArray("xpcmdbutton9") << int(PageButtons::LogRecord);
    QTest::newRow("F1") << QByteArray() << int(PageButtons::LogRecord);
}

void TestMainWindow::helpFromTitlePagesAndF1()
{
    QFETCH(QByteArray, control);
    QFETCH(int, page);
    Fixture x;
    x.window.bringUp();
    x.window.selectPage(PageButtons::Page(page));
    if (control.isEmpty()) {
        // F1 pressed wherever the focus is, here on the grid.
        QWidget* grid = x.find("MSFlexGrid1");
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_F1);
    } else {
        QTest::mouseClick(x.find(control.constData()), Qt::LeftButton);
    }
    QCOMPARE(x.help.opened, QStringList{x.f.paths().helpFile()});
}

void TestMainWindow::eventManagerPageSlot()
{
    Fixture x;
    x.window.show();
    int eventMana = 0;
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("FrmEventManager"));
    x.window.setEventManagerPage(page, [&eventMana] { ++eventMana; });
    QCOMPARE(x.window.findChildren<QWidget*>(QStringLiteral("FrmEventManager")).size(), 1);
    QTest::mouseClick(x.find("xpcmdbutton5"), Qt::LeftButton);
    QCOMPARE(eventMana, 1);
    QVERIFY(page->isVisible());
    QCOMPARE(x.window.currentPage(), PageButtons::EventManager);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
