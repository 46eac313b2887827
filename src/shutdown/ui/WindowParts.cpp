#include "shutdown/ui/WindowParts.h"

#include "controls/SkinFrameElements.h"
#include "controls/SkinImage.h"

#include <QKeyEvent>
#include <QWidget>

namespace brevant {

namespace {

class CloseAction : public QObject
{
public:
    CloseAction(QWidget* window, std::function<bool()> isUp, std::function<void()> action)
        : QObject(window)
        , m_isUp(std::move(isUp))
        , m_action(std::move(action))
    {
        window->installEventFilter(this);
    }

protected:
    // Escape reaches the window when the focused control leaves it alone.
    bool eventFilter(QObject*, QEvent* event) override
    {
        const bool close = event->type() == QEvent::Close;
        const bool escape =
            event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
        if (!(close || escape) || !m_isUp())
            return false;
        event->ignore();
        m_action();
        return true;
    }

private:
    std::function<bool()> m_isUp;
    std::function<void()> m_action;
};

} // namespace

void createStillSkinFrame(QWidget* window, const QString& title)
{
    createSkinFrameElements(window, title);
    for (auto* piece : window->findChildren<SkinImage*>())
        QObject::disconnect(piece, &SkinImage::pressed, window, nullptr);
}

void placeOnBottomBand(QWidget* button, int right)
{
    constexpr QSize ButtonSize(96, 24);
    const int bandTop = button->parentWidget()->height() - BottomBand;
    button->setGeometry(QRect(
        QPoint(right - ButtonSize.width(), bandTop + (BottomBand - ButtonSize.height()) / 2), ButtonSize));
}

void closeActsAs(QWidget* window, std::function<bool()> isUp, std::function<void()> action)
{
    new CloseAction(window, std::move(isUp), std::move(action));
}

} // namespace brevant
