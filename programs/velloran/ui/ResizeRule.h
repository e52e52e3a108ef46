#pragma once

#include <array>
#include <optional>

// Where the grid and the bottom row of buttons go for a window of a given outer size (frame
// and title bar included), all in twips. The grid keeps its size in a dimension where the
// window has no room for it; the buttons follow the bottom right corner wherever it goes.
namespace ResizeRule {

enum Button { Exit, CreateInvoices, SelectAll, SelectNone, Print, ButtonCount };

struct Placement {
    std::optional<int> gridWidth;
    std::optional<int> gridHeight;
    int buttonTop = 0;
    std::array<int, ButtonCount> buttonLeft{};
};

Placement compute(int outerWidth, int outerHeight);

} // namespace ResizeRule
