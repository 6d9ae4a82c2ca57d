// The search index: a table of queries against a few notes, and an index file that is missing,
// foreign or damaged is made anew rather than trusted.

#include "transcript/SearchIndex.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "support/TempDir.h"

namespace tellamo {
namespace {

using Names = std::vector<std::string>;

Names Sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
}

void Fill(SearchIndex& index) {
    index.Put("000001", {"the budget for next year is tight", "Call with Bob", SourceStamp{1, 1}});
    index.Put("000002", {"we will meet on thursday about the budgie", "Vet", SourceStamp{2, 2}});
    index.Put("000003", {"don't forget the café order", "Shopping list", SourceStamp{3, 3}});
    index.SetDescription("000004", "Budget review (no transcript yet)");
}

TEST(SearchIndex, FindsNotesWhereEveryTypedWordBeginsAWord) {
    test::TempDir dir;
    SearchIndex index(dir.File("index.sqlite"));
    EXPECT_TRUE(index.WasRebuilt()); // a new file: everything must be added
    Fill(index);
    const struct {
        const char* Typed;
        Names Expected;
    } cases[] = {
        {"budget", {"000001", "000004"}},         // transcript and description alike
        {"budg", {"000001", "000002", "000004"}}, // a prefix: budget, budgie
        {"BUDGET tight", {"000001"}},             // several words, all needed; case does not count
        {"budget thursday", {}},                  // in two different notes: not one note
        {"bob budget", {"000001"}},               // one word only in the description
        {"shopping forget", {"000003"}},
        {"dget", {}},         // the middle of a word is not its beginning
        {"cafe", {"000003"}}, // accents do not count
        {"don't", {"000003"}},
        {"\"budg\"* (", {"000001", "000002", "000004"}}, // the query language's signs are not
        {"budget OR thursday", {}},                      // and its operators are plain words
        {"  ,;  ", {}},                                  // nothing to look for finds nothing
        {"review", {"000004"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Typed);
        EXPECT_EQ(Sorted(index.Find(c.Typed)), c.Expected);
    }
}

// Whatever is typed makes a query the index can answer (its language's signs and operators,
// marks and symbols, a very long word), and a word is what the window's filter calls one: a word
// whose vowel signs the library's default tokenizer takes for separators is found whole, not as
// the pieces between them ("मानक" is not "मन" and "नकली").
TEST(SearchIndex, AnyTypedTextFindsWholeWordsAndNeverFails) {
    test::TempDir dir;
    SearchIndex index(dir.File("index.sqlite"));
    const std::string longWord(200, 'a');
    index.Put("000010", {"मानक समय", "", SourceStamp{1, 1}});
    index.Put("000011", {"मन नकली", "", SourceStamp{1, 1}});
    index.Put("000012", {"not near", "Straße 😀 C++ rock'n'roll x^2", SourceStamp{1, 1}});
    index.Put("000013", {"cafe\u0301 and " + longWord, "Notes", SourceStamp{1, 1}});
    const struct {
        std::string Typed;
        Names Expected;
    } cases[] = {
        {"मानक", {"000010"}},
        {"मा", {"000010"}}, // a prefix ending in a vowel sign
        {"समय मानक", {"000010"}},
        {"मन", {"000011"}},
        {"नकली मन", {"000011"}},
        {"मनक", {}},
        {"\u093e", {}},             // a vowel sign alone is a word no note begins with
        {"\u0301", {}},             // an accent alone, which folds to nothing
        {"cafe\u0301", {"000013"}}, // a combining accent, which does not count
        {"café", {"000013"}},       // nor a precomposed one
        {"STRAßE", {"000012"}},     // folded as the index folds it
        {"😀", {}},                  // a symbol separates words: nothing typed
        {"😀straße😀", {"000012"}},
        {"c++", {"000012", "000013"}}, // c: C++ and café
        {"rock'n'roll", {"000012"}},
        {"x^2", {"000012"}},
        {"\"", {}},
        {"\"rock", {"000012"}},
        {"rock\"", {"000012"}},
        {"*", {}},
        {"-not", {"000012", "000013"}}, // not "NOT": a plain word (in "Notes" too)
        {"not -near", {"000012"}},
        {"^near", {"000012"}},
        {"words:rock", {}}, // no column filter: "words" is a word of no note
        {"description:rock", {}},
        {"(not near)", {"000012"}},
        {"(not OR near)", {}}, // "or" is a word too
        {"NEAR(not near)", {"000012"}},
        {"not AND near", {}}, // "and" is a word: only one note holds all three
        {"cafe AND", {"000013"}},
        {"NOT", {"000012", "000013"}},
        {"OR", {}},
        {longWord, {"000013"}},
        {longWord + "a", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Typed);
        Names found;
        EXPECT_NO_THROW(found = Sorted(index.Find(c.Typed)));
        EXPECT_EQ(found, c.Expected);
        FoundNotes notes;
        EXPECT_NO_THROW(notes = index.FindNotes(c.Typed));
        EXPECT_EQ(notes.Size(), c.Expected.size());
    }
}

// An index written by an earlier version, whose tokenizer cut words at their vowel signs, is
// rebuilt rather than searched with words it never held.
// A file of the layout before this one, with a note in it.
void WriteEarlierLayout(const std::string& path) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "CREATE TABLE note(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, "
                           "vtt_bytes INTEGER, vtt_ns INTEGER, words TEXT NOT NULL DEFAULT '', "
                           "description TEXT NOT NULL DEFAULT '');"
                           "CREATE VIRTUAL TABLE note_text USING fts5(words, description, "
                           "content='note', content_rowid='id', detail=none, prefix='1 2 3', "
                           "tokenize='unicode61 remove_diacritics 2');"
                           "INSERT INTO note(id, name, words) VALUES (10, '000010', 'मानक');"
                           "INSERT INTO note_text(note_text) VALUES ('rebuild');"
                           "PRAGMA user_version=2;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
}

TEST(SearchIndex, AnIndexOfTheEarlierLayoutIsMadeAnew) {
    test::TempDir dir;
    const std::string path = dir.File("index.sqlite");
    WriteEarlierLayout(path);
    SearchIndex index(path);
    EXPECT_TRUE(index.WasRebuilt());
    EXPECT_TRUE(index.FileNames().empty());
    index.Put("000010", {"मानक", "", SourceStamp{1, 1}});
    EXPECT_EQ(index.Find("मानक"), Names{"000010"});
}

// The answer the window's filter asks note by note: the same notes as Find, whatever the names
// (six digits at either end of their range and at a word's edge of the bits, or any other name,
// also under a row id below zero that another program put in the file), and no note it does not
// hold.
TEST(SearchIndex, FoundNotesHoldWhatFindFinds) {
    test::TempDir dir;
    SearchIndex index(dir.File("index.sqlite"));
    Names indexed = {"000000", "000063", "000064", "999999", "Note 7", "12345", "00001x"};
    for (std::size_t i = 0; i < indexed.size(); ++i) {
        const std::string words = i % 2 == 0 ? "budget meeting" : "budgie food";
        index.Put(indexed[i], {words, "note " + std::to_string(i), SourceStamp{1, 1}});
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir.File("index.sqlite").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "INSERT INTO note(id, name, words, description) "
                           "VALUES (-5, 'by hand', 'budget food', 'note 9')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    indexed.push_back("by hand");
    const Names notIndexed = {"000001", "000065", "500000", "Note 8", "", "0000000"};
    for (const char* typed : {"budg", "budget", "budgie food", "food", "note", "zebra", " "}) {
        SCOPED_TRACE(typed);
        const Names found = Sorted(index.Find(typed));
        const FoundNotes notes = index.FindNotes(typed);
        EXPECT_EQ(notes.Size(), found.size());
        for (const Names& names : {indexed, notIndexed}) {
            for (const std::string& name : names) {
                EXPECT_EQ(notes.Contains(name),
                          std::binary_search(found.begin(), found.end(), name))
                    << name;
            }
        }
    }
}

TEST(SearchIndex, ChangesReplaceWhatWasIndexed) {
    test::TempDir dir;
    SearchIndex index(dir.File("index.sqlite"));
    Fill(index);
    index.Put("000001", {"a new transcript about holidays", "Call with Bob", SourceStamp{9, 9}});
    EXPECT_EQ(index.Find("budget"), Names{"000004"});
    EXPECT_EQ(index.Find("holid"), Names{"000001"});
    index.SetDescription("000002", "Dentist");
    EXPECT_TRUE(index.Find("vet").empty());
    EXPECT_EQ(index.Find("thursday dentist"), Names{"000002"});
    EXPECT_EQ(index.Get("000002")->TranscriptStamp, (SourceStamp{2, 2})); // words kept
    index.Remove("000003");
    EXPECT_TRUE(index.Find("cafe").empty());
    EXPECT_FALSE(index.Get("000003"));
    EXPECT_EQ(index.FileNames(), (Names{"000001", "000002", "000004"}));
}

// The window and the worker both open the index at a first start: whichever comes second must
// find the layout the first one made, neither fail nor take the new file for a foreign one and
// throw it away under the other.
TEST(SearchIndex, TwoOpeningANewFileAtOnceShareIt) {
    for (int round = 0; round < 40; ++round) {
        // No file yet, or one of the earlier layout that both find to be made anew.
        const bool earlier = round % 2 == 1;
        test::TempDir dir;
        const std::string path = dir.File("index.sqlite");
        if (earlier) {
            WriteEarlierLayout(path);
        }
        std::string errors[2];
        const auto open = [&](int who) {
            try {
                SearchIndex index(path);
                index.Put(who == 0 ? "000001" : "000002",
                          {who == 0 ? "budget" : "holiday", "", SourceStamp{1, 1}});
            } catch (const std::exception& e) {
                errors[who] = e.what();
            }
        };
        std::thread other(open, 1);
        open(0);
        other.join();
        ASSERT_EQ(errors[0], "") << "round " << round;
        ASSERT_EQ(errors[1], "") << "round " << round;
        ASSERT_TRUE(test::FileExists(path));
        SearchIndex after(path);
        EXPECT_FALSE(after.WasRebuilt()) << "round " << round;
        EXPECT_EQ(after.FileNames(), (Names{"000001", "000002"})) << "round " << round;
    }
}

TEST(SearchIndex, AForeignOrDamagedFileIsMadeAnew) {
    test::TempDir dir;
    const std::string path = dir.File("index.sqlite");
    {
        SearchIndex index(path);
        Fill(index);
        // Enough notes for the file to have pages beyond the first few.
        index.BeginBatch();
        for (int i = 0; i < 2000; ++i) {
            index.Put("n" + std::to_string(i),
                      {"word" + std::to_string(i) + " budget", "", SourceStamp{}});
        }
        index.CommitBatch();
    }
    {
        SearchIndex reopened(path);
        EXPECT_FALSE(reopened.WasRebuilt());
        EXPECT_EQ(reopened.Find("tight"), Names{"000001"});
    }
    // Not an index at all, then a real index whose pages are overwritten in the middle.
    test::WriteFileBytes(path, "this is not a database, but some other program's file\n");
    {
        SearchIndex index(path);
        EXPECT_TRUE(index.WasRebuilt());
        EXPECT_TRUE(index.Find("budget").empty());
        Fill(index);
        index.BeginBatch();
        for (int i = 0; i < 2000; ++i) {
            index.Put("n" + std::to_string(i),
                      {"word" + std::to_string(i) + " budget", "", SourceStamp{}});
        }
        index.CommitBatch();
    }
    {
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(0, std::ios::end);
        const auto size = static_cast<long>(file.tellp());
        ASSERT_GT(size, 64 * 1024);
        for (long at = 4096; at < size; at += 8192) {
            file.seekp(at);
            file.write(std::string(4096, '\x5A').data(), 4096);
        }
    }
    bool damageSeen = false;
    try {
        SearchIndex index(path);
        damageSeen = index.WasRebuilt();
        if (!damageSeen) {
            index.Find("budget");
            index.Find("tight");
        }
    } catch (const IndexDamaged&) {
        damageSeen = true;
    }
    EXPECT_TRUE(damageSeen);
    SearchIndex::Discard(path);
    SearchIndex fresh(path);
    EXPECT_TRUE(fresh.WasRebuilt());
    Fill(fresh);
    EXPECT_EQ(fresh.Find("tight"), Names{"000001"});
}

TEST(SearchIndex, FirstMatchInATranscript) {
    const std::vector<TimedWord> words = {{"we", 0, 100},
                                          {"need", 100, 300},
                                          {"a", 300, 400},
                                          {"budget", 400, 900},
                                          {"o'clock", 900, 1200}};
    EXPECT_EQ(FirstMatch(words, "budg")->WordIndex, 3u);
    EXPECT_EQ(FirstMatch(words, "budg")->StartMs, 400);
    EXPECT_EQ(FirstMatch(words, "zebra budget NEE")->WordIndex, 1u); // the earliest of any word
    EXPECT_EQ(FirstMatch(words, "clock")->WordIndex, 4u);
    EXPECT_FALSE(FirstMatch(words, "dget"));
    EXPECT_FALSE(FirstMatch(words, ""));
    // The window's words are the index's: vowel signs inside, an emoji between.
    EXPECT_EQ(SearchTokens("मानक😀Budget"), (Names{"मानक", "budget"}));
    EXPECT_EQ(FirstMatch({{"समय", 0, 100}, {"मानक", 100, 200}}, "मान")->WordIndex, 1u);
}

} // namespace
} // namespace tellamo
