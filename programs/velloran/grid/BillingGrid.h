#pragma once

#include "core/BillingList.h"

#include <QTableView>

class GridModel;

// The billing grid control: the grid operations on a table view of the program's own model.
class BillingGrid : public QTableView, public GridOperations {
    Q_OBJECT
public:
    explicit BillingGrid(QWidget* parent = nullptr);

    // GridOperations: the list, kept by the grid's model.
    int lineCount() const override;
    const BillingLine& line(int index) const override;
    void appendLine(BillingLine line) override;
    void setLine(int index, BillingLine line) override;
    const ListFacts& facts() const override;
    void setFacts(const ListFacts& facts) override;
    bool hasHeaderRow() const override;
    QStringList headerRow() const override;
    void setHeaderRow(const QStringList& texts) override;
    void empty() override;
    void resizeLines(int count) override;
    // A whole list, as a fill hands it over; its showing (formats, widths) is the caller's.
    void takeList(BillingList list);

    void SetColumnCount(int columns) override;
    int ColumnCount() const override;
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

    // PrintWithTitle writes this PDF file, without the dialog; empty (the default) for a
    // printer, or a file the dialog offers where there is none.
    void setPrintFile(const QString& pdfPath) { m_printFile = pdfPath; }

    // The file a print to PDF offers: the title, with what a file name cannot hold replaced,
    // in the documents folder (or home where there is none).
    static QString defaultPrintFile(const QString& title);
    // A line printed under the title on every page; none unless set.
    void setPrintSubtitle(const QString& subtitle) { m_printSubtitle = subtitle; }

    GridModel* gridModel() const { return m_model; }

    // Scrolls so that the line's cell is in view.
    void showLine(int line, int column);
    // The line in view with the list scrolled back to its first column.
    void showLineFromTheLeft(int line);
    // The line at the keyboard's current cell; -1 where there is none.
    int currentLine() const;
    // The lines the clerk has selected, and selecting them again after the model was reset
    // (fixed rows set anew).
    QList<int> selectedLines() const;
    void selectLines(const QList<int>& lines);
    // The selected lines, with the header row, as a spreadsheet takes them: tab-separated
    // cells, one row a line, money as plain numbers with two decimals, dates as shown, and a
    // cell holding a tab, a line end or a double quote quoted.
    QString selectedRowsText() const;

    using QTableView::edit;

signals:
    // Raised before the user edits a cell (its grid row, the header being row 0); a handler
    // sets cancel to stop the edit.
    void CellEditRequested(int row, int column, bool& cancel);
    // PrintWithTitle wrote the list to a file (no printer, or the dialog's "Print to File"),
    // so that the clerk can be told where it went.
    void printedToFile(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

private:
    bool editAllowed(int line, int column);

    GridModel* m_model;
    QString m_printSubtitle;
    QString m_printFile;
};
