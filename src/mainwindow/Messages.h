#pragma once

#include <functional>

#include <QString>

class QAction;
class QWidget;

namespace tellamo {

// The program's message boxes. Confirmations have the caption "Confirmation", Yes and No and
// the question icon; errors the program reports itself have the caption "Error"; any other error
// raised by a command is shown with the application's title as caption.
enum class MessageKind { Confirmation, Error, ApplicationError, Notice };

bool AskConfirmation(QWidget* parent, const QString& text); // true on Yes
void ShowErrorBox(QWidget* parent, const QString& text);
void ShowApplicationError(QWidget* parent, const QString& text);
// A message that needs no answer, in a box that does not hold up the program (no modal loop):
// the program goes on, and a request to end it is not kept waiting by it.
void ShowNotice(QWidget* parent, const QString& text, const QString& caption);

// Runs a command's handler: an exception it raises ends the command and is shown in the
// application's error box; the program goes on. Every command of the window runs through this,
// so that no exception ever unwinds through the toolkit's event delivery.
void RunCommand(QWidget* parent, const std::function<void()>& handler);

// Connects a handler to an action's trigger through RunCommand.
void ConnectCommand(QAction* action, QWidget* parent, std::function<void()> handler);

// Once the program is ending unattended (a termination signal, the end of the session) nobody
// answers a box: every message then goes to the standard error output and the system log
// instead, and a confirmation counts as No.
void SetUnattended(bool unattended);
bool IsUnattended();
// Closes every open dialog and message box as cancelled, and every open pop-up menu.
void CloseOpenBoxes();

// Replaces how boxes are shown (tests answer them without a modal loop); an empty handler
// restores the real boxes. The handler returns the answer to a confirmation.
using MessageHandler =
    std::function<bool(MessageKind kind, const QString& text, const QString& caption)>;
void SetMessageHandler(MessageHandler handler);

} // namespace tellamo
