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

void QtMessageBox::showMessage(Icon icon, const QString& title, const QString& text)
{
    QMessageBox box(icon == Icon::Critical ? QMessageBox::Critical : QMessageBox::Warning, title, text,
                    QMessageBox::Ok, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("userMessage"));
    // Above the windows that stay on top as well (the save list), so that it is never hidden.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
}

} // namespace brevant
