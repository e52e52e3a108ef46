#include "ui/RunProgress.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// What the window manager's frame may take of the dialog's width.
constexpr int FrameAllowance = 40;
} // namespace

RunProgress::RunProgress(QWidget* window)
    : QDialog(window)
    , m_label(new QLabel(this))
    , m_bar(new QProgressBar(this))
    , m_stop(new QPushButton(QStringLiteral("Stop after this invoice"), this)) {
    setObjectName(QStringLiteral("progress"));
    setWindowTitle(QStringLiteral("Create Invoices"));
    setWindowModality(Qt::NonModal);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_bar);
    layout->addWidget(m_stop, 0, Qt::AlignRight);
    m_stop->setDefault(true);
    connect(m_stop, &QPushButton::clicked, this, [this] { stopAfterThisInvoice(); });
}

namespace {
// What Stop or a close still waits for: the invoices sent and not yet answered.
QString underWayText(const QString& doing, const QStringList& customers) {
    if (customers.isEmpty())
        return QStringLiteral("%1: no invoice is under way.").arg(doing);
    if (customers.size() == 1)
        return QStringLiteral("%1 after the invoice under way: %2...")
            .arg(doing, customers.first());
    return QStringLiteral("%1 after the %2 invoices under way: %3...")
        .arg(doing)
        .arg(customers.size())
        .arg(customers.join(QStringLiteral(", ")));
}
} // namespace

QString RunProgress::stoppingText(const QStringList& customers) {
    return underWayText(QStringLiteral("Stopping"), customers);
}

QString RunProgress::closingText(const QStringList& customers) {
    return underWayText(QStringLiteral("Closing"), customers);
}

void RunProgress::setUnderWay(const QStringList& customers) {
    m_customers = customers;
    if (m_stopping)
        showText(m_closing ? closingText(customers) : stoppingText(customers));
}

// The label never makes the dialog wider than its window: a long name loses its middle.
void RunProgress::showText(const QString& text) {
    m_text = text;
    const QMargins margins = layout()->contentsMargins();
    const int room = (parentWidget() ? parentWidget()->width() : 800) - margins.left() -
                     margins.right() - FrameAllowance;
    m_label->setText(m_label->fontMetrics().elidedText(text, Qt::ElideMiddle, qMax(200, room)));
    m_label->setToolTip(text);
    // The whole text for a screen reader, however the label shortens it.
    m_label->setAccessibleName(text);
    setAccessibleDescription(text);
    setMaximumWidth(parentWidget() ? parentWidget()->width() : QWIDGETSIZE_MAX);
}

void RunProgress::setProgress(int done, int total, const QStringList& customers) {
    m_bar->setMaximum(total);
    m_bar->setValue(done);
    if (m_stopping)
        return;
    if (customers.isEmpty())
        showText(total == 1
                     ? QStringLiteral("Asking QuickBooks about the row to bill...")
                     : QStringLiteral("Asking QuickBooks about the %1 rows to bill...").arg(total));
    else if (customers.size() == 1)
        showText(QStringLiteral("Creating invoice %1 of %2: %3")
                     .arg(done + 1)
                     .arg(total)
                     .arg(customers.first()));
    else
        showText(QStringLiteral("Creating invoices %1-%2 of %3: %4")
                     .arg(done + 1)
                     .arg(done + customers.size())
                     .arg(total)
                     .arg(customers.join(QStringLiteral(", "))));
}

void RunProgress::stopAfterThisInvoice(bool closing) {
    if (m_closing)
        return; // a second close changes nothing
    m_stopping = true;
    m_closing = closing;
    m_stop->setEnabled(false);
    showText(closing ? closingText(m_customers) : stoppingText(m_customers));
}

void RunProgress::reject() {
    stopAfterThisInvoice();
}

void RunProgress::closeEvent(QCloseEvent* event) {
    event->ignore();
    stopAfterThisInvoice();
}
