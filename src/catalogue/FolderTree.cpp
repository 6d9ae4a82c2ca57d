#include "catalogue/FolderTree.h"

#include <algorithm>

#include <QMimeData>

namespace tellamo {

bool FolderNode::IsWithin(const FolderNode* ancestor) const {
    for (const FolderNode* node = this; node; node = node->Parent) {
        if (node == ancestor) {
            return true;
        }
    }
    return false;
}

int FolderNode::Depth() const {
    int depth = 0;
    for (const FolderNode* node = Parent; node; node = node->Parent) {
        ++depth;
    }
    return depth;
}

std::vector<std::unique_ptr<FolderNode>>& FolderTree::SiblingsOf(FolderNode* parent) {
    return parent ? parent->Children : mRootNodes;
}

const std::vector<std::unique_ptr<FolderNode>>&
FolderTree::SiblingsOf(const FolderNode* parent) const {
    return parent ? parent->Children : mRootNodes;
}

int FolderTree::RowOf(const FolderNode* node) const {
    const auto& siblings = SiblingsOf(node->Parent);
    for (std::size_t i = 0; i < siblings.size(); ++i) {
        if (siblings[i].get() == node) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

FolderNode* FolderTree::Append(FolderNode* parent, std::string name, std::int32_t id) {
    auto& siblings = SiblingsOf(parent);
    const int row = static_cast<int>(siblings.size());
    beginInsertRows(IndexOf(parent), row, row);
    auto node = std::make_unique<FolderNode>();
    node->Name = std::move(name);
    node->Id = id;
    node->Parent = parent;
    FolderNode* added = node.get();
    siblings.push_back(std::move(node));
    endInsertRows();
    return added;
}

void FolderTree::Move(FolderNode* node, FolderNode* newParent, int row) {
    if (!node || (newParent && newParent->IsWithin(node))) {
        return;
    }
    auto& from = SiblingsOf(node->Parent);
    auto& to = SiblingsOf(newParent);
    const int fromRow = RowOf(node);
    row = std::clamp(row, 0, static_cast<int>(to.size()));
    const bool sameParent = node->Parent == newParent;
    if (sameParent && (row == fromRow || row == fromRow + 1)) {
        return; // already there
    }
    if (!beginMoveRows(IndexOf(node->Parent), fromRow, fromRow, IndexOf(newParent), row)) {
        return;
    }
    std::unique_ptr<FolderNode> owned = std::move(from[fromRow]);
    from.erase(from.begin() + fromRow);
    if (sameParent && row > fromRow) {
        --row;
    }
    owned->Parent = newParent;
    to.insert(to.begin() + row, std::move(owned));
    endMoveRows();
}

void FolderTree::MoveRootsBelow(FolderNode* parent, std::size_t first) {
    if (!parent || first >= mRootNodes.size()) {
        return;
    }
    const FolderNode* parentRoot = parent;
    while (parentRoot->Parent) {
        parentRoot = parentRoot->Parent;
    }
    if (RowOf(parentRoot) >= static_cast<int>(first)) {
        return; // it would move into itself
    }
    const int row = static_cast<int>(parent->Children.size());
    if (!beginMoveRows(QModelIndex(), static_cast<int>(first),
                       static_cast<int>(mRootNodes.size()) - 1, IndexOf(parent), row)) {
        return;
    }
    for (std::size_t i = first; i < mRootNodes.size(); ++i) {
        mRootNodes[i]->Parent = parent;
        parent->Children.push_back(std::move(mRootNodes[i]));
    }
    mRootNodes.erase(mRootNodes.begin() + static_cast<std::ptrdiff_t>(first), mRootNodes.end());
    endMoveRows();
}

void FolderTree::Remove(FolderNode* node) {
    if (!node) {
        return;
    }
    auto& siblings = SiblingsOf(node->Parent);
    const int row = RowOf(node);
    beginRemoveRows(IndexOf(node->Parent), row, row);
    siblings.erase(siblings.begin() + row);
    endRemoveRows();
}

void FolderTree::RemoveChildren(FolderNode* node) {
    if (!node || node->Children.empty()) {
        return;
    }
    beginRemoveRows(IndexOf(node), 0, static_cast<int>(node->Children.size()) - 1);
    node->Children.clear();
    endRemoveRows();
}

void FolderTree::Clear() {
    beginResetModel();
    mRootNodes.clear();
    endResetModel();
}

void FolderTree::SetName(FolderNode* node, std::string name) {
    if (!node) {
        return;
    }
    node->Name = std::move(name);
    const QModelIndex index = IndexOf(node);
    emit dataChanged(index, index);
}

void FolderTree::ForEachPreOrder(const std::function<void(FolderNode&)>& visit) const {
    std::function<void(const std::vector<std::unique_ptr<FolderNode>>&)> walk =
        [&](const std::vector<std::unique_ptr<FolderNode>>& nodes) {
            for (const auto& node : nodes) {
                visit(*node);
                walk(node->Children);
            }
        };
    walk(mRootNodes);
}

FolderNode* FolderTree::FindById(std::int32_t id) const {
    FolderNode* found = nullptr;
    ForEachPreOrder([&](FolderNode& node) {
        if (!found && node.Id == id) {
            found = &node;
        }
    });
    return found;
}

int FolderTree::Count() const {
    int count = 0;
    ForEachPreOrder([&](FolderNode&) { ++count; });
    return count;
}

QModelIndex FolderTree::IndexOf(const FolderNode* node) const {
    if (!node) {
        return {};
    }
    return createIndex(RowOf(node), 0, const_cast<FolderNode*>(node));
}

FolderNode* FolderTree::NodeAt(const QModelIndex& index) {
    return index.isValid() ? static_cast<FolderNode*>(index.internalPointer()) : nullptr;
}

QModelIndex FolderTree::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) {
        return {};
    }
    const auto& siblings = SiblingsOf(NodeAt(parent));
    if (row >= static_cast<int>(siblings.size())) {
        return {};
    }
    return createIndex(row, 0, siblings[row].get());
}

QModelIndex FolderTree::parent(const QModelIndex& child) const {
    const FolderNode* node = NodeAt(child);
    return node ? IndexOf(node->Parent) : QModelIndex();
}

int FolderTree::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) {
        return 0;
    }
    return static_cast<int>(SiblingsOf(NodeAt(parent)).size());
}

int FolderTree::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant FolderTree::data(const QModelIndex& index, int role) const {
    const FolderNode* node = NodeAt(index);
    if (!node || (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return {};
    }
    return QString::fromUtf8(node->Name);
}

Qt::ItemFlags FolderTree::flags(const QModelIndex& index) const {
    const FolderNode* node = NodeAt(index);
    if (!node) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled;
    if (!node->IsRoot()) {
        f |= Qt::ItemIsEditable | Qt::ItemIsDragEnabled; // the two roots never change
    }
    return f;
}

QStringList FolderTree::mimeTypes() const {
    return {QString::fromLatin1(FolderMimeType)};
}

QMimeData* FolderTree::mimeData(const QModelIndexList& indexes) const {
    const FolderNode* node = indexes.isEmpty() ? nullptr : NodeAt(indexes.first());
    if (!node) {
        return nullptr;
    }
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(FolderMimeType), QByteArray::number(node->Id));
    return data;
}

bool FolderTree::setData(const QModelIndex& index, const QVariant& value, int role) {
    FolderNode* node = NodeAt(index);
    if (!node || role != Qt::EditRole || node->IsRoot() || !RenameHandler) {
        return false;
    }
    return RenameHandler(node, value.toString());
}

} // namespace tellamo
