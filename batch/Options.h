#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace quillon::batch {

enum class Command { Export, Import, Help };
enum class NullValues { Skip, Empty };
enum class ExistingFiles { Skip, Overwrite, Number };

// What a command line asks for.
struct Options {
  Command command = Command::Help;
  QString udl; // empty: the db.udl the window uses
  QString table;
  QString query;
  QStringList columns;
  QString dir;
  QString namePattern; // empty: the key columns, else the row's number
  QString extension = QStringLiteral("auto");
  NullValues nulls = NullValues::Skip;
  ExistingFiles existing = ExistingFiles::Number;
  int jobs = 1;
  QString key;
  QString match; // empty: "{KEY}.*"
  QString fromColumn;
  bool dryRun = false;
};

// The options of `arguments` (without the program's name); nullopt, with
// `error` said, for a command line that cannot be run.
std::optional<Options> parseOptions(const QStringList &arguments, QString *error);

// The text --help prints.
QString usageText();

} // namespace quillon::batch
