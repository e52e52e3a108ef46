#pragma once

#include <QString>

class GridOperations;

// What the list holds: its rows, those checked in "Send", and the total they bill, in the
// words the window and the printout use: "15 listed, 9 checked, $2,350.00".
struct ListCounts {
    int listed = 0;
    int checked = 0;
    qint64 hundredths = 0;

    QString text() const;
    static ListCounts of(const GridOperations& grid);
};
