#pragma once

#include "query/FilterState.h"

#include <QString>

#include <optional>

namespace quillon::query {

// A whole number in the usual syntax of typed integers: leading blanks, one
// sign, then decimal digits or "$" and hexadecimal digits, nothing after.
// Empty text, any other character or a value outside the signed 32-bit
// range gives nothing.
std::optional<qint32> parseInteger(const QString &text);

// The row limit a typed text gives. The user is asked for a positive
// number, so a negative one is refused like text that does not parse; zero
// is a valid limit.
std::optional<quint32> parseRowLimit(const QString &text);

// The condition the editor's inputs make once stored, or nothing when no
// field name was typed. Line breaks in the value become one blank each
// (CR becomes a blank, LF goes), and an "IN" value is put in parentheses;
// everything else stays as typed, quotes being the user's business.
std::optional<ConditionRow> conditionToStore(const ConditionRow &typed);

} // namespace quillon::query
