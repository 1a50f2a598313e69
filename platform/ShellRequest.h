#pragma once

#include <QString>

#include <functional>

class QObject;

namespace quillon::platform {

// How the window of what a shell request starts is shown.
enum class ShowCommand { Normal, Maximized };

// One request to the desktop: open a document or address with its handler,
// or start a program. `owner` is the window whose handler asks.
struct ShellRequest {
  const QObject *owner = nullptr;
  QString file; // document, address ("mailto:..."), or program
  QString parameters;
  ShowCommand show = ShowCommand::Normal;
};

// Hands a request to the desktop and returns at once; nothing started is
// tracked. True when the request could be handed over: for a document, the
// file exists and a handler took it; for a program, it could be started.
// Relative names are taken in the current directory.
bool shellExecute(const ShellRequest &request);

// A handler of the program's own for documents with the given suffix
// (without the dot); it returns whether it could open the file. Used where
// the desktop has no handler that fits (data-link files).
void setDocumentHandler(const QString &suffix, std::function<bool(const QString &path)> handler);

// Replaces the desktop for every request (tests record requests with it);
// an empty function restores the desktop.
void setShellOverride(std::function<bool(const ShellRequest &)> override);

} // namespace quillon::platform
