#pragma once

#include "platform/MessageBoxPresenter.h"

#include <QPointer>

class QMessageBox;

namespace brevant {

// Error messages in a window of their own that does not block the program: polling and the
// countdown go on while it is open, and further errors are dropped until it is closed. Messages
// about the user's own action are modal to the active window; polling goes on meanwhile too.
class QtMessageBox final : public MessageBoxPresenter
{
public:
    void showError(const QString& text) override;
    void showMessage(Icon icon, const QString& title, const QString& text) override;

private:
    QPointer<QMessageBox> m_open;
};

} // namespace brevant
