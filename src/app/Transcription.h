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

// What the composition root picks for transcripts: the recogniser (the only place that knows
// the real one), whether it can run here, and the search index's file in the cache folder.
struct TranscriptionSetup {
    TranscriptWorker::RecogniserFactory MakeRecogniser;
    bool ModelInstalled = false;
    std::string IndexPath;
    bool IdlePriority = true; // the worker at the lowest priority (false only for tests)
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
    TranscriptionLink(TTellamoMainForm& form, Catalogue& catalogue, TranscriptionSetup setup);
    // Stops the worker: a transcription under way is abandoned between two chunks, nothing of
    // it written.
    ~TranscriptionLink() override;

    // After the catalogue was loaded and the settings restored: hands the notes over and starts.
    void Start();
    // The catalogue's notes with their WAVs, newest first.
    static std::vector<NoteToTranscribe> NotesNewestFirst(const Catalogue& catalogue);
    // What the option's box says when notes cannot be transcribed (empty when they can).
    static QString UnavailableText(bool modelInstalled);

    TranscriptWorker& Worker() { return *mWorker; }
    QLabel* ProgressLabel() const { return mLabel; }

private:
    void ApplyPause();
    void ShowProgress(int done, int total);
    void ShowStatus();
    void HandOverNotes();

    TTellamoMainForm& mForm;
    Catalogue& mCat;
    const bool mModelInstalled;
    std::unique_ptr<TranscriptWorker> mWorker;
    QLabel* mLabel = nullptr;
    QToolButton* mPauseButton = nullptr;
    QString mProgressText;
    QString mUnavailableText;      // shown while set
    bool mUnavailableSaid = false; // notes cannot be transcribed here: said once a run
};

} // namespace tellamo
