#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class RequestProcessor;

// Error recovery by message set: an add or change sent as message set ID has its answer kept
// by QuickBooks, to be asked for again when the first answer was lost. Failures throw Failure.
namespace MessageSetRecovery {

// The stored answer of message set id: none when QuickBooks holds none (600, 9002).
std::optional<QByteArray> storedAnswer(RequestProcessor& processor, const QString& version,
                                       const QString& id);
// Tells QuickBooks to forget the stored answer of message set id.
void forget(RequestProcessor& processor, const QString& version, const QString& id);

// The same in two halves: each request, and the reader of its answer.
QByteArray statusCheck(const QString& version, const QString& id);
std::optional<QByteArray> readStatusCheck(const QByteArray& answer);
QByteArray forgetRequest(const QString& version, const QString& id);
void readForget(const QByteArray& answer);

} // namespace MessageSetRecovery
