#include "ui/Twips.h"

#include <QWidget>
#include <cmath>

double Twips::perPixel(const QWidget* widget) {
    const int dpi = widget ? widget->logicalDpiX() : 96;
    return 1440.0 / (dpi > 0 ? dpi : 96);
}

int Twips::toPixels(int twips, const QWidget* widget) {
    return int(std::lround(twips / perPixel(widget)));
}

int Twips::fromPixels(int pixels, const QWidget* widget) {
    return int(std::lround(pixels * perPixel(widget)));
}
