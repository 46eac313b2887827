#pragma once

#include <QHash>
#include <QIcon>
#include <QWidget>
#include <functional>
#include <optional>

class QLabel;

namespace brevant {

// Turns a frameless window into a skinned one. Placed on its window, the frame covers it and
// follows its size: a 29-pixel title bar with icon and shadowed caption, 5-pixel borders, and
// grips at the top edge and the four corners. Dragging the title moves the window through the
// window system's own move, a double-click on it maximises or restores the window, and a drag
// on a border or grip resizes the window when the button is released. The frame shows its
// active images while the window is active and its inactive ones otherwise.
//
// Parts, by objectName: pictop, picleft, picright, picbottom, lblcaption, lblshadow, imgicon,
// and the grips imgresizeTop, imgresizeTopLeft, imgresizeTopRight, imgresizeBottomLeft,
// imgresizeBottomRight.
class XpCanvas : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ caption WRITE setCaption)
    Q_PROPERTY(QIcon Icon READ icon WRITE setIcon)
    Q_PROPERTY(bool Fixed_Single READ isFixedSingle WRITE setFixedSingle)

public:
    static constexpr int TitleHeight = 29;
    static constexpr int BorderWidth = 5;

    explicit XpCanvas(QWidget* holder);

    // What the holder's own content keeps clear of.
    static QMargins frameMargins() { return QMargins(BorderWidth, TitleHeight, BorderWidth, BorderWidth); }

    QString caption() const;
    void setCaption(const QString& caption);
    QIcon icon() const { return m_icon; }
    void setIcon(const QIcon& icon);
    // True: the window can be neither resized nor maximised through the frame.
    bool isFixedSingle() const { return m_fixedSingle; }
    void setFixedSingle(bool fixed);

    bool showsActiveImages() const { return m_active; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* addPart(const QString& name, std::function<void(QPainter&, const QRect&)> paint);
    void addGrip(const QString& name, Qt::Edges edges);
    void layoutParts();
    void showImages(bool active);
    bool resizable() const;
    bool handleTitleMouse(QEvent* event);
    bool handleResizeMouse(QWidget* part, Qt::Edges edges, QEvent* event);

    QWidget* m_holder;
    QWidget* m_title = nullptr;
    QWidget* m_left = nullptr;
    QWidget* m_right = nullptr;
    QWidget* m_bottom = nullptr;
    QWidget* m_iconPart = nullptr;
    QLabel* m_shadow = nullptr;
    QLabel* m_captionLabel = nullptr;
    QHash<QWidget*, Qt::Edges> m_resizeEdges; // the borders and the grips
    QIcon m_icon;
    bool m_fixedSingle = false;
    bool m_active = true;
    QWidget* m_pressedPart = nullptr;
    QPoint m_pressedAt;
};

} // namespace brevant
