// Saving (with the flush to disk) and loading catalogues of 1,000 to 100,000 notes with about
// 30-character descriptions in 200 folders, and the memory the loaded catalogue takes.
//
//   build-bench/bench/catalogue/catalogue_bench
//
// The storage folder is made under $TMPDIR (default /tmp), so the figures are those of that
// file system.

#include <fstream>
#include <random>

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>

#include "BenchSupport.h"
#include "catalogue/Catalogue.h"
#include "catalogue/IndexFile.h"
#include "catalogue/NoteFilter.h"
#include "catalogue/NoteSort.h"
#include "common/FileSystem.h"

namespace tellamo {
namespace {

std::unique_ptr<Catalogue> MakeCatalogue(const QString& documents) {
    auto cat = std::make_unique<Catalogue>(Storage(documents, "My Voice Notes", "ReadMe.txt"),
                                           "Notes", "Recycle Bin", RealFileSystem());
    cat->Files().EnsureStorageFolder([](const QString&, const QString&) {});
    return cat;
}

void Fill(Catalogue& cat, int notes) {
    cat.NewCatalogue();
    std::vector<FolderNode*> folders{cat.NotesNode()};
    std::mt19937 random(42);
    for (int i = 0; i < 199; ++i) {
        FolderNode* parent = folders[random() % folders.size()];
        folders.push_back(cat.AddFolder(parent, QString("Folder %1").arg(i)));
    }
    for (int i = 0; i < notes; ++i) {
        FolderNode* folder = folders[random() % folders.size()];
        char name[16];
        std::snprintf(name, sizeof name, "%06d", i);
        cat.AddFoundNote(folder, name, 3'288'522'600'000LL + i * 60'000LL, 11025, 16);
        cat.CompleteNote(100 + i % 1000, 1000 + i);
        cat.Notes().LastAddedNote()->Description =
            "Call about the quarterly report " + std::to_string(i % 97);
    }
}

void BM_SaveCatalogue(benchmark::State& state) {
    QTemporaryDir dir;
    auto cat = MakeCatalogue(dir.path());
    Fill(*cat, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const QString error = cat->SaveCatalogue();
        if (!error.isEmpty()) {
            state.SkipWithError(error.toStdString().c_str());
        }
    }
    state.counters["file_MB"] = QFileInfo(cat->Files().IndexFilePath()).size() / 1e6;
}
BENCHMARK(BM_SaveCatalogue)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_LoadCatalogue(benchmark::State& state) {
    QTemporaryDir dir;
    {
        auto cat = MakeCatalogue(dir.path());
        Fill(*cat, static_cast<int>(state.range(0)));
        cat->SaveCatalogue();
    }
    long residentGrowthKb = 0;
    for (auto _ : state) {
        state.PauseTiming();
        malloc_trim(0); // memory freed by earlier rounds must not hide this round's growth
        const long before = bench::ResidentKb();
        auto cat = MakeCatalogue(dir.path());
        state.ResumeTiming();
        cat->LoadCatalogue();
        state.PauseTiming();
        residentGrowthKb = std::max(residentGrowthKb, bench::ResidentKb() - before);
        cat.reset();
        state.ResumeTiming();
    }
    state.counters["resident_MB"] = residentGrowthKb / 1024.0;
}
BENCHMARK(BM_LoadCatalogue)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// One keystroke in the filter box with the text filter on: 100,000 notes in one folder.
void BM_FilterRefresh(benchmark::State& state) {
    QTemporaryDir dir;
    auto cat = MakeCatalogue(dir.path());
    cat->NewCatalogue();
    for (int i = 0; i < 100000; ++i) {
        cat->AddFoundNote(cat->NotesNode(), std::to_string(100000 + i),
                          3'288'522'600'000LL + i * 60'000LL, 11025, 16);
        cat->CompleteNote(100, 1000 + i);
        cat->Notes().LastAddedNote()->Description =
            "Call about the quarterly report " + std::to_string(i % 97);
    }
    const bool caseless = state.range(0) != 0;
    const QString texts[] = {"q", "qu", "qua", "quar", "quart", "quarte"};
    cat->Notes().SetFilter(NoteFilter(
        {cat->NotesNode(), false, true, caseless, "x"})); // first build of the search texts
    std::size_t keystroke = 0;
    for (auto _ : state) {
        cat->Notes().SetFilter(
            NoteFilter({cat->NotesNode(), false, true, caseless, texts[keystroke++ % 6]}));
    }
    state.counters["shown"] = static_cast<double>(cat->Notes().Shown().size());
}
BENCHMARK(BM_FilterRefresh)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Three title clicks (Start, Duration, Start) on 100,000 notes.
void BM_SortThreeClicks(benchmark::State& state) {
    QTemporaryDir dir;
    auto cat = MakeCatalogue(dir.path());
    Fill(*cat, 100000);
    cat->Notes().SetFilter({});
    for (auto _ : state) {
        QString fields;
        for (const char* click : {"Start", "Duration", "Start"}) {
            fields = AddSortField(fields, click);
            SortNotes(cat->Notes(), fields);
        }
    }
}
BENCHMARK(BM_SortThreeClicks)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tellamo

BENCHMARK_MAIN();
