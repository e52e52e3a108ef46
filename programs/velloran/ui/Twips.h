#pragma once

class QWidget;

// Every place and size on the window is given in twips, 1/1440 inch. This is the one place
// where twips become pixels, at the screen's logical resolution (15 twips a pixel at 96 DPI).
namespace Twips {

double perPixel(const QWidget* widget);
int toPixels(int twips, const QWidget* widget);
int fromPixels(int pixels, const QWidget* widget);

} // namespace Twips
