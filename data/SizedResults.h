#pragma once

#include "data/Driver.h"

#include <memory>

namespace quillon::data {

// Runs `sql` so that the large values of base-table columns arrive as their
// size, and as their bytes only up to `inlineLimit`: a result of many
// pictures, or of one value of a gigabyte, opens in little memory, and a
// value is read when it is used. Only a single SELECT whose columns the
// driver can describe, with names that are unique, is wrapped so; when the
// wrapped form does not run, or anything else is asked, the statement runs
// as it is.
std::unique_ptr<ResultSet> openSized(Driver &driver, const QString &sql, qint64 inlineLimit);

} // namespace quillon::data
