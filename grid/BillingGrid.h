#pragma once

#include "core/GridOperations.h"

#include <QTableView>

class GridModel;

// The billing grid control: the grid operations on a table view of the program's own model.
class BillingGrid : public QTableView, public GridOperations {
    Q_OBJECT
public:
    explicit BillingGrid(QWidget* parent = nullptr);

    void SetRowCount(int rows) override;
    int RowCount() const override;
    void SetColumnCount(int columns) override;
    int ColumnCount() const override;
    void AppendRow(const QString& tabSeparatedCells) override;
    QString CellText(int row, int column) const override;
    void SetCellText(int row, int column, const QString& text) override;
    void SetFixedRows(int rows) override;
    void SetFixedColumns(int columns) override;
    void SetColumnType(int column, int typeCode) override;
    void SetColumnFormat(int column, const QString& format) override;
    void FitColumns(int firstColumn, int lastColumn) override;
    void Repaint() override;

    // The earlier version's print settings: orientation 1 portrait, 2 landscape; margins in
    // twips (1440 an inch).
    enum Orientation { Portrait = 1, Landscape = 2 };
    static constexpr int HalfInch = 720;

    // Prints every row under the title. With showDialog the print dialog comes first and may
    // cancel the print.
    void PrintWithTitle(const QString& title, bool showDialog, int orientation, int leftRightMargin,
                        int topBottomMargin);

    // Tests print to this PDF file instead of a printer, without the dialog.
    static void setPrintToPdfForTesting(const QString& pdfPath);

    // The file a print to PDF offers: the title, with what a file name cannot hold replaced,
    // in the documents folder (or home where there is none).
    static QString defaultPrintFile(const QString& title);
    // A line printed under the title on every page; none unless set.
    void setPrintSubtitle(const QString& subtitle) { m_printSubtitle = subtitle; }

    GridModel* gridModel() const { return m_model; }

    // Scrolls so that the cell is in view.
    void showCell(int row, int column);
    // The row in view with the list scrolled back to its first column.
    void showRowFromTheLeft(int row);
    // The grid rows the clerk has selected, and selecting them again after the model was
    // reset (fixed rows set anew).
    QList<int> selectedGridRows() const;
    void selectGridRows(const QList<int>& rows);
    // The selected data rows, with the header row, as a spreadsheet takes them: tab-separated
    // cells, one row a line, money as plain numbers with two decimals, dates as shown.
    QString selectedRowsText() const;

    using QTableView::edit;

signals:
    // Raised before the user edits a cell; a handler sets cancel to stop the edit.
    void CellEditRequested(int row, int column, bool& cancel);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

private:
    bool editAllowed(int row, int column);

    GridModel* m_model;
    QString m_printSubtitle;
};
