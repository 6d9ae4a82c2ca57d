#include "catalogue/NoteTable.h"

#include <algorithm>
#include <unordered_set>

namespace tellamo {

void NoteTable::SetFilter(Filter filter) {
    FilterFunction = std::move(filter);
    Refresh();
}

void NoteTable::Refresh() {
    RebuildShown(CurrentRecord);
}

void NoteTable::RebuildShown(NoteRecord* preferredCurrent) {
    NoteRecord* oldCurrent = CurrentRecord;
    ShownRecords.clear();
    for (const auto& record : Records) {
        if (Passes(*record)) {
            record->ShownRow = static_cast<int>(ShownRecords.size());
            ShownRecords.push_back(record.get());
        } else {
            record->ShownRow = -1;
        }
    }
    if (preferredCurrent && preferredCurrent->ShownRow >= 0) {
        CurrentRecord = preferredCurrent;
    } else {
        CurrentRecord = ShownRecords.empty() ? nullptr : ShownRecords.front();
    }
    emit ShownChanged();
    if (CurrentRecord != oldCurrent) {
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
        if (record == CurrentRecord) {
            if (row + 1 < static_cast<int>(ShownRecords.size())) {
                next = ShownRecords[row + 1];
            } else if (row > 0) {
                next = ShownRecords[row - 1];
            }
        }
        RebuildShown(record == CurrentRecord ? next : CurrentRecord);
    } else {
        RebuildShown(CurrentRecord);
    }
}

void NoteTable::SetCurrent(NoteRecord* record) {
    if (!record || record->ShownRow < 0 || record == CurrentRecord) {
        return;
    }
    CurrentRecord = record;
    emit CurrentChanged();
}

void NoteTable::SetCurrentRow(int row) {
    if (row >= 0 && row < static_cast<int>(ShownRecords.size())) {
        SetCurrent(ShownRecords[row]);
    }
}

NoteRecord* NoteTable::Append(std::unique_ptr<NoteRecord> record) {
    NoteRecord* added = record.get();
    added->Sequence = NextSequence++;
    added->ShownRow = -1;
    added->Selected = false;
    Records.push_back(std::move(record));
    LastAdded = added;
    if (Passes(*added)) {
        added->ShownRow = static_cast<int>(ShownRecords.size());
        ShownRecords.push_back(added);
        emit ShownChanged();
        CurrentRecord = added;
        emit CurrentChanged();
    }
    return added;
}

void NoteTable::RemoveIf(const std::function<bool(const NoteRecord&)>& remove) {
    std::unordered_set<const NoteRecord*> doomed;
    for (const auto& record : Records) {
        if (remove(*record)) {
            doomed.insert(record.get());
        }
    }
    if (doomed.empty()) {
        return;
    }
    // The next shown note that survives becomes current, else the previous one.
    NoteRecord* nextCurrent = CurrentRecord;
    if (CurrentRecord && doomed.count(CurrentRecord)) {
        nextCurrent = nullptr;
        if (CurrentRecord->ShownRow >= 0) {
            for (std::size_t i = CurrentRecord->ShownRow + 1; i < ShownRecords.size(); ++i) {
                if (!doomed.count(ShownRecords[i])) {
                    nextCurrent = ShownRecords[i];
                    break;
                }
            }
            for (int i = CurrentRecord->ShownRow - 1; !nextCurrent && i >= 0; --i) {
                if (!doomed.count(ShownRecords[i])) {
                    nextCurrent = ShownRecords[i];
                }
            }
        }
    }
    const std::size_t selectedBefore = SelectedRecords.size();
    std::erase_if(SelectedRecords, [&](NoteRecord* r) { return doomed.count(r) != 0; });
    if (LastAdded && doomed.count(LastAdded)) {
        LastAdded = nullptr;
    }
    if (CurrentRecord && doomed.count(CurrentRecord)) {
        CurrentRecord = nullptr;
    }
    std::erase_if(Records,
                  [&](const std::unique_ptr<NoteRecord>& r) { return doomed.count(r.get()) != 0; });
    RebuildShown(nextCurrent);
    if (SelectedRecords.size() != selectedBefore) {
        emit SelectionChanged();
    }
}

void NoteTable::Clear() {
    const bool hadSelection = !SelectedRecords.empty();
    SelectedRecords.clear();
    LastAdded = nullptr;
    CurrentRecord = nullptr;
    Records.clear();
    RebuildShown(nullptr);
    emit CurrentChanged();
    if (hadSelection) {
        emit SelectionChanged();
    }
}

void NoteTable::AppendLoaded(std::vector<std::unique_ptr<NoteRecord>> records) {
    Records.reserve(Records.size() + records.size());
    for (auto& record : records) {
        record->Sequence = NextSequence++;
        record->Selected = false;
        Records.push_back(std::move(record));
    }
    RebuildShown(CurrentRecord);
}

void NoteTable::SetSelected(NoteRecord* record, bool selected) {
    if (!record || record->Selected == selected) {
        return;
    }
    record->Selected = selected;
    if (selected) {
        SelectedRecords.push_back(record);
    } else {
        std::erase(SelectedRecords, record);
    }
    emit SelectionChanged();
}

void NoteTable::ClearSelection() {
    if (SelectedRecords.empty()) {
        return;
    }
    for (NoteRecord* record : SelectedRecords) {
        record->Selected = false;
    }
    SelectedRecords.clear();
    emit SelectionChanged();
}

void NoteTable::Reorder(const std::vector<std::uint32_t>& order) {
    std::vector<std::unique_ptr<NoteRecord>> sorted;
    sorted.reserve(Records.size());
    for (const std::uint32_t index : order) {
        sorted.push_back(std::move(Records[index]));
    }
    Records = std::move(sorted);
    RebuildShown(CurrentRecord);
}

} // namespace tellamo
