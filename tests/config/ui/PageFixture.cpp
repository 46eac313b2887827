#include "PageFixture.h"

#include "TestFiles.h"
#include "config/FirstInstall.h"
#include "config/Settings.h"
#include "controls/XpCheckBox.h"

#include <QLineEdit>
#include <QSettings>

using namespace brevant;

QString writeOf(IniKey key, const QString& value)
{
    return key.section.toString() + u'/' + key.name.toString() + u'=' + value;
}

PageFixture::PageFixture(const QList<Setting>& settings)
    : m_page(m_engine.engine())
{
    testsupport::writeFile(m_engine.paths().settingsFile(), firstInstallSettings());
    for (const auto& [key, value] : settings)
        m_engine.set(key, value);
    m_engine.engine().settings().setWriteObserver(
        [this](IniKey key, const QString& value) { m_writes.append(writeOf(key, value)); });
    m_page.resize(m_page.sizeHint());
    m_page.show();
    m_page.EventMana();
}

void PageFixture::click(const char* name)
{
    QWidget* widget = find(name);
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

QString PageFixture::text(const char* name)
{
    return find<QLineEdit>(name)->text();
}

void PageFixture::setText(const char* name, const QString& text)
{
    auto* box = find<QLineEdit>(name);
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

bool PageFixture::enabled(const char* name)
{
    return find(name)->isEnabled();
}

int PageFixture::value(const char* name)
{
    return find<XpCheckBox>(name)->value();
}

QStringList PageFixture::takeWrites()
{
    return std::exchange(m_writes, {});
}

QMap<QString, QString> PageFixture::file() const
{
    QMap<QString, QString> values;
    const QSettings ini(m_engine.paths().settingsFile(), QSettings::IniFormat);
    for (const QString& key : ini.allKeys())
        values.insert(key, ini.value(key).toString());
    return values;
}

QStringList PageFixture::takeMessages()
{
    QStringList texts;
    const auto& shown = messages().messages();
    for (qsizetype i = m_messagesTaken; i < shown.size(); ++i)
        texts.append((shown[i].icon == MessageBoxPresenter::Icon::Critical ? u"critical|" : u"warning|") +
                     shown[i].title + u'|' + shown[i].text);
    m_messagesTaken = shown.size();
    return texts;
}
