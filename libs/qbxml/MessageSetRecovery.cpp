#include "qbxml/MessageSetRecovery.h"

#include "core/Failure.h"
#include "qbxml/QbxmlAnswer.h"
#include "qbxml/QbxmlRequest.h"

QByteArray MessageSetRecovery::statusCheck(const QString& version, const QString& id) {
    return QbxmlRequest::emptyMessageSet(version, id, id);
}

std::optional<QByteArray> MessageSetRecovery::readStatusCheck(const QByteArray& answer) {
    const qint32 status = QbxmlAnswer::messageSetStatus(answer);
    if (status == MessageSetStatus::Unknown || status == MessageSetStatus::NothingStored)
        return std::nullopt;
    if (status != 0)
        throw Failure(status, MessageSetStatus::describe(status));
    return answer;
}

QByteArray MessageSetRecovery::forgetRequest(const QString& version, const QString& id) {
    return QbxmlRequest::emptyMessageSet(version, id, QString());
}

void MessageSetRecovery::readForget(const QByteArray& answer) {
    const qint32 status = QbxmlAnswer::messageSetStatus(answer);
    if (status != 0 && status != MessageSetStatus::Unknown)
        throw Failure(status, MessageSetStatus::describe(status));
}
