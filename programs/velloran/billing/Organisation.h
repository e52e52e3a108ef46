#pragma once

#include <QString>

// The two organisations whose members are billed, each with its own fields in the contact
// database and its own item in QuickBooks.
enum class Organisation { Chamber, Foundation };

namespace Organisations {

// Both, in the order the window offers them.
constexpr Organisation All[] = {Organisation::Chamber, Organisation::Foundation};

// The name the window offers, the list's title and each invoice line's description begin with.
const QString& name(Organisation organisation);

// The organisation a text names: the chamber for exactly its name, the foundation for any
// other text.
Organisation of(const QString& text);

} // namespace Organisations
