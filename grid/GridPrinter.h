#pragma once

#include <QString>
#include <QVector>

class GridModel;
class QPainter;
class QPrinter;

// Lays the grid out on pages: the title at the top of every page, then the header row, then
// as many rows as fit. Columns keep the proportions they have on screen and are narrowed
// together when the page is narrower than the grid.
class GridPrinter {
public:
    GridPrinter(const GridModel& model, QVector<int> screenColumnWidths);

    void print(QPrinter& printer, const QString& title) const;

private:
    void drawRow(QPainter& painter, int row, int top, int rowHeight, const QVector<int>& widths,
                 bool header) const;

    const GridModel& m_model;
    QVector<int> m_screenWidths;
};
