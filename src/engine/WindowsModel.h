#pragma once

#include <QObject>
#include <array>

namespace brevant {

// Whether the main window and the save-list window are on screen. The engine decides; the
// windows follow.
class WindowsModel : public QObject
{
    Q_OBJECT

public:
    enum Window
    {
        frmMain,
        frmSave,
        WindowCount
    };
    Q_ENUM(Window)

    using QObject::QObject;

    bool isVisible(Window window) const { return m_visible[window]; }
    void setVisible(Window window, bool visible);
    void show(Window window) { setVisible(window, true); }
    void hide(Window window) { setVisible(window, false); }

signals:
    void visibilityChanged(brevant::WindowsModel::Window window, bool visible);

private:
    std::array<bool, WindowCount> m_visible{};
};

} // namespace brevant
