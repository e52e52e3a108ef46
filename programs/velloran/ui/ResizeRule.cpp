#include "ui/ResizeRule.h"

namespace {
// What the window's outer size leaves for the grid, and where the buttons stand from the
// bottom right corner, in twips, as the window was drawn.
constexpr int GridWidthMargin = 300;   // the grid's left margin and the frame
constexpr int GridHeightMargin = 2500; // the top band, the button row and the title bar
constexpr int ButtonRowFromBottom = 915;
constexpr int ExitFromRight = 1740;
constexpr int ButtonPitch = 1680; // from one button's left edge to the next one's
} // namespace

ResizeRule::Placement ResizeRule::compute(int outerWidth, int outerHeight) {
    Placement p;
    if (outerWidth - GridWidthMargin > 0)
        p.gridWidth = outerWidth - GridWidthMargin;
    if (outerHeight - GridHeightMargin > 0)
        p.gridHeight = outerHeight - GridHeightMargin;
    p.buttonTop = outerHeight - ButtonRowFromBottom;
    p.buttonLeft[Exit] = outerWidth - ExitFromRight;
    for (int b = CreateInvoices; b < ButtonCount; ++b)
        p.buttonLeft[b] = p.buttonLeft[b - 1] - ButtonPitch;
    return p;
}
