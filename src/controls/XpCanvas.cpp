#include "controls/XpCanvas.h"

#include "controls/SkinPalette.h"
#include "controls/SkinSheet.h"
#include "controls/WindowFunctions.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

namespace brevant {

namespace {

constexpr QPoint CaptionAt(26, 6);
constexpr QPoint ShadowAt(28, 8);
constexpr QRect IconPlace(6, 6, 16, 16);
constexpr int GripCorner = 8;
constexpr int TopGripHeight = 4;

// Places of the pieces in the frame skins.
constexpr QRect LeftPiece(0, 0, 5, 40);
constexpr QRect RightPiece(10, 0, 5, 40);
constexpr QRect TitlePiece(20, 0, 60, 29);
constexpr QRect MaximisedTitlePiece(90, 0, 60, 29);
constexpr QRect BottomPiece(160, 0, 40, 5);
constexpr QMargins TitleEnds(8, 0, 8, 0);
constexpr QMargins BottomEnds(5, 0, 5, 0);

// A piece of the frame that paints itself through the frame and hands its mouse to it.
class FramePart : public QWidget
{
public:
    FramePart(QWidget* parent, std::function<void(QPainter&, const QRect&)> paint)
        : QWidget(parent)
        , m_paint(std::move(paint))
    {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (!m_paint)
            return;
        QPainter painter(this);
        m_paint(painter, rect());
    }

private:
    std::function<void(QPainter&, const QRect&)> m_paint;
};

Qt::CursorShape sizingCursor(Qt::Edges edges)
{
    if (edges == (Qt::TopEdge | Qt::LeftEdge) || edges == (Qt::BottomEdge | Qt::RightEdge))
        return Qt::SizeFDiagCursor;
    if (edges == (Qt::TopEdge | Qt::RightEdge) || edges == (Qt::BottomEdge | Qt::LeftEdge))
        return Qt::SizeBDiagCursor;
    return edges & (Qt::LeftEdge | Qt::RightEdge) ? Qt::SizeHorCursor : Qt::SizeVerCursor;
}

QRect gripRect(Qt::Edges edges, QSize size)
{
    const int right = size.width() - GripCorner;
    const int bottom = size.height() - GripCorner;
    if (edges == Qt::TopEdge)
        return QRect(GripCorner, 0, size.width() - 2 * GripCorner, TopGripHeight);
    const QPoint corner(edges & Qt::RightEdge ? right : 0, edges & Qt::BottomEdge ? bottom : 0);
    return QRect(corner, QSize(GripCorner, GripCorner));
}

// The window's rectangle after a resize drag of `delta` on the parts at `edges`: the edges
// dragged move, the others stay.
QRect resized(QRect geometry, Qt::Edges edges, QPoint delta)
{
    if (edges & Qt::LeftEdge)
        geometry.setLeft(geometry.left() + delta.x());
    if (edges & Qt::RightEdge)
        geometry.setRight(geometry.right() + delta.x());
    if (edges & Qt::TopEdge)
        geometry.setTop(geometry.top() + delta.y());
    if (edges & Qt::BottomEdge)
        geometry.setBottom(geometry.bottom() + delta.y());
    return geometry;
}

} // namespace

XpCanvas::XpCanvas(QWidget* holder)
    : QWidget(holder)
    , m_holder(holder)
    , m_icon(QStringLiteral(":/controls/skins/icon.svg"))
{
    const auto sheet = [this]() -> const SkinSheet& {
        return m_active ? activeFrameSkin() : inactiveFrameSkin();
    };
    m_title = addPart(QStringLiteral("pictop"), [this, sheet](QPainter& painter, const QRect& area) {
        const QRect piece = m_holder->isMaximized() ? MaximisedTitlePiece : TitlePiece;
        sheet().drawSliced(painter, area, piece, TitleEnds);
    });
    m_left = addPart(QStringLiteral("picleft"), [sheet](QPainter& painter, const QRect& area) {
        sheet().draw(painter, area, LeftPiece);
    });
    m_right = addPart(QStringLiteral("picright"), [sheet](QPainter& painter, const QRect& area) {
        sheet().draw(painter, area, RightPiece);
    });
    m_bottom = addPart(QStringLiteral("picbottom"), [sheet](QPainter& painter, const QRect& area) {
        sheet().drawSliced(painter, area, BottomPiece, BottomEnds);
    });
    m_resizeEdges.insert(m_left, Qt::LeftEdge);
    m_resizeEdges.insert(m_right, Qt::RightEdge);
    m_resizeEdges.insert(m_bottom, Qt::BottomEdge);

    m_iconPart = new FramePart(
        m_title, [this](QPainter& painter, const QRect& area) { m_icon.paint(&painter, area); });
    m_iconPart->setObjectName(QStringLiteral("imgicon"));
    m_iconPart->setAttribute(Qt::WA_TransparentForMouseEvents);

    QFont captionFont = font();
    captionFont.setBold(true);
    for (QLabel** label : {&m_shadow, &m_captionLabel}) {
        *label = new QLabel(m_title);
        (*label)->setFont(captionFont);
        (*label)->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    m_shadow->setObjectName(QStringLiteral("lblshadow"));
    m_captionLabel->setObjectName(QStringLiteral("lblcaption"));

    addGrip(QStringLiteral("imgresizeTop"), Qt::TopEdge);
    addGrip(QStringLiteral("imgresizeTopLeft"), Qt::TopEdge | Qt::LeftEdge);
    addGrip(QStringLiteral("imgresizeTopRight"), Qt::TopEdge | Qt::RightEdge);
    addGrip(QStringLiteral("imgresizeBottomLeft"), Qt::BottomEdge | Qt::LeftEdge);
    addGrip(QStringLiteral("imgresizeBottomRight"), Qt::BottomEdge | Qt::RightEdge);

    holder->installEventFilter(this);
    setGeometry(holder->rect());
    lower();
    showImages(true);
}

QWidget* XpCanvas::addPart(const QString& name, std::function<void(QPainter&, const QRect&)> paint)
{
    auto* part = new FramePart(this, std::move(paint));
    part->setObjectName(name);
    part->installEventFilter(this);
    return part;
}

void XpCanvas::addGrip(const QString& name, Qt::Edges edges)
{
    m_resizeEdges.insert(addPart(name, {}), edges);
}

QString XpCanvas::caption() const
{
    return m_captionLabel->text();
}

void XpCanvas::setCaption(const QString& caption)
{
    m_captionLabel->setText(caption);
    m_shadow->setText(caption);
    layoutParts();
}

void XpCanvas::setIcon(const QIcon& icon)
{
    m_icon = icon;
    m_iconPart->update();
}

void XpCanvas::setFixedSingle(bool fixed)
{
    m_fixedSingle = fixed;
    layoutParts();
}

bool XpCanvas::resizable() const
{
    return !m_fixedSingle && !m_holder->isMaximized();
}

void XpCanvas::showImages(bool active)
{
    m_active = active;
    QPalette captionColours = m_captionLabel->palette();
    captionColours.setColor(QPalette::WindowText,
                            QColor(active ? skinPalette::TitleCaption : skinPalette::InactiveTitleCaption));
    m_captionLabel->setPalette(captionColours);
    QPalette shadowColours = m_shadow->palette();
    shadowColours.setColor(QPalette::WindowText, QColor::fromRgba(active ? skinPalette::TitleShadow
                                                                         : skinPalette::InactiveTitleShadow));
    m_shadow->setPalette(shadowColours);
    layoutParts();
}

void XpCanvas::layoutParts()
{
    const int w = width();
    const int h = height();
    m_title->setGeometry(0, 0, w, TitleHeight);
    m_left->setGeometry(0, TitleHeight, BorderWidth, h - TitleHeight - BorderWidth);
    m_right->setGeometry(w - BorderWidth, TitleHeight, BorderWidth, h - TitleHeight - BorderWidth);
    m_bottom->setGeometry(0, h - BorderWidth, w, BorderWidth);
    m_iconPart->setGeometry(IconPlace);
    for (QLabel* label : {m_shadow, m_captionLabel})
        label->adjustSize();
    m_shadow->move(ShadowAt);
    m_captionLabel->move(CaptionAt);

    const bool sizing = resizable();
    for (auto part = m_resizeEdges.cbegin(); part != m_resizeEdges.cend(); ++part) {
        QWidget* widget = part.key();
        if (widget != m_left && widget != m_right && widget != m_bottom) {
            widget->setGeometry(gripRect(part.value(), size()));
            widget->raise();
        }
        widget->setCursor(sizing ? sizingCursor(part.value()) : Qt::ArrowCursor);
    }
    const auto parts = findChildren<QWidget*>();
    for (QWidget* part : parts)
        part->update();
}

bool XpCanvas::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        showImages(true);
    else if (event->type() == QEvent::WindowDeactivate)
        showImages(false);
    return QWidget::event(event);
}

bool XpCanvas::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_holder) {
        if (event->type() == QEvent::Resize)
            setGeometry(m_holder->rect());
        if (event->type() == QEvent::Resize || event->type() == QEvent::WindowStateChange)
            layoutParts();
        return false;
    }
    if (watched == m_title)
        return handleTitleMouse(event);
    auto* part = static_cast<QWidget*>(watched);
    const auto edges = m_resizeEdges.constFind(part);
    if (edges != m_resizeEdges.cend())
        return handleResizeMouse(part, *edges, event);
    return false;
}

bool XpCanvas::handleTitleMouse(QEvent* event)
{
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonDblClick)
        return false;
    if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
        return false;
    if (event->type() == QEvent::MouseButtonPress) {
        DragWindow(m_holder);
    } else if (!m_fixedSingle) {
        if (m_holder->isMaximized())
            m_holder->showNormal();
        else
            m_holder->showMaximized();
    }
    return true;
}

// The window takes its new size when the button is released, in one step.
bool XpCanvas::handleResizeMouse(QWidget* part, Qt::Edges edges, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease)
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton)
        return false;
    const QPoint at = mouse->globalPosition().toPoint();
    if (event->type() == QEvent::MouseButtonPress) {
        m_pressedPart = resizable() ? part : nullptr;
        m_pressedAt = at;
    } else if (m_pressedPart == part) {
        m_pressedPart = nullptr;
        if (resizable())
            m_holder->setGeometry(resized(m_holder->geometry(), edges, at - m_pressedAt));
    }
    return true;
}

} // namespace brevant
