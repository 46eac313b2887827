#include "platform/qtwidgets/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>

namespace brevant {

void QtMessageBox::showError(const QString& text)
{
    if (m_open && m_open->isVisible())
        return; // a closed box lingers until deleted; only an open one holds the next message back
    auto* box =
        new QMessageBox(QMessageBox::Critical, QApplication::applicationName(), text, QMessageBox::Ok);
    box->setObjectName(QStringLiteral("errorMessage"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    m_open = box;
    box->show();
}

} // namespace brevant
