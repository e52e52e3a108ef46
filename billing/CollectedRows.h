#pragma once

#include "core/GridOperations.h"

#include <QStringList>

// The rows a fill writes, kept off the grid: the fill runs on the database's thread, and the
// window's grid takes the rows on its own thread once the fill is done. Only what a fill does
// is kept (the rows and the column count); the formatting is the grid's, after the rows.
class CollectedRows : public GridOperations {
public:
    void SetRowCount(int rows) override;
    int RowCount() const override { return int(m_rows.size()); }
    void SetColumnCount(int columns) override { m_columns = columns; }
    int ColumnCount() const override { return m_columns; }
    void AppendRow(const QString& tabSeparatedCells) override { m_rows << tabSeparatedCells; }
    QString CellText(int row, int column) const override;
    void SetCellText(int row, int column, const QString& text) override;
    void SetFixedRows(int) override {}
    void SetFixedColumns(int) override {}
    void SetColumnType(int, int) override {}
    void SetColumnFormat(int, const QString&) override {}
    void FitColumns(int, int) override {}
    void Repaint() override {}

    // The grid made as the fill would have made it, its formatting included.
    void writeInto(GridOperations& grid) const;

private:
    QStringList m_rows;
    int m_columns = 0;
};
