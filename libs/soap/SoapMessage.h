#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

// The Web Connector's SOAP 1.1 messages (document/literal, namespace
// http://developer.intuit.com/): a call is a method element with its parameters as child
// elements; its answer is <methodResponse><methodResult>, a text, a number or a list of
// <string>.
namespace SoapMessage {

inline const QString Namespace = QStringLiteral("http://developer.intuit.com/");

struct Call {
    QString method;
    // In the order of the protocol's parameter list.
    QList<QPair<QString, QString>> parameters;
    QString parameter(const QString& name) const;
};

struct Result {
    QString method;
    QString text;     // a single result
    QStringList list; // an array result
    bool isList = false;
    std::optional<QString> fault; // the faultstring of a SOAP fault
};

// Reads a call; nullopt for a body that is no SOAP envelope with one method element.
std::optional<Call> readCall(const QByteArray& body);
QByteArray writeCall(const Call& call);

QByteArray writeResult(const QString& method, const QString& text);
QByteArray writeResult(const QString& method, const QStringList& list);
// A SOAP 1.1 fault, with an empty detail as .NET's client expects of a fault the server
// raised while processing (without one it takes the fault for a header's); faultCode
// "soap:Client", or "soap:VersionMismatch" for an envelope of another SOAP version.
QByteArray writeFault(const QString& faultString,
                      const QString& faultCode = QStringLiteral("soap:Client"));
// True for a body whose document element is an Envelope of another SOAP version (1.2).
bool otherEnvelopeVersion(const QByteArray& body);
// Reads the answer to a call of method; nullopt for a body that is no such answer or fault.
std::optional<Result> readResult(const QByteArray& body, const QString& method);

} // namespace SoapMessage
