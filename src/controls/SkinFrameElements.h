#pragma once

#include <QString>

class QWidget;

namespace brevant {

class SkinImage;

// The frame elements of one of the program's own windows, created as its children with the
// objectNames ApplySkinFrame looks for. Pressing the title pieces or the title drags the
// window; what the help, minimise and close images do is the window's business.
struct SkinFrameElements
{
    SkinImage* help = nullptr;
    SkinImage* minimize = nullptr;
    SkinImage* close = nullptr;
};

SkinFrameElements createSkinFrameElements(QWidget* window, const QString& title);

} // namespace brevant
