#pragma once

#include "core/Failure.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamAttributes>
#include <initializer_list>
#include <memory>
#include <vector>

// A qbXML request document read into a tree, and the checks QuickBooks makes of it before it
// carries anything out: element order as the schema writes it, the request version, Booleans,
// dates, lengths and references. A document that does not parse fails with
// QbError::ParseError, which refuses the whole document; a request that parses but cannot be
// carried out fails with its status code (3020 a date, 3070 a length, 3140 a reference, 500
// a record not found), which its answer carries.
namespace RequestTree {

// One element of a request, with its children.
struct Node {
    QString name;
    QString text;
    QXmlStreamAttributes attributes;
    std::vector<std::unique_ptr<Node>> children;

    const Node* child(const QString& childName) const;
    QString childText(const QString& childName) const;
};

struct Document {
    double version = 0;
    QString versionText;
    std::unique_ptr<Node> root; // QBXML, with its QBXMLMsgsRq
};

// The failure of a document that does not parse, saying why.
Failure notParsed(const QString& detail);
Document parse(const QByteArray& request);

// Element names as the schema writes them, in its order.
using ElementNames = std::initializer_list<const char*>;
// The place of name among names; -1 when it is not there.
int indexOf(ElementNames names, const QString& name);
// Checks that the children of node come in the order of allowed, each at most once unless
// repeatable, and that elements newer than the request version (fromSix) are absent.
void checkOrder(const Node& node, ElementNames allowed, ElementNames repeatable,
                ElementNames fromSix, double version);

bool readBool(const Node& node);
// The YYYY-MM-DD date of parent's child field; empty when there is none.
QString readDate(const Node& parent, const QString& field);
void checkLength(const QString& text, int limit, const QString& field);
// The FullName of parent's aggregate (CustomerRef, ItemRef).
QString fullNameOf(const Node& parent, const QString& aggregate);

// 3140: a reference to a list entry (Customer, Item) the company file does not hold.
Failure invalidReference(const QString& list, const QString& name);
// 500: a record a query names that the company file does not hold.
Failure notFound(const QString& what);

} // namespace RequestTree
