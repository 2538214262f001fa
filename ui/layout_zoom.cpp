#include "ui/layout_zoom.h"

#include <QApplication>
#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace pelantra {
namespace {

// The reference is a compact 8-point interface face at 96 dots per inch: 14
// pixels high, and 312 pixels for the sample text. The zoom is the larger of
// the font's height and its sample width against these.
constexpr int kReferenceFontHeight = 14;
constexpr int kReferenceSampleWidth = 312;
constexpr const char* kZoomSampleText = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

double fixedZoom = 0;

double ZoomForFont(double height, double sampleWidth)
{
    const double zoom = std::max(height / kReferenceFontHeight, sampleWidth / kReferenceSampleWidth);
    return zoom > 0 ? zoom : 1.0;
}

// The zoom in use: the one set by SetLayoutZoom, else the one derived from
// the application font.
double LayoutZoom()
{
    if (fixedZoom > 0)
        return fixedZoom;
    const QFontMetricsF metrics(QApplication::font());
    return ZoomForFont(std::round(metrics.height()), metrics.horizontalAdvance(QString::fromLatin1(kZoomSampleText)));
}

} // namespace

void SetLayoutZoom(double zoom)
{
    fixedZoom = zoom > 0 ? zoom : 0;
}

int Zoomed(int units)
{
    return static_cast<int>(std::lround(units * LayoutZoom()));
}

} // namespace pelantra
