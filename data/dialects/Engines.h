#pragma once

#include "data/dialects/SqlDialect.h"

#include <QSet>

// The dialect objects of the engines; SqlDialect::of hands them out.
namespace quillon::data {

const SqlDialect &sqlServerDialect();
const SqlDialect &sqliteDialect();
const SqlDialect &postgresDialect();
const SqlDialect &otherDialect();

// `words`, upper case, as a set to look names up in without regard to case.
QSet<QString> keywordSet(const char *const *words);
bool isKeyword(const QSet<QString> &keywords, const QString &name);

} // namespace quillon::data
