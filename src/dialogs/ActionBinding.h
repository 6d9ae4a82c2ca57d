#pragma once

class QAbstractButton;
class QAction;

namespace tellamo {

// Binds a check box to a check action of the main window: each shows and changes the same
// state, whichever the user touches.
void BindCheckBox(QAbstractButton* box, QAction* action);

} // namespace tellamo
