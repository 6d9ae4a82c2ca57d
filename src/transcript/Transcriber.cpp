#include "transcript/Transcriber.h"

#include <algorithm>

#include "audio/NoteAudio.h"
#include "transcript/TranscriptFiles.h"

namespace tellamo {

namespace {

constexpr std::size_t SamplesPerMs = Recogniser::SampleRate / 1000;
constexpr std::size_t FrameSamples = 10 * SamplesPerMs;
// The quietest stretch of this length is where a chunk ends.
constexpr std::size_t PauseFrames = 30;

class ChunkDecoder {
public:
    ChunkDecoder(Recogniser& recogniser, const StopCheck& stop)
        : mRecogniser(recogniser), mStop(stop) {}

    void Decode(const std::int16_t* samples, std::size_t count, std::uint64_t offset) {
        if (mStop && mStop()) {
            throw TranscriptionStopped();
        }
        // Digital silence has nothing to say and costs the decoder a full pass.
        if (std::all_of(samples, samples + count, [](std::int16_t s) { return s == 0; })) {
            return;
        }
        const auto offsetMs = static_cast<std::int64_t>(offset / SamplesPerMs);
        Recognition heard = mRecogniser.Recognise(samples, count);
        for (RecognisedWord& word : heard.Best) {
            word.StartMs += offsetMs;
            word.EndMs += offsetMs;
            mWords.push_back(std::move(word));
        }
    }
    const std::vector<RecognisedWord>& Words() const { return mWords; }

private:
    Recogniser& mRecogniser;
    const StopCheck& mStop;
    std::vector<RecognisedWord> mWords;
};

} // namespace

void PhraseCutter::Add(const std::int16_t* samples, std::size_t count) {
    constexpr std::size_t MaxSamples = MaxChunkMs * SamplesPerMs;
    while (count > 0) {
        const std::size_t take = std::min(count, MaxSamples - mPending.size());
        mPending.insert(mPending.end(), samples, samples + take);
        samples += take;
        count -= take;
        if (mPending.size() < MaxSamples) {
            continue;
        }
        // The quietest window of PauseFrames frames that ends a chunk of MinChunkMs or more.
        const std::size_t firstFrame = MinChunkMs * SamplesPerMs / FrameSamples;
        const std::size_t frames = mPending.size() / FrameSamples;
        std::vector<double> energy(frames);
        for (std::size_t f = 0; f < frames; ++f) {
            double sum = 0;
            for (std::size_t i = 0; i < FrameSamples; ++i) {
                const double v = mPending[f * FrameSamples + i];
                sum += v * v;
            }
            energy[f] = sum;
        }
        double window = 0;
        double best = -1;
        std::size_t bestEnd = frames;
        for (std::size_t f = firstFrame - PauseFrames; f < frames; ++f) {
            window += energy[f];
            if (f >= firstFrame) {
                window -= energy[f - PauseFrames];
                if (best < 0 || window < best) {
                    best = window;
                    bestEnd = f + 1;
                }
            }
        }
        // Cut in the middle of the pause, so that both sides keep a little silence.
        Cut((bestEnd - PauseFrames / 2) * FrameSamples);
    }
}

void PhraseCutter::Cut(std::size_t samples) {
    samples = std::min(samples, mPending.size());
    mSink(mPending.data(), samples, mPendingOffset);
    mPending.erase(mPending.begin(), mPending.begin() + static_cast<std::ptrdiff_t>(samples));
    mPendingOffset += samples;
}

void PhraseCutter::Finish() {
    if (!mPending.empty()) {
        Cut(mPending.size());
    }
    mPending.clear();
    mPending.shrink_to_fit();
}

std::vector<Cue> MakeCues(const std::vector<RecognisedWord>& words) {
    std::vector<Cue> cues;
    for (const RecognisedWord& word : words) {
        const bool newCue = cues.empty() || word.StartMs - cues.back().EndMs >= PhrasePauseMs ||
                            word.EndMs - cues.back().StartMs > MaxCueMs;
        if (newCue) {
            cues.push_back({word.StartMs, word.EndMs, {}});
        }
        Cue& cue = cues.back();
        cue.Words.push_back({word.Text, word.StartMs, word.EndMs});
        cue.EndMs = std::max(cue.EndMs, word.EndMs);
    }
    return cues;
}

Transcript TranscribeSamples(Recogniser& recogniser, const std::int16_t* samples, std::size_t count,
                             const StopCheck& stop) {
    ChunkDecoder decoder(recogniser, stop);
    PhraseCutter cutter([&](const std::int16_t* chunk, std::size_t n, std::uint64_t offset) {
        decoder.Decode(chunk, n, offset);
    });
    cutter.Add(samples, count);
    cutter.Finish();
    Transcript transcript;
    transcript.Cues = MakeCues(decoder.Words());
    return transcript;
}

Transcript TranscribeWav(Recogniser& recogniser, const std::string& wavPath, const StopCheck& stop,
                         const TranscribeProgress& progress) {
    // Taken before the sound is read: sound that changes while it is read gets a stamp that no
    // longer matches, and so a new transcript later.
    const SourceStamp stamp = StampOf(wavPath);
    ChunkDecoder decoder(recogniser, stop);
    PhraseCutter cutter([&](const std::int16_t* chunk, std::size_t n, std::uint64_t offset) {
        decoder.Decode(chunk, n, offset);
    });
    ReadNoteAsMono(
        wavPath, Recogniser::SampleRate,
        [&](const std::int16_t* samples, std::size_t count) { cutter.Add(samples, count); },
        progress);
    cutter.Finish();
    Transcript transcript;
    transcript.Cues = MakeCues(decoder.Words());
    transcript.Source = stamp;
    transcript.HasSource = true;
    return transcript;
}

} // namespace tellamo
