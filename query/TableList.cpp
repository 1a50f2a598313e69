#include "query/TableList.h"

namespace quillon::query {

QString tableListStatement(data::Dialect dialect) {
  switch (dialect) {
  case data::Dialect::Sqlite:
    return QStringLiteral("select name as Name from sqlite_master where type = 'table' and "
                          "name not like 'sqlite^_%' escape '^' order by name");
  case data::Dialect::PostgreSql:
    return QStringLiteral("select table_name as Name from information_schema.tables where "
                          "table_schema = current_schema() and table_type = 'BASE TABLE' "
                          "order by table_name");
  case data::Dialect::SqlServer:
  case data::Dialect::Other:
    break;
  }
  return QStringLiteral("select Name from SysObjects where xType = 'U' order by Name");
}

} // namespace quillon::query
