#include "forms/OpenWith.h"

#include "data/DataError.h"
#include "data/Query.h"
#include "forms/MessageBoxes.h"
#include "forms/ResultGrid.h"
#include "forms/TransferProgress.h"
#include "platform/ExclusiveFile.h"
#include "platform/ShellRequest.h"

#include <QWidget>

namespace quillon::forms {

void openCurrentValueWith(data::Query &query, const ResultGrid &grid, QWidget *owner,
                          const QString &program) {
  if (!query.active())
    return;
  const QString transferFile = QStringLiteral("TempFile");
  // A link planted at the name is refused like a file in use, so the value
  // never lands where the link points.
  platform::ExclusiveFile file;
  if (!file.create(transferFile)) {
    showMessage(QStringLiteral("Файл ") + transferFile +
                QStringLiteral(" занят другим приложением"));
    return;
  }
  try {
    const data::Field &field = grid.requireCurrentField();
    TransferProgress progress(query, owner,
                              QStringLiteral("Запись значения в файл ") + transferFile);
    query.runTransfer([&] {
      field.writeTo([&file](const char *bytes, qint64 count) {
        if (!file.write(bytes, count))
          throw data::DataError(file.errorString());
      });
    });
  } catch (const data::TransferCancelled &) {
    return; // the user stopped it: nothing is started
  }
  file.close();
  platform::shellExecute({owner, program, transferFile, platform::ShowCommand::Maximized});
}

} // namespace quillon::forms
