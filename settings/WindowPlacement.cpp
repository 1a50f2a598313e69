#include "settings/WindowPlacement.h"

#include "settings/DecimalText.h"
#include "settings/SettingsError.h"

#include <QRegularExpression>

namespace quillon::settings {

namespace {

// The version this program writes; stores of a later one are left alone.
constexpr int placementVersion = 0;

const QString formVersionName = QStringLiteral("FormVersion");
const QString flagsName = QStringLiteral("Flags");
const QString showCmdName = QStringLiteral("ShowCmd");
const QString pixelsPerInchName = QStringLiteral("PixelsPerInch");
const QString minMaxPosName = QStringLiteral("MinMaxPos");
const QString normPosName = QStringLiteral("NormPos");
const QString visibleName = QStringLiteral("Visible");

int numberOr(const std::optional<QString> &text, int fallback) {
  return text ? parseDecimal(*text).value_or(fallback) : fallback;
}

int wordOr(const QStringList &words, qsizetype index, int fallback) {
  return index < words.size() ? parseDecimal(words[index]).value_or(fallback) : fallback;
}

// The text for this screen size, else the one saved last on any screen;
// an empty text counts as none.
std::optional<QString> positionText(const StoredPlacementLookup &stored, const QString &name,
                                    QSize screenSize) {
  for (const QString &candidate : {name + screenSizeSuffix(screenSize), name}) {
    const std::optional<QString> text = stored(candidate);
    if (text && !text->isEmpty())
      return text;
  }
  return std::nullopt;
}

} // namespace

QString screenSizeSuffix(QSize screenSize) {
  return QStringLiteral("(%1x%2)").arg(screenSize.width()).arg(screenSize.height());
}

QString formatMinMaxPos(QPoint minimizedPosition, QPoint maximizedPosition) {
  return QStringLiteral("%1,%2,%3,%4")
      .arg(minimizedPosition.x())
      .arg(minimizedPosition.y())
      .arg(maximizedPosition.x())
      .arg(maximizedPosition.y());
}

QString formatNormPos(const FrameRect &frame) {
  return QStringLiteral("%1,%2,%3,%4")
      .arg(frame.left)
      .arg(frame.top)
      .arg(frame.right)
      .arg(frame.bottom);
}

QStringList splitPlacementWords(const QString &text) {
  static const QRegularExpression separators(QStringLiteral("[, ]+"));
  return text.split(separators, Qt::SkipEmptyParts);
}

QList<PlacementValue> placementValuesToWrite(const WindowPlacement &placement, QSize screenSize) {
  const QString suffix = screenSizeSuffix(screenSize);
  const QString minMaxPos =
      formatMinMaxPos(placement.minimizedPosition, placement.maximizedPosition);
  const QString normPos = formatNormPos(placement.normalFrame);
  return {
      {formVersionName, QString::number(placementVersion)},
      {flagsName, QString::number(placement.flags)},
      {showCmdName, QString::number(placement.showCommand)},
      {pixelsPerInchName, QString::number(placement.pixelsPerInch)},
      {minMaxPosName + suffix, minMaxPos},
      {minMaxPosName, minMaxPos},
      {normPosName + suffix, normPos},
      {normPosName, normPos},
      {visibleName, placement.visible ? QStringLiteral("1") : QStringLiteral("0")},
  };
}

WindowShowState showStateFor(int showCommand) {
  switch (showCommand) {
  case 2: // minimised
  case 6: // minimised, another window active
  case 7: // minimised without activation
    return WindowShowState::Minimized;
  case 3:
    return WindowShowState::Maximized;
  default: // 1, 5 and 9 are the normal state, and so is anything unknown
    return WindowShowState::Normal;
  }
}

PlacementRestore placementToRestore(const StoredPlacementLookup &stored,
                                    const WindowPlacement &current, QSize screenSize,
                                    int pixelsPerInch) {
  PlacementRestore restore;
  try {
    if (numberOr(stored(formVersionName), 0) < placementVersion)
      return restore;

    WindowPlacement position = current;
    position.flags = numberOr(stored(flagsName), current.flags);
    const std::optional<QString> minMaxPos = positionText(stored, minMaxPosName, screenSize);
    if (minMaxPos) {
      const QStringList words = splitPlacementWords(*minMaxPos);
      position.minimizedPosition = QPoint(wordOr(words, 0, 0), wordOr(words, 1, 0));
      position.maximizedPosition = QPoint(wordOr(words, 2, 0), wordOr(words, 3, 0));
    }
    const std::optional<QString> normPos = positionText(stored, normPosName, screenSize);
    if (normPos) {
      const QStringList words = splitPlacementWords(*normPos);
      const FrameRect &now = current.normalFrame;
      position.normalFrame = {wordOr(words, 0, now.left), wordOr(words, 1, now.top),
                              wordOr(words, 2, now.right), wordOr(words, 3, now.bottom)};
    }
    // A place saved at another resolution would put the window elsewhere
    // or at another size than the user left it.
    const int savedPixelsPerInch = numberOr(stored(pixelsPerInchName), pixelsPerInch);
    if ((minMaxPos || normPos) && savedPixelsPerInch == pixelsPerInch &&
        position.normalFrame.left < position.normalFrame.right)
      restore.position = position;

    restore.state = showStateFor(numberOr(stored(showCmdName), 0));
  } catch (const SettingsError &error) {
    restore.error = error.message();
  }
  return restore;
}

} // namespace quillon::settings
