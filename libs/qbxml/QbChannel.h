#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// The local channel between Velloran and the open company file: a per-user socket carrying
// one UTF-8 qbXML document per request and per answer, each framed by its length as a
// 4-byte big-endian number. Before an answer may come frames of no bytes: the request has just
// been handed to QuickBooks (the Web Connector bridge says so when the Web Connector takes it),
// and the time allowed for the answer starts again.
namespace QbChannel {

// Frames larger than this are refused as damaged.
constexpr quint32 MaxFrameBytes = 64u * 1024u * 1024u;

// velloran-qb.sock in the user's runtime folder.
QString defaultSocketPath();

QByteArray frame(const QByteArray& document);

// Takes one whole frame off the front of buffer into document. Returns false while the frame
// is incomplete; throws Failure when its length is beyond MaxFrameBytes.
bool takeFrame(QByteArray& buffer, QByteArray& document);

} // namespace QbChannel
