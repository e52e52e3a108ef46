#pragma once

#include "billing/PassedOver.h"

#include <QDate>
#include <QPointer>
#include <QString>
#include <functional>

class BillingGrid;
class BillingInputs;
class DatabaseThread;
class QProgressDialog;
class QTimer;
class QWidget;

// The window's fill: the statement runs and its records are read on the database's thread,
// so the window paints and answers meanwhile; the rows reach the grid when the fill is done.
// A fill that takes more than a second shows "Reading the contact database (...)" with a
// Cancel, which leaves the list empty, as a new fill begins it, and the stalled connection
// behind (the next Refresh opens a fresh one). The controls stay as they are, the keyboard
// where it was; the window's buttons do nothing until the fill is done. While it runs the
// pointer is busy.
class ContactFill {
public:
    // The fill is done: the list's organisation and who it passed over. Not called for a
    // cancelled fill, whose list stays empty.
    using Ended = std::function<void(const QString& organisation, const PassedOver& passedOver)>;
    // The fill of window's grid from database.
    ContactFill(QWidget* window, BillingGrid* grid, DatabaseThread* database, Ended ended);
    ~ContactFill();

    bool running() const { return m_running; }
    // Starts a fill of the window's choices as they are now.
    void start(const BillingInputs& inputs);

    static QString readingText(const QString& place);

private:
    void cancel();
    void finish();

    QWidget* m_window;
    BillingGrid* m_grid;
    DatabaseThread* m_database;
    Ended m_ended;
    bool m_running = false;
    QPointer<QProgressDialog> m_dialog;
    QPointer<QTimer> m_dialogTimer;
};
