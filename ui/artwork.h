#pragma once

#include <QIcon>
#include <QImage>

namespace pelantra {

// The program's own pictures, drawn at run time so that nothing but code has
// to be kept in step.

inline constexpr int kBannerWidth = 419;
inline constexpr int kBannerHeight = 56;

// The banner at the top of the window: 419 x 56 pixels with alpha.
QImage BannerImage();

// The application icon at one square size.
QImage IconImage(int size);

// The application icon with the sizes a window system asks for.
QIcon AppIcon();

} // namespace pelantra
