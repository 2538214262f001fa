#pragma once

// Window layouts are written in layout units. One zoom turns them into
// pixels for the whole program: the height of the standard GUI font divided
// by the reference height, 14 pixels (a 9 point sans-serif face at 96 dots
// per inch). At the reference font one unit is one pixel.

inline constexpr int kReferenceFontHeight = 14;

// The zoom in use: the one set by SetLayoutZoom, else the one derived from
// the application font.
double LayoutZoom();

// Fixes the zoom (tests, screenshots); a value <= 0 goes back to the font.
void SetLayoutZoom(double zoom);

// Layout units to pixels, rounded to the nearest pixel (negative distances too).
int Zoomed(int units);
