#include "controls/SkinImage.h"

#include "controls/SkinSheet.h"

#include <QMouseEvent>
#include <QPainter>

namespace brevant {

SkinImage::SkinImage(const SkinSheet& sheet, const QRect& piece, QWidget* parent)
    : QWidget(parent)
    , m_sheet(sheet)
    , m_piece(piece)
{
    resize(piece.size());
}

void SkinImage::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    m_sheet.draw(painter, rect(), m_piece);
}

void SkinImage::mousePressEvent(QMouseEvent* event)
{
    m_leftDown = event->button() == Qt::LeftButton;
    emit pressed(event->button());
}

void SkinImage::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click =
        event->button() == Qt::LeftButton && m_leftDown && rect().contains(event->position().toPoint());
    m_leftDown = false;
    if (click)
        emit clicked();
}

} // namespace brevant
