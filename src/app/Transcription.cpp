#include "app/Transcription.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <QAction>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

#include "catalogue/Catalogue.h"
#include "common/Translate.h"
#include "mainwindow/TellamoMainForm.h"
#include "mainwindow/TranscriptPane.h"

namespace tellamo {

namespace {
constexpr int UnavailableShownMs = 60'000;
} // namespace

TranscriptWorker& TranscriptWorkerHolder::Make(std::string indexPath,
                                               TranscriptWorker::RecogniserFactory make) {
    mWorker = std::make_unique<TranscriptWorker>(std::move(indexPath), std::move(make));
    return *mWorker;
}

TranscriptWorkerHolder::~TranscriptWorkerHolder() {
    if (!mWorker) {
        return;
    }
    mWorker->Pause();
    if (!mWorker->CurrentProgress().Idle) {
        std::fflush(nullptr);
        std::_Exit(mExitStatus);
    }
}

TranscriptionLink::TranscriptionLink(TTellamoMainForm& form, Catalogue& catalogue,
                                     const TranscriptionSetup& setup)
    : QObject(&form), mForm(form), mCat(catalogue), mModelInstalled(setup.ModelInstalled),
      mWorker(*setup.Worker), mNoModelText(UnavailableText(mModelInstalled)) {
    mForm.CataloguePart().SetSearchIndexPath(setup.IndexPath);

    const MainActions& a = mForm.Actions();
    // On by default where the model is installed; the settings file may say otherwise.
    a.TranscribeAction->setChecked(mModelInstalled);
    a.TranscribeAction->setEnabled(mModelInstalled);

    QStatusBar* bar = mForm.statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    mLabel = new QLabel(bar);
    mLabel->setObjectName(QStringLiteral("TranscriptionLabel"));
    bar->addWidget(mLabel, 1);
    mPauseButton = new QToolButton(bar);
    mPauseButton->setObjectName(QStringLiteral("PauseTranscriptionButton"));
    mPauseButton->setDefaultAction(a.PauseTranscriptionAction);
    mPauseButton->setAutoRaise(true);
    bar->addPermanentWidget(mPauseButton);
    bar->hide(); // shown only while there is something to say

    TranscriptWorker* worker = &mWorker;
    connect(a.TranscribeAction, &QAction::toggled, this, &TranscriptionLink::ApplyPause);
    connect(a.PauseTranscriptionAction, &QAction::toggled, this, &TranscriptionLink::ApplyPause);
    connect(worker, &TranscriptWorker::ProgressChanged, this, &TranscriptionLink::ShowProgress);
    connect(worker, &TranscriptWorker::NotesWanted, this, &TranscriptionLink::HandOverNotes);
    connect(worker, &TranscriptWorker::IndexChanged, this,
            [this] { mForm.CataloguePart().SearchIndexChanged(); });
    connect(worker, &TranscriptWorker::TranscriptWritten, this, [this](const QString& name) {
        mForm.Transcript().TranscriptWritten(
            mCat.Files().NoteWavPath(name.toStdString()).toStdString());
    });
    connect(worker, &TranscriptWorker::TranscriptionUnavailable, this, [this](const QString& text) {
        mNoModelText = text;
        if (!mUnavailableSaid) {
            mUnavailableSaid = true;
            mUnavailableText = text;
            std::fprintf(stderr, "tellamo: %s\n", qPrintable(text));
            ShowStatus();
        }
    });
    connect(worker, &TranscriptWorker::NoteFailed, this,
            [](const QString& name, const QString& text) {
                // One note's failure is not the user's business in a box; it is tried again at
                // the next start.
                std::fprintf(stderr, "tellamo: %s%s%s\n", qPrintable(name),
                             name.isEmpty() ? "" : ": ", qPrintable(text));
            });

    connect(&mCat, &Catalogue::NoteCompleted, this, [this](const QString& name) {
        const std::string fileName = name.toStdString();
        const NoteRecord* note = nullptr;
        for (const auto& record : mCat.Notes().All()) {
            if (record->FileName == fileName) {
                note = record.get();
            }
        }
        if (Storage::IsSafeNoteFileName(fileName)) {
            mWorker.NoteRecorded(fileName, note ? note->Description : std::string());
        }
    });
    connect(&mCat, &Catalogue::NotesDeleted, this, [this](const QStringList& names) {
        std::vector<std::string> fileNames;
        for (const QString& name : names) {
            fileNames.push_back(name.toStdString());
        }
        mWorker.NotesDeleted(fileNames);
    });
    // Also for a note that the change takes out of the list (or into it).
    connect(&mCat, &Catalogue::NoteDescriptionChanged, this, [this](const NoteRecord* note) {
        mWorker.DescriptionChanged(note->FileName, note->Description);
    });
    // Notes come back from the storage folder or a backup: each is looked at again.
    for (QAction* restore : {a.RestoreNotesAction, a.RestoreBackupAction}) {
        connect(restore, &QAction::triggered, this, &TranscriptionLink::HandOverNotes);
    }
}

TranscriptionLink::~TranscriptionLink() {
    disconnect(&mWorker, nullptr, this, nullptr);
    mWorker.Pause();
}

QString TranscriptionLink::UnavailableText(bool modelInstalled) {
    return modelInstalled ? QString()
                          : TranslateText("Notes cannot be transcribed: the English speech model "
                                          "is not installed (package pocketsphinx-en-us).");
}

NoteQueue TranscriptionLink::NotesNewestFirst(const Catalogue& catalogue) {
    std::vector<const NoteRecord*> notes;
    notes.reserve(catalogue.Notes().All().size());
    for (const auto& record : catalogue.Notes().All()) {
        notes.push_back(record.get());
    }
    // The catalogue holds its notes mostly in the order they were recorded: then newest first is
    // that order turned round, which the sort would take several times as long to find.
    const auto earlier = [](const NoteRecord* a, const NoteRecord* b) {
        return a->Start < b->Start;
    };
    const auto notLater = [](const NoteRecord* a, const NoteRecord* b) {
        return a->Start >= b->Start;
    };
    if (std::adjacent_find(notes.begin(), notes.end(), notLater) == notes.end()) {
        std::reverse(notes.begin(), notes.end());
    } else {
        std::stable_sort(notes.begin(), notes.end(),
                         [&](const NoteRecord* a, const NoteRecord* b) { return earlier(b, a); });
    }
    NoteQueue list;
    list.Reserve(notes.size());
    for (const NoteRecord* note : notes) {
        // A note whose recording has not ended has no whole file yet: it comes when it ends. A
        // name the storage folder makes no path for is left alone.
        if (note->Duration && Storage::IsSafeNoteFileName(note->FileName)) {
            list.Push(note->FileName, note->Description);
        }
    }
    return list;
}

void TranscriptionLink::Start() {
    if (!mModelInstalled) {
        // Said once, where it does not stand in the way, for long enough to be read; the
        // Options dialog says it too.
        mUnavailableSaid = true;
        mUnavailableText = UnavailableText(false);
        QTimer::singleShot(UnavailableShownMs, this, [this] {
            mUnavailableText.clear();
            ShowStatus();
        });
        ShowStatus();
    }
    ApplyPause();
    mWorker.SetStorageFolder(mCat.Files().StorageFolder().toStdString());
    HandOverNotes();
    mWorker.Start();
}

void TranscriptionLink::HandOverNotes() {
    mWorker.SetNotes(NotesNewestFirst(mCat));
}

void TranscriptionLink::ApplyPause() {
    const MainActions& a = mForm.Actions();
    if (a.TranscribeAction->isChecked() && !a.PauseTranscriptionAction->isChecked()) {
        mWorker.Resume();
    } else {
        mWorker.Pause();
    }
    ShowStatus();
}

void TranscriptionLink::ShowProgress(int done, int total) {
    const TranscriptWorker::Progress now = mWorker.CurrentProgress();
    mProgressText = done < total && !now.Idle
                        ? TranscriptWorker::ProgressText(std::min(done + 1, total), total)
                        : QString();
    ShowStatus();
}

void TranscriptionLink::ShowStatus() {
    const MainActions& a = mForm.Actions();
    const bool working = !mProgressText.isEmpty() && a.TranscribeAction->isChecked();
    const QString text = !mUnavailableText.isEmpty() ? mUnavailableText : mProgressText;
    mLabel->setText(working || !mUnavailableText.isEmpty() ? text : QString());
    // The button stays while paused, so that the user can go on.
    mPauseButton->setVisible(mUnavailableText.isEmpty() &&
                             (working || a.PauseTranscriptionAction->isChecked()));
    mForm.statusBar()->setVisible(!mLabel->text().isEmpty() || mPauseButton->isVisible());
    mForm.Transcript().SetNoTranscriptReason(!mNoModelText.isEmpty() ? mNoModelText
                                             : !a.TranscribeAction->isChecked()
                                                 ? TranslateText("Transcription is off")
                                                 : QString());
}

} // namespace tellamo
