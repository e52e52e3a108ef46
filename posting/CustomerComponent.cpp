#include "posting/CustomerComponent.h"

#include "posting/QbxmlAnswer.h"
#include "posting/QbxmlRequest.h"
#include "posting/RequestProcessor.h"

CustomerComponent::CustomerComponent(RequestProcessor& processor)
    : m_processor(processor) {}

void CustomerComponent::LookupCustomer(const QString& fullName) {
    m_email.clear();
    QbxmlRequest request(QStringLiteral("6.0"), QStringLiteral("CustomerQueryRq"));
    request.field(QStringLiteral("FullName"), fullName);
    const QbxmlAnswer answer = QbxmlAnswer::read(m_processor.processRequest(request.finish()),
                                                 QStringLiteral("CustomerQueryRs"));
    m_email = answer.field(QStringLiteral("CustomerRet/Email"));
}
