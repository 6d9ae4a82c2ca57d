#pragma once

class QDialog;
class QDialogButtonBox;
class QPushButton;

namespace tellamo {

// The "OK" (default, accepts) and "Cancel" (rejects) buttons of a small modal dialog, under the
// object names a translation file addresses them by.
QDialogButtonBox* MakeOkCancelButtons(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel);

} // namespace tellamo
