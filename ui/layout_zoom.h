#pragma once

// Window layouts are written in layout units. One zoom turns them into
// pixels for the whole program, derived from the standard GUI font: the
// larger of its height against the reference height and its width against
// the reference width, so that labels laid out for the reference font still
// fit. The reference is a compact 8-point interface face at 96 dots per inch:
// 14 pixels high, and 312 pixels for the sample text below. At the reference
// font one unit is one pixel.

inline constexpr int kReferenceFontHeight = 14;
inline constexpr int kReferenceSampleWidth = 312;
inline constexpr const char* kZoomSampleText = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

// The zoom in use: the one set by SetLayoutZoom, else the one derived from
// the application font.
double LayoutZoom();

// The zoom that a font of this pixel height and sample width gives.
double ZoomForFont(double height, double sampleWidth);

// Fixes the zoom (tests, screenshots); a value <= 0 goes back to the font.
void SetLayoutZoom(double zoom);

// Layout units to pixels, rounded to the nearest pixel (negative distances too).
int Zoomed(int units);
