#include "qbbridge/WebConnectorService.h"

#include "qbxml/QbxmlAnswer.h"
#include "soap/SoapMessage.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QHash>
#include <QPointer>
#include <QRandomGenerator>
#include <QXmlStreamWriter>

namespace {
const QString NoOp = QStringLiteral("NoOp");
// Tickets of ended sessions kept for their closeConnection.
constexpr int EndedTicketsKept = 256;
// A session whose Web Connector has not called for this long has gone away.
constexpr int SessionGoneMs = 3 * 60 * 1000;

// Equal texts, compared in a time that does not depend on where they differ.
bool sameSecret(const QByteArray& a, const QByteArray& b) {
    const QByteArray x = QCryptographicHash::hash(a, QCryptographicHash::Sha256);
    const QByteArray y = QCryptographicHash::hash(b, QCryptographicHash::Sha256);
    unsigned char difference = 0;
    for (int i = 0; i < x.size(); ++i)
        difference |= static_cast<unsigned char>(x[i] ^ y[i]);
    return difference == 0;
}

QString newTicket() {
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex());
}

// "0x80040408" or a decimal number, as a signed 32-bit failure number.
qint32 hresultNumber(const QString& hresult) {
    bool ok = false;
    const QString text = hresult.trimmed();
    const qint64 value = text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)
                             ? qint64(text.mid(2).toUInt(&ok, 16))
                             : text.toLongLong(&ok);
    return ok ? qint32(quint32(value)) : QbError::ParseError;
}

// A name from the network as a log may show it: quoted, no control characters, not too long.
QString shown(const QString& text) {
    QString out;
    for (const QChar c : text.left(64))
        out += c.isPrint() ? c : u'?';
    return u'"' + out + (text.size() > 64 ? QStringLiteral("...\"") : QStringLiteral("\""));
}

// Windows names the same file in any letter case.
bool sameCompany(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}
} // namespace

WebConnectorService::WebConnectorService(Options options, Log log, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_log(std::move(log)) {
    m_inFlightTimer.setSingleShot(true);
    connect(&m_inFlightTimer, &QTimer::timeout, this, &WebConnectorService::loseInFlight);
    m_waitTimer.setInterval(250);
    connect(&m_waitTimer, &QTimer::timeout, this, &WebConnectorService::failWaiting);
    m_sweepTimer.setInterval(1000);
    connect(&m_sweepTimer, &QTimer::timeout, this, &WebConnectorService::sweep);
    m_sweepTimer.start();
}

WebConnectorService::~WebConnectorService() = default;

QByteArray WebConnectorService::processorError(qint32 code, const QString& message) {
    QByteArray document;
    QXmlStreamWriter xml(&document);
    xml.writeStartDocument();
    xml.writeEmptyElement(QStringLiteral("ProcessorError"));
    xml.writeAttribute(QStringLiteral("code"), QString::number(code));
    xml.writeAttribute(QStringLiteral("message"), message);
    xml.writeEndDocument();
    return document;
}

void WebConnectorService::programConnected(const void* owner) {
    m_programs.insert(owner, Program{});
}

void WebConnectorService::submit(const void* owner, const QByteArray& request, Reply reply,
                                 Taken taken) {
    if (!m_programs.contains(owner))
        programConnected(owner);
    Pending pending{owner, request, std::move(reply), std::move(taken), {}};
    pending.waited.start();
    m_queue.append(std::move(pending));
    m_waitTimer.start();
    // A Web Connector waiting for the receipt of its last answer comes back for this one.
    for (auto& [ticket, session] : m_sessions)
        releaseReceipt(*session, QStringLiteral("50"));
    handOver();
}

// The program's connection has gone: its waiting requests go with it, and an answer in flight
// has nowhere to go. With no program left, every session ends: nobody is billing.
void WebConnectorService::withdraw(const void* owner) {
    m_queue.removeIf([owner](const Pending& p) { return p.owner == owner; });
    // QuickBooks goes on with a request it took, but the next program need not wait for it.
    if (m_inFlight && m_inFlight->pending.owner == owner) {
        if (Session* session = sessionOf(m_inFlight->ticket))
            session->owesDroppedAnswer = true;
        m_inFlightTimer.stop();
        m_inFlight.reset();
    }
    m_programs.remove(owner);
    handOver();
    if (!m_programs.isEmpty())
        return;
    for (auto& [ticket, session] : m_sessions) {
        // The program took its last answer and closed: the session ends as a success.
        if (session->heldReceipt) {
            releaseReceipt(*session, QStringLiteral("100"));
            continue;
        }
        endSession(*session, QStringLiteral("Velloran has closed its connection to the "
                                            "bridge: nothing more to do."));
    }
}

void WebConnectorService::releaseReceipt(Session& session, const QString& percent) {
    session.receiptTimer.stop();
    if (session.heldReceipt)
        std::exchange(session.heldReceipt, {})(
            200, SoapMessage::writeResult(QStringLiteral("receiveResponseXML"), percent));
}

void WebConnectorService::failWaiting() {
    const qint64 limit = qint64(m_options.waitSeconds) * 1000;
    while (!m_queue.isEmpty() && m_queue.first().waited.elapsed() >= limit) {
        const Pending expired = m_queue.takeFirst();
        const Program program = m_programs.value(expired.owner);
        const QString& wanted = program.company;
        const QString& other = program.otherCompany;
        expired.reply(processorError(
            QbError::CouldNotStart,
            !program.pinned || other.isNull()
                ? QStringLiteral("Could not start QuickBooks. The QuickBooks Web Connector did "
                                 "not call within %1 seconds: on the QuickBooks computer, open "
                                 "the Web Connector, tick Velloran and press Update Selected, "
                                 "then try again.")
                      .arg(m_options.waitSeconds)
                : QStringLiteral("Could not start QuickBooks. The Web Connector that called has "
                                 "company file %1 open, but this run's invoices went to %2: "
                                 "open %2 in QuickBooks and press Update Selected.")
                      .arg(other, wanted)));
    }
    if (m_queue.isEmpty())
        m_waitTimer.stop();
}

// The first waiting request goes to a session holding a sendRequestXML whose company file is
// the one its program connection's requests went to before; a session with another company
// file open gets nothing to do and is ended.
void WebConnectorService::handOver() {
    if (m_inFlight || m_queue.isEmpty())
        return;
    const void* owner = m_queue.first().owner;
    Program& program = m_programs[owner];
    for (auto& [ticket, entry] : m_sessions) {
        Session& session = *entry;
        if (!session.held || !session.ending.isEmpty())
            continue;
        if (program.pinned && !sameCompany(session.company, program.company)) {
            program.otherCompany = session.company;
            if (m_log)
                m_log(QStringLiteral("a Web Connector at %1 has company file %2 open, but "
                                     "Velloran's run is with %3: its session is ended")
                          .arg(session.peer, shown(session.company), shown(program.company)));
            endSession(session, QStringLiteral("Velloran's run is with the company file %1, "
                                               "not %2: open %1 in QuickBooks.")
                                    .arg(program.company, session.company));
            continue;
        }
        session.holdTimer.stop();
        // A held call whose connection has gone takes nothing: the request waits for the next.
        if (!std::exchange(session.held, {})(
                200, SoapMessage::writeResult(QStringLiteral("sendRequestXML"),
                                              QString::fromUtf8(m_queue.first().request))))
            continue;
        m_inFlight = InFlight{m_queue.takeFirst(), ticket};
        program.pinned = true;
        program.company = session.company;
        program.otherCompany.clear();
        session.lastWork.restart();
        m_inFlightTimer.start(m_options.answerMs);
        if (m_inFlight->pending.taken)
            m_inFlight->pending.taken();
        return;
    }
}

void WebConnectorService::answerInFlight(const QByteArray& document) {
    m_inFlightTimer.stop();
    const InFlight done = *std::exchange(m_inFlight, std::nullopt);
    done.pending.reply(document);
    handOver();
}

void WebConnectorService::loseInFlight() {
    if (m_inFlight)
        answerInFlight(processorError(
            QbError::ConnectionLost,
            QStringLiteral("The connection to QuickBooks was lost before it answered.")));
}

// The session asks for nothing more: a held call is let go with "", and the Web Connector,
// reading message from getLastError, closes the session.
void WebConnectorService::endSession(Session& session, const QString& message) {
    session.ending = message;
    session.lastError = message;
    session.holdTimer.stop();
    releaseReceipt(session, QStringLiteral("100"));
    if (session.held)
        std::exchange(session.held, {})(
            200, SoapMessage::writeResult(QStringLiteral("sendRequestXML"), QString()));
}

// The session is over: an answer it still owed is lost.
void WebConnectorService::closeSession(QString ticket) {
    const auto found = m_sessions.find(ticket);
    if (found == m_sessions.end())
        return;
    if (m_inFlight && m_inFlight->ticket == ticket)
        loseInFlight();
    endSession(*found->second, QString());
    m_sessions.erase(found);
    m_endedTickets.append(ticket);
    if (m_endedTickets.size() > EndedTicketsKept)
        m_endedTickets.removeFirst();
    handOver();
}

WebConnectorService::Session* WebConnectorService::sessionOf(const QString& ticket) {
    const auto found = m_sessions.find(ticket);
    return found == m_sessions.end() ? nullptr : found->second.get();
}

// Sessions with nothing to do end after a while; those whose Web Connector stopped calling
// are forgotten.
void WebConnectorService::sweep() {
    QStringList gone;
    for (auto& [ticket, session] : m_sessions) {
        const bool inFlight = m_inFlight && m_inFlight->ticket == ticket;
        if (!inFlight && session->lastCall.hasExpired(SessionGoneMs) && !session->held)
            gone << ticket;
        else if (!inFlight && session->ending.isEmpty() && m_queue.isEmpty() &&
                 session->lastWork.hasExpired(m_options.sessionIdleMs))
            endSession(*session, QStringLiteral("Velloran asked for nothing for %1 minutes: the "
                                                "session ends.")
                                     .arg(m_options.sessionIdleMs / 60000));
    }
    for (const QString& ticket : gone)
        closeSession(ticket);
}

void WebConnectorService::authenticate(const QString& user, const QString& password,
                                       const QString& peer, Respond respond) {
    const QString method = QStringLiteral("authenticate");
    if (user != m_options.user || !sameSecret(password.toUtf8(), m_options.password)) {
        m_guard.failed(peer);
        if (m_log)
            m_log(QStringLiteral("%1 sign-in refused from %2 for user %3: wrong user name or "
                                 "password")
                      .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate),
                           peer.isEmpty() ? QStringLiteral("?") : peer, shown(user)));
        respond(200,
                SoapMessage::writeResult(method, QStringList{newTicket(), QStringLiteral("nvu")}));
        return;
    }
    m_guard.succeeded(peer);
    const QString ticket = newTicket();
    // Nobody is billing: QuickBooks is not opened for nothing.
    if (m_programs.isEmpty()) {
        m_endedTickets.append(ticket);
        respond(200, SoapMessage::writeResult(method, QStringList{ticket, QStringLiteral("none")}));
        return;
    }
    // The same Web Connector signing in anew has given up its earlier session, and with it
    // any answer that session owed.
    QStringList earlier;
    for (const auto& [t, session] : m_sessions)
        if (session->peer == peer)
            earlier << t;
    for (const QString& t : earlier)
        closeSession(t);
    auto session = std::make_unique<Session>();
    session->ticket = ticket;
    session->peer = peer;
    session->lastWork.start();
    session->lastCall.start();
    session->holdTimer.setSingleShot(true);
    Session* raw = session.get();
    connect(&session->holdTimer, &QTimer::timeout, this, [raw] {
        if (raw->held) {
            raw->lastError = raw->ending.isEmpty() ? NoOp : raw->ending;
            std::exchange(raw->held, {})(
                200, SoapMessage::writeResult(QStringLiteral("sendRequestXML"), QString()));
        }
    });
    session->receiptTimer.setSingleShot(true);
    connect(&session->receiptTimer, &QTimer::timeout, this,
            [this, raw] { releaseReceipt(*raw, QStringLiteral("50")); });
    m_sessions.emplace(ticket, std::move(session));
    respond(200, SoapMessage::writeResult(method, QStringList{ticket, QString()}));
}

void WebConnectorService::Incoming::result(const QString& text) {
    respond(200, SoapMessage::writeResult(call.method, text));
}

// The protocol's methods; all but the first three belong to a session and name its ticket.
const WebConnectorService::Method* WebConnectorService::methodOf(const QString& name) {
    static const QHash<QString, Method> methods{
        {QStringLiteral("serverVersion"), {&WebConnectorService::serverVersion, false}},
        {QStringLiteral("clientVersion"), {&WebConnectorService::clientVersion, false}},
        {QStringLiteral("authenticate"), {&WebConnectorService::signIn, false}},
        {QStringLiteral("sendRequestXML"), {&WebConnectorService::sendRequestXml, true}},
        {QStringLiteral("receiveResponseXML"), {&WebConnectorService::receiveResponseXml, true}},
        {QStringLiteral("connectionError"), {&WebConnectorService::connectionError, true}},
        {QStringLiteral("getLastError"), {&WebConnectorService::getLastError, true}},
        {QStringLiteral("closeConnection"), {&WebConnectorService::closeConnection, true}},
    };
    const auto found = methods.constFind(name);
    return found == methods.constEnd() ? nullptr : &*found;
}

void WebConnectorService::call(const QByteArray& body, Respond respond, const QString& peer) {
    const auto call = SoapMessage::readCall(body);
    if (!call && SoapMessage::otherEnvelopeVersion(body)) {
        respond(500, SoapMessage::writeFault(
                         QStringLiteral("The request's envelope is not SOAP 1.1 "
                                        "(http://schemas.xmlsoap.org/soap/envelope/), the only "
                                        "version this service speaks."),
                         QStringLiteral("soap:VersionMismatch")));
        return;
    }
    if (!call) {
        respond(500, SoapMessage::writeFault(QStringLiteral("The request is no SOAP call.")));
        return;
    }
    const Method* method = methodOf(call->method);
    if (!method) {
        respond(500,
                SoapMessage::writeFault(QStringLiteral("Unknown method %1.").arg(call->method)));
        return;
    }
    Incoming incoming{*call, std::move(respond), peer};
    if (method->needsSession) {
        const QString ticket = call->parameter(QStringLiteral("ticket"));
        incoming.session = sessionOf(ticket);
        if (!incoming.session) {
            // Any ticket may say goodbye: one of a session that ended, or of a refused sign-in.
            if (call->method == u"closeConnection")
                return incoming.result(
                    m_endedTickets.contains(ticket)
                        ? QStringLiteral("Velloran: the session has ended.")
                        : QStringLiteral("Velloran: no session of this ticket is open."));
            incoming.respond(500,
                             SoapMessage::writeFault(QStringLiteral("Unknown or ended ticket.")));
            return;
        }
        incoming.session->lastCall.restart();
    }
    (this->*method->handler)(incoming);
}

void WebConnectorService::serverVersion(Incoming& incoming) {
    incoming.result(QStringLiteral("Velloran qbbridge " VELLORAN_VERSION));
}

void WebConnectorService::clientVersion(Incoming& incoming) {
    incoming.result(QString());
}

void WebConnectorService::signIn(Incoming& incoming) {
    const QString user = incoming.call.parameter(QStringLiteral("strUserName"));
    const QString password = incoming.call.parameter(QStringLiteral("strPassword"));
    const QString peer = incoming.peer;
    const qint64 delay = m_guard.delayFor(peer);
    if (delay == 0)
        return authenticate(user, password, peer, std::move(incoming.respond));
    QTimer::singleShot(delay, this, [this, user, password, peer, respond = incoming.respond] {
        authenticate(user, password, peer, respond);
    });
}

void WebConnectorService::sendRequestXml(Incoming& incoming) {
    Session* session = incoming.session;
    session->company = incoming.call.parameter(QStringLiteral("strCompanyFileName"));
    if (session->held) // QBWC asks once at a time; an earlier call it gave up on is let go
        std::exchange(session->held, {})(200,
                                         SoapMessage::writeResult(incoming.call.method, QString()));
    if (m_inFlight && m_inFlight->ticket == session->ticket) {
        // It asks for the next request without answering the last: that answer is lost.
        loseInFlight();
    }
    if (!session->ending.isEmpty()) {
        session->lastError = session->ending;
        return incoming.result(QString());
    }
    session->held = std::move(incoming.respond);
    session->holdTimer.start(m_options.holdMs);
    handOver();
}

void WebConnectorService::receiveResponseXml(Incoming& incoming) {
    Session* session = incoming.session;
    const auto parameter = [&](const char* name) {
        return incoming.call.parameter(QLatin1String(name));
    };
    if (std::exchange(session->owesDroppedAnswer, false))
        return incoming.result(session->ending.isEmpty() ? QStringLiteral("50")
                                                         : QStringLiteral("100"));
    if (!m_inFlight || m_inFlight->ticket != session->ticket) {
        session->lastError = QStringLiteral("Velloran expected no answer.");
        return incoming.result(QStringLiteral("-1"));
    }
    const QString hresult = parameter("hresult");
    if (!hresult.trimmed().isEmpty())
        answerInFlight(processorError(hresultNumber(hresult), parameter("message")));
    else
        answerInFlight(parameter("response").toUtf8());
    ++session->answered;
    // 100 ends a session that is ending; with more waiting it stays open for the next.
    if (!session->ending.isEmpty() || !m_queue.isEmpty())
        return incoming.result(session->ending.isEmpty() ? QStringLiteral("50")
                                                         : QStringLiteral("100"));
    // Nothing waits: the program is about to send its next request, or to close. The receipt
    // waits a moment to tell the Web Connector which.
    releaseReceipt(*session, QStringLiteral("50"));
    session->heldReceipt = std::move(incoming.respond);
    session->receiptTimer.start(m_options.answerHoldMs);
}

void WebConnectorService::connectionError(Incoming& incoming) {
    Session* session = incoming.session;
    const qint32 code = hresultNumber(incoming.call.parameter(QStringLiteral("hresult")));
    const QString message = incoming.call.parameter(QStringLiteral("message"));
    if (m_inFlight && m_inFlight->ticket == session->ticket)
        answerInFlight(processorError(code, message));
    // QuickBooks cannot be reached through this Web Connector: what waits for its company
    // file, or for any, is told so.
    const QString company = session->company;
    QList<Pending> failed;
    m_queue.removeIf([&](const Pending& p) {
        const Program program = m_programs.value(p.owner);
        if (program.pinned && !sameCompany(program.company, company))
            return false;
        failed.append(p);
        return true;
    });
    for (const Pending& p : failed)
        p.reply(processorError(code, message));
    closeSession(session->ticket);
    incoming.result(QStringLiteral("done"));
}

void WebConnectorService::getLastError(Incoming& incoming) {
    Session* session = incoming.session;
    const QString text = session->lastError.isEmpty() ? NoOp : session->lastError;
    if (text == NoOp && session->ending.isEmpty())
        session->lastError.clear();
    incoming.result(text);
}

// What the session did, for the Web Connector's window.
void WebConnectorService::closeConnection(Incoming& incoming) {
    const int answered = incoming.session->answered;
    closeSession(incoming.session->ticket);
    incoming.result(answered == 1
                        ? QStringLiteral("Velloran: 1 request answered.")
                        : QStringLiteral("Velloran: %1 requests answered.").arg(answered));
}
