#include "app/SplashScreen.h"

#include "platform/qtwidgets/TrayPictures.h"

#include <QLinearGradient>
#include <QPainter>

namespace brevant {

SplashScreen::SplashScreen(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setFixedSize(341, 204);
}

void SplashScreen::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, 0, height());
    background.setColorAt(0, QColor(0x1f, 0x6f, 0xd1));
    background.setColorAt(1, QColor(0x12, 0x3f, 0x7a));
    p.fillRect(rect(), background);
    trayPicture(TrayPicture::ImaMain).paint(&p, QRect(28, 56, 64, 64));
    QFont title = font();
    title.setPointSizeF(24);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(108, 52, 220, 44), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Brevant"));
    QFont subtitle = font();
    subtitle.setPointSizeF(10);
    p.setFont(subtitle);
    p.setPen(QColor(0xdb, 0xe7, 0xf8));
    p.drawText(QRect(108, 96, 220, 24), Qt::AlignLeft | Qt::AlignVCenter, tr("UPS monitor"));
}

} // namespace brevant
