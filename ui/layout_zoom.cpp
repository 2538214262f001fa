#include "ui/layout_zoom.h"

#include <QApplication>
#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace {

double fixedZoom = 0;

} // namespace

double ZoomForFont(double height, double sampleWidth)
{
    const double zoom = std::max(height / kReferenceFontHeight, sampleWidth / kReferenceSampleWidth);
    return zoom > 0 ? zoom : 1.0;
}

double LayoutZoom()
{
    if (fixedZoom > 0)
        return fixedZoom;
    const QFontMetricsF metrics(QApplication::font());
    return ZoomForFont(std::round(metrics.height()), metrics.horizontalAdvance(QString::fromLatin1(kZoomSampleText)));
}

void SetLayoutZoom(double zoom)
{
    fixedZoom = zoom > 0 ? zoom : 0;
}

int Zoomed(int units)
{
    return static_cast<int>(std::lround(units * LayoutZoom()));
}
