#pragma once

#include <array>

#include <QStyledItemDelegate>

class QAction;

namespace tellamo {

class Catalogue;
struct FolderNode;

// The picture of a folder in the tree: the Recycle Bin or a yellow folder, open when selected,
// with a magnifying glass when the selected folder's list also shows its sub-folders' notes.
int FolderImageIndex(const FolderNode* node, bool selected, bool affiliated,
                     const FolderNode* recycleBin);

// Draws each folder of the tree with its picture.
class FolderIconDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    FolderIconDelegate(Catalogue& catalogue, const QAction& affiliateAction, QObject* parent);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    Catalogue& mCat;
    const QAction& mAffiliate;
    std::array<QIcon, 6> mImages;
};

} // namespace tellamo
