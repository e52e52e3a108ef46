// Appends 100,000 rows to the billing grid, formats and fits it, and paints it once.
// Prints: rows=N append_ms=A format_fit_ms=F repaint_ms=R total_ms=T

#include "BenchSupport.h"

#include "core/GridColumns.h"
#include "grid/BillingGrid.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int rows = argc > 1 ? atoi(argv[1]) : 100000;

    BillingGrid grid;
    grid.resize(930, 425);
    grid.show();
    QApplication::processEvents();

    QStringList texts;
    texts.reserve(rows);
    for (int i = 0; i < rows; ++i)
        texts << QStringLiteral(
                     "False\tCompany number %1 Ltd\tContact Person %1\t%2\t1200\t03/%3/2015\t"
                     "Quarterly\t3/1/2027\t3/%3/2027")
                     .arg(i)
                     .arg(100 + i % 900)
                     .arg(1 + i % 28);

    std::vector<double> append, fit, paint;
    for (int run = 0; run < 5; ++run) {
        append.push_back(Bench::timeMs([&] {
            grid.SetRowCount(0);
            grid.SetColumnCount(GridColumns::Count);
            grid.AppendRow(GridColumns::headerTexts().join(u'\t'));
            for (const QString& text : texts)
                grid.AppendRow(text);
        }));
        fit.push_back(Bench::timeMs([&] {
            grid.SetColumnType(0, GridColumns::TypeBoolean);
            grid.SetColumnFormat(3, GridColumns::moneyFormat());
            grid.SetColumnFormat(4, GridColumns::moneyFormat());
            grid.SetColumnType(5, GridColumns::TypeDate);
            grid.SetFixedRows(1);
            grid.FitColumns(0, grid.ColumnCount() - 1);
        }));
        paint.push_back(Bench::timeMs([&] {
            grid.Repaint();
            grid.repaint();
            QApplication::processEvents();
        }));
    }
    const double a = Bench::median(append), f = Bench::median(fit), p = Bench::median(paint);
    std::printf("rows=%d append_ms=%.1f format_fit_ms=%.1f repaint_ms=%.1f total_ms=%.1f\n", rows,
                a, f, p, a + f + p);
    return 0;
}
