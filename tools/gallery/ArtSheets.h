#pragma once

#include <QImage>
#include <QString>
#include <functional>

namespace brevant::gallery {

using SaveImage = std::function<void(const QImage& image, const QString& name)>;

// The program's pictures for review: every picture alone at 1x and 2x, the Status page's scene
// composed in each power state, the flow frames in the order they are shown, the tray pictures
// at tray sizes, the alarm bar sliced as the alarm window slices it, the splash, and the power
// states as colour-blind eyes see them. `scale` is the device pixel ratio of the composed sheets.
void renderArtSheets(qreal scale, const SaveImage& save);

} // namespace brevant::gallery
