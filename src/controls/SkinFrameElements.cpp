#include "controls/SkinFrameElements.h"

#include "controls/SkinImage.h"
#include "controls/SkinPalette.h"
#include "controls/SkinSheet.h"
#include "controls/WindowFunctions.h"

#include <QLabel>

namespace brevant {

namespace {

struct Piece
{
    const char* name;
    QRect place; // in the window-frame skin
};

constexpr Piece TitlePieces[] = {{frameElement::TitleLeft, {0, 0, 19, 30}},
                                 {frameElement::TitleMain, {20, 0, 20, 30}},
                                 {frameElement::TitleRight, {41, 0, 19, 30}}};
constexpr Piece BottomPieces[] = {{frameElement::BottomLeft, {110, 0, 17, 30}},
                                  {frameElement::Bottom, {128, 0, 20, 30}},
                                  {frameElement::BottomRight, {149, 0, 19, 30}}};
constexpr QRect HelpPiece(62, 0, 14, 14);
constexpr QRect MinimizePiece(78, 0, 14, 14);
constexpr QRect ClosePiece(94, 0, 14, 14);
constexpr int HelpFromRight = 56;

SkinImage* addImage(QWidget* window, const char* name, const QRect& piece)
{
    auto* image = new SkinImage(windowFrameSkin(), piece, window);
    image->setObjectName(QLatin1String(name));
    return image;
}

} // namespace

SkinFrameElements createSkinFrameElements(QWidget* window, const QString& title)
{
    for (const Piece& piece : TitlePieces) {
        SkinImage* image = addImage(window, piece.name, piece.place);
        QObject::connect(image, &SkinImage::pressed, window, [window] { DragWindow(window); });
    }
    for (const Piece& piece : BottomPieces)
        addImage(window, piece.name, piece.place);

    auto* label = new QLabel(title, window);
    label->setObjectName(QLatin1String(frameElement::Title));
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, QColor(skinPalette::TitleCaption));
    label->setPalette(colours);
    label->setAttribute(Qt::WA_TransparentForMouseEvents); // presses reach the title piece below
    label->adjustSize();

    SkinFrameElements elements;
    elements.help = addImage(window, frameElement::TitleHelp, HelpPiece);
    elements.help->move(window->width() - HelpFromRight, 8);
    elements.minimize = addImage(window, frameElement::TitleMinimize, MinimizePiece);
    elements.close = addImage(window, frameElement::TitleClose, ClosePiece);
    return elements;
}

} // namespace brevant
