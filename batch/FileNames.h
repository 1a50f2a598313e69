#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace quillon::batch {

// A file name made of literal text and {Column} placeholders: "{ID}",
// "{ID}-{Name}". "{{" and "}}" stand for braces.
class NamePattern {
public:
  // nullopt, with `error` said, for an unclosed brace or an empty name.
  static std::optional<NamePattern> parse(const QString &text, QString *error);

  // The column names the placeholders use, each once, in order.
  QStringList columns() const;
  // The pattern with each placeholder replaced by `valueOf(column)`; not
  // yet safe as a file name.
  QString expand(const std::function<QString(const QString &column)> &valueOf) const;

private:
  struct Part {
    QString text;
    bool column = false;
  };
  std::vector<Part> parts_;
};

// `name` as one file name that stays inside the folder it is written to:
// path separators, characters that Windows or shells refuse ("*?:<>|),
// control characters and a name of only dots are replaced by '_'; a name
// longer than `maxBytes` bytes of UTF-8 is cut between characters. Letters
// of any script and blanks are kept.
QString safeFileName(const QString &name, int maxBytes = 200);

// Names handed out within one run: a name asked for twice gets a number
// ("photo.jpg", "photo-2.jpg", "photo-3.jpg"), and so does one that
// `exists` says is taken, so that no two rows share a file.
class NameRegister {
public:
  // `stem` and `extension` (without its dot; may be empty) of a wanted name.
  QString claim(const QString &stem, const QString &extension,
                const std::function<bool(const QString &)> &exists);
  // Takes a name as used by a row.
  void reserve(const QString &name) { used_.insert(name.toCaseFolded()); }
  bool isUsed(const QString &name) const { return used_.contains(name.toCaseFolded()); }

private:
  // Folded, as a file system that ignores case would see them.
  QSet<QString> used_;
};

} // namespace quillon::batch
