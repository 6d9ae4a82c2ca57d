#include "mainwindow/NoteRowDelegate.h"

#include "catalogue/NoteRecord.h"
#include "mainwindow/NoteListModel.h"

#include <QTableView>

namespace tellamo {

NoteRowDelegate::NoteRowDelegate(QTableView* view, const NoteListModel& model)
    : QStyledItemDelegate(view), View(view), Model(model) {}

void NoteRowDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    const bool current = View->currentIndex().row() == index.row();
    const NoteRecord* note = Model.RecordAt(index.row());
    option->state &= ~QStyle::State_HasFocus;
    if (current) {
        option->state |= QStyle::State_Selected | QStyle::State_Active;
    } else {
        option->state &= ~QStyle::State_Selected;
        if (note && note->Selected) {
            // The window-title colour of the desktop theme stands in for the active caption.
            const QPalette& palette = option->palette;
            QColor marked = palette.color(QPalette::Active, QPalette::Highlight);
            marked.setAlpha(110);
            option->backgroundBrush = marked;
        }
    }
}

} // namespace tellamo
