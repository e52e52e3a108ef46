#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

// The dialog of an invoice run: "Creating invoice K of N: NAME" ("Creating invoices K-L of N:
// NAME, ..." for a batch), a bar, and "Stop after this invoice". Stop (its button, Space, Escape,
// its close box) only asks: the dialog stays, its button disabled, saying so until the run ends
// with the invoices under way. It blocks no window, so that the main window can be closed during a
// run, which asks the same. It keeps one width (its window's, on a narrow one), its text wrapping
// and a very long one shortened in the middle, and stays centred on its window and inside the
// screen, so that Stop is always in view.
class RunProgress : public QDialog {
    Q_OBJECT
public:
    explicit RunProgress(QWidget* window);

    // Before each batch: how many are done, of how many, and the customers of its rows.
    void setProgress(int done, int total, const QStringList& customers);
    // The customers whose invoices were sent and await their answer; none once it came.
    void setUnderWay(const QStringList& customers);
    // The run is to end after the invoices under way; with closing, the window closes then.
    void stopAfterThisInvoice(bool closing = false);
    bool stopping() const { return m_stopping; }
    // The whole text, however the label shortens it.
    QString labelText() const { return m_text; }
    bool closing() const { return m_closing; }

    // "Stopping after the 4 invoices under way: NAME, ...", "Stopping: no invoice is under
    // way."; the same with "Closing".
    static QString stoppingText(const QStringList& customers);
    static QString closingText(const QStringList& customers);

protected:
    void reject() override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void showText(const QString& text);
    // Centred on its window, moved inside the screen.
    void place();

    QLabel* m_label;
    QProgressBar* m_bar;
    QPushButton* m_stop;
    QStringList m_customers;
    QString m_text;
    bool m_stopping = false;
    bool m_closing = false;
};
