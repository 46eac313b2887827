#pragma once

#include <QColor>
#include <QWidget>
#include <array>

namespace brevant {

class XpCmdButton;

// The row of the five page buttons (xpcmdbutton1..5) with their highlight frames: a rectangle
// around each button, green for the page shown, blue for the others, and the hover colour while
// the pointer is over the button of a page not shown. PageFlag is true for the page shown.
class PageButtons : public QWidget
{
    Q_OBJECT

public:
    enum Page
    {
        Status,
        LogRecord,
        EventRecord,
        ClosedApplications,
        EventManager,
        PageCount
    };
    Q_ENUM(Page)

    static inline const QColor Shown{0, 255, 0};
    static inline const QColor NotShown{0, 0, 255};
    static inline const QColor Hover{210, 162, 49};

    explicit PageButtons(QWidget* parent = nullptr);

    // The first steps of a page button's click: this frame green and the others blue, this
    // PageFlag true and the others false.
    void select(Page page);

    bool pageFlag(Page page) const { return m_pageFlag[page]; }
    QColor frameColor(Page page) const { return m_frameColor[page]; }
    XpCmdButton* button(Page page) const { return m_buttons[page]; }

signals:
    void clicked(brevant::PageButtons::Page page);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setFrameColor(Page page, QColor color);

    std::array<XpCmdButton*, PageCount> m_buttons{};
    std::array<bool, PageCount> m_pageFlag{};
    std::array<QColor, PageCount> m_frameColor{};
};

} // namespace brevant
