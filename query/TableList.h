#pragma once

#include "data/Driver.h"

#include <QString>

namespace quillon::query {

// The statement that lists the user tables of the connected database, one
// column Name, ordered by name.
QString tableListStatement(data::Dialect dialect);

} // namespace quillon::query
