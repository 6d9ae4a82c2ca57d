#pragma once

#include <functional>

#include <QString>

#include "export/StagedFile.h"

class QWidget;

namespace tellamo {

// How long a piece of work runs before its progress dialog appears, in milliseconds: a short
// copy finishes without a dialog flashing up.
constexpr int ProgressDialogDelayMs = 300;

// Runs work on a thread of its own (BackgroundWork) while the window thread waits in a modal
// progress dialog (object name "ConvertProgressDialog") with a Cancel button; the window is
// repainted meanwhile, and no input reaches it before the dialog is up. Returns when the work has
// ended: true when it completed, false when the user cancelled it; any other failure is
// rethrown.
bool RunWithProgress(QWidget* parent, const QString& caption, const QString& text,
                     std::function<void(const WorkProgress&)> work);

} // namespace tellamo
