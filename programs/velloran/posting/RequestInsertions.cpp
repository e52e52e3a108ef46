#include "posting/RequestInsertions.h"

#include "core/Failure.h"
#include "qbxml/QbxmlRequest.h"

#include <QXmlStreamReader>

void RequestInsertions::apply(const QString& config) {
    static const QString prefix = QStringLiteral("AppendAfter:");
    const int equals = config.indexOf(u'=');
    if (!config.startsWith(prefix) || equals <= prefix.size())
        throw Failure(ErrorNumber::Unspecified,
                      QStringLiteral("Unknown configuration \"%1\": the invoice component knows "
                                     "only AppendAfter:Element=<xml>.")
                          .arg(config));
    const QString after = config.mid(prefix.size(), equals - prefix.size()).trimmed();
    const QString xml = config.mid(equals + 1);
    // The fragment must be whole elements, or the request would not parse.
    QXmlStreamReader check(QStringLiteral("<fragment>") + xml + QStringLiteral("</fragment>"));
    while (!check.atEnd())
        check.readNext();
    if (check.hasError() || xml.trimmed().isEmpty())
        throw Failure(
            ErrorNumber::Unspecified,
            QStringLiteral("The configuration \"%1\" holds no well-formed XML.").arg(config));
    m_insertions.append({after, xml});
}

void RequestInsertions::writeAfter(QbxmlRequest& request, const QString& after) const {
    for (const Insertion& insertion : m_insertions) {
        if (insertion.after != after)
            continue;
        QXmlStreamReader fragment(QStringLiteral("<fragment>") + insertion.xml +
                                  QStringLiteral("</fragment>"));
        fragment.readNextStartElement(); // <fragment>
        while (!fragment.atEnd()) {
            fragment.readNext();
            if (fragment.isEndElement() && fragment.name() == u"fragment")
                break;
            request.xml().writeCurrentToken(fragment);
        }
    }
}
