#include "ui/ContactFill.h"

#include "app/FailureReport.h"
#include "app/Module1.h"
#include "billing/BillingInputs.h"
#include "billing/LoadBillingList.h"
#include "core/BillingList.h"
#include "core/ConnectionString.h"
#include "core/DatabaseThread.h"
#include "core/GridColumns.h"
#include "grid/BillingGrid.h"

#include <QGuiApplication>
#include <QProgressDialog>
#include <QTimer>
#include <memory>

namespace {
// The window's choices as they were when Refresh was pressed: the fill reads them on the
// database's thread.
class Choices : public BillingInputs {
public:
    explicit Choices(const BillingInputs& inputs)
        : m_organisation(inputs.organisation())
        , m_billingMethod(inputs.billingMethod())
        , m_start(inputs.startDate())
        , m_end(inputs.endDate()) {}
    QString organisation() const override { return m_organisation; }
    QString billingMethod() const override { return m_billingMethod; }
    QDate startDate() const override { return m_start; }
    QDate endDate() const override { return m_end; }

private:
    QString m_organisation, m_billingMethod;
    QDate m_start, m_end;
};

struct Outcome {
    BillingList rows;
    PassedOver passedOver;
    QString organisation;
};

// A fill taking longer than this shows that it reads, with its Cancel.
constexpr int DialogAfterMs = 1000;
} // namespace

ContactFill::ContactFill(QWidget* window, BillingGrid* grid, DatabaseThread* database, Ended ended)
    : m_window(window)
    , m_grid(grid)
    , m_database(database)
    , m_ended(std::move(ended)) {}

ContactFill::~ContactFill() {
    if (m_running)
        QGuiApplication::restoreOverrideCursor();
}

QString ContactFill::readingText(const QString& place) {
    return place.isEmpty() ? QStringLiteral("Reading the contact database...")
                           : QStringLiteral("Reading the contact database (%1)...").arg(place);
}

void ContactFill::start(const BillingInputs& inputs) {
    if (m_running)
        return;
    m_running = true;
    const auto choices = std::make_shared<Choices>(inputs);
    const auto outcome = std::make_shared<Outcome>();
    // A fill of many contacts takes a moment: the busy pointer says so.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    m_dialogTimer = new QTimer(m_window);
    m_dialogTimer->setSingleShot(true);
    QObject::connect(m_dialogTimer, &QTimer::timeout, m_window, [this] {
        const QString place = ConnectionString::place(
            ConnectionString::toOdbc(m_database->connection().connectionString()));
        m_dialog =
            new QProgressDialog(readingText(place), QStringLiteral("Cancel"), 0, 0, m_window);
        m_dialog->setObjectName(QStringLiteral("reading"));
        m_dialog->setWindowTitle(QStringLiteral("Velloran"));
        m_dialog->setMinimumDuration(0);
        m_dialog->setAutoReset(false);
        m_dialog->setAutoClose(false);
        QObject::connect(m_dialog, &QProgressDialog::canceled, m_window, [this] { cancel(); });
        m_dialog->show();
    });
    m_dialogTimer->start(DialogAfterMs);
    m_database->run(
        [choices, outcome](DbConnection& connection) {
            outcome->organisation =
                LoadBillingList(*choices, outcome->rows, connection, &outcome->passedOver);
        },
        m_window,
        [this, outcome](const std::optional<Failure>& failure) {
            finish();
            // What was read, also before a failure: the grid holds the rows written so far.
            m_grid->takeList(std::move(outcome->rows));
            formatBillingList(*m_grid);
            if (failure) {
                FailureReport::report(*failure);
                return;
            }
            m_ended(outcome->organisation, outcome->passedOver);
        });
}

// The stalled statement is left to its thread; the list is as a new fill begins it.
void ContactFill::cancel() {
    if (!m_running)
        return;
    m_database->abandon();
    finish();
    BillingList empty;
    empty.SetColumnCount(GridColumns::Count);
    empty.AppendRow(GridColumns::headerTexts().join(u'\t'));
    m_grid->takeList(std::move(empty));
    formatBillingList(*m_grid);
    m_ended(QString(), PassedOver());
}

void ContactFill::finish() {
    m_running = false;
    delete m_dialogTimer;
    if (m_dialog)
        m_dialog->deleteLater();
    QGuiApplication::restoreOverrideCursor();
}
