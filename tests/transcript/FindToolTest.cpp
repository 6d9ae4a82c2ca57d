// tellamo-find on a catalogue of a few notes made of real speech, transcribed by the worker with
// the real recogniser: each note is found by one of its spoken words, with the time of the word,
// and a word of a description finds its note too.

#include <gtest/gtest.h>

#include <QDir>
#include <QStandardPaths>

#include "catalogue/Catalogue.h"
#include "common/FileSystem.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "transcript/PocketSphinxRecogniser.h"
#include "transcript/TranscriptFiles.h"
#include "transcript/TranscriptWorker.h"

namespace tellamo {
namespace {

const std::string TestData = "/usr/share/pocketsphinx/test/data/";

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t begin = 0;
    for (std::size_t tab; (tab = line.find('\t', begin)) != std::string::npos; begin = tab + 1) {
        fields.push_back(line.substr(begin, tab - begin));
    }
    fields.push_back(line.substr(begin));
    return fields;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    for (std::size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
        lines.push_back(text.substr(begin, end - begin));
    }
    return lines;
}

TEST(FindTool, FindsEachNoteByASpokenWordWithItsTime) {
    ASSERT_TRUE(PocketSphinxRecogniser::ModelInstalled());
    const Storage storage(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                          QStringLiteral("My Voice Notes"), QStringLiteral("ReadMe.txt"));
    ASSERT_TRUE(storage.EnsureStorageFolder([](const QString&, const QString&) {}));
    Catalogue catalogue(storage, QStringLiteral("Notes"), QStringLiteral("Recycle Bin"),
                        RealFileSystem());
    catalogue.NewCatalogue();
    const struct {
        const char* Recording;
        const char* Description;
    } recordings[] = {
        {"cards/005.wav", "Card game"},
        {"librivox/sense_and_sensibility_01_austen_64kb-0880.wav", "Reading\tchapter one"},
        {"cards/001.wav", "Budget meeting"},
    };
    std::vector<std::pair<std::string, std::string>> notes; // oldest first
    std::vector<std::string> wavs;
    for (const auto& r : recordings) {
        NoteRecord* note = catalogue.AddRecordedNote(catalogue.NotesNode(),
                                                     QString::fromUtf8(r.Description), 16000, 16);
        note->Start += static_cast<LocalTimeMs>(notes.size()); // each newer than the last
        const std::string wav = storage.NoteWavPath(note->FileName).toStdString();
        test::WriteFileBytes(wav, test::ReadFileBytes(TestData + r.Recording));
        notes.emplace_back(note->FileName, note->Description);
        wavs.push_back(wav);
    }
    ASSERT_TRUE(catalogue.SaveCatalogue().isEmpty());
    {
        test::TempDir elsewhere; // the worker's own index: the tool must make its own
        TranscriptWorker worker(elsewhere.File("index.sqlite"),
                                [] { return std::make_unique<PocketSphinxRecogniser>(); });
        worker.SetStorageFolder(storage.StorageFolder().toStdString());
        NoteQueue newestFirst;
        for (auto note = notes.rbegin(); note != notes.rend(); ++note) {
            newestFirst.Push(note->first, note->second);
        }
        worker.SetNotes(std::move(newestFirst));
        worker.Start();
        ASSERT_TRUE(worker.WaitUntilIdle(300000));
    }
    for (const std::string& wav : wavs) {
        ASSERT_TRUE(TranscriptIsCurrent(wav)) << wav;
    }

    test::TempDir out;
    const std::string tool =
        std::string(std::getenv("TELLAMO_BINARY_DIR")) + "/src/transcript/tellamo-find";
    const auto find = [&](std::vector<std::string> words, int expectedStatus) {
        words.insert(words.begin(), tool);
        EXPECT_EQ(test::RunProgram(words, out.File("out"), out.File("err")), expectedStatus)
            << test::ReadFileBytes(out.File("err"));
        return Lines(test::ReadFileBytes(out.File("out")));
    };
    const auto wordStart = [&](const std::string& wav, const std::string& word) {
        for (const TimedWord& w : ReadTranscriptFile(TranscriptPathFor(wav)).Words()) {
            if (w.Text == word) {
                return w.StartMs;
            }
        }
        ADD_FAILURE() << word << " not in the transcript of " << wav;
        return std::int64_t{-1};
    };
    const auto clock = [](std::int64_t ms) {
        char text[32];
        std::snprintf(text, sizeof text, "0:00:%02d.%03d", static_cast<int>(ms / 1000),
                      static_cast<int>(ms % 1000));
        return std::string(text);
    };

    const struct {
        std::vector<std::string> Typed;
        std::size_t Note;
        const char* Word;
    } spoken[] = {
        {{"spades"}, 0, "spades"},
        {{"SPAD", "hearts"}, 0, "spades"},
        {{"young"}, 1, "young"},
        {{"clubs", "ten"}, 2, "ten"},
    };
    for (const auto& s : spoken) {
        SCOPED_TRACE(s.Typed.front());
        const std::vector<std::string> lines = find(s.Typed, 0);
        ASSERT_EQ(lines.size(), 1u);
        const std::vector<std::string> fields = Fields(lines[0]);
        ASSERT_EQ(fields.size(), 4u) << lines[0];
        EXPECT_EQ(fields[0], wavs[s.Note]);
        EXPECT_EQ(fields[1], clock(wordStart(wavs[s.Note], s.Word)));
        EXPECT_EQ(fields[2], std::string(recordings[s.Note].Description) == "Reading\tchapter one"
                                 ? "Reading chapter one"
                                 : recordings[s.Note].Description);
        EXPECT_NE(fields[3].find(s.Word), std::string::npos) << fields[3];
    }
    // Found in both notes, newest first.
    const std::vector<std::string> both = find({"clubs"}, 0);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(Fields(both[0])[0], wavs[2]);
    EXPECT_EQ(Fields(both[1])[0], wavs[0]);
    // Only in a description: no time, no words around it.
    const std::vector<std::string> described = find({"budget"}, 0);
    ASSERT_EQ(described.size(), 1u);
    EXPECT_EQ(described[0], wavs[2] + "\t\tBudget meeting\t");
    // Nothing found, and wrong arguments.
    EXPECT_TRUE(find({"zebra"}, 1).empty());
    find({}, 2);
    find({"--frobnicate"}, 2);
}

} // namespace
} // namespace tellamo
