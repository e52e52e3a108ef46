#pragma once

#include <QString>

// What the billing list and invoice posting need of the billing grid. Row 0 is the header
// row; data rows are 1 to RowCount() - 1. Everything here works without a screen.
class GridOperations {
public:
    virtual ~GridOperations() = default;

    virtual void SetRowCount(int rows) = 0;
    virtual int RowCount() const = 0;
    virtual void SetColumnCount(int columns) = 0;
    virtual int ColumnCount() const = 0;
    // The cells of a new last row, separated by tabs; missing cells stay empty.
    virtual void AppendRow(const QString& tabSeparatedCells) = 0;
    virtual QString CellText(int row, int column) const = 0;
    virtual void SetCellText(int row, int column, const QString& text) = 0;
    virtual void SetFixedRows(int rows) = 0;
    virtual void SetFixedColumns(int columns) = 0;
    virtual void SetColumnType(int column, int typeCode) = 0;
    virtual void SetColumnFormat(int column, const QString& format) = 0;
    virtual void FitColumns(int firstColumn, int lastColumn) = 0;
    virtual void Repaint() = 0;
};
