#include "ui/RunProgress.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {
// The dialog's width, whatever its text says: less only on a window narrower than that.
constexpr int Width = 480;
// What the window manager's frame may take of the dialog's width.
constexpr int FrameAllowance = 40;
// The most lines its text takes; a longer one loses its middle.
constexpr int MaxLines = 4;
} // namespace

RunProgress::RunProgress(QWidget* window)
    : QDialog(window)
    , m_label(new QLabel(this))
    , m_bar(new QProgressBar(this))
    , m_stop(new QPushButton(QStringLiteral("Stop after this invoice"), this)) {
    setObjectName(QStringLiteral("progress"));
    setWindowTitle(QStringLiteral("Create Invoices"));
    setWindowModality(Qt::NonModal);
    m_label->setWordWrap(true);
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

// The dialog keeps one width, its text wrapping inside it (a very long one loses its middle),
// and stays centred on its window and inside the screen, so that Stop is always in view.
void RunProgress::showText(const QString& text) {
    m_text = text;
    const int width =
        qMin(Width,
             (parentWidget() ? parentWidget()->width() : Width + FrameAllowance) - FrameAllowance);
    setFixedWidth(qMax(200, width));
    const QMargins margins = layout()->contentsMargins();
    const int line = qMax(100, this->width() - margins.left() - margins.right());
    m_label->setText(
        m_label->fontMetrics().elidedText(text, Qt::ElideMiddle, line * MaxLines - line / 2));
    m_label->setToolTip(text);
    // The whole text for a screen reader, however the label shortens it.
    m_label->setAccessibleName(text);
    setAccessibleDescription(text);
    adjustSize();
    place();
}

void RunProgress::place() {
    QWidget* window = parentWidget();
    if (!window)
        return;
    QRect frame(QPoint(), frameGeometry().size());
    frame.moveCenter(window->frameGeometry().center());
    if (const QScreen* screen = window->screen()) {
        const QRect room = screen->availableGeometry();
        frame.moveLeft(
            qBound(room.left(), frame.left(), qMax(room.left(), room.right() - frame.width() + 1)));
        frame.moveTop(
            qBound(room.top(), frame.top(), qMax(room.top(), room.bottom() - frame.height() + 1)));
    }
    move(frame.topLeft());
}

void RunProgress::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    place();
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
