#pragma once

#include "platform/MessageBoxPresenter.h"

#include <QStringList>

namespace brevant {

// A message box that only remembers what it was asked to show: for the fire drill and tests.
class RecordingMessageBox : public MessageBoxPresenter
{
public:
    void showError(const QString& text) override { m_shown.append(text); }

    const QStringList& shown() const { return m_shown; }
    void clear() { m_shown.clear(); }

private:
    QStringList m_shown;
};

} // namespace brevant
