#include "qbxml/QbChannel.h"

#include "core/Failure.h"
#include "core/RuntimeDir.h"

#include <QDir>
#include <QtEndian>

QString QbChannel::defaultSocketPath() {
    return QDir(RuntimeDir::path()).filePath(QStringLiteral("velloran-qb.sock"));
}

QByteArray QbChannel::frame(const QByteArray& document) {
    QByteArray out(4, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(document.size()), out.data());
    return out + document;
}

bool QbChannel::takeFrame(QByteArray& buffer, QByteArray& document) {
    if (buffer.size() < 4)
        return false;
    const quint32 length = qFromBigEndian<quint32>(buffer.constData());
    if (length > MaxFrameBytes)
        throw Failure(
            ErrorNumber::Unspecified,
            QStringLiteral("The QuickBooks channel sent a damaged frame (%1 bytes).").arg(length));
    if (quint32(buffer.size()) < 4 + length)
        return false;
    document = buffer.mid(4, int(length));
    buffer.remove(0, 4 + int(length));
    return true;
}
