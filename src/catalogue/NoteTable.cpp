#include "catalogue/NoteTable.h"

#include <algorithm>
#include <iterator>
#include <unordered_set>

namespace tellamo {

void NoteTable::SetFilter(Filter filter) {
    mFilterFunction = std::move(filter);
    Refresh();
}

void NoteTable::NarrowFilter(Filter filter) {
    mFilterFunction = std::move(filter);
    NoteRecord* oldCurrent = mCurrentRecord;
    ++mRebuildCount;
    std::size_t kept = 0;
    for (NoteRecord* record : mShownRecords) {
        if (Passes(*record)) {
            record->ShownRow = static_cast<int>(kept);
            mShownRecords[kept++] = record;
        } else {
            record->ShownRow = -1;
        }
    }
    mShownRecords.resize(kept);
    ShownRebuilt(oldCurrent, mCurrentRecord);
}

void NoteTable::Refresh() {
    RebuildShown(mCurrentRecord);
}

void NoteTable::RebuildShown(NoteRecord* preferredCurrent) {
    NoteRecord* oldCurrent = mCurrentRecord;
    ++mRebuildCount;
    mShownRecords.clear();
    // At most every note shows; growing by doubling would leave the outgrown copies in the heap.
    mShownRecords.reserve(mRecords.size());
    for (const auto& record : mRecords) {
        if (Passes(*record)) {
            record->ShownRow = static_cast<int>(mShownRecords.size());
            mShownRecords.push_back(record.get());
        } else {
            record->ShownRow = -1;
        }
    }
    ShownRebuilt(oldCurrent, preferredCurrent);
}

void NoteTable::ShownRebuilt(NoteRecord* oldCurrent, NoteRecord* preferredCurrent) {
    if (preferredCurrent && preferredCurrent->ShownRow >= 0) {
        mCurrentRecord = preferredCurrent;
    } else {
        mCurrentRecord = mShownRecords.empty() ? nullptr : mShownRecords.front();
    }
    emit ShownChanged();
    if (mCurrentRecord != oldCurrent) {
        emit CurrentChanged();
    }
}

void NoteTable::RecordChanged(NoteRecord* record) {
    if (!record) {
        return;
    }
    record->FieldsChanged();
    const bool shown = record->ShownRow >= 0;
    if (Passes(*record) == shown) {
        if (shown) {
            emit RecordDataChanged(record);
        }
        return;
    }
    if (shown) {
        // It leaves the list: the current note moves on as after a deletion.
        const int row = record->ShownRow;
        NoteRecord* next = nullptr;
        if (record == mCurrentRecord) {
            if (row + 1 < static_cast<int>(mShownRecords.size())) {
                next = mShownRecords[row + 1];
            } else if (row > 0) {
                next = mShownRecords[row - 1];
            }
        }
        RebuildShown(record == mCurrentRecord ? next : mCurrentRecord);
    } else {
        RebuildShown(mCurrentRecord);
    }
}

void NoteTable::SetCurrent(NoteRecord* record) {
    if (!record || record->ShownRow < 0 || record == mCurrentRecord) {
        return;
    }
    mCurrentRecord = record;
    emit CurrentChanged();
}

void NoteTable::SetCurrentRow(int row) {
    if (row >= 0 && row < static_cast<int>(mShownRecords.size())) {
        SetCurrent(mShownRecords[row]);
    }
}

NoteRecord* NoteTable::Append(std::unique_ptr<NoteRecord> record) {
    NoteRecord* added = record.get();
    added->Sequence = mNextSequence++;
    added->ShownRow = -1;
    added->Selected = false;
    mRecords.push_back(std::move(record));
    mLastAdded = added;
    if (Passes(*added)) {
        added->ShownRow = static_cast<int>(mShownRecords.size());
        mShownRecords.push_back(added);
        emit ShownChanged();
        mCurrentRecord = added;
        emit CurrentChanged();
    }
    return added;
}

void NoteTable::RemoveIf(const std::function<bool(const NoteRecord&)>& remove) {
    std::unordered_set<const NoteRecord*> doomed;
    for (const auto& record : mRecords) {
        if (remove(*record)) {
            doomed.insert(record.get());
        }
    }
    if (doomed.empty()) {
        return;
    }
    // The next shown note that survives becomes current, else the previous one.
    NoteRecord* nextCurrent = mCurrentRecord;
    if (mCurrentRecord && doomed.count(mCurrentRecord)) {
        nextCurrent = nullptr;
        if (mCurrentRecord->ShownRow >= 0) {
            for (std::size_t i = mCurrentRecord->ShownRow + 1; i < mShownRecords.size(); ++i) {
                if (!doomed.count(mShownRecords[i])) {
                    nextCurrent = mShownRecords[i];
                    break;
                }
            }
            for (int i = mCurrentRecord->ShownRow - 1; !nextCurrent && i >= 0; --i) {
                if (!doomed.count(mShownRecords[i])) {
                    nextCurrent = mShownRecords[i];
                }
            }
        }
    }
    const std::size_t selectedBefore = mSelectedRecords.size();
    std::erase_if(mSelectedRecords, [&](NoteRecord* r) { return doomed.count(r) != 0; });
    if (mLastAdded && doomed.count(mLastAdded)) {
        mLastAdded = nullptr;
    }
    if (mCurrentRecord && doomed.count(mCurrentRecord)) {
        mCurrentRecord = nullptr;
    }
    std::erase_if(mRecords,
                  [&](const std::unique_ptr<NoteRecord>& r) { return doomed.count(r.get()) != 0; });
    RebuildShown(nextCurrent);
    if (mSelectedRecords.size() != selectedBefore) {
        emit SelectionChanged();
    }
}

void NoteTable::Clear() {
    const bool hadSelection = !mSelectedRecords.empty();
    mSelectedRecords.clear();
    mLastAdded = nullptr;
    mCurrentRecord = nullptr;
    mRecords.clear();
    RebuildShown(nullptr);
    emit CurrentChanged();
    if (hadSelection) {
        emit SelectionChanged();
    }
}

void NoteTable::AppendLoaded(std::vector<std::unique_ptr<NoteRecord>> records) {
    mNextSequence += records.size();
    if (mRecords.empty()) {
        mRecords = std::move(records); // no second array of a lifetime of pointers
        return;
    }
    mRecords.reserve(mRecords.size() + records.size());
    std::move(records.begin(), records.end(), std::back_inserter(mRecords));
}

void NoteTable::SetSelected(NoteRecord* record, bool selected) {
    if (!record || record->Selected == selected) {
        return;
    }
    record->Selected = selected;
    if (selected) {
        mSelectedRecords.push_back(record);
    } else {
        std::erase(mSelectedRecords, record);
    }
    emit SelectionChanged();
}

void NoteTable::ClearSelection() {
    if (mSelectedRecords.empty()) {
        return;
    }
    for (NoteRecord* record : mSelectedRecords) {
        record->Selected = false;
    }
    mSelectedRecords.clear();
    emit SelectionChanged();
}

void NoteTable::Reorder(const std::vector<std::uint32_t>& order) {
    std::vector<std::unique_ptr<NoteRecord>> sorted;
    sorted.reserve(mRecords.size());
    for (const std::uint32_t index : order) {
        sorted.push_back(std::move(mRecords[index]));
    }
    mRecords = std::move(sorted);
    RebuildShown(mCurrentRecord);
}

} // namespace tellamo
