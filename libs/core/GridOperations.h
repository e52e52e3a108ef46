#pragma once

#include "core/BillingLine.h"

#include <QDate>
#include <QString>
#include <QStringList>

// What a list was filled with: the organisation, the billing method and the window of dates.
// The run bills, and the printout describes, the list by these, never by the window's controls
// as they are now.
struct ListFacts {
    QString organisation;
    QString billingMethod;
    QDate start;
    QDate end;
};

// The billing list as billing and posting use it: its lines, numbered from 0, with their
// values (BillingLine), and what it was filled with. The header row is no line.
//
// Beside them stand the earlier grid's operations, in which the fill's steps and the clerks'
// notes are written: a grid of text cells whose row 0 is the header row and whose data rows
// are 1 to RowCount() - 1. They are an adapter over the lines, written once here; the only
// place that counts rows from 1.
class GridOperations {
public:
    virtual ~GridOperations() = default;

    // The list.
    virtual int lineCount() const = 0;
    virtual const BillingLine& line(int index) const = 0;
    virtual void appendLine(BillingLine line) = 0;
    virtual void setLine(int index, BillingLine line) = 0;
    virtual const ListFacts& facts() const = 0;
    virtual void setFacts(const ListFacts& facts) = 0;
    void setSend(int index, bool checked);
    void setResult(int index, const QString& result);

    // The header row: none in an emptied grid.
    virtual bool hasHeaderRow() const = 0;
    virtual QStringList headerRow() const = 0;
    virtual void setHeaderRow(const QStringList& texts) = 0;
    // No header row, no lines, no facts.
    virtual void empty() = 0;
    // Drops the lines from count on, or adds empty ones up to it.
    virtual void resizeLines(int count) = 0;

    // The earlier grid's cell operations, over the lines.
    void SetRowCount(int rows);
    int RowCount() const;
    // The cells of a new last row, separated by tabs; missing cells stay empty. The first
    // row of an empty grid is its header row.
    void AppendRow(const QString& tabSeparatedCells);
    QString CellText(int row, int column) const;
    void SetCellText(int row, int column, const QString& text);

    // How the grid shows the list.
    virtual void SetColumnCount(int columns) = 0;
    virtual int ColumnCount() const = 0;
    virtual void SetFixedRows(int rows) = 0;
    virtual void SetFixedColumns(int columns) = 0;
    virtual void SetColumnType(int column, int typeCode) = 0;
    virtual void SetColumnFormat(int column, const QString& format) = 0;
    virtual void FitColumns(int firstColumn, int lastColumn) = 0;
    virtual void Repaint() = 0;
};
