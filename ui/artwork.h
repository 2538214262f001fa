#pragma once

#include <QIcon>
#include <QImage>

namespace pelantra {

// The program's own pictures, drawn at run time so that nothing but code has
// to be kept in step.

inline constexpr int kBannerWidth = 419;
inline constexpr int kBannerHeight = 56;

// The banner at the top of the window with alpha: 419 x 56 pixels, or drawn
// to `width` pixels at the same proportions.
QImage BannerImage(int width = kBannerWidth);

// The application icon at one square size.
QImage IconImage(int size);

// The application icon with the sizes a window system asks for.
QIcon AppIcon();

} // namespace pelantra
