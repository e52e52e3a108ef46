#include "qbhost/MessageSetStore.h"

#include "qbhost/AnswerWriter.h"
#include "qbhost/CompanyFile.h"
#include "qbxml/QbxmlAnswer.h"

#include <QCryptographicHash>
#include <QStringList>

using RequestTree::Node;

namespace {
QString attribute(const Node& node, const char* name) {
    return node.attributes.value(QLatin1String(name)).toString();
}

// A stable text of a message set's requests, whose checksum tells a repeated message set from
// another one sent under the same ID.
void canonical(const Node& node, QByteArray& out) {
    out += node.name.toUtf8() + '\x1f';
    QStringList attributes;
    for (const auto& a : node.attributes)
        attributes << a.qualifiedName().toString() + u'=' + a.value().toString();
    attributes.sort();
    out += attributes.join(u'\x1e').toUtf8() + '\x1f' + node.text.toUtf8() + '\x1f';
    for (const auto& child : node.children)
        canonical(*child, out);
    out += '\x1d';
}

QByteArray checksumOf(const Node& messages) {
    QByteArray text;
    for (const auto& request : messages.children)
        canonical(*request, text);
    return QCryptographicHash::hash(text, QCryptographicHash::Sha256);
}
} // namespace

std::optional<QByteArray> MessageSetStore::answerWithout(const QString& version,
                                                         const Node& messages) {
    using namespace MessageSetStatus;
    const QString newId = attribute(messages, "newMessageSetID");
    const QString oldId = attribute(messages, "oldMessageSetID");
    if (!oldId.isEmpty()) {
        if (!messages.children.empty())
            throw RequestTree::notParsed(
                QStringLiteral("a message set with oldMessageSetID holds no requests"));
        if (newId.isEmpty()) // forget the stored answer
            return AnswerWriter::messageSetAnswer(version, QString(),
                                                  m_file.forgetAnswer(oldId) ? 0 : Unknown);
        if (newId != oldId)
            throw RequestTree::notParsed(QStringLiteral("a status check names one message set"));
        const auto stored = m_file.storedAnswer(oldId);
        return stored ? stored->answer
                      : AnswerWriter::messageSetAnswer(version, newId, NothingStored);
    }
    if (newId.isEmpty())
        return std::nullopt;
    if (newId.size() > MaxIdLength)
        return AnswerWriter::messageSetAnswer(version, newId, IdTooLong);
    if (const auto stored = m_file.storedAnswer(newId))
        return stored->checksum == checksumOf(messages)
                   ? stored->answer
                   : AnswerWriter::messageSetAnswer(version, newId, OtherContent);
    return std::nullopt;
}

void MessageSetStore::keep(const Node& messages, const QByteArray& answer) {
    const QString newId = attribute(messages, "newMessageSetID");
    if (!newId.isEmpty())
        m_file.storeAnswer(newId, {checksumOf(messages), answer});
}
