#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace brevant {

// What the alarm, confirmation and save-list windows share.

// The heights of the skinned frame's title band and bottom band.
inline constexpr int TitleBand = 30;
inline constexpr int BottomBand = 30;

// The skinned frame of a window whose frame images have no action (the alarm and save-list
// windows): pressing the title pieces does not move it, and its help, minimise and close images
// do nothing.
void createStillSkinFrame(QWidget* window, const QString& title);

// Places `button` on the window's bottom band, at the size of the buttons there, with its right
// edge at x = `right`.
void placeOnBottomBand(QWidget* button, int right);

// Makes a close of `window` from the window manager (Alt+F4, the task bar), and the Escape key, do
// what `action` does (the window's safe answer) while `isUp` says the model shows the window; the
// model then hides it. A window the model does not show just closes.
void closeActsAs(QWidget* window, std::function<bool()> isUp, std::function<void()> action);

} // namespace brevant
