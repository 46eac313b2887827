#pragma once

#include "app/PageButtons.h"

#include <QWidget>
#include <functional>

class QStackedWidget;

namespace brevant {

class HelpOpener;
class MonitorEngine;
class QuitQuestion;
class RecordPage;
class StatusPage;

// The main window frmMain: the skinned frame with its title-bar images, the five page buttons
// and the pages. It is hidden and shown, never closed, until the program ends. The close image
// asks first whether the user wants the computer left unprotected (QuitQuestion); a close from
// the window manager (Alt+F4, a taskbar), which the skinned frame does not offer, hides the window
// like the minimise image where a notification area can bring it back, and asks the same question
// where none can.
//
// Where the desktop has no notification area the tray icon cannot bring the window back, so
// whatever would hide it (the minimise image, a shutdown request) minimises it to the taskbar
// instead.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    MainWindow(MonitorEngine& engine, HelpOpener& help, bool notificationArea, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Puts the real Event Manager page (FrmEventManager) in place of the empty one; eventMana
    // runs each time its page button is clicked.
    void setEventManagerPage(QWidget* page, std::function<void()> eventMana);

    // A page button's click, as the user makes it.
    void selectPage(PageButtons::Page page);
    PageButtons::Page currentPage() const;
    PageButtons& pageButtons() const { return *m_pageButtons; }

    // The tray icon's double click and a second start's knock: the window comes up, in front.
    void bringUp();
    // The exit, once, however often it is asked for: the quit question's answer, SIGTERM.
    void requestExit();
    // The close image: the quit question.
    void askToQuit();
    void openHelp();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void minimise();
    void followModel(bool visible);

    MonitorEngine& m_engine;
    HelpOpener& m_help;
    bool m_notificationArea;
    PageButtons* m_pageButtons;
    QStackedWidget* m_pages;
    StatusPage* m_status;
    RecordPage* m_recordPages[3];
    QWidget* m_eventManager;
    std::function<void()> m_eventMana;
    QuitQuestion* m_quitQuestion;
    bool m_exitRequested = false;
};

} // namespace brevant
