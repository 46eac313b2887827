#pragma once

#include <QWidget>

namespace brevant {

class SkinSheet;

// An image element of a skinned window (a title piece, a title button, a bottom piece): one
// piece of a skin, stretched over the element, reporting presses and clicks to its window.
class SkinImage : public QWidget
{
    Q_OBJECT

public:
    SkinImage(const SkinSheet& sheet, const QRect& piece, QWidget* parent);

    QSize sizeHint() const override { return m_piece.size(); }

signals:
    void pressed(Qt::MouseButton button);
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    const SkinSheet& m_sheet;
    QRect m_piece;
    bool m_leftDown = false;
};

} // namespace brevant
