#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <QString>

#include "common/OleDate.h"

namespace tellamo {

struct FolderNode;

// One note of the catalogue. Texts are UTF-8 bytes as the index file holds them, so that bytes
// of another encoding survive a load and a save unchanged.
struct NoteRecord {
    static constexpr std::size_t DescriptionBytes = 127;
    static constexpr std::size_t FileNameBytes = 6;

    // The fields that the load's passes over every note and the folder filter touch come
    // first, so that each pass reads one cache line of a note, not three.
    // The folder with FolderID, rebuilt from it on loading; null while no such folder exists.
    FolderNode* ParentPointer = nullptr;
    std::int32_t FolderID = -1;
    int ShownRow = -1; // row in the note list, -1 while the filter hides the note
    std::string FileName;

    // Whole milliseconds, 0..86,399,999; empty until the recording is completed.
    std::optional<std::int32_t> Duration;
    LocalTimeMs Start = 0;
    std::string Description;
    std::uint16_t SampleRate = 0;
    std::uint16_t BitRate = 0;
    // WAV size in kilobytes; empty until the recording is completed.
    std::optional<std::int32_t> FileSizeKB;

    // Bookkeeping of the note table, not stored.
    bool Selected = false;      // in the note list's multi-selection
    std::uint64_t Sequence = 0; // order of creation, the last key of every sort

    // The filter's search texts as UTF-8, made when the text filter first needs them and
    // dropped when a field changes. Held apart so that a note the filter never searched costs
    // one pointer, not two texts.
    struct SearchCache {
        std::string Text;
        std::string Lower;
        bool HasLower = false;
    };
    mutable std::unique_ptr<SearchCache> Search;
    // Call after changing a field that the search text shows.
    void FieldsChanged() { Search.reset(); }
};

} // namespace tellamo
