// Start-up to the main window shown, with 10,000 and 100,000 notes in the catalogue, and the
// program's resident memory afterwards. Runs on Qt's offscreen platform unless another is set.
//
//   build-bench/bench/app/startup_bench

#include "BenchSupport.h"
#include "app/TDM.h"
#include "app/TellamoProgram.h"
#include "audio/FakeWavePort.h"
#include "audio/WindowPoster.h"
#include "catalogue/Catalogue.h"
#include "common/FileSystem.h"
#include "mainwindow/TellamoMainForm.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <benchmark/benchmark.h>
#include <fstream>
#include <unistd.h>

namespace tellamo {
namespace {

void WriteCatalogue(const QString& documents, int notes) {
    Catalogue cat(Storage(documents, "My Voice Notes", "ReadMe.txt"), "Notes", "Recycle Bin", RealFileSystem());
    cat.Files().EnsureStorageFolder([](const QString&, const QString&) {});
    cat.NewCatalogue();
    std::vector<FolderNode*> folders{cat.NotesNode()};
    for (int i = 0; i < 199; ++i) {
        folders.push_back(cat.AddFolder(folders[static_cast<std::size_t>(i) / 3], QString("Folder %1").arg(i)));
    }
    cat.SelectFolder(cat.NotesNode());
    for (int i = 0; i < notes; ++i) {
        // Half the notes in the selected folder, so that the list really shows many rows.
        FolderNode* folder = i % 2 ? cat.NotesNode() : folders[static_cast<std::size_t>(i) % folders.size()];
        cat.AddFoundNote(folder, QString("%1").arg(i, 6, 10, QChar('0')).toStdString(), 3'288'522'600'000LL + i * 60'000LL, 11025, 16);
        cat.CompleteNote(100, 1000 + i);
        cat.Notes().LastAddedNote()->Description = "Call about the quarterly report " + std::to_string(i % 97);
    }
    cat.SaveCatalogue();
}

void BM_StartupToWindowShown(benchmark::State& state) {
    QTemporaryDir dir;
    WriteCatalogue(dir.path(), static_cast<int>(state.range(0)));
    long resident = 0;
    FakeWavePort port;
    EventFdPoster poster;
    for (auto _ : state) {
        auto program = std::make_unique<TellamoProgram>(dir.path(), RealFileSystem(), port, poster,
                                                        (dir.path() + "/PLAY.TMP").toStdString());
        program->Start();
        program->Show();
        if (!QTest::qWaitForWindowExposed(&program->MainForm())) {
            state.SkipWithError("window not shown");
        }
        QCoreApplication::processEvents(); // the first paint of the list
        state.PauseTiming();
        resident = bench::ResidentKb();
        program->MainForm().hide();
        program.reset();
        state.ResumeTiming();
    }
    state.counters["resident_MB"] = resident / 1024.0;
}
BENCHMARK(BM_StartupToWindowShown)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
} // namespace tellamo

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
