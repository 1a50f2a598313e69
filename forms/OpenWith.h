#pragma once

#include <QString>

class QWidget;

namespace quillon::data {
class Query;
} // namespace quillon::data

namespace quillon::forms {

class ResultGrid;

// Writes the current cell's value into "TempFile" in the current
// directory, showing the
// progress of a large one, and starts `program` on it, maximised. A
// transfer file that another program holds, or a link planted at its name,
// is refused with a message; a cancelled write starts nothing.
void openCurrentValueWith(data::Query &query, const ResultGrid &grid, QWidget *owner,
                          const QString &program);

} // namespace quillon::forms
