#include "data/drivers/postgres/PgCatalog.h"

#include "data/dialects/SqlDialect.h"

#include <QSet>
#include <QStringList>

#include <map>

namespace quillon::data::pg {

namespace {

// The types the kinds name by number (pg_type.h).
enum : Oid {
  kBool = 16,
  kChar = 18,
  kName = 19,
  kInt8 = 20,
  kInt2 = 21,
  kInt4 = 23,
  kText = 25,
  kOid = 26,
  kJson = 114,
  kXml = 142,
  kFloat4 = 700,
  kFloat8 = 701,
  kMoney = 790,
  kBpchar = 1042,
  kVarchar = 1043,
  kDate = 1082,
  kTime = 1083,
  kTimestamp = 1114,
  kTimestampTz = 1184,
  kTimeTz = 1266,
  kNumeric = 1700,
  kUuid = 2950,
  kJsonb = 3802,
};

const SqlDialect &postgres() {
  return SqlDialect::of(Dialect::PostgreSql);
}

QString oidList(const QSet<Oid> &oids) {
  QStringList list;
  for (const Oid oid : oids)
    list << QString::number(oid);
  return list.join(QLatin1Char(','));
}

} // namespace

std::vector<WireColumn> wireColumns(const PGresult *result) {
  std::vector<WireColumn> columns;
  for (int c = 0; c < PQnfields(result); ++c)
    columns.push_back({QString::fromUtf8(PQfname(result, c)), PQftype(result, c), PQfmod(result, c),
                       PQftable(result, c), PQftablecol(result, c)});
  return columns;
}

FieldKind kindOfType(Oid type, int typmod, char category) {
  switch (type) {
  case kBool:
    return FieldKind::ftBoolean;
  case kBytea:
    return FieldKind::ftBlob;
  case kChar:
  case kName:
  case kBpchar:
    return FieldKind::ftString;
  case kVarchar:
    // A varchar without a length is unbounded text.
    return typmod < 0 ? FieldKind::ftMemo : FieldKind::ftString;
  case kInt8:
  case kOid:
    return FieldKind::ftLargeint;
  case kInt2:
    return FieldKind::ftSmallint;
  case kInt4:
    return FieldKind::ftInteger;
  case kText:
  case kJson:
  case kJsonb:
  case kXml:
    return FieldKind::ftMemo;
  case kFloat4:
  case kFloat8:
    return FieldKind::ftFloat;
  case kMoney:
  case kNumeric:
    return FieldKind::ftBCD;
  case kDate:
    return FieldKind::ftDate;
  case kTime:
  case kTimeTz:
    return FieldKind::ftTime;
  case kTimestamp:
  case kTimestampTz:
    return FieldKind::ftDateTime;
  case kUuid:
    return FieldKind::ftGuid;
  default:
    break;
  }
  switch (category) {
  case 'B':
    return FieldKind::ftBoolean;
  case 'N':
    return FieldKind::ftBCD;
  case 'D':
    return FieldKind::ftDateTime;
  default:
    // Arrays, enums, ranges, network addresses and the rest are read as
    // their text, of any length.
    return FieldKind::ftMemo;
  }
}

int widthOfType(Oid type, int typmod) {
  switch (type) {
  case kChar:
    return 1;
  case kName:
    return 63;
  case kBpchar:
  case kVarchar:
    return typmod > 4 ? typmod - 4 : 1;
  default:
    return 0;
  }
}

std::vector<ColumnInfo> describeColumns(Session &session, const std::vector<WireColumn> &columns) {
  // Types the kinds do not name, by their category (and domains by their
  // base type); base columns with their table, name and whether the engine
  // assigns them.
  QSet<Oid> types, tables;
  for (const WireColumn &c : columns) {
    types.insert(c.type);
    if (c.table != 0)
      tables.insert(c.table);
  }
  struct TypeFacts {
    Oid base = 0;
    char category = 'X';
    QString name;
  };
  std::map<Oid, TypeFacts> typeFacts;
  if (!types.isEmpty()) {
    const Result result = session.run(
        QStringLiteral("select t.oid, case when t.typtype = 'd' then t.typbasetype else t.oid end, "
                       "coalesce(b.typcategory, t.typcategory), t.typname from "
                       "pg_catalog.pg_type t left "
                       "join pg_catalog.pg_type b on b.oid = t.typbasetype and t.typtype = 'd' "
                       "where t.oid in (%1)")
            .arg(oidList(types)));
    for (int r = 0; r < result.rows(); ++r)
      typeFacts[result.text(r, 0).toUInt()] = {
          result.text(r, 1).toUInt(), result.bytes(r, 2).isEmpty() ? 'X' : result.bytes(r, 2)[0],
          result.text(r, 3)};
  }
  struct ColumnFacts {
    QString name;
    bool assigned = false; // serial or identity: the engine's numbers
  };
  std::map<std::pair<Oid, int>, ColumnFacts> columnFacts;
  std::map<Oid, QString> tableNames;
  if (!tables.isEmpty()) {
    const Result names = session.run(
        QStringLiteral("select c.oid, n.nspname, c.relname, pg_catalog.pg_table_is_visible(c.oid) "
                       "from pg_catalog.pg_class c join pg_catalog.pg_namespace n on n.oid = "
                       "c.relnamespace where c.oid in (%1)")
            .arg(oidList(tables)));
    for (int r = 0; r < names.rows(); ++r)
      tableNames[names.text(r, 0).toUInt()] =
          postgres().qualifiedName(names.text(r, 1), names.text(r, 2), names.text(r, 3) == "t");
    const Result attributes = session.run(
        QStringLiteral("select a.attrelid, a.attnum, a.attname, a.attidentity <> '' or "
                       "coalesce(pg_catalog.pg_get_expr(d.adbin, d.adrelid) like 'nextval(%', "
                       "false) from pg_catalog.pg_attribute a left join pg_catalog.pg_attrdef d "
                       "on d.adrelid = a.attrelid and d.adnum = a.attnum where a.attrelid in "
                       "(%1) and a.attnum > 0")
            .arg(oidList(tables)));
    for (int r = 0; r < attributes.rows(); ++r)
      columnFacts[{attributes.text(r, 0).toUInt(), attributes.text(r, 1).toInt()}] = {
          attributes.text(r, 2), attributes.text(r, 3) == "t"};
  }

  std::vector<ColumnInfo> described;
  for (const WireColumn &c : columns) {
    ColumnInfo info;
    info.name = c.name;
    const TypeFacts facts =
        typeFacts.count(c.type) ? typeFacts[c.type] : TypeFacts{c.type, 'X', QString()};
    info.kind = kindOfType(facts.base, c.typmod, facts.category);
    info.typeName = facts.name;
    info.displayWidth = widthOfType(facts.base, c.typmod);
    const auto column = columnFacts.find({c.table, c.attnum});
    const auto table = tableNames.find(c.table);
    if (c.table != 0 && column != columnFacts.end() && table != tableNames.end()) {
      info.baseTable = table->second;
      info.baseColumn = column->second.name;
      info.autoIncrement = column->second.assigned;
      // An integer the engine numbers is an identity, as ODBC reports it.
      if (info.autoIncrement && info.kind == FieldKind::ftInteger)
        info.kind = FieldKind::ftAutoInc;
      info.updatable = !info.autoIncrement;
    } else if (c.table != 0 && c.attnum < 0) {
      info.rowId = true; // ctid, xmin and the other system columns
      info.updatable = false;
    } else {
      info.updatable = false;
    }
    described.push_back(info);
  }
  return described;
}

QStringList keyColumns(Session &session, const QString &quotedTable) {
  // Indexes in the order they were made, the primary key first.
  const Result indexes = session.run(
      QStringLiteral("select i.indexrelid, a.attname, a.attnotnull, i.indexprs is null and "
                     "i.indpred is null from pg_catalog.pg_index i join "
                     "pg_catalog.generate_subscripts(i.indkey, 1) k(n) on true left join "
                     "pg_catalog.pg_attribute a on a.attrelid = i.indrelid and a.attnum = "
                     "i.indkey[k.n] where i.indrelid = pg_catalog.to_regclass($1) and "
                     "(i.indisprimary or i.indisunique) order by i.indisprimary desc, "
                     "i.indexrelid, k.n"),
      {Param::text(quotedTable)});
  QString index;
  QStringList columns;
  bool usable = false;
  for (int r = 0; r <= indexes.rows(); ++r) {
    const QString next = r < indexes.rows() ? indexes.text(r, 0) : QString();
    if (next != index) {
      if (usable && !columns.isEmpty())
        return columns;
      index = next;
      columns.clear();
      usable = true;
    }
    if (r == indexes.rows())
      break;
    if (indexes.isNull(r, 1) || indexes.text(r, 2) != "t" || indexes.text(r, 3) != "t")
      usable = false; // an expression, a partial index or a column that may be NULL
    else
      columns << indexes.text(r, 1);
  }
  return {};
}

} // namespace quillon::data::pg
