#include "mainwindow/NoteListModel.h"

#include <QMimeData>

#include "catalogue/NoteTable.h"
#include "catalogue/NoteTexts.h"

namespace tellamo {

const char* NoteListModel::FieldName(int column) {
    static const char* const names[] = {"Description", "Start",      "Duration", "BitRate",
                                        "SampleRate",  "FileSizeKB", ""};
    return column >= 0 && column < ColumnCount ? names[column] : "";
}

NoteListModel::NoteListModel(NoteTable& table, QObject* parent)
    : QAbstractTableModel(parent), mTable(table) {
    for (int c = 0; c < ColumnCount; ++c) {
        mTitles << QString();
    }
    connect(&mTable, &NoteTable::ShownChanged, this, [this] {
        beginResetModel();
        endResetModel();
    });
    connect(&mTable, &NoteTable::RecordDataChanged, this, [this](NoteRecord* record) {
        if (record->ShownRow >= 0) {
            emit dataChanged(index(record->ShownRow, 0), index(record->ShownRow, ColumnCount - 1));
        }
    });
}

void NoteListModel::SetTitles(const QStringList& titles) {
    mTitles = titles;
    while (mTitles.size() < ColumnCount) {
        mTitles << QString();
    }
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

NoteRecord* NoteListModel::RecordAt(int row) const {
    const auto& shown = mTable.Shown();
    return row >= 0 && row < static_cast<int>(shown.size()) ? shown[row] : nullptr;
}

int NoteListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(mTable.Shown().size());
}

int NoteListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant NoteListModel::data(const QModelIndex& index, int role) const {
    const NoteRecord* note = RecordAt(index.row());
    if (note && role == Qt::AccessibleTextRole) {
        // A screen reader reads the row whichever of its cells has the focus: when, how long,
        // what.
        QString row = ShortStartText(note->Start) + ", " + DurationText(note->Duration);
        if (!note->Description.empty()) {
            row += ", " + QString::fromUtf8(note->Description);
        }
        return row;
    }
    if (!note || role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
    case DescriptionColumn:
        return QString::fromUtf8(note->Description);
    case StartColumn:
        return ShortStartText(note->Start);
    case DurationColumn:
        return NoteDurationText(*note);
    case BitRateColumn:
        return QString::number(note->BitRate);
    case SampleRateColumn:
        return QString::number(note->SampleRate);
    case FileSizeColumn:
        return note->FileSizeKB ? QString::number(*note->FileSizeKB) : QString();
    default:
        return {};
    }
}

Qt::ItemFlags NoteListModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled
                           : Qt::NoItemFlags;
}

QStringList NoteListModel::mimeTypes() const {
    return {QString::fromLatin1(NotesMimeType)};
}

QMimeData* NoteListModel::mimeData(const QModelIndexList&) const {
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(NotesMimeType), QByteArray());
    return data;
}

QVariant NoteListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount) {
        return {};
    }
    return mTitles[section];
}

bool NoteListModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                                  int role) {
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::EditRole) ||
        section < 0 || section >= FillerColumn) {
        return false;
    }
    mTitles[section] = value.toString();
    emit headerDataChanged(Qt::Horizontal, section, section);
    return true;
}

} // namespace tellamo
