#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractItemModel>

namespace tellamo {

// One folder of the catalogue. The tree owns its nodes; deleting a node deletes its subtree.
struct FolderNode {
    std::string Name; // UTF-8 bytes as stored
    std::int32_t Id = -1;
    FolderNode* Parent = nullptr;
    std::vector<std::unique_ptr<FolderNode>> Children;

    bool IsRoot() const { return Parent == nullptr; }
    // Whether this node is the given one or lies anywhere below it.
    bool IsWithin(const FolderNode* ancestor) const;
    int Depth() const;
};

// The folder tree as an item model (one column, the folder's name), so that a tree view can show
// it and follow every change. Structure changes go through the operations below, which send the
// model's change notifications; the catalogue decides what is allowed. Window thread only.
class FolderTree : public QAbstractItemModel {
    Q_OBJECT
public:
    FolderTree() = default;

    const std::vector<std::unique_ptr<FolderNode>>& Roots() const { return mRootNodes; }

    // Appends a new node as the last child of parent, or as the last root without a parent.
    FolderNode* Append(FolderNode* parent, std::string name, std::int32_t id);
    // Moves a node (with its subtree) to position row among the children of newParent.
    void Move(FolderNode* node, FolderNode* newParent, int row);
    // Moves the roots from position first on (with their subtrees), in their order, to the end
    // of parent's children, in one step however many there are. parent must be a root before
    // first or a node below one.
    void MoveRootsBelow(FolderNode* parent, std::size_t first);
    // Removes a node with its subtree.
    void Remove(FolderNode* node);
    // Removes every child of a node.
    void RemoveChildren(FolderNode* node);
    void Clear();
    void SetName(FolderNode* node, std::string name);

    // Every node, parents before children, in order.
    void ForEachPreOrder(const std::function<void(FolderNode&)>& visit) const;
    FolderNode* FindById(std::int32_t id) const;
    int Count() const;

    QModelIndex IndexOf(const FolderNode* node) const;
    static FolderNode* NodeAt(const QModelIndex& index);

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // An edit accepted in a view goes to the rename handler, which decides (and saves); without
    // one, edits are refused.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    std::function<bool(FolderNode* folder, const QString& name)> RenameHandler;

    // Dragging a folder: the data names the folder by its ID.
    static constexpr const char* FolderMimeType = "application/x-tellamo-folder";
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDropActions() const override {
        return Qt::MoveAction | Qt::CopyAction;
    }

private:
    std::vector<std::unique_ptr<FolderNode>>& SiblingsOf(FolderNode* parent);
    const std::vector<std::unique_ptr<FolderNode>>& SiblingsOf(const FolderNode* parent) const;
    int RowOf(const FolderNode* node) const;

    std::vector<std::unique_ptr<FolderNode>> mRootNodes;
};

} // namespace tellamo
