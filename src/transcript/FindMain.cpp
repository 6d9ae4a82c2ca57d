// tellamo-find: the notes of the user's catalogue in whose transcript or description every
// given word occurs, one line each, for scripts and desktop search. Like the program, it links
// the catalogue to learn the notes; the transcripts library itself never does.

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include "catalogue/Catalogue.h"
#include "catalogue/IndexFile.h"
#include "common/Errors.h"
#include "common/FileSystem.h"
#include "common/Files.h"
#include "transcript/NoteIndexing.h"
#include "transcript/SearchIndex.h"
#include "transcript/TranscriptFiles.h"

namespace {
constexpr const char* Usage =
    "Usage: tellamo-find WORD...\n"
    "\n"
    "Prints the notes of your Tellamo catalogue in whose transcript or description every\n"
    "WORD occurs (a word also finds longer words it begins: \"budg\" finds \"budget\"),\n"
    "newest first, one line each with four tab-separated fields: the note's WAV file, the\n"
    "time of the first spoken match (H:MM:SS.mmm, empty when only the description matches),\n"
    "the description, and the words spoken around the match.\n"
    "\n"
    "Options:\n"
    "  -h, --help   show this help and exit\n"
    "  --           end of options (for words that begin with '-')\n"
    "\n"
    "Exit status: 0 when a note was found, 1 when none was, 2 for an error or wrong arguments.\n";

constexpr std::size_t MaxCatalogueBytes = 512u * 1024 * 1024;
constexpr std::size_t ContextWords = 4; // on each side of the match

// Tabs and line breaks would break the line's fields.
std::string OneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return text;
}
} // namespace

int main(int argc, char** argv) {
    using namespace tellamo;
    std::string typed;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "-h" || arg == "--help")) {
            std::fputs(Usage, stdout);
            return 0;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "tellamo-find: unknown option '%s'\n", arg.c_str());
            std::fputs("Try 'tellamo-find --help'.\n", stderr);
            return 2;
        } else {
            typed += (typed.empty() ? "" : " ") + arg;
        }
    }
    if (SearchTokens(typed).empty()) {
        std::fputs("tellamo-find: no word to look for\nTry 'tellamo-find --help'.\n", stderr);
        return 2;
    }
    // The same folders as the program's: the application name picks the cache folder.
    QCoreApplication::setApplicationName(QStringLiteral("tellamo"));
    try {
        const Storage storage(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                              QStringLiteral("My Voice Notes"), QStringLiteral("ReadMe.txt"));
        const std::string indexFile = storage.IndexFilePath().toStdString();
        // Read as it is, never repaired or moved aside: that is the program's business.
        const FilePrefix bytes = ReadFilePrefix(indexFile, MaxCatalogueBytes);
        Catalogue catalogue(storage, QStringLiteral("Notes"), QStringLiteral("Recycle Bin"),
                            RealFileSystem());
        ParseCatalogue(bytes.Bytes, catalogue);

        std::vector<const NoteRecord*> notes;
        for (const auto& record : catalogue.Notes().All()) {
            notes.push_back(record.get());
        }
        std::stable_sort(notes.begin(), notes.end(), [](const NoteRecord* a, const NoteRecord* b) {
            return a->Start > b->Start;
        });

        const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        QDir().mkpath(cache);
        const std::string indexPath = (cache + QStringLiteral("/transcripts.sqlite")).toStdString();
        std::unique_ptr<SearchIndex> index = std::make_unique<SearchIndex>(indexPath);
        const auto refresh = [&] {
            index->BeginBatch();
            for (const NoteRecord* note : notes) {
                try {
                    RefreshNoteInIndex(index.get(), note->FileName,
                                       storage.NoteWavPath(note->FileName).toStdString(),
                                       note->Description);
                } catch (const IndexDamaged&) {
                    throw;
                } catch (const TellamoError& e) {
                    std::fprintf(stderr, "tellamo-find: %s\n", e.what());
                }
            }
            index->CommitBatch();
        };
        std::vector<std::string> found;
        try {
            refresh();
            found = index->Find(typed);
        } catch (const IndexDamaged&) {
            // A cache: made anew from the transcripts.
            index.reset();
            SearchIndex::Discard(indexPath);
            index = std::make_unique<SearchIndex>(indexPath);
            refresh();
            found = index->Find(typed);
        }
        std::sort(found.begin(), found.end());

        int printed = 0;
        for (const NoteRecord* note : notes) {
            if (!std::binary_search(found.begin(), found.end(), note->FileName)) {
                continue;
            }
            const std::string wavPath = storage.NoteWavPath(note->FileName).toStdString();
            std::string time;
            std::string context;
            try {
                const std::vector<TimedWord> words =
                    ReadTranscriptFile(TranscriptPathFor(wavPath)).Words();
                if (const auto match = FirstMatch(words, typed)) {
                    time = ClockTime(match->StartMs);
                    const std::size_t first =
                        match->WordIndex > ContextWords ? match->WordIndex - ContextWords : 0;
                    const std::size_t last =
                        std::min(words.size(), match->WordIndex + ContextWords + 1);
                    for (std::size_t i = first; i < last; ++i) {
                        context += (i > first ? " " : "") + words[i].Text;
                    }
                }
            } catch (const TellamoError&) {
                // Only the description matched, or the transcript has gone since it was indexed.
            }
            const std::string line = OneLine(wavPath) + "\t" + time + "\t" +
                                     OneLine(note->Description) + "\t" + OneLine(context) + "\n";
            std::fputs(line.c_str(), stdout);
            ++printed;
        }
        if (std::fflush(stdout) != 0) {
            std::fputs("tellamo-find: cannot write the list\n", stderr);
            return 2;
        }
        return printed > 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tellamo-find: %s\n", e.what());
        return 2;
    }
}
