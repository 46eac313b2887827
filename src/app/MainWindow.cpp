#include "app/MainWindow.h"

#include "app/QuitQuestion.h"
#include "controls/SkinFrameElements.h"
#include "controls/SkinImage.h"
#include "controls/SkinPalette.h"
#include "controls/WindowFunctions.h"
#include "engine/MonitorEngine.h"
#include "engine/WindowsModel.h"
#include "monitor/ui/StatusPage.h"
#include "platform/HelpOpener.h"
#include "records/ui/RecordPage.h"
#include "shutdown/Confirmation.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStackedWidget>

namespace brevant {

namespace {

constexpr int MinimumWidth = 680;
constexpr int Height = 460;
constexpr int TitleHeight = 30;
constexpr int BottomHeight = 30;
constexpr int Margin = 12;

RecordPage::Parts recordPageParts(MonitorEngine& engine)
{
    return {engine.records(), engine.settings(), engine.confirmation()};
}

} // namespace

MainWindow::MainWindow(MonitorEngine& engine, HelpOpener& help, bool notificationArea, QWidget* parent)
    : QWidget(parent)
    , m_engine(engine)
    , m_help(help)
    , m_notificationArea(notificationArea)
    , m_pageButtons(new PageButtons(this))
    , m_pages(new QStackedWidget(this))
    , m_status(new StatusPage(
          {engine.display(), engine.countdown(), engine.confirmation(), engine.readiness()}, m_pages))
    , m_recordPages{new RecordPage(recordPageParts(engine), RecordPage::logRecord(), m_pages),
                    new RecordPage(recordPageParts(engine), RecordPage::eventRecord(), m_pages),
                    new RecordPage(recordPageParts(engine), RecordPage::closedApplications(), m_pages)}
    , m_eventManager(new QWidget(m_pages))
    , m_quitQuestion(new QuitQuestion(this))
{
    setObjectName(QStringLiteral("frmMain"));
    setAccessibleName(QStringLiteral("Brevant"));
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(skinPalette::WindowSurface));
    setPalette(colours);
    // As wide as the page buttons need in the desktop's font.
    const int width = std::max(MinimumWidth, m_pageButtons->width() + 2 * Margin);
    setFixedSize(width, Height);

    const SkinFrameElements frame = createSkinFrameElements(this, QStringLiteral("Brevant System "));
    connect(frame.help, &SkinImage::clicked, this, &MainWindow::openHelp);
    connect(m_status, &StatusPage::protectionHelpRequested, this, [this] {
        m_help.openHelp(
            QFileInfo(m_engine.paths().helpFile()).dir().filePath(QStringLiteral("protection.html")));
    });
    connect(frame.minimize, &SkinImage::clicked, this, &MainWindow::minimise);
    connect(frame.close, &SkinImage::clicked, this, &MainWindow::askToQuit);
    connect(m_quitQuestion, &QuitQuestion::quitChosen, this, &MainWindow::requestExit);

    m_pageButtons->move((width - m_pageButtons->width()) / 2, TitleHeight + 8);
    const int pagesTop = m_pageButtons->geometry().bottom() + 6;
    m_pages->setGeometry(Margin, pagesTop, width - 2 * Margin, Height - BottomHeight - pagesTop);
    m_eventManager->setObjectName(QStringLiteral("FrmEventManager"));
    m_pages->addWidget(m_status);
    for (RecordPage* page : m_recordPages) {
        m_pages->addWidget(page);
        connect(page, &RecordPage::helpRequested, this, &MainWindow::openHelp);
    }
    m_pages->addWidget(m_eventManager);
    connect(m_pageButtons, &PageButtons::clicked, this, &MainWindow::selectPage);

    ApplySkinFrame(this);
    selectPage(PageButtons::Status);

    WindowsModel& windows = engine.windows();
    connect(&windows, &WindowsModel::visibilityChanged, this,
            [this](WindowsModel::Window window, bool visible) {
                if (window == WindowsModel::frmMain)
                    followModel(visible);
            });
}

MainWindow::~MainWindow() = default;

void MainWindow::setEventManagerPage(QWidget* page, std::function<void()> eventMana)
{
    const bool current = m_pages->currentWidget() == m_eventManager;
    m_pages->insertWidget(PageButtons::EventManager, page);
    m_pages->removeWidget(m_eventManager);
    delete m_eventManager;
    m_eventManager = page;
    m_eventMana = std::move(eventMana);
    if (current)
        m_pages->setCurrentWidget(page);
}

void MainWindow::selectPage(PageButtons::Page page)
{
    m_pageButtons->select(page);
    m_pages->setCurrentIndex(page);
    switch (page) {
    case PageButtons::LogRecord:
    case PageButtons::EventRecord:
    case PageButtons::ClosedApplications:
        m_recordPages[page - PageButtons::LogRecord]->open();
        break;
    case PageButtons::EventManager:
        if (m_eventMana)
            m_eventMana();
        break;
    case PageButtons::Status:
    case PageButtons::PageCount:
        break;
    }
}

PageButtons::Page MainWindow::currentPage() const
{
    return PageButtons::Page(m_pages->currentIndex());
}

void MainWindow::bringUp()
{
    m_engine.windows().show(WindowsModel::frmMain);
    followModel(true);
}

void MainWindow::requestExit()
{
    if (std::exchange(m_exitRequested, true))
        return;
    m_engine.requestExit();
}

void MainWindow::askToQuit()
{
    m_quitQuestion->ask();
}

void MainWindow::openHelp()
{
    m_help.openHelp(m_engine.paths().helpFile());
}

void MainWindow::minimise()
{
    m_engine.windows().hide(WindowsModel::frmMain);
}

void MainWindow::followModel(bool visible)
{
    if (visible) {
        showNormal();
        raise();
        activateWindow();
    } else if (m_notificationArea) {
        hide();
    } else {
        // Without a notification area the taskbar is the only way back.
        showMinimized();
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The window is never closed on its own. Where the tray can bring it back, a close from the
    // window manager hides it; elsewhere hiding would leave no way back, so it asks as the close
    // image does.
    event->ignore();
    if (m_notificationArea)
        minimise();
    else
        askToQuit();
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        openHelp();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MainWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    m_status->followVisibility();
    // Restored from the taskbar: the window is shown again as far as the program is concerned.
    if (isVisible() && !isMinimized())
        m_engine.windows().show(WindowsModel::frmMain);
}

} // namespace brevant
