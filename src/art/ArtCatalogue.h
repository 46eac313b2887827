#pragma once

#include <QList>
#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringView>

// The program's pictures: every window asks here for a picture by the name it knows it by and
// never spells a resource path. The pictures are SVG, so they are drawn crisp at any scale.
namespace brevant::art {

// The layers of the Status page's power-flow picture. All share one canvas and are drawn at the
// same origin, in this order: Scene, the visible pipe layers, the flow frame, Disconnected.
enum class StatusLayer
{
    Scene,        // mains, UPS, battery and computer, the pipes unlit
    AC1,          // ImageAC1: mains pipe lit, resting phase
    AC2,          // ImageAC2: mains pipe lit, flowing phase
    DC1,          // ImageDC1: battery pipe lit, bright phase of its blinking
    DC2,          // ImageDC2: battery pipe lit, pale phase
    BL1,          // ImageBL1: low-battery pipe lit, bright phase of its blinking
    BL2,          // ImageBL2: low-battery pipe lit, pale phase
    Disconnected, // the lost USB link, over everything else
};
inline constexpr QSize StatusCanvas(440, 200);
QString statusLayer(StatusLayer layer);

// Frame 1..FlowFrameCount of the mains flow (the image list of Image1), shown from the last frame
// down to the first; empty outside that range.
inline constexpr int FlowFrameCount = 6;
QString flowFrame(int frame);

enum class StatusPicture
{
    ImaSOk,   // on battery
    ImaSLow,  // battery low
    ImaAlarm, // attention
    ImaMain,  // the program's picture, the normal tray icon
};
inline constexpr QSize StatusPictureSize(48, 48);
QString statusPicture(StatusPicture picture);
// The tray's pictures by name: "ImaMain", "ImaSOk" or "ImaSLow"; empty for any other name.
QString trayPicture(QStringView name);

// The alarm window's fixed picture (Image1).
inline constexpr QSize AlarmPictureSize(64, 64);
QString alarmPicture();

// The source of the alarm window's progress bar (imgpgb1) and the rectangles, in its pixels, that
// the bar is drawn from: the ends at their size, the track stretched between them, and the chunk.
inline constexpr QSize AlarmBarSourceSize(32, 19);
QString alarmBarSource();
namespace alarmBar {
inline constexpr QRect LeftEnd(0, 0, 4, 19);
inline constexpr QRect Track(4, 0, 10, 19);
inline constexpr QRect RightEnd(14, 0, 5, 19);
inline constexpr QRect Chunk(23, 5, 8, 12);
} // namespace alarmBar

inline constexpr QSize SplashSize(341, 204);
QString splash();
// The application icon, the same design as ImaMain, for the desktop menu and the icon theme.
QString applicationIcon();

// One picture of the catalogue: its folder and file name without extension ("status/scene"), its
// resource path and its natural size.
struct Picture
{
    QString name;
    QString path;
    QSize size;
};
// Every picture, folder by folder.
QList<Picture> catalogue();

// The picture at `path` rendered to `size` at `devicePixelRatio`. Rendered pictures are cached.
// A picture that cannot be read gives a transparent pixmap of that size and is logged once.
QPixmap pixmap(const QString& path, QSize size, qreal devicePixelRatio);
// Forgets the cached renderings, so that a program whose windows are out of sight holds none of
// them in memory; the next request renders again.
void releasePixmaps();

} // namespace brevant::art
