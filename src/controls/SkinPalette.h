#pragma once

#include <QColor>

// Colours the controls paint in code; the skins' own colours live in their SVG files.
namespace brevant::skinPalette {

inline constexpr QRgb Caption = qRgb(0, 0, 0);
inline constexpr QRgb DisabledCaption = qRgb(161, 161, 146);
inline constexpr QRgb Accent = qRgb(0x25, 0x63, 0xEB);
inline constexpr QRgb TitleCaption = qRgb(0xFF, 0xFF, 0xFF);
inline constexpr QRgb TitleShadow = qRgba(0x0B, 0x23, 0x66, 0x73);
inline constexpr QRgb InactiveTitleCaption = qRgb(0x4B, 0x55, 0x63);
inline constexpr QRgb InactiveTitleShadow = qRgba(0xFF, 0xFF, 0xFF, 0xCC);
inline constexpr QRgb WindowSurface = qRgb(0xF5, 0xF7, 0xFA);

} // namespace brevant::skinPalette
