#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Error recovery by message set: an add or change sent as message set ID has its answer kept
// by QuickBooks, to be asked for again when the first answer was lost. Failures throw Failure.
namespace MessageSetRecovery {

// The question for the stored answer of message set id, and its reader: none when QuickBooks
// holds none (600, 9002).
QByteArray statusCheck(const QString& version, const QString& id);
std::optional<QByteArray> readStatusCheck(const QByteArray& answer);
// Tells QuickBooks to forget the stored answer of message set id.
QByteArray forgetRequest(const QString& version, const QString& id);
void readForget(const QByteArray& answer);

} // namespace MessageSetRecovery
