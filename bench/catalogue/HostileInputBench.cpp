// What a storage folder from outside can hand the program at start-up and in Restore Notes: a
// damaged catalogue with 100,000 root folders, a translation with 100,000 keys, and Restore
// Notes of 10,000 WAV files among which one is cut to 20 bytes (goal: under 5 s).
//
//   build/bench/catalogue/hostile_input_bench
//
// The storage folder is made under $TMPDIR (default /tmp), so the figures are those of that
// file system.

#include <fstream>

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include "audio/WavFormat.h"
#include "catalogue/Catalogue.h"
#include "catalogue/IndexFile.h"
#include "catalogue/RestoreNotes.h"
#include "common/ByteIO.h"
#include "common/Errors.h"
#include "common/FileSystem.h"
#include "common/IniFile.h"
#include "dictaphone/NoteWaveHeader.h"

namespace tellamo {
namespace {

std::unique_ptr<Catalogue> MakeCatalogue(const QString& documents) {
    auto cat = std::make_unique<Catalogue>(Storage(documents, "My Voice Notes", "ReadMe.txt"),
                                           "Notes", "Recycle Bin", RealFileSystem());
    cat->Files().EnsureStorageFolder([](const QString&, const QString&) {});
    return cat;
}

void WriteFile(const QString& path, const std::string& bytes) {
    std::ofstream(QFile::encodeName(path).toStdString(), std::ios::binary) << bytes;
}

// A catalogue whose tree holds range(0) roots besides Notes and the Recycle Bin: the load keeps
// them below Notes.
void BM_LoadCatalogueWithManyRoots(benchmark::State& state) {
    QTemporaryDir dir;
    std::string bytes;
    {
        auto cat = MakeCatalogue(dir.path());
        cat->NewCatalogue();
        const int roots = static_cast<int>(state.range(0));
        for (int i = 0; i < roots; ++i) {
            cat->Folders().Append(nullptr, "Stray " + std::to_string(i), 100 + i);
        }
        cat->SetFolderIdCounter(100 + roots);
        bytes = SerializeCatalogue(*cat);
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto cat = MakeCatalogue(dir.path());
        WriteFile(cat->Files().IndexFilePath(), bytes);
        state.ResumeTiming();
        try {
            cat->LoadCatalogue();
        } catch (const TellamoError&) {
        }
        benchmark::DoNotOptimize(cat->NotesNode()->Children.size());
    }
}
BENCHMARK(BM_LoadCatalogueWithManyRoots)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// Listing and reading every key of a translation's [Translations] section, as translating a
// window does.
void BM_TranslationKeys(benchmark::State& state) {
    std::string text = "[Translations]\n";
    for (int i = 0; i < state.range(0); ++i) {
        text += "TellamoMainForm.Item" + std::to_string(i) + ".Caption=Eintrag\n";
    }
    const IniFile file(text);
    for (auto _ : state) {
        std::size_t total = 0;
        for (const std::string& key : file.Keys("Translations")) {
            total += file.ReadString("Translations", key, "").size();
        }
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_TranslationKeys)->Arg(20'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// Restore Notes of range(0) one-second WAVs, one of them cut to 20 bytes.
void BM_RestoreNotes(benchmark::State& state) {
    QTemporaryDir dir;
    auto header = MakeWaveHeader(1, 11025, 16);
    PutU32(&header[4], 22'050 + 36);
    PutU32(&header[40], 22'050);
    const std::string wave =
        std::string(reinterpret_cast<const char*>(header.data()), header.size()) +
        std::string(22'050, '\x10');
    const QString folder = MakeCatalogue(dir.path())->Files().StorageFolder();
    const int files = static_cast<int>(state.range(0));
    for (int i = 0; i < files; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "%06d.wav", i * 7);
        WriteFile(folder + name, i == files / 2 ? wave.substr(0, 20) : wave);
    }
    std::size_t restored = 0;
    int unreadable = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto cat = MakeCatalogue(dir.path());
        cat->NewCatalogue();
        state.ResumeTiming();
        const RestoreResult result = RestoreNotes(*cat, ReadNoteWaveHeader);
        restored = result.Restored.size();
        unreadable = result.Unreadable;
    }
    state.counters["restored"] = static_cast<double>(restored);
    state.counters["unreadable"] = unreadable;
}
BENCHMARK(BM_RestoreNotes)->Arg(10'000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
} // namespace tellamo

BENCHMARK_MAIN();
