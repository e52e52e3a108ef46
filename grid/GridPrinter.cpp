#include "grid/GridPrinter.h"

#include "grid/CheckCell.h"
#include "grid/GridModel.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>

GridPrinter::GridPrinter(const GridModel& model, QVector<int> screenColumnWidths)
    : m_model(model)
    , m_screenWidths(std::move(screenColumnWidths)) {}

void GridPrinter::print(QPrinter& printer, const QString& title) const {
    QPainter painter;
    if (!painter.begin(&printer))
        return;
    QFont font(QStringLiteral("Sans Serif"), 8);
    painter.setFont(font);
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const QRect area(0, 0, page.width(), page.height());
    const QFontMetrics metrics(font, &printer);
    const int rowHeight = metrics.height() * 3 / 2;

    // Column widths scaled from the screen to the page.
    int screenTotal = 0;
    for (int w : m_screenWidths)
        screenTotal += qMax(1, w);
    const double scale = screenTotal > 0 ? double(area.width()) / screenTotal : 1.0;
    const double dpiRatio = printer.resolution() / 96.0;
    const double factor = qMin(scale, dpiRatio);
    QVector<int> widths;
    for (int w : m_screenWidths)
        widths << qMax(1, int(qMax(1, w) * factor));

    const int rows = m_model.storedRowCount();
    const bool hasHeader = m_model.fixedRows() > 0 && rows > 0;
    int row = hasHeader ? 1 : 0;
    bool firstPage = true;
    do {
        if (!firstPage)
            printer.newPage();
        firstPage = false;
        int top = 0;
        QFont titleFont = font;
        titleFont.setBold(true);
        painter.setFont(titleFont);
        painter.drawText(QRect(0, top, area.width(), rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         title);
        painter.setFont(font);
        top += rowHeight * 3 / 2;
        if (hasHeader) {
            drawRow(painter, 0, top, rowHeight, widths, true);
            top += rowHeight;
        }
        while (row < rows && top + rowHeight <= area.height()) {
            drawRow(painter, row, top, rowHeight, widths, false);
            top += rowHeight;
            ++row;
        }
    } while (row < rows);
    painter.end();
}

void GridPrinter::drawRow(QPainter& painter, int row, int top, int rowHeight,
                          const QVector<int>& widths, bool header) const {
    int left = 0;
    const int pad = rowHeight / 6;
    for (int column = 0; column < widths.size(); ++column) {
        const QRect cell(left, top, widths[column], rowHeight);
        painter.drawRect(cell);
        const QRect inner = cell.adjusted(pad, 0, -pad, 0);
        if (!header && m_model.isCheckColumn(column)) {
            const int side = rowHeight / 2;
            const QRect box(cell.center().x() - side / 2, cell.center().y() - side / 2, side, side);
            painter.drawRect(box);
            if (CheckCell::read(m_model.cellText(row, column)).value_or(false)) {
                painter.drawLine(box.topLeft(), box.bottomRight());
                painter.drawLine(box.bottomLeft(), box.topRight());
            }
        } else {
            const QVariant align = m_model.data(m_model.index(0, column), Qt::TextAlignmentRole);
            const int flags =
                header ? int(Qt::AlignLeft | Qt::AlignVCenter)
                       : (align.isValid() ? align.toInt() : int(Qt::AlignLeft | Qt::AlignVCenter));
            const QString text =
                header ? m_model.cellText(row, column) : m_model.displayText(row, column);
            painter.drawText(inner, flags,
                             painter.fontMetrics().elidedText(text, Qt::ElideRight, inner.width()));
        }
        left += widths[column];
    }
}
