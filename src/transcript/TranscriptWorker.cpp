#include "transcript/TranscriptWorker.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include <malloc.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>

#include "common/Errors.h"
#include "common/Translate.h"
#include "transcript/NoteIndexing.h"
#include "transcript/Recogniser.h"
#include "transcript/SearchIndex.h"
#include "transcript/Transcriber.h"
#include "transcript/TranscriptFiles.h"

namespace tellamo {

namespace {
// Notes looked at between two looks at the queues, in one index transaction.
constexpr std::size_t LookBatch = 256;

QString FromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}
} // namespace

TranscriptWorker::TranscriptWorker(std::string indexPath, RecogniserFactory makeRecogniser,
                                   FileSystem& fileSystem)
    : mIndexPath(std::move(indexPath)), mMakeRecogniser(std::move(makeRecogniser)),
      mFs(fileSystem) {}

TranscriptWorker::~TranscriptWorker() {
    {
        const std::lock_guard lock(mLock);
        mStopping = true;
    }
    mWake.notify_all();
    if (mThread.joinable()) {
        mThread.join();
    }
}

void TranscriptWorker::Start() {
    if (!mThread.joinable()) {
        mThread = std::thread([this] { Run(); });
    }
}

void TranscriptWorker::SetStorageFolder(std::string folder) {
    const std::lock_guard lock(mLock);
    mStorageFolder = std::move(folder);
}

void TranscriptWorker::SetNotes(NoteQueue notes) {
    NoteQueue old;
    {
        const std::lock_guard lock(mLock);
        std::swap(mToLook, notes);
        std::swap(mToDo, old);
        mNewerDescriptions.clear();
        mDone = 0;
    }
    mWake.notify_all();
    // The lists replaced are freed here, outside the lock.
}

void TranscriptWorker::NoteRecorded(const std::string& fileName, const std::string& description) {
    {
        const std::lock_guard lock(mLock);
        mFailed.erase(fileName);
        mRecorded.Push(fileName, description);
        // Found by its description at once, also while transcription waits.
        mDescriptions.emplace_back(fileName, description);
    }
    mWake.notify_all();
}

void TranscriptWorker::DescriptionChanged(const std::string& fileName,
                                          const std::string& description) {
    {
        const std::lock_guard lock(mLock);
        mDescriptions.emplace_back(fileName, description);
        if (!mToLook.Empty()) {
            mNewerDescriptions[fileName] = description;
        }
    }
    mWake.notify_all();
}

void TranscriptWorker::NotesDeleted(const std::vector<std::string>& fileNames) {
    {
        const std::lock_guard lock(mLock);
        mDeleted.insert(mDeleted.end(), fileNames.begin(), fileNames.end());
        if (std::find(fileNames.begin(), fileNames.end(), mTranscribing) != fileNames.end()) {
            mTranscribingDeleted = true;
        }
        for (NoteQueue* queue : {&mToLook, &mToDo, &mRecorded}) {
            queue->Remove(fileNames);
        }
    }
    mWake.notify_all();
}

void TranscriptWorker::Pause() {
    if (!mPaused.exchange(true)) {
        emit Paused(true);
    }
}

void TranscriptWorker::Resume() {
    {
        const std::lock_guard lock(mLock);
        if (!mPaused.exchange(false)) {
            return;
        }
    }
    mWake.notify_all();
    emit Paused(false);
}

TranscriptWorker::Progress TranscriptWorker::CurrentProgress() const {
    const std::lock_guard lock(mLock);
    Progress progress;
    progress.Done = mDone;
    progress.Total = mDone + static_cast<int>(mToDo.Size() + mRecorded.Size()) + (mBusy ? 1 : 0);
    progress.Idle = !mBusy && mToLook.Empty() && mToDo.Empty() && mRecorded.Empty();
    return progress;
}

QString TranscriptWorker::ProgressText(int current, int total) {
    return TranslateText(QStringLiteral("Transcribing %1 of %2 notes…")).arg(current).arg(total);
}

bool TranscriptWorker::WaitUntilIdle(int timeoutMs) {
    std::unique_lock lock(mLock);
    return mWake.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        return !mBusy && mToLook.Empty() && mRecorded.Empty() && mDescriptions.empty() &&
               mDeleted.empty() && mToDo.Empty();
    });
}

void TranscriptWorker::SetLowestPriority() {
    // SCHED_IDLE runs only when nothing else wants the CPU, capture thread included; nice 19
    // is the fallback where the scheduler class is refused.
    sched_param param{};
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
    setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 19);
}

bool TranscriptWorker::OpenIndex() {
    mIndex.reset();
    QDir().mkpath(QFileInfo(QString::fromStdString(mIndexPath)).absolutePath());
    try {
        mIndex = std::make_unique<SearchIndex>(mIndexPath);
        return true;
    } catch (const TellamoError& e) {
        emit NoteFailed(QString(), QString::fromUtf8(e.what()));
        return false;
    }
}

bool TranscriptWorker::StopRequested() {
    while (mPaused.load() && !mStopping.load() && !TranscribingDeleted()) {
        {
            std::unique_lock lock(mLock);
            mWake.wait(lock, [this] {
                return !mPaused.load() || mStopping.load() || !mDescriptions.empty() ||
                       mTranscribingDeleted;
            });
        }
        // The note held here does not hold up the descriptions. Deletions wait: the note may be
        // one of them, and its transcript, once written, would bring it back.
        try {
            ApplyIndexChanges(false);
        } catch (const IndexDamaged&) {
            throw;
        } catch (const TellamoError& e) {
            // Not the held note's failure.
            mIndex->RollbackBatch();
            emit NoteFailed(QString(), QString::fromUtf8(e.what()));
        }
    }
    // A note deleted while it is transcribed is not heard to its end.
    return mStopping.load() || TranscribingDeleted();
}

bool TranscriptWorker::TranscribingDeleted() const {
    const std::lock_guard lock(mLock);
    return mTranscribingDeleted;
}

void TranscriptWorker::ReleaseMemory() {
    mRecogniser.reset();
    if (mIndex) {
        mIndex->ReleaseMemory();
    }
    // The model's hundred megabytes, and what the notes and the index's work left in the heap,
    // go back to the system, not only to the allocator.
    malloc_trim(0);
}

TranscriptWorker::Note TranscriptWorker::Take(NoteQueue& queue) const {
    Note note{queue.FrontName(), {}, queue.FrontDescription()};
    note.WavPath = mStorageFolder + note.FileName + ".wav";
    queue.PopFront();
    return note;
}

bool TranscriptWorker::HasIndexWork() const {
    return !mDescriptions.empty() || !mDeleted.empty() || !mToLook.Empty();
}

bool TranscriptWorker::HasTranscriptionWork() const {
    return !mPaused.load() && (!mRecorded.Empty() || (!mToDo.Empty() && !mRecogniserUnavailable));
}

void TranscriptWorker::ApplyIndexChanges(bool withDeletions) {
    std::vector<std::pair<std::string, std::string>> descriptions;
    std::vector<std::string> deleted;
    {
        const std::lock_guard lock(mLock);
        descriptions.swap(mDescriptions);
        if (withDeletions) {
            deleted.swap(mDeleted);
        }
    }
    for (const std::string& name : deleted) {
        // The window removed the note's files, but a transcript written just after its look at
        // the folder would outlive the note: gone or not, it goes now (unlink removes a planted
        // link, never what it points at).
        mFs.Remove(TranscriptPathFor(mStorageFolder + name + ".wav"));
    }
    if (!mIndex || (descriptions.empty() && deleted.empty())) {
        return;
    }
    mIndex->BeginBatch();
    for (const auto& [name, text] : descriptions) {
        mIndex->SetDescription(name, text);
    }
    for (const std::string& name : deleted) {
        mIndex->Remove(name);
    }
    mIndex->CommitBatch();
    emit IndexChanged();
}

void TranscriptWorker::LookAt(std::vector<Note>& batch) {
    if (mIndex) {
        mIndex->BeginBatch();
    }
    try {
        for (const Note& note : batch) {
            Look(note);
        }
    } catch (const IndexDamaged&) {
        // Looked at again in the index made anew.
        const std::lock_guard lock(mLock);
        NoteQueue again;
        again.Reserve(batch.size() + mToLook.Size());
        for (const Note& note : batch) {
            again.Push(note.FileName, note.Description);
        }
        while (!mToLook.Empty()) {
            again.Push(mToLook.FrontName(), mToLook.FrontDescription());
            mToLook.PopFront();
        }
        std::swap(mToLook, again);
        throw;
    }
    if (mIndex) {
        mIndex->CommitBatch();
    }
    emit IndexChanged();
}

void TranscriptWorker::Look(const Note& note) {
    NoteTranscriptState state = NoteTranscriptState::NoSound;
    try {
        state = RefreshNoteInIndex(mIndex.get(), note.FileName, note.WavPath, note.Description);
    } catch (const IndexDamaged&) {
        throw;
    } catch (const TellamoError& e) {
        // An unreadable .vtt: a new transcript replaces it.
        emit NoteFailed(FromUtf8(note.FileName), QString::fromUtf8(e.what()));
        state = NoteTranscriptState::NeedsTranscript;
    }
    if (state != NoteTranscriptState::NeedsTranscript) {
        return;
    }
    const std::lock_guard lock(mLock);
    // Without a recogniser nothing in the list could be done in this run.
    if (!mFailed.contains(note.FileName) && !mRecogniserUnavailable) {
        mToDo.Push(note.FileName);
    }
}

void TranscriptWorker::Transcribe(const Note& note) {
    if (!mRecogniser) {
        try {
            mRecogniser = mMakeRecogniser();
        } catch (const TellamoError& e) {
            {
                const std::lock_guard lock(mLock);
                mRecogniserUnavailable = true;
                mToDo.Clear();
            }
            emit TranscriptionUnavailable(QString::fromUtf8(e.what()));
            return;
        }
    }
    {
        const std::lock_guard lock(mLock);
        mTranscribing = note.FileName;
        mTranscribingDeleted = false;
    }
    struct Done {
        TranscriptWorker& Worker;
        ~Done() {
            const std::lock_guard lock(Worker.mLock);
            Worker.mTranscribing.clear();
            Worker.mTranscribingDeleted = false;
        }
    } done{*this};
    try {
        const Transcript transcript =
            TranscribeWav(*mRecogniser, note.WavPath, [this] { return StopRequested(); });
        // A pause that came during the last chunk holds the note here, unwritten.
        if (StopRequested()) {
            return;
        }
        const std::string vttPath = TranscriptPathFor(note.WavPath);
        WriteTranscriptFile(mFs, vttPath, transcript);
        if (TranscribingDeleted()) {
            // The window removed the note's files before this one was there to be removed.
            mFs.Remove(vttPath);
            return;
        }
        if (mIndex) {
            // The description may have changed while the note was transcribed.
            const std::optional<IndexEntry> known = mIndex->Get(note.FileName);
            mIndex->Put(note.FileName,
                        {transcript.Text(), known ? known->Description : note.Description,
                         StampOf(vttPath)});
        }
        {
            const std::lock_guard lock(mLock);
            ++mDone;
        }
        emit TranscriptWritten(FromUtf8(note.FileName));
        emit IndexChanged();
    } catch (const TranscriptionStopped&) {
    } catch (const IndexDamaged&) {
        throw;
    } catch (const TellamoError& e) {
        {
            const std::lock_guard lock(mLock);
            mFailed.insert(note.FileName);
        }
        emit NoteFailed(FromUtf8(note.FileName), QString::fromUtf8(e.what()));
    }
}

void TranscriptWorker::Run() {
    if (mIdlePriority) {
        SetLowestPriority();
    }
    OpenIndex();
    bool wasWorking = false;
    bool heldNotes = false; // since the last time memory was given back
    while (true) {
        std::unique_lock lock(mLock);
        const auto hasWork = [this] { return HasIndexWork() || HasTranscriptionWork(); };
        if (!hasWork() && wasWorking) {
            wasWorking = false;
            lock.unlock();
            // Not after a description alone: trimming locks the heap the window thread uses.
            if (heldNotes || mRecogniser) {
                ReleaseMemory();
                heldNotes = false;
            }
            mWake.notify_all();
            emit Idle();
            continue;
        }
        mWake.wait(lock, [&] { return mStopping.load() || hasWork(); });
        if (mStopping.load()) {
            break;
        }
        wasWorking = true;
        std::vector<Note> look;
        std::optional<Note> next;
        const bool transcribing = HasTranscriptionWork();
        if (transcribing && !mRecorded.Empty()) {
            next = Take(mRecorded);
        } else if (!mToLook.Empty()) {
            look.reserve(std::min(LookBatch, mToLook.Size()));
            while (!mToLook.Empty() && look.size() < LookBatch) {
                look.push_back(Take(mToLook));
                const auto newer = mNewerDescriptions.find(look.back().FileName);
                if (newer != mNewerDescriptions.end()) {
                    look.back().Description = newer->second;
                }
            }
            if (mToLook.Empty()) {
                std::unordered_map<std::string, std::string>().swap(mNewerDescriptions);
            }
        } else if (transcribing) {
            next = Take(mToDo);
        }
        mBusy = true;
        heldNotes = heldNotes || !look.empty() || next.has_value();
        lock.unlock();

        try {
            ApplyIndexChanges(true);
            if (!look.empty()) {
                LookAt(look);
            } else if (next) {
                const Progress before = CurrentProgress();
                emit ProgressChanged(before.Done, before.Total);
                Transcribe(*next);
            }
        } catch (const IndexDamaged&) {
            // The transcripts are the real copies: the index is made anew from every one of
            // them, which the owner hands over again.
            mIndex.reset();
            SearchIndex::Discard(mIndexPath);
            OpenIndex();
            emit NotesWanted();
        } catch (const TellamoError& e) {
            if (mIndex) {
                mIndex->RollbackBatch();
            }
            emit NoteFailed(QString(), QString::fromUtf8(e.what()));
        }
        {
            const std::lock_guard relock(mLock);
            mBusy = false;
        }
        const Progress after = CurrentProgress();
        emit ProgressChanged(after.Done, after.Total);
    }
    mRecogniser.reset();
    mIndex.reset();
}

} // namespace tellamo
