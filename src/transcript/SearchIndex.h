#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Errors.h"
#include "transcript/Transcript.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tellamo {

// The index file is damaged (or not an index at all); throw it away and build it again from the
// transcripts, which are the real copies.
class IndexDamaged : public TellamoError {
public:
    using TellamoError::TellamoError;
};

// The notes a search found, asked about one note after another (the window's filter asks about
// every note of the catalogue on every keystroke). A six-digit name, the catalogue's own kind, is
// a bit at its number, so that a question costs no comparison of texts and the notes may come in
// any order; other names are kept sorted.
class FoundNotes {
public:
    bool Contains(std::string_view fileName) const {
        if (const std::int32_t number = SixDigitNumber(fileName); number >= 0) {
            const auto n = static_cast<std::uint32_t>(number);
            return n / 64 < mNumberBits.size() && (mNumberBits[n / 64] >> (n % 64) & 1) != 0;
        }
        return !mOtherNames.empty() && ContainsOther(fileName);
    }
    std::size_t Size() const { return mCount; }
    bool Empty() const { return mCount == 0; }

    // The number of a name of six digits ("042977" is 42977); -1 for any other name.
    static std::int32_t SixDigitNumber(std::string_view name) {
        if (name.size() != 6) {
            return -1;
        }
        std::int32_t number = 0;
        for (const char c : name) {
            if (c < '0' || c > '9') {
                return -1;
            }
            number = number * 10 + (c - '0');
        }
        return number;
    }

private:
    friend class SearchIndex;
    bool ContainsOther(std::string_view fileName) const;

    std::vector<std::uint64_t> mNumberBits; // bit n: the note named by the six digits of n
    std::vector<std::string> mOtherNames;   // ascending
    std::size_t mCount = 0;
};

// What the index holds of one note: its transcript's words, its description, and the stamp of
// the .vtt file the words came from (to tell when it must be read again).
struct IndexEntry {
    std::string Words;
    std::string Description;
    std::optional<SourceStamp> TranscriptStamp; // none: the note has no transcript yet
};

// The full-text index of the notes' transcripts and descriptions: SQLite FTS5 in the cache
// folder. A rebuildable copy of the .vtt files and the catalogue's descriptions, never the only
// copy of anything: a missing, foreign or damaged file is deleted and made anew (WasRebuilt),
// and its owner fills it again. Each thread opens its own SearchIndex on the file (the worker
// writes, the window reads); SQLite's locks and WAL journal keep them apart. Failures are thrown
// as TellamoError, damage found later as IndexDamaged.
class SearchIndex {
public:
    // Opens the index file at path, never through a link planted there, creating it (and
    // nothing above it) when missing.
    explicit SearchIndex(const std::string& path);
    ~SearchIndex();
    SearchIndex(const SearchIndex&) = delete;
    SearchIndex& operator=(const SearchIndex&) = delete;

    // True when the file had to be made anew: every note must be added again.
    bool WasRebuilt() const { return mRebuilt; }
    // Deletes the index file and its journal (after IndexDamaged, before opening it again).
    static void Discard(const std::string& path);

    // Adds the note or replaces what the index holds of it.
    void Put(const std::string& fileName, const IndexEntry& entry);
    // Changes only the description (adds the note without a transcript when it is unknown).
    void SetDescription(const std::string& fileName, const std::string& description);
    void Remove(const std::string& fileName);
    // What the index holds of the note; nullopt when it does not know it.
    std::optional<IndexEntry> Get(const std::string& fileName);
    std::vector<std::string> FileNames();

    // Several changes in one transaction (much faster when many notes are added).
    void BeginBatch();
    void CommitBatch();
    // Drops a batch cut short by a failure (nothing when none is open).
    void RollbackBatch();
    // Gives back the pages the connection keeps cached (read again from the file when needed).
    void ReleaseMemory();

    // The file names of the notes in whose transcript or description every typed word occurs,
    // a word also matching the beginning of a longer one ("budg" finds "budget"). Case and
    // accents do not count; punctuation separates words. Nothing typed finds nothing.
    std::vector<std::string> Find(std::string_view typed);
    // The same notes as Find, in the form the window's filter asks about note by note.
    FoundNotes FindNotes(std::string_view typed);
    // A number that changes whenever another connection (the worker's) has changed the file:
    // equal before and after two searches, they were made on the same notes.
    std::int64_t DataVersion();

private:
    void Open();
    void RegisterIdCollector();
    void Exec(const char* sql);
    sqlite3_stmt* Prepare(const char* sql);
    [[noreturn]] void Fail(int code, const std::string& what);
    void Check(int code, const char* what);
    // The row ids of the notes Find finds, into mFoundIds (a note's id is its number when it has
    // a six-digit name); false when nothing was typed.
    bool FindIds(std::string_view typed);
    std::vector<std::string> NamesOfIds(const std::vector<std::int64_t>& ids);

    std::string mPath;
    sqlite3* mDb = nullptr;
    bool mRebuilt = false;
    int mLastFailure = 0; // the library's code of the last failure thrown (0: none)
    // A search's row ids between the query and the answer, kept so that a keystroke that finds
    // every note does not grow a new array of them each time. The connection's FTS5 function
    // tellamo_found_ids fills it through its address (a SearchIndex never moves).
    std::vector<std::int64_t> mFoundIds;
    bool mHasIdCollector = false; // false: the library gave no FTS5 interface to make it with
    struct QueryTokenizer;
    std::unique_ptr<QueryTokenizer> mQueryTokenizer; // none without that interface
};

// The words of what was typed, as the index compares them: case-folded, split at every
// character that is neither a letter, a digit, a combining mark nor a private-use character.
std::vector<std::string> SearchTokens(std::string_view typed);

// Where in a transcript the typed words are first found: the first word that one of them
// begins (by SearchTokens' rules); nullopt when none is.
struct TranscriptMatch {
    std::size_t WordIndex = 0; // in Transcript::Words()
    std::int64_t StartMs = 0;
};
std::optional<TranscriptMatch> FirstMatch(const std::vector<TimedWord>& words,
                                          std::string_view typed);

} // namespace tellamo
