#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QObject>
#include <QString>

#include "transcript/TranscriptWorker.h"

class QLabel;
class QToolButton;

namespace tellamo {

class Catalogue;
class TTellamoMainForm;

// What the composition root picks for transcripts: the worker (made with the real recogniser,
// which only main() knows; it outlives the program), whether the recogniser's model is
// installed, and the search index's file in the cache folder that the worker keeps.
struct TranscriptionSetup {
    TranscriptWorker* Worker = nullptr;
    bool ModelInstalled = false;
    std::string IndexPath;
};

// main()'s owner of the worker, declared right after the application object so that it goes
// after everything else: by then the catalogue and the settings are saved and every device,
// hold and lock is given back. A transcription still under way is not waited for (at the lowest
// priority on a busy machine that could take minutes): the process ends there and then. That
// loses only the unfinished transcript, which is never half-written and is made again at the
// next start.
class TranscriptWorkerHolder {
public:
    TranscriptWorkerHolder() = default;
    ~TranscriptWorkerHolder();
    TranscriptWorkerHolder(const TranscriptWorkerHolder&) = delete;
    TranscriptWorkerHolder& operator=(const TranscriptWorkerHolder&) = delete;

    TranscriptWorker& Make(std::string indexPath, TranscriptWorker::RecogniserFactory make);
    // What the process ends with when the holder ends it.
    void SetExitStatus(int status) { mExitStatus = status; }

private:
    std::unique_ptr<TranscriptWorker> mWorker;
    int mExitStatus = 0;
};

// The transcript worker in the program: it gets every note that has no current transcript,
// newest first, and each note whose recording has just ended; it hears of deletions and new
// descriptions; the window shows its progress in the status bar ("TranscriptionLabel", with the
// "Pause transcription" button) and searches its index by spoken words. The worker is paused
// while "Transcribe notes (English)" is off or the user paused it. A missing speech model is
// said once, in the status bar: no box at start-up. Window thread.
class TranscriptionLink : public QObject {
    Q_OBJECT
public:
    TranscriptionLink(TTellamoMainForm& form, Catalogue& catalogue,
                      const TranscriptionSetup& setup);
    // Pauses the worker: it takes no new work for a window that is gone.
    ~TranscriptionLink() override;

    // After the catalogue was loaded and the settings restored: hands the notes over and starts.
    void Start();
    // The catalogue's notes with their descriptions, newest first.
    static NoteQueue NotesNewestFirst(const Catalogue& catalogue);
    // What the option's box says when notes cannot be transcribed (empty when they can).
    static QString UnavailableText(bool modelInstalled);

    TranscriptWorker& Worker() { return mWorker; }
    QLabel* ProgressLabel() const { return mLabel; }

private:
    void ApplyPause();
    void ShowProgress(int done, int total);
    void ShowStatus();
    void HandOverNotes();

    TTellamoMainForm& mForm;
    Catalogue& mCat;
    const bool mModelInstalled;
    TranscriptWorker& mWorker;
    QLabel* mLabel = nullptr;
    QToolButton* mPauseButton = nullptr;
    QString mProgressText;
    QString mUnavailableText;      // shown while set
    QString mNoModelText;          // why no note can be transcribed here (the pane says it)
    bool mUnavailableSaid = false; // notes cannot be transcribed here: said once a run
};

} // namespace tellamo
