#include "dialogs/ActionBinding.h"

#include <QAbstractButton>
#include <QAction>

namespace tellamo {

void BindCheckBox(QAbstractButton* box, QAction* action) {
    box->setText(action->text());
    box->setToolTip(action->toolTip());
    box->setChecked(action->isChecked());
    // A click runs the action (its handler, if any, sees the new state); a change of the action
    // from anywhere else shows in the box.
    QObject::connect(box, &QAbstractButton::clicked, action, [box, action](bool checked) {
        if (action->isChecked() != checked) {
            action->trigger();
        }
        box->setChecked(action->isChecked());
    });
    QObject::connect(action, &QAction::toggled, box,
                     [box](bool checked) { box->setChecked(checked); });
}

} // namespace tellamo
