#include "mainwindow/FolderIcons.h"

#include <QAction>

#include "catalogue/Catalogue.h"
#include "mainwindow/Glyphs.h"

namespace tellamo {

int FolderImageIndex(const FolderNode* node, bool selected, bool affiliated,
                     const FolderNode* recycleBin) {
    const bool isBin = node == recycleBin;
    if (!selected) {
        return isBin ? 2 : 0;
    }
    if (affiliated) {
        return isBin ? 4 : 5;
    }
    return isBin ? 3 : 1;
}

FolderIconDelegate::FolderIconDelegate(Catalogue& catalogue, const QAction& affiliateAction,
                                       QObject* parent)
    : QStyledItemDelegate(parent), mCat(catalogue), mAffiliate(affiliateAction) {
    for (int i = 0; i < 6; ++i) {
        mImages[static_cast<std::size_t>(i)] = TreeImage(i);
    }
}

void FolderIconDelegate::initStyleOption(QStyleOptionViewItem* option,
                                         const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    const FolderNode* node = FolderTree::NodeAt(index);
    const int image = FolderImageIndex(node, node == mCat.SelectedFolder(), mAffiliate.isChecked(),
                                       mCat.RecycleBinNode());
    option->icon = mImages[static_cast<std::size_t>(image)];
    option->features |= QStyleOptionViewItem::HasDecoration;
    option->decorationSize = QSize(16, 16);
}

} // namespace tellamo
