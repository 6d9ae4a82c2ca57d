#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <QObject>
#include <QString>

#include "common/FileSystem.h"
#include "transcript/NoteQueue.h"

namespace tellamo {

class Recogniser;
class SearchIndex;

// Transcribes notes in the background and keeps the search index up to date with their .vtt
// files and descriptions. One thread of its own at the lowest priority (SCHED_IDLE, nice 19),
// never on the capture path. It keeps no state of its own between runs: a note whose .vtt is
// missing, or was made from other sound, is transcribed again, so a restart goes on where the
// last run stopped, and a kill leaves at worst a stale "NNNNNN.vtt.new", never a half .vtt.
// The recogniser is made once when there is work and dropped (its memory given back) when the
// queue is empty. The queues hold the notes' names and descriptions packed (NoteQueue), the
// storage folder once; what they held goes back to the system when they are empty.
//
// A pause holds the transcription only: the index still follows the notes handed over, the
// descriptions and the deletions, which costs little and needs no recogniser, so that a search
// by spoken words finds by today's descriptions also while transcription is off.
//
// Public functions are for the window thread; the signals are emitted on the worker's thread
// and reach receivers of the window thread queued. Shared between the two threads: everything
// below mLock is guarded by it; mStopping and mPaused are atomics read by the transcription's
// stop check. A note being recorded must not be handed over before its recording has ended.
class TranscriptWorker : public QObject {
    Q_OBJECT
public:
    using RecogniserFactory = std::function<std::unique_ptr<Recogniser>()>;

    // indexPath: the search index in the cache folder (its folder is made when missing).
    TranscriptWorker(std::string indexPath, RecogniserFactory makeRecogniser,
                     FileSystem& fileSystem = RealFileSystem());
    // Stops the thread; a transcription under way is abandoned and nothing of it written.
    ~TranscriptWorker() override;

    void Start();
    // Before Start: false runs the thread at the caller's priority (tests on a busy machine,
    // where a thread at the lowest priority may not run for minutes).
    void SetIdlePriority(bool idle) { mIdlePriority = idle; }
    // Where the notes' WAVs are ("…/My Voice Notes/"): a note's is the folder, its file name
    // and ".wav". Before the first notes are handed over.
    void SetStorageFolder(std::string folder);
    // The catalogue's notes, newest first, with their descriptions (replaces the earlier
    // list). Only names the storage folder makes a path for (never one with a "/", "." or
    // ".."). Each is looked at on the worker's thread, so that a start-up with many notes
    // costs the window nothing.
    void SetNotes(NoteQueue notes);
    // A recording has ended, or a note's sound was replaced: it comes next.
    void NoteRecorded(const std::string& fileName, const std::string& description);
    void DescriptionChanged(const std::string& fileName, const std::string& description);
    // Deleted notes leave the index (their files went with the note).
    void NotesDeleted(const std::vector<std::string>& fileNames);

    // A paused worker finishes no transcript and starts none (a recording may want the CPU).
    void Pause();
    void Resume();
    bool IsPaused() const { return mPaused.load(); }

    // This round's figures: notes transcribed, and notes transcribed plus still to do.
    struct Progress {
        int Done = 0;
        int Total = 0;
        bool Idle = true;
    };
    Progress CurrentProgress() const;
    // "Transcribing 3 of 120 notes…" for the third note of 120.
    static QString ProgressText(int current, int total);

    // Waits until every note handed over has been looked at and the queue is empty; false when
    // timeoutMs passed first. For tools and tests.
    bool WaitUntilIdle(int timeoutMs);

signals:
    void ProgressChanged(int done, int total);
    // A new .vtt is on the disk (and in the index).
    void TranscriptWritten(const QString& fileName);
    // The index has changed: a search by spoken words may find other notes now.
    void IndexChanged();
    // Said once: no note can be transcribed (the speech model is missing).
    void TranscriptionUnavailable(const QString& text);
    void NoteFailed(const QString& fileName, const QString& text);
    void Paused(bool paused);
    // The index was found damaged and made anew: every note must be handed over again
    // (SetNotes), since the notes looked at earlier are no longer in it.
    void NotesWanted();
    void Idle();

private:
    void Run();
    void SetLowestPriority();
    bool OpenIndex();
    void ApplyIndexChanges(bool withDeletions);
    // A note as taken from a queue, with the path of its WAV.
    struct Note {
        std::string FileName;
        std::string WavPath;
        std::string Description;
    };
    Note Take(NoteQueue& queue) const;
    bool HasIndexWork() const;
    bool HasTranscriptionWork() const;
    void LookAt(std::vector<Note>& batch);
    void Look(const Note& note);
    void Transcribe(const Note& note);
    bool StopRequested();
    bool TranscribingDeleted() const;
    void ReleaseMemory();

    const std::string mIndexPath;
    const RecogniserFactory mMakeRecogniser;
    FileSystem& mFs;
    std::thread mThread;
    std::atomic<bool> mStopping{false};
    std::atomic<bool> mPaused{false};
    bool mIdlePriority = true; // set before the thread starts, read by it

    mutable std::mutex mLock;
    std::condition_variable mWake;
    std::string mStorageFolder;
    NoteQueue mToLook;   // not looked at yet, newest first, with their descriptions
    NoteQueue mToDo;     // no current transcript, newest first (the index has the descriptions)
    NoteQueue mRecorded; // comes before everything else, with their descriptions
    // Descriptions changed since mToLook was handed over: newer than those it holds.
    std::unordered_map<std::string, std::string> mNewerDescriptions;
    std::vector<std::pair<std::string, std::string>> mDescriptions;
    std::vector<std::string> mDeleted;
    // The note being transcribed, and whether it was deleted meanwhile: its transcript must not
    // outlive it as a file nothing names.
    std::string mTranscribing;
    bool mTranscribingDeleted = false;
    std::set<std::string> mFailed; // not tried again in this run
    int mDone = 0;
    bool mBusy = false; // the worker holds a note it took from the queues

    // The worker thread's own.
    std::unique_ptr<SearchIndex> mIndex;
    std::unique_ptr<Recogniser> mRecogniser;
    bool mRecogniserUnavailable = false;
};

} // namespace tellamo
