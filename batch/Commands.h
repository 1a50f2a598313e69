#pragma once

#include <atomic>

namespace quillon::data {
class Driver;
} // namespace quillon::data

namespace quillon::batch {

struct Options;
class Report;

// Both commands throw DataError for what stops the whole run (the
// statement, a missing column, a lost connection); a row or file that fails
// is reported and passed. Each stops before its next row or file once
// `stop` is set.

// export: every value of the chosen columns of a result to a file of its
// own. A value is read in bounded memory (large ones from their row, chunk
// by chunk); each file is written whole or not at all.
void runExport(data::Driver &driver, const Options &options, Report &report,
               const std::atomic<bool> &stop);

// import: each regular file of a folder into the one existing row it
// belongs to, found by a key in its name or by a column holding its name,
// through the same one-row write as the window: a file that matches no row
// or several is reported and skipped, and no row is inserted or deleted.
void runImport(data::Driver &driver, const Options &options, Report &report,
               const std::atomic<bool> &stop);

} // namespace quillon::batch
