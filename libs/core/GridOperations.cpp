#include "core/GridOperations.h"

#include "core/GridColumns.h"

void GridOperations::setSend(int index, bool checked) {
    BillingLine changed = line(index);
    changed.send = checked;
    changed.asWritten.remove(GridColumns::Send);
    setLine(index, std::move(changed));
}

void GridOperations::setResult(int index, const QString& result) {
    BillingLine changed = line(index);
    changed.result = result;
    setLine(index, std::move(changed));
}

void GridOperations::SetRowCount(int rows) {
    if (rows <= 0) {
        empty();
        return;
    }
    if (!hasHeaderRow())
        setHeaderRow(QStringList());
    resizeLines(rows - 1);
}

int GridOperations::RowCount() const {
    return hasHeaderRow() ? 1 + lineCount() : 0;
}

void GridOperations::AppendRow(const QString& tabSeparatedCells) {
    if (!hasHeaderRow())
        setHeaderRow(tabSeparatedCells.split(u'\t'));
    else
        appendLine(BillingCells::fromRowText(tabSeparatedCells));
}

QString GridOperations::CellText(int row, int column) const {
    if (row == 0 && hasHeaderRow())
        return headerRow().value(column);
    if (row < 1 || row > lineCount() || column < 0)
        return QString();
    return BillingCells::text(line(row - 1), column);
}

void GridOperations::SetCellText(int row, int column, const QString& text) {
    if (row == 0 && hasHeaderRow()) {
        QStringList header = headerRow();
        while (header.size() <= column)
            header << QString();
        header[column] = text;
        setHeaderRow(header);
        return;
    }
    if (row < 1 || row > lineCount() || column < 0)
        return;
    BillingLine changed = line(row - 1);
    BillingCells::setText(changed, column, text);
    setLine(row - 1, std::move(changed));
}
