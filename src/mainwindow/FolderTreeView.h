#pragma once

#include <functional>

#include <QTreeView>

namespace tellamo {

struct FolderNode;

// What is being dragged over the folder tree.
enum class DragSource { None, Folder, Notes };

// The folder tree's view: it accepts folders dragged within it and note rows dragged from the
// note list, and leaves the decisions to the catalogue part (TreeViewDragOver, TreeViewDragDrop).
class FolderTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit FolderTreeView(QWidget* parent);

    std::function<bool(DragSource source, FolderNode* dragged, FolderNode* target)> DragOver;
    std::function<void(DragSource source, FolderNode* dragged, FolderNode* target, bool onLabel)>
        DragDrop;

    // The folder under a point of the viewport, and whether the point is on its label, icon,
    // expand button or indentation (not to the right of the label).
    FolderNode* FolderAt(const QPoint& point, bool* onLabel = nullptr) const;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    DragSource Source(const QMimeData* data, FolderNode** dragged) const;
};

} // namespace tellamo
