#include "app/PageButtons.h"

#include "controls/XpCmdButton.h"

#include <QPainter>

namespace brevant {

namespace {

constexpr int FrameGap = 3; // between a button and its frame
constexpr int FrameWidth = 2;
constexpr int Spacing = 8; // between two frames
constexpr int ButtonHeight = 25;
constexpr int MinimumButtonWidth = 96;

const char* const Captions[] = {
    QT_TRANSLATE_NOOP("PageButtons", "Status"), QT_TRANSLATE_NOOP("PageButtons", "Log Record"),
    QT_TRANSLATE_NOOP("PageButtons", "Event Record"), QT_TRANSLATE_NOOP("PageButtons", "Closed Applications"),
    QT_TRANSLATE_NOOP("PageButtons", "Event Manager")};

} // namespace

PageButtons::PageButtons(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("PageButtons"));
    constexpr int margin = FrameGap + FrameWidth;
    int x = margin;
    for (int page = 0; page < PageCount; ++page) {
        auto* button = new XpCmdButton(tr(Captions[page]), this);
        button->setObjectName(QStringLiteral("xpcmdbutton%1").arg(page + 1));
        const int width = std::max(MinimumButtonWidth, button->sizeHint().width() + 8);
        button->setGeometry(x, margin, width, ButtonHeight);
        x += width + 2 * margin + Spacing;
        m_buttons[page] = button;
        m_frameColor[page] = NotShown;

        const Page which = Page(page);
        connect(button, &XpCmdButton::Click, this, [this, which] { emit clicked(which); });
        connect(button, &XpCmdButton::MouseMove, this, [this, which] {
            if (!m_pageFlag[which])
                setFrameColor(which, Hover);
        });
        connect(button, &XpCmdButton::MouseOut, this, [this, which] {
            if (!m_pageFlag[which])
                setFrameColor(which, NotShown);
        });
    }
    setFixedSize(x - Spacing - margin, ButtonHeight + 2 * margin);
}

void PageButtons::select(Page page)
{
    for (int other = 0; other < PageCount; ++other) {
        setFrameColor(Page(other), other == page ? Shown : NotShown);
        m_pageFlag[other] = other == page;
        // The selected look tells the page shown without its frame's colour.
        m_buttons[other]->setState(other == page ? 1 : 0);
    }
}

void PageButtons::setFrameColor(Page page, QColor color)
{
    if (m_frameColor[page] == color)
        return;
    m_frameColor[page] = color;
    update();
}

void PageButtons::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    for (int page = 0; page < PageCount; ++page) {
        const QRectF frame = QRectF(m_buttons[page]->geometry())
                                 .adjusted(-FrameGap - FrameWidth / 2.0, -FrameGap - FrameWidth / 2.0,
                                           FrameGap + FrameWidth / 2.0, FrameGap + FrameWidth / 2.0);
        p.setPen(QPen(m_frameColor[page], FrameWidth));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(frame, 5, 5);
    }
}

} // namespace brevant
