#include "batch/Options.h"

namespace quillon::batch {

namespace {

bool oneOf(const QString &value, std::initializer_list<const char *> allowed) {
  for (const char *a : allowed)
    if (value == QLatin1String(a))
      return true;
  return false;
}

// What is missing or contradictory, or empty.
QString checkExport(const Options &o) {
  if (o.table.isEmpty() == o.query.isEmpty())
    return QStringLiteral("export needs either --table or --query");
  if (o.columns.isEmpty())
    return QStringLiteral("export needs --column");
  if (o.dir.isEmpty())
    return QStringLiteral("export needs --dir");
  if (!o.key.isEmpty() || !o.match.isEmpty() || !o.fromColumn.isEmpty() || o.dryRun)
    return QStringLiteral("--key, --match, --from-column and --dry-run belong to import");
  return {};
}

QString checkImport(const Options &o) {
  if (o.table.isEmpty() || !o.query.isEmpty())
    return QStringLiteral("import needs --table (and no --query)");
  if (o.columns.size() != 1)
    return QStringLiteral("import needs exactly one --column");
  if (o.dir.isEmpty())
    return QStringLiteral("import needs --dir");
  if (o.key.isEmpty() == o.fromColumn.isEmpty())
    return QStringLiteral("import needs either --key (with --match) or --from-column");
  if (!o.match.isEmpty() && o.key.isEmpty())
    return QStringLiteral("--match needs --key");
  return {};
}

} // namespace

std::optional<Options> parseOptions(const QStringList &arguments, QString *error) {
  Options o;
  if (arguments.isEmpty() || arguments[0] == QLatin1String("--help") ||
      arguments[0] == QLatin1String("-h") || arguments[0] == QLatin1String("help"))
    return o;
  if (arguments[0] == QLatin1String("export")) {
    o.command = Command::Export;
  } else if (arguments[0] == QLatin1String("import")) {
    o.command = Command::Import;
  } else {
    *error = QStringLiteral("unknown command \"%1\": export or import").arg(arguments[0]);
    return std::nullopt;
  }
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString option = arguments[i];
    if (option == QLatin1String("--help") || option == QLatin1String("-h")) {
      o.command = Command::Help;
      return o;
    }
    if (option == QLatin1String("--dry-run")) {
      o.dryRun = true;
      continue;
    }
    if (i + 1 >= arguments.size()) {
      *error = QStringLiteral("%1 needs a value").arg(option);
      return std::nullopt;
    }
    const QString value = arguments[++i];
    if (option == QLatin1String("--udl")) {
      o.udl = value;
    } else if (option == QLatin1String("--table")) {
      o.table = value;
    } else if (option == QLatin1String("--query")) {
      o.query = value;
    } else if (option == QLatin1String("--column")) {
      o.columns << value;
    } else if (option == QLatin1String("--dir")) {
      o.dir = value;
    } else if (option == QLatin1String("--name")) {
      o.namePattern = value;
    } else if (option == QLatin1String("--ext")) {
      o.extension = value.startsWith(QLatin1Char('.')) ? value.mid(1) : value;
    } else if (option == QLatin1String("--null")) {
      if (!oneOf(value, {"skip", "empty"})) {
        *error = QStringLiteral("--null takes skip or empty, not \"%1\"").arg(value);
        return std::nullopt;
      }
      o.nulls = value == QLatin1String("skip") ? NullValues::Skip : NullValues::Empty;
    } else if (option == QLatin1String("--on-exists")) {
      if (!oneOf(value, {"skip", "overwrite", "number"})) {
        *error =
            QStringLiteral("--on-exists takes skip, overwrite or number, not \"%1\"").arg(value);
        return std::nullopt;
      }
      o.existing = value == QLatin1String("skip")        ? ExistingFiles::Skip
                   : value == QLatin1String("overwrite") ? ExistingFiles::Overwrite
                                                         : ExistingFiles::Number;
    } else if (option == QLatin1String("--jobs")) {
      bool ok = false;
      o.jobs = value.toInt(&ok);
      if (!ok || o.jobs < 1 || o.jobs > 64) {
        *error = QStringLiteral("--jobs takes a number from 1 to 64, not \"%1\"").arg(value);
        return std::nullopt;
      }
    } else if (option == QLatin1String("--key")) {
      o.key = value;
    } else if (option == QLatin1String("--match")) {
      o.match = value;
    } else if (option == QLatin1String("--from-column")) {
      o.fromColumn = value;
    } else {
      *error = QStringLiteral("unknown option %1").arg(option);
      return std::nullopt;
    }
  }
  const QString problem = o.command == Command::Export ? checkExport(o) : checkImport(o);
  if (!problem.isEmpty()) {
    *error = problem;
    return std::nullopt;
  }
  return o;
}

QString usageText() {
  return QStringLiteral(
      "Usage:\n"
      "  quillon-batch export (--table T | --query SQL) --column C [--column C2 ...]\n"
      "                --dir DIR [--name PATTERN] [--ext auto|EXT] [--null skip|empty]\n"
      "                [--on-exists skip|overwrite|number] [--jobs N] [--udl FILE]\n"
      "  quillon-batch import --table T --column C --dir DIR\n"
      "                (--key K [--match PATTERN] | --from-column NAMECOLUMN)\n"
      "                [--dry-run] [--jobs N] [--udl FILE]\n"
      "\n"
      "export writes each value of the column(s) to a file of its own in DIR.\n"
      "  --name PATTERN  the file name from the row's columns: {ID}, {ID}-{Name};\n"
      "                  {#} is the row's number. Default: the table's key, else {#}.\n"
      "                  Characters no file name may hold become '_'.\n"
      "  --ext auto      the extension from the value's first bytes (jpg gif bmp wmf ico\n"
      "                  png pdf rtf docx xlsx pptx zip txt, else bin); or a fixed one\n"
      "  --null          skip NULL values (default) or write them as empty files\n"
      "  --on-exists     a file already in DIR: number the new one (default), skip the\n"
      "                  row, or overwrite the file. Two rows never share a file.\n"
      "  --jobs N        N threads write files while the database reads the next value\n"
      "                  (import: read the next files while the database writes)\n"
      "\n"
      "import writes each file of DIR into the one existing row it belongs to.\n"
      "  --key K --match PATTERN  the key column, and where the file name holds it:\n"
      "                  {K} in a pattern with * and ?, e.g. \"photo-{ID}.*\" (default\n"
      "                  \"{K}.*\")\n"
      "  --from-column NAMECOLUMN  the column that holds each row's file name\n"
      "  --dry-run       only list what would be written\n"
      "A file that matches no row, or several, is reported and skipped; no row is ever\n"
      "inserted or deleted.\n"
      "\n"
      "--udl FILE names the data-link file to connect with; by default the db.udl the\n"
      "window uses. Every file is written whole or not at all (a temporary file renamed\n"
      "into place). Ctrl+C stops after the current file (exit status 130). Exit status:\n"
      "0 when nothing failed, 1 when a row or file failed, 2 when the command could not\n"
      "run.\n");
}

} // namespace quillon::batch
