#include "engine/WindowsModel.h"

namespace brevant {

void WindowsModel::setVisible(Window window, bool visible)
{
    if (m_visible[window] == visible)
        return;
    m_visible[window] = visible;
    emit visibilityChanged(window, visible);
}

} // namespace brevant
