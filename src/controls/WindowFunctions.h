#pragma once

class QWidget;

// The window functions of the program's own skinned windows. They keep the names under which
// the windows know them.
namespace brevant {

// Frame elements the functions find among the window's children, by objectName.
namespace frameElement {
inline constexpr char Title[] = "lblTitle";
inline constexpr char TitleLeft[] = "imgTitleLeft";
inline constexpr char TitleMain[] = "imgTitleMain";
inline constexpr char TitleRight[] = "imgTitleRight";
inline constexpr char TitleHelp[] = "imgTitleHelp";
inline constexpr char TitleMinimize[] = "imgTitleMinimize";
inline constexpr char TitleClose[] = "imgTitleClose";
inline constexpr char BottomLeft[] = "imgWindowBottomLeft";
inline constexpr char Bottom[] = "imgWindowBottom";
inline constexpr char BottomRight[] = "imgWindowBottomRight";
} // namespace frameElement

// Lays the frame elements out for the window's current size (title pieces along the top,
// bottom pieces along the bottom, minimise and close at the right of the title; the help image
// stays where the window put it), makes the title label's text the window title, makes the
// window frameless, then rounds its corners. Missing elements are passed over.
void ApplySkinFrame(QWidget* window);

// Clips the window to its rectangle with rounded corners (24 x 24 corner ellipses).
void RoundWindowCorners(QWidget* window);

// Lets the user move the window with the mouse button that is down: the window system's own
// move where it offers one, otherwise the window follows the pointer until the button is up.
void DragWindow(QWidget* window);

// Keeps the window above all normal windows, or not; its position and size stay.
void SetTopMost(QWidget* window, bool on);

} // namespace brevant
