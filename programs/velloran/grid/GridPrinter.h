#pragma once

#include <QString>
#include <QVector>

class GridModel;
class QPainter;
class QPrinter;
class QFontMetrics;

// Lays the grid out on pages so that every cell reads whole: amounts, dates and other short
// columns at their full width, the names and "Result" wrapping within what is left. Each page
// has the title, the header row, as many rows as fit and "Page N of M" at its foot.
class GridPrinter {
public:
    explicit GridPrinter(const GridModel& model);

    // subtitle, where given, is a line under the title.
    void print(QPrinter& printer, const QString& title, const QString& subtitle = {}) const;

    // The columns whose long texts wrap on paper.
    static bool wraps(int column);

private:
    QVector<int> columnWidths(const QFontMetrics& metrics, const QFontMetrics& headerMetrics,
                              int pageWidth, int pad) const;
    QString cellText(int row, int column) const;

    const GridModel& m_model;
};
