#include "forms/ValueTransfers.h"

#include "data/DataError.h"
#include "data/Query.h"
#include "forms/FileDialog.h"
#include "forms/MessageBoxes.h"
#include "forms/ResultGrid.h"
#include "forms/TransferProgress.h"
#include "platform/ClipboardBytes.h"

namespace quillon::forms {

namespace {

QString refusedText(const data::TextRefused &refused) {
  if (refused.fault() == data::TextRefused::Fault::ZeroByte)
    return QStringLiteral("в нём нулевой байт (смещение %1), а поле типа %2 не может его "
                          "хранить. Ничего не записано.")
        .arg(refused.offset())
        .arg(refused.typeName());
  return QStringLiteral("байт со смещением %1 не начинает символ в кодировке %2, а поле типа %3 "
                        "хранит только такой текст. Ничего не записано.")
      .arg(refused.offset())
      .arg(refused.encoding(), refused.typeName());
}

} // namespace

ValueTransfers::ValueTransfers(Context context) : c_(std::move(context)) {}

void ValueTransfers::fromFile() {
  if (!c_.query.active())
    return;
  if (!c_.openDialog.execute())
    return;
  const QString path = c_.openDialog.fileName();
  data::Field &field = c_.grid.requireCurrentField();
  if (field.readOnly() || c_.freeQueryMode() || !field.isLargeValue())
    return;
  // Only Yes goes on: a box closed without an answer loads nothing.
  if (confirm(QStringLiteral("Вы уверены ?")) != Answer::Yes)
    return;
  c_.query.edit();
  if (!loadFileIntoRow(field, path))
    return;
  showMessage(QStringLiteral("Значение загружено из файла") + path);
  c_.valueLoaded();
}

bool ValueTransfers::loadFileIntoRow(data::Field &field, const QString &path) {
  TransferProgress progress(c_.query, c_.owner, QStringLiteral("Загрузка значения из файла"));
  try {
    field.loadFromFile(path);
  } catch (const data::ValueTooLarge &tooLarge) {
    c_.query.cancel();
    showMessage(QStringLiteral("Файл %1 не загружен: в нём %2 байт, а база данных хранит в одном "
                               "значении не больше %3 байт.")
                    .arg(path)
                    .arg(tooLarge.size())
                    .arg(tooLarge.largest()));
    return false;
  } catch (const data::TextRefused &refused) {
    c_.query.cancel();
    showMessage(QStringLiteral("Файл %1 не загружен: %2").arg(path, refusedText(refused)));
    return false;
  } catch (const data::TransferCancelled &) {
    c_.query.cancel();
    return false;
  } catch (const std::exception &) {
    c_.query.cancel();
    showMessage(QStringLiteral("AFromFileExecute: error"));
    return false;
  }
  // The row is written before success is reported; a refused or cancelled
  // post leaves the row as it was.
  try {
    c_.query.checkBrowseMode();
  } catch (const data::TransferCancelled &) {
    c_.query.cancel();
    return false;
  } catch (...) {
    c_.query.cancel();
    throw;
  }
  return true;
}

void ValueTransfers::toFile() {
  if (!c_.query.active())
    return;
  if (!c_.saveDialog.execute())
    return;
  const QString path = c_.saveDialog.fileName();
  const data::Field &field = c_.grid.requireCurrentField();
  if (!field.isLargeValue())
    return;
  try {
    TransferProgress progress(c_.query, c_.owner, QStringLiteral("Сохранение значения в файл"));
    field.saveToFile(path);
  } catch (const data::TransferCancelled &) {
    return;
  } catch (const std::exception &) {
    showMessage(QStringLiteral("AToFileExecute: error"));
    return;
  }
  showMessage(QStringLiteral("Значение сохранено в файл ") + path);
}

void ValueTransfers::toClipboard() {
  if (!c_.query.active())
    return;
  try {
    platform::setClipboardBytes(c_.grid.requireCurrentField().asString());
  } catch (const std::exception &) {
    showMessage(QStringLiteral("AToClipBoardExecute: error"));
    return;
  }
  showMessage(QStringLiteral("Значение скопировано в буфер обмена"));
}

void ValueTransfers::fromClipboard() {
  if (!c_.query.active())
    return;
  data::Field &field = c_.grid.requireCurrentField();
  if (field.readOnly() || c_.freeQueryMode())
    return;
  if (confirm(QStringLiteral("Вы уверены ?")) != Answer::Yes)
    return;
  try {
    c_.query.edit();
    field.setAsString(platform::clipboardBytes());
    c_.query.checkBrowseMode();
  } catch (const data::TextRefused &refused) {
    c_.query.cancel();
    showMessage(QStringLiteral("Значение из буфера обмена не загружено: ") + refusedText(refused));
    return;
  } catch (const std::exception &) {
    // Nothing half-done stays behind to be posted by a later row move.
    c_.query.cancel();
    showMessage(QStringLiteral("AFromClipBoardExecute: error"));
    return;
  }
  showMessage(QStringLiteral("Значение загружено из буфера обмена"));
  c_.valueLoaded();
}

} // namespace quillon::forms
