#include "qbxml/MessageSetRecovery.h"

#include "core/Failure.h"
#include "qbxml/QbxmlAnswer.h"
#include "qbxml/QbxmlRequest.h"
#include "qbxml/RequestProcessor.h"

std::optional<QByteArray> MessageSetRecovery::storedAnswer(RequestProcessor& processor,
                                                           const QString& version,
                                                           const QString& id) {
    QByteArray answer;
    const qint32 status = processor.processQuery(QbxmlRequest::emptyMessageSet(version, id, id),
                                                 [&](const QByteArray& document) {
                                                     answer = document;
                                                     return QbxmlAnswer::messageSetStatus(document);
                                                 });
    if (status == MessageSetStatus::Unknown || status == MessageSetStatus::NothingStored)
        return std::nullopt;
    if (status != 0)
        throw Failure(status, MessageSetStatus::describe(status));
    return answer;
}

void MessageSetRecovery::forget(RequestProcessor& processor, const QString& version,
                                const QString& id) {
    const QByteArray answer =
        processor.processRequest(QbxmlRequest::emptyMessageSet(version, id, QString()));
    const qint32 status = QbxmlAnswer::messageSetStatus(answer);
    if (status != 0 && status != MessageSetStatus::Unknown)
        throw Failure(status, MessageSetStatus::describe(status));
}
