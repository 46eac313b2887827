#pragma once

#include <QAccessible>
#include <QWidget>
#include <optional>

namespace brevant {

// What the skinned button, check box and radio button share: the eight events raised to the
// holding window, hover and press tracking, keyboard activation (Space, Enter, the access key
// written with & in the caption), the focus mark, and the caption.
//
// The events keep the names under which the program's windows know them and are declared in
// this order: Click, KeyDown, KeyPress, KeyUp, MouseOut, MouseDown, MouseMove, MouseUp.
// A disabled control raises none of them.
class SkinControl : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ caption WRITE setCaption)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    QString caption() const { return m_caption; }
    void setCaption(const QString& caption);
    // The caption as read aloud: without the & that marks the access key.
    QString plainCaption() const;

    // Index of the skin image shown now (the controls' own numbering of their looks).
    int look() const { return m_look; }

    // A click without the mouse: what Space, Enter, the access key and assistive tools do.
    void activate();

    virtual QAccessible::Role accessibleRole() const = 0;
    // The check state a screen reader announces, or nothing for a push button.
    virtual std::optional<Qt::CheckState> accessibleCheckState() const { return std::nullopt; }

signals:
    void Click();
    void KeyDown(int key, Qt::KeyboardModifiers modifiers);
    void KeyPress(QChar character);
    void KeyUp(int key, Qt::KeyboardModifiers modifiers);
    void MouseOut();
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF position);
    void MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPointF position);
    void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF position);

protected:
    explicit SkinControl(QWidget* parent);

    // The look at rest; a control returns look() to keep the look it has.
    virtual int restingLook() const = 0;
    virtual int hoverLook() const = 0;
    virtual int pressedLook() const = 0;
    // Runs after Click has been raised: the check box and radio button change their value here.
    virtual void afterClick() {}

    void showLook(int look);
    void showRestingLook() { showLook(restingLook()); }
    // Only focus that came from the keyboard is marked, as present-day desktops do.
    bool focusMarkVisible() const { return hasFocus() && m_focusFromKeyboard; }
    QColor captionColor(QColor enabledColor) const;
    QSize captionSize() const;
    void drawCaption(QPainter& painter, QPoint topLeft, QColor enabledColor) const;
    void drawFocusMark(QPainter& painter, const QRectF& around) const;

    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool isOver(QPointF position) const;
    void pointerEntered(Qt::MouseButtons buttons);
    void pointerLeft();

    QString m_caption;
    int m_look = 0;
    int m_shortcutId = 0;
    bool m_pointerInside = false;
    bool m_leftPressed = false;
    bool m_spacePressed = false;
    bool m_focusFromKeyboard = false;
};

} // namespace brevant
