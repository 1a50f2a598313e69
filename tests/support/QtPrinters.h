#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ostream>

// Readable failure output for Qt strings in GoogleTest expectations.
inline void PrintTo(const QString &text, std::ostream *out) {
  *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList &list, std::ostream *out) {
  *out << '[' << list.join(QStringLiteral("|")).toStdString() << ']';
}
