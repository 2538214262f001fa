#include "ui/layout_zoom.h"

#include <QApplication>
#include <QFontMetrics>

#include <cmath>

namespace {

double fixedZoom = 0;

} // namespace

double LayoutZoom()
{
    if (fixedZoom > 0)
        return fixedZoom;
    const int height = QFontMetrics(QApplication::font()).height();
    return height > 0 ? static_cast<double>(height) / kReferenceFontHeight : 1.0;
}

void SetLayoutZoom(double zoom)
{
    fixedZoom = zoom > 0 ? zoom : 0;
}

int Zoomed(int units)
{
    return static_cast<int>(std::lround(units * LayoutZoom()));
}
