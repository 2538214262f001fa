#pragma once

namespace pelantra {

// Window layouts are written in layout units. One zoom turns them into
// pixels for the whole program, derived from the standard GUI font so that
// labels laid out for the reference font still fit; at the reference font
// one unit is one pixel.

// Fixes the zoom (tests, screenshots); a value <= 0 goes back to the font.
void SetLayoutZoom(double zoom);

// Layout units to pixels, rounded to the nearest pixel (negative distances too).
int Zoomed(int units);

} // namespace pelantra
