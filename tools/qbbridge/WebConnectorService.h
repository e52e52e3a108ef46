#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

// The Web Connector's service: QuickBooks Web Connector (QBWC) polls it with SOAP calls, takes
// the program's qbXML requests one at a time and hands back QuickBooks' answers. Requests
// wait in order; one that QBWC does not take within the wait is answered with the request
// processor's failure and withdrawn, so that QuickBooks never carries out a request whose row
// says it failed. One handed to QBWC whose answer never comes back is answered as a lost
// connection, and the program's error recovery decides.
class WebConnectorService : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString user;
        QByteArray password;
        int waitSeconds = 30;
        // How long a sendRequestXML is held while the program has nothing to send, before the
        // answer "" and "NoOp" (QBWC then asks again after 5 seconds).
        int holdMs = 2000;
        // How long an answer may take once QBWC has the request.
        int answerMs = 60000;
    };
    // Where an answer goes: the answer document, or a ProcessorError document.
    using Reply = std::function<void(const QByteArray& document)>;
    // Where a SOAP answer goes: its HTTP status and body. False when the connection it was
    // to go on is gone.
    using Respond = std::function<bool(int status, const QByteArray& body)>;

    explicit WebConnectorService(Options options, QObject* parent = nullptr);

    // The program's side. owner names the connection, so that its waiting requests can be
    // withdrawn when it goes.
    void submit(const void* owner, const QByteArray& request, Reply reply);
    void withdraw(const void* owner);

    // The Web Connector's connection that took the request in flight closed: it has stopped,
    // unless it hands the answer back on another connection within a few seconds.
    void webConnectorDisconnected(const void* connection);

    // QBWC's side: one SOAP call on a connection; respond is called once, now or later.
    void call(const QByteArray& body, Respond respond, const void* connection = nullptr);

    static QByteArray processorError(qint32 code, const QString& message);

private:
    struct Pending {
        const void* owner;
        QByteArray request;
        Reply reply;
        QElapsedTimer waited;
    };

    void handOver();
    void failWaiting();
    void loseInFlight();
    void answerInFlight(const QByteArray& document);
    void endSession();
    bool validTicket(const QString& ticket) const;

    Options m_options;
    QList<Pending> m_queue;
    std::optional<Pending> m_inFlight;
    QTimer m_inFlightTimer;
    QTimer m_waitTimer;
    QString m_ticket;
    QSet<QString> m_endedTickets;
    // A sendRequestXML held while nothing waits.
    Respond m_held;
    const void* m_heldConnection = nullptr;
    const void* m_inFlightConnection = nullptr;
    QTimer m_holdTimer;
    QString m_lastError;
};
