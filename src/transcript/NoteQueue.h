#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tellamo {

// Notes waiting for the transcript worker, in the order they were added: each note's file name
// and, where the worker needs it, its description, packed. A name of six digits (every note the
// program records has one) is kept as its number; any other name is kept in the text beside
// the descriptions. A hundred thousand notes with descriptions take about 6 MB, and the memory
// goes back as soon as the last note has left. Not thread-safe: the worker guards its queues.
class NoteQueue {
public:
    // Room for this many notes without growing (the text grows as needed).
    void Reserve(std::size_t notes);
    // Adds a note at the back.
    void Push(std::string_view fileName, std::string_view description = {});
    bool Empty() const { return mLive == 0; }
    std::size_t Size() const { return mLive; }

    // The note at the front; only when the queue is not empty.
    std::string FrontName() const;
    std::string FrontDescription() const;
    void PopFront();

    // Leaves out every note with one of these names.
    void Remove(const std::vector<std::string>& fileNames);
    // Empties the queue and gives its memory back.
    void Clear();

private:
    struct Entry {
        std::uint64_t TextAt;    // in mText: the name unless it is a number, then the description
        std::uint32_t Number;    // the six-digit name's number, else NotANumber or Removed
        std::uint32_t NameBytes; // in mText; 0 for a number
    };
    static constexpr std::uint32_t NotANumber = 0xFFFF'FFFF;
    static constexpr std::uint32_t Removed = 0xFFFF'FFFE;

    std::string Name(std::size_t index) const;
    std::string Description(std::size_t index) const;
    // Moves the front past removed notes, and frees everything once none is left.
    void SkipRemoved();

    std::vector<Entry> mEntries;
    std::string mText;
    std::size_t mHead = 0; // the entries before it have left the queue
    std::size_t mLive = 0; // entries from mHead on that were not removed
};

} // namespace tellamo
