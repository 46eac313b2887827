#include "controls/SkinControl.h"

#include "controls/SkinAccessible.h"
#include "controls/SkinPalette.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace brevant {

namespace {

bool activatesOnPress(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

SkinControl::SkinControl(QWidget* parent)
    : QWidget(parent)
{
    installSkinAccessibleFactory();
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

void SkinControl::setCaption(const QString& caption)
{
    if (m_shortcutId != 0)
        releaseShortcut(m_shortcutId);
    m_caption = caption;
    const QKeySequence accessKey = QKeySequence::mnemonic(caption);
    m_shortcutId = accessKey.isEmpty() ? 0 : grabShortcut(accessKey);
    updateGeometry();
    update();
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

QString SkinControl::plainCaption() const
{
    QString plain;
    plain.reserve(m_caption.size());
    for (qsizetype i = 0; i < m_caption.size(); ++i) {
        if (m_caption.at(i) == u'&' && i + 1 < m_caption.size())
            ++i; // "&x" reads "x", "&&" reads "&"
        plain += m_caption.at(i);
    }
    return plain;
}

void SkinControl::activate()
{
    if (!isEnabled())
        return;
    // The holder may close or delete the control from its Click handler.
    QPointer<SkinControl> alive(this);
    emit Click();
    if (!alive)
        return;
    afterClick();
    showRestingLook();
}

void SkinControl::showLook(int look)
{
    if (look == m_look)
        return;
    m_look = look;
    update();
}

QColor SkinControl::captionColor(QColor enabledColor) const
{
    return isEnabled() ? enabledColor : QColor(skinPalette::DisabledCaption);
}

QSize SkinControl::captionSize() const
{
    return fontMetrics().size(Qt::TextShowMnemonic, m_caption);
}

void SkinControl::drawCaption(QPainter& painter, QPoint topLeft, QColor enabledColor) const
{
    painter.setPen(captionColor(enabledColor));
    painter.setFont(font());
    painter.drawText(QRect(topLeft, captionSize()), Qt::TextShowMnemonic | Qt::TextDontClip, m_caption);
}

void SkinControl::drawFocusMark(QPainter& painter, const QRectF& around) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(skinPalette::Accent), 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(around, 2.5, 2.5);
    painter.restore();
}

bool SkinControl::event(QEvent* event)
{
    if (event->type() == QEvent::Shortcut) {
        auto* shortcut = static_cast<QShortcutEvent*>(event);
        if (shortcut->shortcutId() == m_shortcutId) {
            setFocus(Qt::ShortcutFocusReason);
            if (!shortcut->isAmbiguous())
                activate();
            return true;
        }
    }
    return QWidget::event(event);
}

void SkinControl::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) {
        m_pointerInside = m_leftPressed = m_spacePressed = false;
        showRestingLook();
        update();
    } else if (event->type() == QEvent::FontChange) {
        updateGeometry();
        update();
    }
    QWidget::changeEvent(event);
}

bool SkinControl::isOver(QPointF position) const
{
    return position.x() >= 0 && position.y() >= 0 && position.x() <= width() && position.y() <= height();
}

void SkinControl::pointerEntered(Qt::MouseButtons buttons)
{
    m_pointerInside = true;
    showLook(buttons == Qt::LeftButton ? pressedLook() : hoverLook());
}

// The window system reports the pointer leaving (Leave, or a move outside while a button is
// held and the control keeps the mouse): exactly one MouseOut, then the resting look.
void SkinControl::pointerLeft()
{
    if (!m_pointerInside)
        return;
    m_pointerInside = false;
    QPointer<SkinControl> alive(this);
    emit MouseOut();
    if (alive)
        showRestingLook();
}

void SkinControl::enterEvent(QEnterEvent* event)
{
    if (isEnabled()) // the window system tells disabled widgets too
        pointerEntered(event->buttons());
    QWidget::enterEvent(event);
}

void SkinControl::leaveEvent(QEvent* event)
{
    pointerLeft();
    QWidget::leaveEvent(event);
}

void SkinControl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_leftPressed = true;
    m_pointerInside = true;
    emit MouseDown(event->button(), event->modifiers(), event->position());
    showLook(pressedLook());
}

void SkinControl::mouseMoveEvent(QMouseEvent* event)
{
    if (!isOver(event->position())) {
        pointerLeft();
        return;
    }
    emit MouseMove(event->buttons(), event->modifiers(), event->position());
    pointerEntered(event->buttons());
}

void SkinControl::mouseReleaseEvent(QMouseEvent* event)
{
    const bool clicked = event->button() == Qt::LeftButton && m_leftPressed && isOver(event->position());
    if (event->button() == Qt::LeftButton)
        m_leftPressed = false;
    QPointer<SkinControl> alive(this);
    emit MouseUp(event->button(), event->modifiers(), event->position());
    if (!alive)
        return;
    if (clicked)
        activate();
    else
        showRestingLook();
}

void SkinControl::keyPressEvent(QKeyEvent* event)
{
    emit KeyDown(event->key(), event->modifiers());
    if (!event->text().isEmpty())
        emit KeyPress(event->text().front());
    if (event->isAutoRepeat())
        return;
    if (event->key() == Qt::Key_Space) {
        m_spacePressed = true;
        showLook(pressedLook());
    } else if (activatesOnPress(event->key())) {
        activate();
    } else {
        QWidget::keyPressEvent(event);
    }
}

void SkinControl::keyReleaseEvent(QKeyEvent* event)
{
    emit KeyUp(event->key(), event->modifiers());
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat() && m_spacePressed) {
        m_spacePressed = false;
        activate();
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void SkinControl::focusInEvent(QFocusEvent* event)
{
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason)
        m_focusFromKeyboard = true;
    else if (reason == Qt::MouseFocusReason)
        m_focusFromKeyboard = false;
    update();
    QWidget::focusInEvent(event);
}

void SkinControl::focusOutEvent(QFocusEvent* event)
{
    if (m_spacePressed) {
        m_spacePressed = false;
        showRestingLook();
    }
    update();
    QWidget::focusOutEvent(event);
}

} // namespace brevant
