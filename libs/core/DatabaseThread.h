#pragma once

#include "core/DbConnection.h"
#include "core/Failure.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>

class QThread;

// The contact database's own thread. The connection is opened there, and every statement run
// and read there, so that a driver that waits on its server (one that accepts and never
// answers, or stalls in the middle of a statement) never holds the window's thread. A work
// that takes too long can be left behind: its thread and connection are abandoned, and a
// fresh thread opens a connection of the same settings for the next work.
class DatabaseThread {
public:
    DatabaseThread();
    // The thread is ended once it is idle; one still inside its driver is left to the
    // process's end.
    ~DatabaseThread();
    DatabaseThread(const DatabaseThread&) = delete;
    DatabaseThread& operator=(const DatabaseThread&) = delete;

    // The connection's settings. Its database is used on the database's thread alone.
    DbConnection& connection();

    using Work = std::function<void(DbConnection&)>;
    using Done = std::function<void(const std::optional<Failure>&)>;
    // Runs work there, the connection opened first when it is not (after an abandoned work);
    // then done, on context's thread, with the Failure work threw or none. A work left behind
    // with abandon never calls done.
    void run(Work work, QObject* context, Done done);
    // Runs work there and waits for it at most timeoutMs; false when it has not ended by then
    // (it goes on there, and is abandoned). *failure is what it threw.
    bool runAndWait(Work work, int timeoutMs, std::optional<Failure>* failure);
    bool busy() const;
    // Leaves the work in hand behind (see above).
    void abandon();
    bool isOpen();
    // Closes the connection, when the thread is idle.
    void close();

private:
    struct State;
    void start();
    std::shared_ptr<State> m_state;
};
