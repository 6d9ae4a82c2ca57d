#pragma once

#include <QAbstractTableModel>
#include <QStringList>

namespace tellamo {

class NoteTable;
struct NoteRecord;

// The note list's model: one row per note the table shows, the six field columns and the
// filler. Cell texts are made when a view asks for them, so a list of 100,000 notes costs
// nothing up front. Read-only; the table's signals keep it current.
class NoteListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        DescriptionColumn,
        StartColumn,
        DurationColumn,
        BitRateColumn,
        SampleRateColumn,
        FileSizeColumn,
        FillerColumn,
        ColumnCount
    };
    // The record field each column shows ("" for the filler), as the settings file names them.
    static const char* FieldName(int column);

    explicit NoteListModel(NoteTable& table, QObject* parent = nullptr);

    void SetTitles(const QStringList& titles);
    NoteRecord* RecordAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // A column title set by a translation file.
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Dragging rows onto a folder: what moves is the list's selection (or its current row).
    static constexpr const char* NotesMimeType = "application/x-tellamo-notes";
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override {
        return Qt::MoveAction | Qt::CopyAction;
    }

private:
    NoteTable& mTable;
    QStringList mTitles;
};

} // namespace tellamo
