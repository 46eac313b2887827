#pragma once

#include "config/ui/EventManagerParts.h"

#include <QWidget>

namespace brevant {

class EventSettingsPage;
class OsEventLogPage;
class XpRadioButton;

// The Event Manager page of the main window (FrmEventManager): three radio buttons choose one of
// its sub-pages, On Battery, Low Battery and OS Event Log. Each sub-page is loaded from the
// settings file when it is chosen and writes it only through its own Apply button.
class EventManagerPage : public QWidget
{
    Q_OBJECT

public:
    explicit EventManagerPage(const EventManagerParts& parts, QWidget* parent = nullptr);

    // Opens the page on its first sub-page, On Battery, freshly loaded: what the page button
    // "Event Manager" does after it has shown the page.
    void EventMana();

signals:
    // A Help button of a sub-page (the Low Battery one sends F1 instead): open the program's help.
    void helpRequested();

private:
    QList<QWidget*> subPages() const;
    // Shows the sub-page, hides the others, and loads it from the settings file.
    template <typename Page>
    void choose(Page* subPage, void (Page::*load)());

    XpRadioButton* m_optOnBatt;
    XpRadioButton* m_optLowBatt;
    XpRadioButton* m_optOsLog;
    EventSettingsPage* m_onBatt;
    EventSettingsPage* m_lowBatt;
    OsEventLogPage* m_osLog;
};

} // namespace brevant
