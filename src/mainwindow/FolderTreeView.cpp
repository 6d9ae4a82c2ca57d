#include "mainwindow/FolderTreeView.h"

#include <QDragMoveEvent>
#include <QMimeData>

#include "catalogue/FolderTree.h"
#include "mainwindow/NoteListModel.h"

namespace tellamo {

FolderTreeView::FolderTreeView(QWidget* parent) : QTreeView(parent) {
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
}

FolderNode* FolderTreeView::FolderAt(const QPoint& point, bool* onLabel) const {
    const QModelIndex index = indexAt(point);
    if (onLabel) {
        *onLabel = index.isValid() && point.x() <= visualRect(index).right();
    }
    return FolderTree::NodeAt(index);
}

DragSource FolderTreeView::Source(const QMimeData* data, FolderNode** dragged) const {
    *dragged = nullptr;
    if (!data) {
        return DragSource::None;
    }
    if (data->hasFormat(QString::fromLatin1(NoteListModel::NotesMimeType))) {
        return DragSource::Notes;
    }
    if (data->hasFormat(QString::fromLatin1(FolderTree::FolderMimeType))) {
        const auto* tree = qobject_cast<const FolderTree*>(model());
        bool ok = false;
        const int id = data->data(QString::fromLatin1(FolderTree::FolderMimeType)).toInt(&ok);
        *dragged = tree && ok ? tree->FindById(id) : nullptr;
        return *dragged ? DragSource::Folder : DragSource::None;
    }
    return DragSource::None;
}

void FolderTreeView::dragEnterEvent(QDragEnterEvent* event) {
    FolderNode* dragged = nullptr;
    if (Source(event->mimeData(), &dragged) == DragSource::None) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void FolderTreeView::dragMoveEvent(QDragMoveEvent* event) {
    QTreeView::dragMoveEvent(event); // scrolling and the drop indicator
    FolderNode* dragged = nullptr;
    const DragSource source = Source(event->mimeData(), &dragged);
    FolderNode* target = FolderAt(event->position().toPoint());
    if (source != DragSource::None && DragOver && DragOver(source, dragged, target)) {
        event->setDropAction(Qt::CopyAction); // nothing is removed from the source view
        event->accept();
    } else {
        event->ignore();
    }
}

void FolderTreeView::dropEvent(QDropEvent* event) {
    FolderNode* dragged = nullptr;
    const DragSource source = Source(event->mimeData(), &dragged);
    bool onLabel = false;
    FolderNode* target = FolderAt(event->position().toPoint(), &onLabel);
    if (source != DragSource::None && DragDrop) {
        DragDrop(source, dragged, target, onLabel);
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

} // namespace tellamo
