#include "mainwindow/NoteRowDelegate.h"

#include <QTableView>

#include "catalogue/NoteRecord.h"
#include "mainwindow/NoteListModel.h"

namespace tellamo {

NoteRowDelegate::NoteRowDelegate(QTableView* view, const NoteListModel& model)
    : QStyledItemDelegate(view), mView(view), mModel(model) {}

void NoteRowDelegate::initStyleOption(QStyleOptionViewItem* option,
                                      const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    const bool current = mView->currentIndex().row() == index.row();
    const NoteRecord* note = mModel.RecordAt(index.row());
    option->state &= ~QStyle::State_HasFocus;
    if (current) {
        option->state |= QStyle::State_Selected | QStyle::State_Active;
    } else {
        option->state &= ~QStyle::State_Selected;
        if (note && note->Selected) {
            // Between the list's base colour and its highlight, and opaque: the style has already
            // filled the view's selected rows with the full highlight, which a translucent colour
            // would let through, making them look like the current row.
            const QPalette& palette = option->palette;
            const QColor base = palette.color(QPalette::Active, QPalette::Base);
            const QColor highlight = palette.color(QPalette::Active, QPalette::Highlight);
            const auto mix = [](int from, int to) { return from + (to - from) * 45 / 100; };
            option->backgroundBrush =
                QColor(mix(base.red(), highlight.red()), mix(base.green(), highlight.green()),
                       mix(base.blue(), highlight.blue()));
        }
    }
}

} // namespace tellamo
