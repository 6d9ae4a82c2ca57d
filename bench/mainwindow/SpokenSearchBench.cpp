// The window's keystroke in the filter with "Search spoken words" on, over a catalogue of
// 100,000 notes whose transcripts are in the search index (SpokenCorpus.h; built once into /tmp
// and shared with search_index_bench): the filter text changes as a key does it, the index is
// asked once, every note of the shown folder is let through or not, and the list is painted.
// The descriptions are those of the start-up benchmark ("Call about the quarterly report 12"),
// so that a typed letter such as "b" also makes every description worth a look. For comparison,
// the same keystrokes with "Search spoken words" off (the descriptions' filter alone). Runs on
// Qt's offscreen platform unless another is set.
//
//   build/bench/mainwindow/spoken_search_bench

#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include "SpokenCorpus.h"
#include "audio/WindowPoster.h"
#include "catalogue/Catalogue.h"
#include "common/FileSystem.h"
#include "mainwindow/CataloguePanel.h"
#include "mainwindow/MainActions.h"
#include "mainwindow/TellamoMainForm.h"
#include "support/FakeWavePort.h"

namespace tellamo {
namespace {

using bench::CorpusNoteName;
using bench::CorpusNotes;

struct Window {
    Window() {
        bench::TheCorpusIndex();
        Cat.Files().EnsureStorageFolder([](const QString&, const QString&) {});
        Cat.NewCatalogue();
        for (int i = 0; i < CorpusNotes; ++i) {
            NoteRecord* note = Cat.AddFoundNote(Cat.NotesNode(), CorpusNoteName(i),
                                                3'288'522'600'000LL + i * 60'000LL, 16000, 16);
            Cat.CompleteNote(note, 100, 1000 + i);
            note->Description = "Call about the quarterly report " + std::to_string(i % 97);
            note->FieldsChanged();
        }
        Cat.SelectFolder(Cat.NotesNode());
        // The window comes after the notes, as at start-up: it has no list to follow note by note.
        FormPointer = std::make_unique<TTellamoMainForm>(

            Cat, AudioServices{Port, Poster, (Documents.path() + "/PLAY.TMP").toStdString()});
        TTellamoMainForm& Form = *FormPointer;
        Form.Actions().FilterToolBarAction->setChecked(true);
        Form.show();
        Exposed = QTest::qWaitForWindowExposed(&Form);
        Form.CataloguePart().SetSearchIndexPath(bench::CorpusIndexPath);
        Form.Actions().FilterAction->trigger();
        Edit = Form.findChild<QLineEdit*>(QStringLiteral("FilterEdit"));
    }

    QTemporaryDir Documents;
    Catalogue Cat{Storage(Documents.path(), "My Voice Notes", "ReadMe.txt"), "Notes", "Recycle Bin",
                  RealFileSystem()};
    FakeWavePort Port;
    EventFdPoster Poster;
    std::unique_ptr<TTellamoMainForm> FormPointer;
    QLineEdit* Edit = nullptr;
    bool Exposed = false;
};

std::unique_ptr<Window> TheOpenWindow; // closed in main(), before the application ends

Window& TheWindow() {
    if (!TheOpenWindow) {
        TheOpenWindow = std::make_unique<Window>();
    }
    return *TheOpenWindow;
}

void Keystroke(benchmark::State& state, bool spoken, const std::string& typed) {
    Window& w = TheWindow();
    if (!w.Exposed || !w.Edit) {
        state.SkipWithError("window not shown");
        return;
    }
    if (w.FormPointer->Actions().SpokenWordsAction->isChecked() != spoken) {
        w.FormPointer->Actions().SpokenWordsAction->trigger();
    }
    const QString before = QString::fromStdString(typed.substr(0, typed.size() - 1));
    const QString after = QString::fromStdString(typed);
    for (auto _ : state) {
        state.PauseTiming();
        w.Edit->setText(before);
        QCoreApplication::processEvents();
        state.ResumeTiming();
        w.Edit->setText(after);            // the last key of what is typed
        QCoreApplication::processEvents(); // the list painted
    }
    if (w.Edit->text() != after) {
        state.SkipWithError("the filter text was not taken");
    }
    state.counters["notes_shown"] = static_cast<double>(w.Cat.Notes().Shown().size());
}

} // namespace
} // namespace tellamo

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    for (const bool spoken : {true, false}) {
        for (const char* typed :
             {"b", "bu", "bud", "budg", "budget", "budget m", "budget meeting", "t", "s the a"}) {
            const std::string name =
                std::string(spoken ? "SpokenWords" : "Descriptions") + "/\"" + typed + "\"";
            benchmark::RegisterBenchmark(name.c_str(), tellamo::Keystroke, spoken,
                                         std::string(typed))
                ->Unit(benchmark::kMillisecond)
                ->MeasureProcessCPUTime();
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    tellamo::TheOpenWindow.reset();
    return 0;
}
