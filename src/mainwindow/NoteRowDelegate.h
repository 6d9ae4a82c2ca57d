#pragma once

#include <QStyledItemDelegate>

class QTableView;

namespace tellamo {

class NoteListModel;

// Paints the note list's rows: the current row highlighted across its whole width, also
// without the focus; the rows of the multi-selection in a colour of their own, so that the two
// never look alike.
class NoteRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    NoteRowDelegate(QTableView* view, const NoteListModel& model);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    QTableView* mView;
    const NoteListModel& mModel;
};

} // namespace tellamo
