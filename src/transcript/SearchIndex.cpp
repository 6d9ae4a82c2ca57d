#include "transcript/SearchIndex.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <memory>
#include <thread>

#include <sqlite3.h>
#include <unistd.h>

#include <QString>

namespace tellamo {

namespace {

// Raised whenever the layout below changes: an index of another layout is simply rebuilt.
constexpr int LayoutVersion = 3;

// The Unicode categories of the characters that make up a word, in the index as in SearchTokens.
#define WordCategories "L* N* Co M*"

// detail=none keeps only which notes hold a word, not where: all the search needs, and the
// smallest index. The words themselves are kept once, in the note table, as the FTS5 table's
// external content. The prefix indexes of one to three letters make the first keystrokes cheap:
// without them "b" merges the lists of every word beginning with b (over 300 ms with 100,000
// notes). A note's row id is its six-digit number, so that a search yields names without
// reading the note table; other names get ids above the six digits. The tokenizer keeps the
// combining marks inside a word, as SearchTokens does: by default they separate, which cuts
// words such as Hindi "मानक" into pieces that a typed word can only match as a phrase.
constexpr const char* Layout = R"(
CREATE TABLE note(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE,
                  vtt_bytes INTEGER, vtt_ns INTEGER,
                  words TEXT NOT NULL DEFAULT '', description TEXT NOT NULL DEFAULT '');
CREATE VIRTUAL TABLE note_text USING fts5(words, description, content='note', content_rowid='id',
                                          detail=none, prefix='1 2 3',
                                          tokenize='unicode61 remove_diacritics 2 categories '')" WordCategories
                               R"(''');
CREATE TRIGGER note_added AFTER INSERT ON note BEGIN
  INSERT INTO note_text(rowid, words, description) VALUES (new.id, new.words, new.description);
END;
CREATE TRIGGER note_removed AFTER DELETE ON note BEGIN
  INSERT INTO note_text(note_text, rowid, words, description)
    VALUES ('delete', old.id, old.words, old.description);
END;
CREATE TRIGGER note_changed AFTER UPDATE ON note BEGIN
  INSERT INTO note_text(note_text, rowid, words, description)
    VALUES ('delete', old.id, old.words, old.description);
  INSERT INTO note_text(rowid, words, description) VALUES (new.id, new.words, new.description);
END;
)";

struct StatementDeleter {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

bool IsDamage(int code) {
    const int primary = code & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB || primary == SQLITE_FORMAT;
}

// The id of a new row: ?6, the six-digit number, else the next id above every other.
#define IdOfName                                                                                   \
    "CASE WHEN ?6 >= 0 THEN ?6 ELSE "                                                              \
    "(SELECT max(1000000, coalesce(max(id), 0)) + 1 FROM note) END"

void BindText(sqlite3_stmt* s, int index, std::string_view text) {
    sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string ColumnText(sqlite3_stmt* s, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(s, column)))
                : std::string();
}

// The ids of the names that are not six digits begin here.
constexpr std::int64_t FirstOtherId = 1'000'000;

// Whether a row id is a six-digit name's number. A file made by hand may hold any id; one below
// zero is looked up by its name like any other, never taken for a number.
bool IsNumberId(std::int64_t id) {
    return id >= 0 && id < FirstOtherId;
}

// The id of a six-digit name ("042977" is 42977); -1 for any other name.
std::int64_t SixDigitId(std::string_view name) {
    return FoundNotes::SixDigitNumber(name);
}

// By hand rather than through snprintf: a one-letter search names nearly every note, and the
// formatting was a third of its time.
std::string SixDigitName(std::int64_t id) {
    std::string name(6, '0');
    for (std::size_t i = 6; i-- > 0 && id > 0; id /= 10) {
        name[i] = static_cast<char>('0' + id % 10);
    }
    return name;
}

// An FTS5 string: in double quotes, a quote inside doubled.
std::string Quoted(const std::string& token) {
    std::string out = "\"";
    for (const char c : token) {
        out.push_back(c);
        if (c == '"') {
            out.push_back('"');
        }
    }
    return out + "\"";
}

} // namespace

// The index's own tokenizer, used to cut a typed word the way the index cut the notes' words: a
// word it cuts in two (a character that a newer Unicode than the library's calls a letter) must
// become two terms, since a phrase is a query this index cannot answer.
struct SearchIndex::QueryTokenizer {
    fts5_tokenizer Api{};
    Fts5Tokenizer* Instance = nullptr;

    ~QueryTokenizer() {
        if (Instance) {
            Api.xDelete(Instance);
        }
    }

    // The index's words in a typed word; false when the tokenizer failed.
    bool Split(const std::string& word, std::vector<std::string>& parts) {
        const auto add = [](void* out, int flags, const char* token, int size, int, int) {
            // An empty token is what a lone accent folds to: no word of a note holds it.
            if ((flags & FTS5_TOKEN_COLOCATED) == 0 && size > 0) {
                static_cast<std::vector<std::string>*>(out)->emplace_back(
                    token, static_cast<std::size_t>(size));
            }
            return SQLITE_OK;
        };
        return Api.xTokenize(Instance, &parts, FTS5_TOKENIZE_QUERY, word.data(),
                             static_cast<int>(word.size()), add) == SQLITE_OK;
    }
};

namespace {

// The FTS5 function tellamo_found_ids(note_text): called on the first row that the query
// matches, it adds the row id of every row that its one phrase matches in the whole table to the
// vector it was made with. FTS5 walks its own list of them, which is three times quicker for a
// first letter than a row of the statement for each of 100,000 notes.
void CollectFoundIds(const Fts5ExtensionApi* api, Fts5Context* fts, sqlite3_context* result, int,
                     sqlite3_value**) {
    auto* ids = static_cast<std::vector<std::int64_t>*>(api->xUserData(fts));
    if (api->xPhraseCount(fts) != 1) {
        sqlite3_result_error(result, "tellamo_found_ids wants a query of one phrase", -1);
        return;
    }
    ids->clear();
    const int code = api->xQueryPhrase(
        fts, 0, ids, [](const Fts5ExtensionApi* rowApi, Fts5Context* row, void* found) {
            static_cast<std::vector<std::int64_t>*>(found)->push_back(rowApi->xRowid(row));
            return SQLITE_OK;
        });
    if (code != SQLITE_OK) {
        sqlite3_result_error_code(result, code);
        return;
    }
    sqlite3_result_null(result);
}

} // namespace

std::vector<std::string> SearchTokens(std::string_view typed) {
    const QString text =
        QString::fromUtf8(typed.data(), static_cast<qsizetype>(typed.size())).toCaseFolded();
    std::vector<std::string> tokens;
    QString token;
    const auto flush = [&] {
        if (!token.isEmpty()) {
            tokens.push_back(token.toStdString());
            token.clear();
        }
    };
    // By whole characters, the index's categories (WordCategories): an emoji, beyond the first
    // 65,536 characters as many letters are, separates words like any other symbol.
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        const bool pair =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        if (pair) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
        }
        const QChar::Category category = QChar::category(c);
        const bool wordChar =
            (category >= QChar::Mark_NonSpacing && category <= QChar::Number_Other) ||
            (category >= QChar::Letter_Uppercase && category <= QChar::Letter_Other) ||
            category == QChar::Other_PrivateUse;
        if (wordChar) {
            token.append(text[i]);
            if (pair) {
                token.append(text[i + 1]);
            }
        } else {
            flush();
        }
        if (pair) {
            ++i;
        }
    }
    flush();
    return tokens;
}

std::optional<TranscriptMatch> FirstMatch(const std::vector<TimedWord>& words,
                                          std::string_view typed) {
    const std::vector<std::string> wanted = SearchTokens(typed);
    if (wanted.empty()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < words.size(); ++i) {
        for (const std::string& part : SearchTokens(words[i].Text)) {
            for (const std::string& prefix : wanted) {
                if (part.compare(0, prefix.size(), prefix) == 0) {
                    return TranscriptMatch{i, words[i].StartMs};
                }
            }
        }
    }
    return std::nullopt;
}

SearchIndex::SearchIndex(const std::string& path) : mPath(path) {
    // A connection that failed half-way is closed, its transaction with it: a caller that tries
    // again at every keystroke must not gather connections, nor leave one holding the write lock.
    const auto closeOnFailure = [this](auto open) {
        try {
            open();
        } catch (...) {
            mQueryTokenizer.reset();
            sqlite3_close_v2(mDb);
            mDb = nullptr;
            throw;
        }
    };
    // Two programs opening the file at once may find it locked where the library does not wait
    // (a lock upgrade that would deadlock, the journal's switch to WAL): tried again shortly.
    const auto openWaiting = [&] {
        for (int attempt = 0;; ++attempt) {
            try {
                closeOnFailure([this] { Open(); });
                return;
            } catch (const IndexDamaged&) {
                throw;
            } catch (const TellamoError&) {
                const int primary = mLastFailure & 0xFF;
                if ((primary != SQLITE_BUSY && primary != SQLITE_LOCKED) || attempt >= 100) {
                    throw;
                }
                mLastFailure = 0;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
    };
    try {
        openWaiting();
    } catch (const IndexDamaged&) {
        Discard(mPath);
        openWaiting();
        mRebuilt = true;
    }
}

SearchIndex::~SearchIndex() {
    mQueryTokenizer.reset();
    sqlite3_close(mDb);
}

void SearchIndex::Discard(const std::string& path) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        ::unlink((path + suffix).c_str());
    }
}

void SearchIndex::Open() {
    const int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX;
    const int opened = sqlite3_open_v2(mPath.c_str(), &mDb, flags, nullptr);
    if (opened != SQLITE_OK) {
        const std::string reason = mDb ? sqlite3_errmsg(mDb) : sqlite3_errstr(opened);
        sqlite3_close(mDb);
        mDb = nullptr;
        if (IsDamage(opened)) {
            throw IndexDamaged("The search index \"" + mPath + "\" is damaged: " + reason);
        }
        throw TellamoError("Cannot open the search index \"" + mPath + "\": " + reason);
    }
    sqlite3_extended_result_codes(mDb, 1);
    // The worker and the window (and tellamo-find) share the file.
    sqlite3_busy_timeout(mDb, 5000);
    RegisterIdCollector();
    Exec("PRAGMA journal_mode=WAL");
    // A cache: a power cut may lose the last changes, which the next start finds missing and
    // makes again, but never breaks the file.
    Exec("PRAGMA synchronous=NORMAL");

    const auto layoutFound = [this] {
        Statement version(Prepare("PRAGMA user_version"));
        Check(sqlite3_step(version.get()), "reading the index's layout");
        return sqlite3_column_int(version.get(), 0);
    };
    const auto probe = [this] {
        // A file of the right version whose tables are damaged fails here rather than later.
        Statement s(Prepare("SELECT count(*) FROM note_text WHERE note_text MATCH 'x*'"));
        Check(sqlite3_step(s.get()), "reading the index");
    };
    if (layoutFound() == LayoutVersion) {
        probe();
        return;
    }
    // The window and the worker may both come to a new file at once: the look again under the
    // write lock tells the layout the other has just made from a foreign one.
    Exec("BEGIN IMMEDIATE");
    if (layoutFound() == LayoutVersion) {
        Exec("COMMIT");
        probe();
        return;
    }
    if (layoutFound() > 0) {
        // An earlier layout of ours, made anew in place rather than by deleting the file: a
        // second program that opened it meanwhile would otherwise delete the file the first one
        // has just made, and that one would go on writing to a file no one can find.
        Exec("DROP TRIGGER IF EXISTS note_added; DROP TRIGGER IF EXISTS note_removed;"
             "DROP TRIGGER IF EXISTS note_changed; DROP TABLE IF EXISTS note_text;"
             "DROP TABLE IF EXISTS note;");
    }
    Statement tables(Prepare("SELECT count(*) FROM sqlite_master"));
    Check(sqlite3_step(tables.get()), "reading the index's layout");
    const bool empty = sqlite3_column_int(tables.get(), 0) == 0;
    tables.reset();
    if (!empty) {
        Exec("ROLLBACK");
        // Another layout, or another file altogether: not ours to keep.
        throw IndexDamaged("The search index \"" + mPath + "\" has another layout");
    }
    Exec(Layout);
    Exec(("PRAGMA user_version=" + std::to_string(LayoutVersion)).c_str());
    Exec("COMMIT");
    mRebuilt = true;
}

void SearchIndex::RegisterIdCollector() {
    // The library hands out its FTS5 interface only through a query that binds a pointer.
    fts5_api* api = nullptr;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(mDb, "SELECT fts5(?1)", -1, &raw, nullptr) != SQLITE_OK) {
        return; // the rows one by one, then
    }
    Statement s(raw);
    sqlite3_bind_pointer(s.get(), 1, static_cast<void*>(&api), "fts5_api_ptr", nullptr);
    sqlite3_step(s.get());
    if (api && api->iVersion >= 2) {
        auto tokenizer = std::make_unique<QueryTokenizer>();
        void* userData = nullptr;
        const char* arguments[] = {"remove_diacritics", "2", "categories", WordCategories};
        if (api->xFindTokenizer(api, "unicode61", &userData, &tokenizer->Api) == SQLITE_OK &&
            tokenizer->Api.xCreate(userData, arguments, 4, &tokenizer->Instance) == SQLITE_OK) {
            mQueryTokenizer = std::move(tokenizer);
        }
    }
    mHasIdCollector = api && api->iVersion >= 2 &&
                      api->xCreateFunction(api, "tellamo_found_ids", &mFoundIds, CollectFoundIds,
                                           nullptr) == SQLITE_OK;
}

void SearchIndex::Fail(int code, const std::string& what) {
    mLastFailure = code;
    const std::string text =
        "The search index \"" + mPath + "\" failed " + what + ": " + sqlite3_errmsg(mDb);
    if (IsDamage(code)) {
        throw IndexDamaged(text);
    }
    throw TellamoError(text);
}

void SearchIndex::Check(int code, const char* what) {
    if (code != SQLITE_OK && code != SQLITE_ROW && code != SQLITE_DONE) {
        Fail(code, what);
    }
}

void SearchIndex::Exec(const char* sql) {
    Check(sqlite3_exec(mDb, sql, nullptr, nullptr, nullptr), "a change");
}

sqlite3_stmt* SearchIndex::Prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    Check(sqlite3_prepare_v2(mDb, sql, -1, &statement, nullptr), "a query");
    return statement;
}

void SearchIndex::Put(const std::string& fileName, const IndexEntry& entry) {
    Statement s(Prepare("INSERT INTO note(id, name, vtt_bytes, vtt_ns, words, description) "
                        "VALUES (" IdOfName ", ?1, ?2, ?3, ?4, ?5) ON CONFLICT(name) DO UPDATE SET "
                        "vtt_bytes = ?2, vtt_ns = ?3, words = ?4, description = ?5"));
    BindText(s.get(), 1, fileName);
    sqlite3_bind_int64(s.get(), 6, SixDigitId(fileName));
    if (entry.TranscriptStamp) {
        sqlite3_bind_int64(s.get(), 2, static_cast<sqlite3_int64>(entry.TranscriptStamp->Bytes));
        sqlite3_bind_int64(s.get(), 3, entry.TranscriptStamp->ModifiedNs);
    }
    BindText(s.get(), 4, entry.Words);
    BindText(s.get(), 5, entry.Description);
    Check(sqlite3_step(s.get()), "adding a note");
}

void SearchIndex::SetDescription(const std::string& fileName, const std::string& description) {
    Statement s(Prepare("INSERT INTO note(id, name, description) VALUES (" IdOfName ", ?1, ?2) "
                        "ON CONFLICT(name) DO UPDATE SET description = ?2 "
                        "WHERE description IS NOT ?2"));
    BindText(s.get(), 1, fileName);
    sqlite3_bind_int64(s.get(), 6, SixDigitId(fileName));
    BindText(s.get(), 2, description);
    Check(sqlite3_step(s.get()), "changing a description");
}

void SearchIndex::Remove(const std::string& fileName) {
    Statement s(Prepare("DELETE FROM note WHERE name = ?1"));
    BindText(s.get(), 1, fileName);
    Check(sqlite3_step(s.get()), "removing a note");
}

std::optional<IndexEntry> SearchIndex::Get(const std::string& fileName) {
    Statement s(Prepare("SELECT vtt_bytes, vtt_ns, words, description FROM note WHERE name = ?1"));
    BindText(s.get(), 1, fileName);
    const int step = sqlite3_step(s.get());
    Check(step, "reading a note");
    if (step != SQLITE_ROW) {
        return std::nullopt;
    }
    IndexEntry entry;
    if (sqlite3_column_type(s.get(), 0) != SQLITE_NULL) {
        entry.TranscriptStamp =
            SourceStamp{static_cast<std::uint64_t>(sqlite3_column_int64(s.get(), 0)),
                        sqlite3_column_int64(s.get(), 1)};
    }
    entry.Words = ColumnText(s.get(), 2);
    entry.Description = ColumnText(s.get(), 3);
    return entry;
}

std::vector<std::string> SearchIndex::FileNames() {
    Statement s(Prepare("SELECT name FROM note ORDER BY name"));
    std::vector<std::string> names;
    int step = 0;
    while ((step = sqlite3_step(s.get())) == SQLITE_ROW) {
        names.push_back(ColumnText(s.get(), 0));
    }
    Check(step, "listing the notes");
    return names;
}

void SearchIndex::BeginBatch() {
    Exec("BEGIN IMMEDIATE");
}

void SearchIndex::CommitBatch() {
    Exec("COMMIT");
}

void SearchIndex::RollbackBatch() {
    if (!sqlite3_get_autocommit(mDb)) {
        sqlite3_exec(mDb, "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void SearchIndex::ReleaseMemory() {
    sqlite3_db_release_memory(mDb);
}

bool SearchIndex::FindIds(std::string_view typed) {
    std::vector<std::int64_t>& ids = mFoundIds;
    ids.clear();
    const std::vector<std::string> tokens = SearchTokens(typed);
    if (tokens.empty()) {
        return false;
    }
    // Each term one word of the index's own, so that the query never holds a phrase.
    std::vector<std::string> terms;
    for (const std::string& token : tokens) {
        if (!mQueryTokenizer) {
            terms.push_back(token);
            continue;
        }
        const std::size_t before = terms.size();
        if (!mQueryTokenizer->Split(token, terms)) {
            throw TellamoError("The search index \"" + mPath + "\" could not split a search");
        }
        if (terms.size() == before) {
            return true; // a word no note can hold: every typed word must be found
        }
    }
    std::string query;
    for (const std::string& term : terms) {
        query += (query.empty() ? "" : " AND ") + Quoted(term) + "*";
    }
    // A word of up to three letters, the lengths of the prefix indexes, is one list that may name
    // nearly every note: FTS5 walks it within one row. A longer word's list is merged from those
    // of the words it begins, which the function's second walk would do again.
    const auto letters = std::count_if(terms.front().begin(), terms.front().end(),
                                       [](char c) { return (c & 0xC0) != 0x80; });
    if (terms.size() == 1 && letters <= 3 && mHasIdCollector) {
        Statement s(Prepare("SELECT tellamo_found_ids(note_text) FROM note_text "
                            "WHERE note_text MATCH ?1 LIMIT 1"));
        BindText(s.get(), 1, query);
        // No row matched: the function was never called, and ids stays empty.
        Check(sqlite3_step(s.get()), "searching");
        return true;
    }
    Statement s(Prepare("SELECT rowid FROM note_text WHERE note_text MATCH ?1"));
    BindText(s.get(), 1, query);
    int step = 0;
    while ((step = sqlite3_step(s.get())) == SQLITE_ROW) {
        ids.push_back(sqlite3_column_int64(s.get(), 0));
    }
    Check(step, "searching");
    return true;
}

std::vector<std::string> SearchIndex::NamesOfIds(const std::vector<std::int64_t>& ids) {
    std::vector<std::string> names;
    Statement name(Prepare("SELECT name FROM note WHERE id = ?1"));
    for (const std::int64_t id : ids) {
        sqlite3_bind_int64(name.get(), 1, id);
        if (Check(sqlite3_step(name.get()), "searching"), sqlite3_data_count(name.get()) > 0) {
            names.push_back(ColumnText(name.get(), 0));
        }
        sqlite3_reset(name.get());
    }
    return names;
}

std::vector<std::string> SearchIndex::Find(std::string_view typed) {
    if (!FindIds(typed)) {
        return {};
    }
    // The names once their number is known: a first letter finds nearly every note, and a
    // growing vector of strings moved them all several times over.
    std::vector<std::string> names;
    names.reserve(mFoundIds.size());
    std::vector<std::int64_t> otherIds;
    for (const std::int64_t id : mFoundIds) {
        if (IsNumberId(id)) {
            names.push_back(SixDigitName(id));
        } else {
            otherIds.push_back(id);
        }
    }
    if (!otherIds.empty()) {
        std::vector<std::string> others = NamesOfIds(otherIds);
        std::move(others.begin(), others.end(), std::back_inserter(names));
    }
    return names;
}

FoundNotes SearchIndex::FindNotes(std::string_view typed) {
    FoundNotes found;
    if (!FindIds(typed)) {
        return found;
    }
    std::int64_t largest = -1;
    std::vector<std::int64_t> otherIds;
    for (const std::int64_t id : mFoundIds) {
        if (IsNumberId(id)) {
            largest = std::max(largest, id);
        } else {
            otherIds.push_back(id);
        }
    }
    if (largest >= 0) {
        found.mNumberBits.assign(static_cast<std::size_t>(largest / 64 + 1), 0);
        for (const std::int64_t id : mFoundIds) {
            if (IsNumberId(id)) {
                const auto n = static_cast<std::uint64_t>(id);
                found.mNumberBits[n / 64] |= std::uint64_t{1} << (n % 64);
            }
        }
    }
    if (!otherIds.empty()) {
        found.mOtherNames = NamesOfIds(otherIds);
        std::sort(found.mOtherNames.begin(), found.mOtherNames.end());
    }
    found.mCount = mFoundIds.size() - otherIds.size() + found.mOtherNames.size();
    return found;
}

std::int64_t SearchIndex::DataVersion() {
    Statement s(Prepare("PRAGMA data_version"));
    Check(sqlite3_step(s.get()), "reading the index's version");
    return sqlite3_column_int64(s.get(), 0);
}

bool FoundNotes::ContainsOther(std::string_view fileName) const {
    return std::binary_search(mOtherNames.begin(), mOtherNames.end(), fileName);
}

} // namespace tellamo
