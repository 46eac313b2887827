#include "monitor/ui/PictureView.h"

#include "art/ArtCatalogue.h"

#include <QPainter>

namespace brevant {

PictureView::PictureView(const QString& objectName, QSize size, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(objectName);
    setFixedSize(size);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void PictureView::setPicture(const QString& resourcePath)
{
    if (m_picture == resourcePath)
        return;
    m_picture = resourcePath;
    update();
}

void PictureView::paintEvent(QPaintEvent*)
{
    if (m_picture.isEmpty())
        return;
    QPainter p(this);
    p.drawPixmap(0, 0, art::pixmap(m_picture, size(), devicePixelRatioF()));
}

} // namespace brevant
