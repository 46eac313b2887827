#pragma once

#include "EngineFixture.h"
#include "config/ui/EventManagerPage.h"
#include "platform/sim/RecordingMessageBox.h"

#include <QMap>
#include <QStringList>
#include <QTest>

// The real Event Manager page on an engine with the first-install settings file, shown offscreen
// and opened as the page button opens it. Widgets are found by their names; clicks are real.
class PageFixture
{
public:
    using Setting = QPair<brevant::IniKey, QString>;

    explicit PageFixture(const QList<Setting>& settings = {});

    testsupport::EngineFixture& f() { return m_engine; }
    brevant::EventManagerPage& page() { return m_page; }

    template <typename W = QWidget>
    W* find(const char* name)
    {
        auto* widget = m_page.findChild<W*>(QLatin1String(name));
        if (!widget)
            qFatal("no %s on the page", name);
        return widget;
    }
    void click(const char* name);
    QString text(const char* name);
    void setText(const char* name, const QString& text);
    bool enabled(const char* name); // as the user sees it: the widget and every parent enabled
    int value(const char* name);    // a check box's value

    // Every "Section/Key=value" written through the engine's settings, in order, since the last call.
    QStringList takeWrites();
    // The whole settings file as "Section/Key" -> value.
    QMap<QString, QString> file() const;
    // The message boxes about the user's action since the last call, as "critical|title|text" (or
    // "warning|...").
    QStringList takeMessages();
    const brevant::RecordingMessageBox& messages() { return m_engine.platform().messages; }

private:
    testsupport::EngineFixture m_engine;
    brevant::EventManagerPage m_page;
    QStringList m_writes;
    qsizetype m_messagesTaken = 0;
};

QString writeOf(brevant::IniKey key, const QString& value);
