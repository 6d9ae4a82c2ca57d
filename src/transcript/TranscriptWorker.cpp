#include "transcript/TranscriptWorker.h"

#include <chrono>

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

void TranscriptWorker::SetNotes(std::vector<NoteToTranscribe> notes) {
    {
        const std::lock_guard lock(mLock);
        mToLook.assign(notes.begin(), notes.end());
        mAllNotes = std::move(notes);
        mToDo.clear();
        mDone = 0;
    }
    mWake.notify_all();
}

void TranscriptWorker::NoteRecorded(const NoteToTranscribe& note) {
    {
        const std::lock_guard lock(mLock);
        mFailed.erase(note.FileName);
        mRecorded.push_back(note);
        mAllNotes.push_back(note);
    }
    mWake.notify_all();
}

void TranscriptWorker::DescriptionChanged(const std::string& fileName,
                                          const std::string& description) {
    {
        const std::lock_guard lock(mLock);
        mDescriptions.emplace_back(fileName, description);
    }
    mWake.notify_all();
}

void TranscriptWorker::NotesDeleted(const std::vector<std::string>& fileNames) {
    {
        const std::lock_guard lock(mLock);
        mDeleted.insert(mDeleted.end(), fileNames.begin(), fileNames.end());
        const auto gone = [&](const NoteToTranscribe& note) {
            return std::find(fileNames.begin(), fileNames.end(), note.FileName) != fileNames.end();
        };
        for (auto* queue : {&mToLook, &mToDo, &mRecorded}) {
            queue->erase(std::remove_if(queue->begin(), queue->end(), gone), queue->end());
        }
        mAllNotes.erase(std::remove_if(mAllNotes.begin(), mAllNotes.end(), gone), mAllNotes.end());
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
    progress.Total = mDone + static_cast<int>(mToDo.size() + mRecorded.size()) + (mBusy ? 1 : 0);
    progress.Idle = !mBusy && mToLook.empty() && mToDo.empty() && mRecorded.empty();
    return progress;
}

QString TranscriptWorker::ProgressText(int current, int total) {
    return TranslateText(QStringLiteral("Transcribing %1 of %2 notes…")).arg(current).arg(total);
}

bool TranscriptWorker::WaitUntilIdle(int timeoutMs) {
    std::unique_lock lock(mLock);
    return mWake.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        return !mBusy && mToLook.empty() && mRecorded.empty() && mDescriptions.empty() &&
               mDeleted.empty() && (mToDo.empty() || mRecogniserUnavailable);
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
    if (mPaused.load() && !mStopping.load()) {
        std::unique_lock lock(mLock);
        mWake.wait(lock, [this] { return !mPaused.load() || mStopping.load(); });
    }
    return mStopping.load();
}

void TranscriptWorker::ReleaseRecogniser() {
    if (mRecogniser) {
        mRecogniser.reset();
        // The model's hundred megabytes go back to the system, not only to the allocator.
        malloc_trim(0);
    }
}

void TranscriptWorker::ApplyIndexChanges() {
    std::vector<std::pair<std::string, std::string>> descriptions;
    std::vector<std::string> deleted;
    {
        const std::lock_guard lock(mLock);
        descriptions.swap(mDescriptions);
        deleted.swap(mDeleted);
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

void TranscriptWorker::Look(const NoteToTranscribe& note) {
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
    if (!mFailed.contains(note.FileName)) {
        mToDo.push_back(note);
    }
}

void TranscriptWorker::Transcribe(const NoteToTranscribe& note) {
    if (!mRecogniser) {
        try {
            mRecogniser = mMakeRecogniser();
        } catch (const TellamoError& e) {
            {
                const std::lock_guard lock(mLock);
                mRecogniserUnavailable = true;
            }
            emit TranscriptionUnavailable(QString::fromUtf8(e.what()));
            return;
        }
    }
    try {
        const Transcript transcript =
            TranscribeWav(*mRecogniser, note.WavPath, [this] { return StopRequested(); });
        // A pause that came during the last chunk holds the note here, unwritten.
        if (StopRequested()) {
            return;
        }
        const std::string vttPath = TranscriptPathFor(note.WavPath);
        WriteTranscriptFile(mFs, vttPath, transcript);
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
    while (true) {
        std::unique_lock lock(mLock);
        const auto hasWork = [this] {
            return !mDescriptions.empty() || !mDeleted.empty() || !mRecorded.empty() ||
                   !mToLook.empty() || (!mToDo.empty() && !mRecogniserUnavailable);
        };
        if (!hasWork() && wasWorking) {
            wasWorking = false;
            lock.unlock();
            ReleaseRecogniser();
            mWake.notify_all();
            emit Idle();
            continue;
        }
        mWake.wait(lock, [&] { return mStopping.load() || (!mPaused.load() && hasWork()); });
        if (mStopping.load()) {
            break;
        }
        wasWorking = true;
        std::vector<NoteToTranscribe> look;
        std::optional<NoteToTranscribe> next;
        if (!mRecorded.empty()) {
            next = std::move(mRecorded.front());
            mRecorded.pop_front();
        } else if (!mToLook.empty()) {
            while (!mToLook.empty() && look.size() < LookBatch) {
                look.push_back(std::move(mToLook.front()));
                mToLook.pop_front();
            }
        } else if (!mToDo.empty() && !mRecogniserUnavailable) {
            next = std::move(mToDo.front());
            mToDo.pop_front();
        }
        mBusy = true;
        lock.unlock();

        try {
            ApplyIndexChanges();
            if (!look.empty()) {
                if (mIndex) {
                    mIndex->BeginBatch();
                }
                for (const NoteToTranscribe& note : look) {
                    Look(note);
                }
                if (mIndex) {
                    mIndex->CommitBatch();
                }
                emit IndexChanged();
            } else if (next) {
                const Progress before = CurrentProgress();
                emit ProgressChanged(before.Done, before.Total);
                Transcribe(*next);
            }
        } catch (const IndexDamaged&) {
            // The transcripts are the real copies: make the index anew from every one of them.
            mIndex.reset();
            SearchIndex::Discard(mIndexPath);
            OpenIndex();
            const std::lock_guard relock(mLock);
            mToLook.assign(mAllNotes.begin(), mAllNotes.end());
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
    ReleaseRecogniser();
    mIndex.reset();
}

} // namespace tellamo
