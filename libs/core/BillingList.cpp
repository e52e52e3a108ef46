#include "core/BillingList.h"

void BillingList::empty() {
    m_header.reset();
    // An empty list keeps nothing of the lines it had, nor their memory.
    std::vector<BillingLine>().swap(m_lines);
    m_facts = ListFacts();
}
