#pragma once

#include "qbhost/RequestTree.h"

#include <QByteArray>
#include <QString>
#include <optional>

class CompanyFile;

// What QuickBooks keeps of message sets, in the company file: the answer of each set carried
// out under a newMessageSetID, with a checksum of its requests, so that a set is never carried
// out twice and its answer can be asked for again after it was lost.
class MessageSetStore {
public:
    explicit MessageSetStore(CompanyFile& file)
        : m_file(file) {}

    // The answer a message set gets without being carried out: a status check or a forget
    // (an oldMessageSetID), the kept answer of a set carried out before, or a refusal (an ID
    // too long, other requests under a known ID). nullopt: it is to be carried out, and its
    // answer kept.
    std::optional<QByteArray> answerWithout(const QString& version,
                                            const RequestTree::Node& messages);
    // Keeps the answer of a set that has a newMessageSetID; call it inside the transaction
    // of the set's changes, so that a host that dies after the commit still knows it.
    void keep(const RequestTree::Node& messages, const QByteArray& answer);

private:
    CompanyFile& m_file;
};
