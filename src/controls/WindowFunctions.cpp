#include "controls/WindowFunctions.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainterPath>
#include <QPointer>
#include <QWindow>
#include <optional>

namespace brevant {

namespace {

constexpr qreal CornerRadius = 12; // half of the 24 x 24 corner ellipse

// Places the element named `name` at (x, y), with a new width where one is given.
void place(QWidget* window, const char* name, int x, int y, std::optional<int> width = std::nullopt)
{
    auto* element = window->findChild<QWidget*>(QLatin1String(name));
    if (element)
        element->setGeometry(x, y, width.value_or(element->width()), element->height());
}

// Changing window flags hides a shown window; show it again where it was.
void setWindowFlagInPlace(QWidget* window, Qt::WindowType flag, bool on)
{
    if (window->windowFlags().testFlag(flag) == on)
        return;
    const bool shown = window->isVisible();
    const QRect geometry = window->geometry();
    window->setWindowFlag(flag, on);
    if (shown) {
        window->setGeometry(geometry);
        window->show();
    }
}

// Moves a window with the pointer until the mouse button is released, for platforms that
// have no system move (and the offscreen platform of the tests). The first move anchors the
// pointer, so the window keeps its place under it.
class PointerFollower : public QObject
{
public:
    explicit PointerFollower(QWidget* window)
        : QObject(window)
        , m_window(window)
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseMove) {
            const QPoint pointer = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
            if (!m_anchor) {
                m_anchor = pointer;
                m_origin = m_window->pos();
            }
            m_window->move(m_origin + pointer - *m_anchor);
        } else if (event->type() == QEvent::MouseButtonRelease) {
            qApp->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }

private:
    QWidget* m_window;
    std::optional<QPoint> m_anchor;
    QPoint m_origin;
};

} // namespace

void ApplySkinFrame(QWidget* window)
{
    const int w = window->width();
    const int h = window->height();
    if (auto* title = window->findChild<QLabel*>(QLatin1String(frameElement::Title)))
        window->setWindowTitle(title->text());
    place(window, frameElement::Title, 16, 7);
    place(window, frameElement::TitleLeft, 0, 0);
    place(window, frameElement::TitleRight, w - 19, 0);
    place(window, frameElement::TitleMain, 19, 0, w - 38);
    place(window, frameElement::BottomLeft, 0, h - 30);
    place(window, frameElement::Bottom, 17, h - 30, w - 36);
    place(window, frameElement::BottomRight, w - 19, h - 30);
    place(window, frameElement::TitleClose, w - 22, 8);
    place(window, frameElement::TitleMinimize, w - 39, 8);
    setWindowFlagInPlace(window, Qt::FramelessWindowHint, true);
    RoundWindowCorners(window);
}

void RoundWindowCorners(QWidget* window)
{
    QPainterPath outline;
    outline.addRoundedRect(QRectF(window->rect()), CornerRadius, CornerRadius);
    window->setMask(QRegion(outline.toFillPolygon().toPolygon()));
}

void DragWindow(QWidget* window)
{
    QWindow* handle = window->window()->windowHandle();
    if (handle && handle->startSystemMove())
        return;
    new PointerFollower(window);
}

void SetTopMost(QWidget* window, bool on)
{
    setWindowFlagInPlace(window, Qt::WindowStaysOnTopHint, on);
}

} // namespace brevant
