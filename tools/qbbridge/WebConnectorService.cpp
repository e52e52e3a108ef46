#include "tools/qbbridge/WebConnectorService.h"

#include "posting/QbxmlAnswer.h"
#include "tools/qbwc/SoapMessage.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QXmlStreamWriter>

namespace {
const QString NoOp = QStringLiteral("NoOp");

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
} // namespace

WebConnectorService::WebConnectorService(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options)) {
    m_holdTimer.setSingleShot(true);
    connect(&m_holdTimer, &QTimer::timeout, this, [this] {
        if (m_held) {
            m_lastError = NoOp;
            std::exchange(m_held, {})(
                200, SoapMessage::writeResult(QStringLiteral("sendRequestXML"), QString()));
        }
    });
    m_inFlightTimer.setSingleShot(true);
    connect(&m_inFlightTimer, &QTimer::timeout, this, &WebConnectorService::loseInFlight);
    m_waitTimer.setInterval(250);
    connect(&m_waitTimer, &QTimer::timeout, this, &WebConnectorService::failWaiting);
}

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

void WebConnectorService::submit(const void* owner, const QByteArray& request, Reply reply) {
    Pending pending{owner, request, std::move(reply), {}};
    pending.waited.start();
    m_queue.append(std::move(pending));
    m_waitTimer.start();
    handOver();
}

void WebConnectorService::withdraw(const void* owner) {
    m_queue.removeIf([owner](const Pending& p) { return p.owner == owner; });
    if (m_inFlight && m_inFlight->owner == owner)
        m_inFlight->reply = [](const QByteArray&) {}; // its answer has nowhere to go
}

// Requests nobody took in time are answered "Could not start QuickBooks." and never handed
// over afterwards.
void WebConnectorService::webConnectorDisconnected(const void* connection) {
    if (m_held && connection == m_heldConnection) {
        m_held = {};
        m_holdTimer.stop();
    }
    constexpr int GraceMs = 3000;
    if (m_inFlight && connection == m_inFlightConnection &&
        m_inFlightTimer.remainingTime() > GraceMs)
        m_inFlightTimer.start(GraceMs);
}

void WebConnectorService::failWaiting() {
    const qint64 limit = qint64(m_options.waitSeconds) * 1000;
    while (!m_queue.isEmpty() && m_queue.first().waited.elapsed() >= limit) {
        const Pending expired = m_queue.takeFirst();
        expired.reply(processorError(
            QbError::CouldNotStart,
            QStringLiteral("Could not start QuickBooks. The QuickBooks Web Connector did not "
                           "call within %1 seconds: on the QuickBooks computer, open the Web "
                           "Connector, tick Velloran and press Update Selected, then try again.")
                .arg(m_options.waitSeconds)));
    }
    if (m_queue.isEmpty())
        m_waitTimer.stop();
}

void WebConnectorService::handOver() {
    if (!m_held || m_inFlight || m_queue.isEmpty())
        return;
    m_holdTimer.stop();
    // A held call whose connection has gone takes nothing: the request waits for the next.
    if (!std::exchange(m_held, {})(
            200, SoapMessage::writeResult(QStringLiteral("sendRequestXML"),
                                          QString::fromUtf8(m_queue.first().request))))
        return;
    m_inFlight = m_queue.takeFirst();
    m_inFlightConnection = m_heldConnection;
    m_inFlightTimer.start(m_options.answerMs);
}

void WebConnectorService::answerInFlight(const QByteArray& document) {
    m_inFlightTimer.stop();
    const Pending done = *std::exchange(m_inFlight, std::nullopt);
    done.reply(document);
}

void WebConnectorService::loseInFlight() {
    if (m_inFlight)
        answerInFlight(processorError(
            QbError::ConnectionLost,
            QStringLiteral("The connection to QuickBooks was lost before it answered.")));
}

void WebConnectorService::endSession() {
    loseInFlight();
    if (!m_ticket.isEmpty())
        m_endedTickets.insert(std::exchange(m_ticket, QString()));
    if (m_held) {
        m_holdTimer.stop();
        std::exchange(m_held, {})(
            200, SoapMessage::writeResult(QStringLiteral("sendRequestXML"), QString()));
    }
}

bool WebConnectorService::validTicket(const QString& ticket) const {
    return !m_ticket.isEmpty() && ticket == m_ticket;
}

void WebConnectorService::call(const QByteArray& body, Respond respond, const void* connection) {
    const auto call = SoapMessage::readCall(body);
    if (!call) {
        respond(500, SoapMessage::writeFault(QStringLiteral("The request is no SOAP call.")));
        return;
    }
    const QString& method = call->method;
    const auto result = [&](const QString& text) {
        respond(200, SoapMessage::writeResult(method, text));
    };
    if (method == u"serverVersion")
        return result(QStringLiteral("Velloran qbbridge " VELLORAN_VERSION));
    if (method == u"clientVersion")
        return result(QString());
    if (method == u"authenticate") {
        // A new session while an answer was due: that answer is lost.
        endSession();
        if (call->parameter(QStringLiteral("strUserName")) != m_options.user ||
            !sameSecret(call->parameter(QStringLiteral("strPassword")).toUtf8(),
                        m_options.password)) {
            respond(200, SoapMessage::writeResult(method,
                                                  QStringList{newTicket(), QStringLiteral("nvu")}));
            return;
        }
        m_ticket = newTicket();
        m_lastError.clear();
        respond(200, SoapMessage::writeResult(method, QStringList{m_ticket, QString()}));
        return;
    }
    static const QStringList withTicket{
        QStringLiteral("sendRequestXML"), QStringLiteral("receiveResponseXML"),
        QStringLiteral("connectionError"), QStringLiteral("getLastError"),
        QStringLiteral("closeConnection")};
    if (!withTicket.contains(method)) {
        respond(500, SoapMessage::writeFault(QStringLiteral("Unknown method %1.").arg(method)));
        return;
    }
    if (!validTicket(call->parameter(QStringLiteral("ticket")))) {
        respond(500, SoapMessage::writeFault(QStringLiteral("Unknown or ended ticket.")));
        return;
    }
    if (method == u"sendRequestXML") {
        if (m_held) // QBWC asks once at a time; an earlier call it gave up on is let go
            std::exchange(m_held, {})(200, SoapMessage::writeResult(method, QString()));
        m_held = std::move(respond);
        m_heldConnection = connection;
        m_holdTimer.start(m_options.holdMs);
        handOver();
        return;
    }
    if (method == u"receiveResponseXML") {
        if (!m_inFlight) {
            m_lastError = QStringLiteral("Velloran expected no answer.");
            return result(QStringLiteral("-1"));
        }
        const QString hresult = call->parameter(QStringLiteral("hresult"));
        if (!hresult.trimmed().isEmpty())
            answerInFlight(
                processorError(hresultNumber(hresult), call->parameter(QStringLiteral("message"))));
        else
            answerInFlight(call->parameter(QStringLiteral("response")).toUtf8());
        // Never 100: the session stays open for the program's next request.
        return result(QStringLiteral("50"));
    }
    if (method == u"connectionError") {
        const qint32 code = hresultNumber(call->parameter(QStringLiteral("hresult")));
        const QString message = call->parameter(QStringLiteral("message"));
        if (m_inFlight)
            answerInFlight(processorError(code, message));
        while (!m_queue.isEmpty())
            m_queue.takeFirst().reply(processorError(code, message));
        endSession();
        return result(QStringLiteral("done"));
    }
    if (method == u"getLastError")
        return result(m_lastError.isEmpty() ? NoOp : m_lastError);
    // closeConnection
    endSession();
    return result(QStringLiteral("OK"));
}
