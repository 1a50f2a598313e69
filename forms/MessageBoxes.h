#pragma once

#include <QString>

#include <exception>
#include <functional>

class QWidget;

namespace quillon::forms {

// The answers of the confirmation box; closing it without a button gives
// Cancel.
enum class Answer { Yes, No, Cancel };

// The program's three message boxes.
// Plain: the text, no icon, OK; the application title as caption.
void showMessage(const QString &text);
// Confirmation: the question, caption "Confirm", question icon, "&Yes"
// (default) and "&No"; Escape answers No.
Answer confirm(const QString &question);
// General error: error icon, the application title as caption, OK, and the
// error's text with a full stop added when it ends in a character above '.'.
void showGeneralError(const QString &text);

// The text the general error box shows for an error's own text.
QString generalErrorText(const QString &errorText);

// Runs a handler's work; anything it throws reaches the general error box
// and the program goes on. Every handler runs through this.
void guarded(const std::function<void()> &work);

// Tests answer the boxes instead of a user: the function receives the
// box's kind and text and returns the answer (ignored for messages).
enum class BoxKind { Message, Confirmation, GeneralError };
void setMessageBoxOverride(std::function<Answer(BoxKind, const QString &)> override);

} // namespace quillon::forms
