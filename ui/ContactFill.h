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
// window's property "filling" is true.
class ContactFill {
public:
    struct Parts {
        QWidget* window;
        BillingGrid* grid;
        DatabaseThread* database;
        // The fill is done: the list's organisation and who it passed over. Not called for a
        // cancelled fill, whose list stays empty.
        std::function<void(const QString& organisation, const PassedOver& passedOver)> ended;
    };
    explicit ContactFill(Parts parts);
    ~ContactFill();

    bool running() const { return m_running; }
    // Starts a fill of the window's choices as they are now.
    void start(const BillingInputs& inputs);

    static QString readingText(const QString& place);

private:
    void cancel();
    void finish();

    Parts m_parts;
    bool m_running = false;
    QPointer<QProgressDialog> m_dialog;
    QPointer<QTimer> m_dialogTimer;
};
