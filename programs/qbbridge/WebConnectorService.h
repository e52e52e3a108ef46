#pragma once

#include "qbbridge/SignInGuard.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace SoapMessage {
struct Call;
}

// The Web Connector's service: QuickBooks Web Connectors (QBWC) poll it with SOAP calls, take
// the program's qbXML requests one at a time and hand back QuickBooks' answers. Requests wait
// in order; one that no Web Connector takes within the wait is answered with the request
// processor's failure and withdrawn, so that QuickBooks never carries out a request whose row
// says it failed. Calls are tied together by their ticket, never by their TCP connection: the
// Web Connector opens and closes connections as it likes. A request handed over stays in
// flight until its answer comes back on any connection, or its session ends, or the answer
// time passes; then the program's error recovery decides.
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
        // A session in which nothing was asked for this long is ended.
        int sessionIdleMs = 5 * 60 * 1000;
        // How long an answer's receipt (receiveResponseXML) is held when nothing waits, to
        // see whether the program sends its next request (50: go on) or closes (100: done).
        int answerHoldMs = 2000;
    };
    // Where an answer goes: the answer document, or a ProcessorError document.
    using Reply = std::function<void(const QByteArray& document)>;
    // Told when a Web Connector takes the request: from then on QuickBooks is working on it.
    using Taken = std::function<void()>;
    // Where a SOAP answer goes: its HTTP status and body. False when the connection it was
    // to go on is gone.
    using Respond = std::function<bool(int status, const QByteArray& body)>;
    // A line for the bridge's log.
    using Log = std::function<void(const QString& line)>;

    explicit WebConnectorService(Options options, Log log = {}, QObject* parent = nullptr);
    ~WebConnectorService() override;

    // The program's side. owner names the program's connection: its waiting requests are
    // withdrawn when it goes, and its requests go to one company file only.
    void programConnected(const void* owner);
    void submit(const void* owner, const QByteArray& request, Reply reply, Taken taken = {});
    void withdraw(const void* owner);

    // QBWC's side: one SOAP call from peer (an address); respond is called once, now or later.
    void call(const QByteArray& body, Respond respond, const QString& peer = QString());

    static QByteArray processorError(qint32 code, const QString& message);

private:
    struct Pending {
        const void* owner;
        QByteArray request;
        Reply reply;
        Taken taken;
        QElapsedTimer waited;
    };
    struct Session {
        QString ticket;
        QString peer;
        QString company; // strCompanyFileName, as QuickBooks names the open file
        Respond held;    // a sendRequestXML held while nothing waits
        QTimer holdTimer;
        QString lastError;
        // Set once the session is to end: sendRequestXML answers "" and getLastError this.
        QString ending;
        // It took a request whose program has gone: its answer is taken and dropped.
        bool owesDroppedAnswer = false;
        QElapsedTimer lastWork; // since the session last took a request, or began
        QElapsedTimer lastCall;
        // The receipt of the last answer, held while the program decides; how many answers
        // this session brought back.
        Respond heldReceipt;
        QTimer receiptTimer;
        int answered = 0;
    };
    struct InFlight {
        Pending pending;
        QString ticket;
    };

    // One SOAP call being answered: what it asks, where its answer goes, who sent it, and the
    // session its ticket names (for the methods that belong to one).
    struct Incoming {
        const SoapMessage::Call& call;
        Respond respond;
        QString peer;
        Session* session = nullptr;
        // Answers with the method's result element holding text.
        void result(const QString& text);
    };
    using Handler = void (WebConnectorService::*)(Incoming& incoming);
    struct Method {
        Handler handler;
        bool needsSession;
    };
    static const Method* methodOf(const QString& name);
    void serverVersion(Incoming& incoming);
    void clientVersion(Incoming& incoming);
    void signIn(Incoming& incoming);
    void sendRequestXml(Incoming& incoming);
    void receiveResponseXml(Incoming& incoming);
    void connectionError(Incoming& incoming);
    void getLastError(Incoming& incoming);
    void closeConnection(Incoming& incoming);

    void authenticate(const QString& user, const QString& password, const QString& peer,
                      Respond respond);
    void handOver();
    void failWaiting();
    void sweep();
    void loseInFlight();
    void answerInFlight(const QByteArray& document);
    void endSession(Session& session, const QString& message);
    // Lets a held receipt go with percent: "50" for more to come, "100" for the end.
    void releaseReceipt(Session& session, const QString& percent);
    // By value: the ticket passed is often the session's own, which this destroys.
    void closeSession(QString ticket);
    Session* sessionOf(const QString& ticket);

    Options m_options;
    Log m_log;
    SignInGuard m_guard;
    QList<Pending> m_queue;
    std::optional<InFlight> m_inFlight;
    QTimer m_inFlightTimer;
    QTimer m_waitTimer;
    QTimer m_sweepTimer;
    std::map<QString, std::unique_ptr<Session>> m_sessions;
    // Tickets of sessions that ended, still good for their closeConnection; oldest first.
    QList<QString> m_endedTickets;
    // A program's connection: the company file its requests went to, once one was taken, and
    // a company file that a Web Connector had open instead.
    struct Program {
        bool pinned = false;
        QString company;
        QString otherCompany;
    };
    QHash<const void*, Program> m_programs;
};
