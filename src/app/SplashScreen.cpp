#include "app/SplashScreen.h"

#include "art/ArtCatalogue.h"

#include <QPainter>

namespace brevant {

SplashScreen::SplashScreen(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setFixedSize(art::SplashSize);
}

void SplashScreen::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawPixmap(0, 0, art::pixmap(art::splash(), size(), devicePixelRatioF()));
}

} // namespace brevant
