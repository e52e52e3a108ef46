#include "ui/ResizeRule.h"

ResizeRule::Placement ResizeRule::compute(int outerWidth, int outerHeight) {
    Placement p;
    if (outerWidth - 300 > 0)
        p.gridWidth = outerWidth - 300;
    if (outerHeight - 2500 > 0)
        p.gridHeight = outerHeight - 2500;
    p.buttonTop = outerHeight - 915;
    p.buttonLeft[Exit] = outerWidth - 1740;
    for (int b = CreateInvoices; b < ButtonCount; ++b)
        p.buttonLeft[b] = p.buttonLeft[b - 1] - 1680;
    return p;
}
