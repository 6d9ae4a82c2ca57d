// Start-up to the main window shown, with 10,000 and 100,000 notes in the catalogue, and the
// program's resident memory afterwards; and start-up with a one-hour recording that was cut off
// (its repair runs before the window shows). Runs on Qt's offscreen platform unless another is
// set.
//
//   build-bench/bench/app/startup_bench

#include <fstream>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include "BenchSupport.h"
#include "app/TDM.h"
#include "app/TellamoProgram.h"
#include "audio/WavFormat.h"
#include "audio/WindowPoster.h"
#include "catalogue/Catalogue.h"
#include "common/FileSystem.h"
#include "mainwindow/TellamoMainForm.h"
#include "support/FakeWavePort.h"

namespace tellamo {
namespace {

void WriteCatalogue(const QString& documents, int notes) {
    Catalogue cat(Storage(documents, "My Voice Notes", "ReadMe.txt"), "Notes", "Recycle Bin",
                  RealFileSystem());
    cat.Files().EnsureStorageFolder([](const QString&, const QString&) {});
    cat.NewCatalogue();
    std::vector<FolderNode*> folders{cat.NotesNode()};
    for (int i = 0; i < 199; ++i) {
        folders.push_back(
            cat.AddFolder(folders[static_cast<std::size_t>(i) / 3], QString("Folder %1").arg(i)));
    }
    cat.SelectFolder(cat.NotesNode());
    for (int i = 0; i < notes; ++i) {
        // Half the notes in the selected folder, so that the list really shows many rows.
        FolderNode* folder =
            i % 2 ? cat.NotesNode() : folders[static_cast<std::size_t>(i) % folders.size()];
        cat.AddFoundNote(folder, QString("%1").arg(i, 6, 10, QChar('0')).toStdString(),
                         3'288'522'600'000LL + i * 60'000LL, 11025, 16);
        cat.CompleteNote(100, 1000 + i);
        cat.Notes().LastAddedNote()->Description =
            "Call about the quarterly report " + std::to_string(i % 97);
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
BENCHMARK(BM_StartupToWindowShown)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// One hour at 22050 Hz, 16-bit mono (159 MB) whose header declares no sound and whose record has
// no duration, as a kill leaves it at worst, among 1,000 complete notes. Timed: from the start
// to the window shown, the repair (header, record, graph drawn from the whole hour, catalogue
// saved) included. The file is in the page cache, as it is right after the program died.
void BM_StartupRepairingAnInterruptedHour(benchmark::State& state) {
    QTemporaryDir dir;
    WriteCatalogue(dir.path(), 1000);
    std::string wavPath;
    std::string indexPath;
    std::string index;
    {
        Catalogue cat(Storage(dir.path(), "My Voice Notes", "ReadMe.txt"), "Notes", "Recycle Bin",
                      RealFileSystem());
        cat.LoadCatalogue();
        const NoteRecord* note = cat.AddRecordedNote(cat.NotesNode(), "interrupted", 22050, 16);
        cat.SaveCatalogue();
        wavPath = cat.Files().NoteWavPath(note->FileName).toStdString();
        indexPath = cat.Files().IndexFilePath().toStdString();
        std::ifstream in(indexPath, std::ios::binary);
        index.assign(std::istreambuf_iterator<char>(in), {});
    }
    {
        std::ofstream wav(wavPath, std::ios::binary);
        const auto header = MakeWaveHeader(1, 22050, 16);
        wav.write(reinterpret_cast<const char*>(header.data()), header.size());
        std::string second(44100, '\0');
        for (std::size_t i = 0; i < second.size(); i += 2) {
            const int v = static_cast<int>((i / 2) % 200) * 100 - 10000;
            second[i] = static_cast<char>(v & 0xFF);
            second[i + 1] = static_cast<char>((v >> 8) & 0xFF);
        }
        for (int s = 0; s < 3600; ++s) {
            wav.write(second.data(), static_cast<std::streamsize>(second.size()));
        }
    }
    FakeWavePort port;
    EventFdPoster poster;
    for (auto _ : state) {
        state.PauseTiming();
        {
            std::ofstream out(indexPath, std::ios::binary | std::ios::trunc);
            out.write(index.data(), static_cast<std::streamsize>(index.size()));
        }
        const int fd = ::open(wavPath.c_str(), O_WRONLY);
        const char zeros[4] = {};
        const bool reset =
            fd >= 0 && ::pwrite(fd, zeros, 4, 4) == 4 && ::pwrite(fd, zeros, 4, 40) == 4;
        if (fd >= 0) {
            ::close(fd);
        }
        if (!reset) {
            state.SkipWithError("cannot reset the recording's header");
            return;
        }
        state.ResumeTiming();
        auto program = std::make_unique<TellamoProgram>(dir.path(), RealFileSystem(), port, poster,
                                                        (dir.path() + "/PLAY.TMP").toStdString());
        program->Start();
        program->Show();
        if (!QTest::qWaitForWindowExposed(&program->MainForm())) {
            state.SkipWithError("window not shown");
        }
        state.PauseTiming();
        const NoteRecord* last = program->DM().Cat().Notes().All().back().get();
        if (last->Description != "interrupted" || last->Duration.value_or(0) != 3'600'000) {
            state.SkipWithError("the recording was not repaired");
        }
        program->MainForm().hide();
        program.reset();
        state.ResumeTiming();
    }
    ::unlink(wavPath.c_str());
}
BENCHMARK(BM_StartupRepairingAnInterruptedHour)->Unit(benchmark::kMillisecond)->Iterations(3);

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
