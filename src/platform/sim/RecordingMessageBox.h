#pragma once

#include "platform/MessageBoxPresenter.h"

#include <QList>
#include <QStringList>

namespace brevant {

// A message box that only remembers what it was asked to show: for the fire drill and tests.
class RecordingMessageBox : public MessageBoxPresenter
{
public:
    struct Message
    {
        Icon icon;
        QString title;
        QString text;
    };

    void showError(const QString& text) override { m_shown.append(text); }
    void showMessage(Icon icon, const QString& title, const QString& text) override
    {
        m_messages.append({icon, title, text});
    }

    // The errors, in the order they were shown.
    const QStringList& shown() const { return m_shown; }
    // The messages about the user's actions, in order.
    const QList<Message>& messages() const { return m_messages; }
    void clear()
    {
        m_shown.clear();
        m_messages.clear();
    }

private:
    QStringList m_shown;
    QList<Message> m_messages;
};

} // namespace brevant
