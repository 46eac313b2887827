#include "platform/qtwidgets/QtTrayIcon.h"

#include "platform/qtwidgets/TrayPictures.h"

#include <QSystemTrayIcon>

namespace brevant {

namespace {
constexpr int MaxTipChars = 63;
}

QtTrayIcon::QtTrayIcon(QObject* parent)
    : QObject(parent)
{}

QtTrayIcon::~QtTrayIcon() = default;

void QtTrayIcon::replaceTrayIcon(TrayPicture picture, const QString& tip)
{
    remove();
    m_icon = std::make_unique<QSystemTrayIcon>(trayPicture(picture));
    m_icon->setToolTip(tip.left(MaxTipChars));
    connect(m_icon.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick)
                    emit doubleClicked();
            });
    // Without a notification area the program runs on unseen; the next replacement tries again.
    m_icon->show();
}

void QtTrayIcon::remove()
{
    if (!m_icon)
        return;
    m_icon->hide();
    m_icon.reset();
}

} // namespace brevant
