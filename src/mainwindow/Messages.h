#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace tellamo {

// The program's message boxes. Confirmations have the caption "Confirmation", Yes and No and
// the question icon; errors the program reports itself have the caption "Error"; any other error
// raised by a command is shown with the application's title as caption.
enum class MessageKind { Confirmation, Error, ApplicationError };

bool AskConfirmation(QWidget* parent, const QString& text); // true on Yes
void ShowErrorBox(QWidget* parent, const QString& text);
void ShowApplicationError(QWidget* parent, const QString& text);

// Replaces how boxes are shown (tests answer them without a modal loop); an empty handler
// restores the real boxes. The handler returns the answer to a confirmation.
using MessageHandler = std::function<bool(MessageKind kind, const QString& text, const QString& caption)>;
void SetMessageHandler(MessageHandler handler);

} // namespace tellamo
