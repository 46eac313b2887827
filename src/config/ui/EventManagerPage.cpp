#include "config/ui/EventManagerPage.h"

#include "config/ui/EventSettingsPage.h"
#include "config/ui/OsEventLogPage.h"
#include "controls/XpRadioButton.h"

#include <QGridLayout>

namespace brevant {

QList<QWidget*> EventManagerPage::subPages() const
{
    return {m_onBatt, m_lowBatt, m_osLog};
}

template <typename Page>
void EventManagerPage::choose(Page* subPage, void (Page::*load)())
{
    for (QWidget* page : subPages())
        page->setVisible(page == subPage);
    (subPage->*load)();
}

EventManagerPage::EventManagerPage(const EventManagerParts& parts, QWidget* parent)
    : QWidget(parent)
    , m_optOnBatt(new XpRadioButton(QStringLiteral("UPS On &Battery "), this))
    , m_optLowBatt(new XpRadioButton(QStringLiteral("UPS &Low Battery "), this))
    , m_optOsLog(new XpRadioButton(QStringLiteral("OS Event Lo&g"), this))
    , m_onBatt(new EventSettingsPage(EventSection::OnBattery, parts, this))
    , m_lowBatt(new EventSettingsPage(EventSection::LowBattery, parts, this))
    , m_osLog(new OsEventLogPage(parts, this))
{
    if (parts.upsDetails)
        m_lowBatt->setUpsDetailsSource(parts.upsDetails);
    setObjectName(QStringLiteral("FrmEventManager"));
    m_optOnBatt->setObjectName(QStringLiteral("OptOnBatt"));
    m_optLowBatt->setObjectName(QStringLiteral("OptLowBatt"));
    m_optOsLog->setObjectName(QStringLiteral("OptOsLog"));

    auto* choices = new QHBoxLayout;
    choices->setSpacing(24);
    for (XpRadioButton* option : {m_optOnBatt, m_optLowBatt, m_optOsLog})
        choices->addWidget(option);
    choices->addStretch();
    // The sub-pages share one place; the one chosen is shown, the others hidden.
    auto* pages = new QGridLayout;
    for (QWidget* page : subPages())
        pages->addWidget(page, 0, 0);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(10);
    layout->addLayout(choices);
    layout->addLayout(pages, 1);
    m_lowBatt->hide();
    m_osLog->hide();

    connect(m_optOnBatt, &XpRadioButton::Click, this, [this] { choose(m_onBatt, &EventSettingsPage::load); });
    connect(m_optLowBatt, &XpRadioButton::Click, this,
            [this] { choose(m_lowBatt, &EventSettingsPage::load); });
    connect(m_optOsLog, &XpRadioButton::Click, this, [this] { choose(m_osLog, &OsEventLogPage::load); });
    connect(m_onBatt, &EventSettingsPage::helpRequested, this, &EventManagerPage::helpRequested);
    connect(m_osLog, &OsEventLogPage::helpRequested, this, &EventManagerPage::helpRequested);
}

void EventManagerPage::EventMana()
{
    m_optOnBatt->setValue(true);
    m_optLowBatt->setValue(false);
    m_optOsLog->setValue(false);
    choose(m_onBatt, &EventSettingsPage::load);
}

} // namespace brevant
