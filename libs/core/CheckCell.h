#pragma once

#include <QString>
#include <optional>

// A "Send" cell holds the text of a Boolean. Writers store "True" or "False"; readers accept
// those in any letter case and numbers (0 is false, anything else true). Anything else does
// not convert.
namespace CheckCell {

QString text(bool checked);
std::optional<bool> read(const QString& text);

} // namespace CheckCell
