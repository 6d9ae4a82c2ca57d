#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QObject>

#include "catalogue/NoteRecord.h"

namespace tellamo {

// The note table: every record in table order, the subset the note list shows (the filter), the
// current note, the multi-selection and the note added last. Records never move in memory, so a
// NoteRecord* serves as a bookmark whatever the filter shows. Window thread only.
class NoteTable : public QObject {
    Q_OBJECT
public:
    using Filter = std::function<bool(const NoteRecord&)>;

    NoteTable() = default;

    const std::vector<std::unique_ptr<NoteRecord>>& All() const { return mRecords; }
    const std::vector<NoteRecord*>& Shown() const { return mShownRecords; }
    bool IsEmpty() const { return mShownRecords.empty(); } // what the note list shows

    // The filter decides which notes are shown; an empty filter shows every note.
    void SetFilter(Filter filter);
    // As SetFilter, for a filter that lets through no note the current one hides (a filter text
    // typed further): only the shown notes are asked, in their order.
    void NarrowFilter(Filter filter);
    // Re-applies the filter to every record; the current note stays current while it is still
    // shown, otherwise the first shown note becomes current.
    void Refresh();
    // How many times the shown rows have been rebuilt: tells a caller whether a signal it
    // emitted made the views refresh the table already.
    std::uint64_t RebuildCount() const { return mRebuildCount; }
    // Re-applies the filter to one changed record.
    void RecordChanged(NoteRecord* record);

    NoteRecord* Current() const { return mCurrentRecord; }
    int CurrentRow() const { return mCurrentRecord ? mCurrentRecord->ShownRow : -1; }
    // Makes a shown record current; a hidden one or null is ignored.
    void SetCurrent(NoteRecord* record);
    void SetCurrentRow(int row);

    // Appends a record at the end of the table; it becomes current when the filter shows it.
    NoteRecord* Append(std::unique_ptr<NoteRecord> record);
    // Removes the records for which remove() is true (bookmarks to them die with them). The
    // current note moves to the next shown note, or the previous one at the end.
    void RemoveIf(const std::function<bool(const NoteRecord&)>& remove);
    void Clear();
    // Appends records read from the index file in one go (no note becomes the note added last).
    // They are new records (neither shown nor selected) that the reader numbered in file order
    // from NextSequence() on as it made them: a lifetime of notes is not walked once more for it.
    // They are not shown until the next Refresh, which the load makes once it has linked them to
    // their folders; filtering them before would be a pass over every note for nothing.
    void AppendLoaded(std::vector<std::unique_ptr<NoteRecord>> records);
    std::uint64_t NextSequence() const { return mNextSequence; }

    NoteRecord* LastAddedNote() const { return mLastAdded; }
    // Puts back the note added last (a record of this table or null) after adds that must not
    // take its place, such as notes restored while a recording runs.
    void SetLastAddedNote(NoteRecord* record) { mLastAdded = record; }

    // The multi-selection, in the order notes were added to it.
    const std::vector<NoteRecord*>& Selection() const { return mSelectedRecords; }
    void SetSelected(NoteRecord* record, bool selected);
    void ClearSelection();

    // Puts the records in a new order (a sort): order[i] is the index in All() of the record
    // that comes i-th, each index once. The shown rows follow.
    void Reorder(const std::vector<std::uint32_t>& order);

signals:
    // The shown rows were rebuilt: a view resets itself.
    void ShownChanged();
    // A shown record's fields changed and it is still shown at the same row.
    void RecordDataChanged(tellamo::NoteRecord* record);
    void CurrentChanged();
    void SelectionChanged();

private:
    bool Passes(const NoteRecord& record) const {
        return !mFilterFunction || mFilterFunction(record);
    }
    void RebuildShown(NoteRecord* preferredCurrent);
    // The end of a rebuild of the shown rows: the current note and the signals.
    void ShownRebuilt(NoteRecord* oldCurrent, NoteRecord* preferredCurrent);

    std::vector<std::unique_ptr<NoteRecord>> mRecords;
    std::vector<NoteRecord*> mShownRecords;
    std::vector<NoteRecord*> mSelectedRecords;
    NoteRecord* mCurrentRecord = nullptr;
    NoteRecord* mLastAdded = nullptr;
    Filter mFilterFunction;
    std::uint64_t mNextSequence = 1;
    std::uint64_t mRebuildCount = 0;
};

} // namespace tellamo
