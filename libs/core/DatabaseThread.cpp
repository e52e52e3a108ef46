#include "core/DatabaseThread.h"

#include <QMetaObject>
#include <QPointer>
#include <QSemaphore>
#include <QThread>
#include <atomic>

// What one thread owns: the thread, its connection, and whether a work is in hand. An
// abandoned state lives on with its thread until its work lets go; its connection is then
// dropped there, on the thread that made it.
struct DatabaseThread::State {
    QThread* thread = nullptr;
    QObject* home = nullptr; // lives in the thread: works are queued to it
    std::unique_ptr<DbConnection> connection = std::make_unique<DbConnection>();
    std::atomic<bool> busy{false};
    std::atomic<bool> abandoned{false};
};

namespace {
// Runs step on the state's thread and waits at most timeoutMs; false when it has not ended.
template <typename Step> bool onThreadAndWait(QObject* home, int timeoutMs, Step step) {
    auto ended = std::make_shared<QSemaphore>();
    QMetaObject::invokeMethod(home, [ended, step] {
        step();
        ended->release();
    });
    return ended->tryAcquire(1, timeoutMs);
}
} // namespace

DatabaseThread::DatabaseThread() {
    start();
}

void DatabaseThread::start() {
    auto state = std::make_shared<State>();
    if (m_state) {
        state->connection->setConnectionString(m_state->connection->connectionString());
        state->connection->setConnectionTimeout(m_state->connection->connectionTimeout());
        state->connection->setCursorLocation(m_state->connection->cursorLocation());
    }
    state->thread = new QThread;
    state->thread->setObjectName(QStringLiteral("contact database"));
    state->home = new QObject;
    state->home->moveToThread(state->thread);
    QObject::connect(state->thread, &QThread::finished, state->home, &QObject::deleteLater);
    state->thread->start();
    m_state = std::move(state);
}

DatabaseThread::~DatabaseThread() {
    if (m_state->busy) {
        // Inside its driver: nothing can end it but the process.
        m_state->abandoned = true;
        return;
    }
    const std::shared_ptr<State> state = m_state;
    if (onThreadAndWait(state->home, 10000, [state] { state->connection.reset(); })) {
        state->thread->quit();
        state->thread->wait();
        delete state->thread;
    }
}

void DatabaseThread::run(Work work, QObject* context, Done done) {
    const std::shared_ptr<State> state = m_state;
    state->busy = true;
    QPointer<QObject> receiver(context);
    QMetaObject::invokeMethod(state->home,
                              [state, work = std::move(work), receiver, done = std::move(done)] {
                                  std::optional<Failure> failure;
                                  try {
                                      if (!state->connection->isOpen())
                                          state->connection->open();
                                      work(*state->connection);
                                  } catch (const Failure& f) {
                                      failure = f;
                                  }
                                  if (state->abandoned) {
                                      state->connection.reset();
                                      return;
                                  }
                                  if (!receiver) {
                                      state->busy = false;
                                      return;
                                  }
                                  QMetaObject::invokeMethod(
                                      receiver.data(),
                                      [state, done, failure] {
                                          if (state->abandoned)
                                              return;
                                          state->busy = false;
                                          done(failure);
                                      },
                                      Qt::QueuedConnection);
                              });
}

bool DatabaseThread::runAndWait(Work work, int timeoutMs, std::optional<Failure>* failure) {
    const std::shared_ptr<State> state = m_state;
    state->busy = true;
    // Handed over through a shared slot: a late work may end after the waiter has gone.
    auto outcome = std::make_shared<std::optional<Failure>>();
    const bool ended = onThreadAndWait(state->home, timeoutMs, [state, work, outcome] {
        try {
            work(*state->connection);
        } catch (const Failure& f) {
            *outcome = f;
        }
        if (state->abandoned)
            state->connection.reset();
    });
    if (!ended) {
        abandon();
        return false;
    }
    state->busy = false;
    *failure = *outcome;
    return true;
}

DbConnection& DatabaseThread::connection() {
    return *m_state->connection;
}

bool DatabaseThread::busy() const {
    return m_state->busy;
}

void DatabaseThread::abandon() {
    m_state->abandoned = true;
    // Its thread ends by itself once its driver lets go, and nothing waits for it.
    QThread* thread = m_state->thread;
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->quit();
    start();
}

bool DatabaseThread::isOpen() {
    if (m_state->busy)
        return true; // a work in hand has it open
    std::optional<Failure> failure;
    auto open = std::make_shared<bool>(false);
    return runAndWait([open](DbConnection& connection) { *open = connection.isOpen(); }, 10000,
                      &failure) &&
           *open;
}

void DatabaseThread::close() {
    if (m_state->busy)
        return;
    std::optional<Failure> failure;
    runAndWait([](DbConnection& connection) { connection.close(); }, 10000, &failure);
}
