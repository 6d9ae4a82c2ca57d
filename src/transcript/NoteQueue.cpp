#include "transcript/NoteQueue.h"

#include <algorithm>
#include <unordered_set>

namespace tellamo {

namespace {
constexpr std::size_t NumberDigits = 6;

bool IsSixDigits(std::string_view name) {
    return name.size() == NumberDigits &&
           std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}
} // namespace

void NoteQueue::Reserve(std::size_t notes) {
    mEntries.reserve(mEntries.size() + notes);
}

void NoteQueue::Push(std::string_view fileName, std::string_view description) {
    Entry entry{mText.size(), NotANumber, 0};
    if (IsSixDigits(fileName)) {
        entry.Number = 0;
        for (const char c : fileName) {
            entry.Number = entry.Number * 10 + static_cast<std::uint32_t>(c - '0');
        }
    } else {
        entry.NameBytes = static_cast<std::uint32_t>(fileName.size());
        mText.append(fileName);
    }
    mText.append(description);
    mEntries.push_back(entry);
    ++mLive;
}

std::string NoteQueue::Name(std::size_t index) const {
    const Entry& entry = mEntries[index];
    if (entry.Number == NotANumber) {
        return mText.substr(entry.TextAt, entry.NameBytes);
    }
    std::string name(NumberDigits, '0');
    std::uint32_t number = entry.Number;
    for (std::size_t i = NumberDigits; i-- > 0; number /= 10) {
        name[i] = static_cast<char>('0' + number % 10);
    }
    return name;
}

std::string NoteQueue::Description(std::size_t index) const {
    // Each note's text ends where the next one's begins.
    const Entry& entry = mEntries[index];
    const std::size_t from = entry.TextAt + entry.NameBytes;
    const std::size_t to = index + 1 < mEntries.size() ? mEntries[index + 1].TextAt : mText.size();
    return mText.substr(from, to - from);
}

std::string NoteQueue::FrontName() const {
    return Name(mHead);
}

std::string NoteQueue::FrontDescription() const {
    return Description(mHead);
}

void NoteQueue::PopFront() {
    if (mLive == 0) {
        return;
    }
    ++mHead;
    --mLive;
    SkipRemoved();
}

void NoteQueue::Remove(const std::vector<std::string>& fileNames) {
    if (mLive == 0 || fileNames.empty()) {
        return;
    }
    const std::unordered_set<std::string> gone(fileNames.begin(), fileNames.end());
    for (std::size_t i = mHead; i < mEntries.size(); ++i) {
        // Marked, not erased: the next note's text tells where this one's ends.
        if (mEntries[i].Number != Removed && gone.contains(Name(i))) {
            mEntries[i].Number = Removed;
            --mLive;
        }
    }
    SkipRemoved();
}

void NoteQueue::SkipRemoved() {
    while (mHead < mEntries.size() && mEntries[mHead].Number == Removed) {
        ++mHead;
    }
    if (mLive == 0) {
        Clear();
    }
}

void NoteQueue::Clear() {
    std::vector<Entry>().swap(mEntries);
    std::string().swap(mText);
    mHead = 0;
    mLive = 0;
}

} // namespace tellamo
