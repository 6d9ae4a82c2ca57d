#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sys/resource.h>

#include "audio/AudioFixture.h"
#include "audio/WavFormat.h"
#include "common/ByteIO.h"
#include "common/Errors.h"
#include "support/LinkTrap.h"
#include "support/SimulatedDisk.h"

namespace tellamo {
namespace {

using test::FileExists;
using test::LinkTrap;
using test::ReadFileBytes;

// A recorder at 11025 Hz with NoSamples 1102 (count 11, hold 5), in the width asked for, whose
// accepted buffers are collected and re-armed as the recording workflow does.
struct RecorderFixture : test::AudioFixture {
    std::string Path;
    std::string Accepted; // bytes handed to OnRecord
    int Events = 0;
    bool Rearm = true;

    explicit RecorderFixture(TBPS bits = TBPS::_8) {
        Create();
        Rec().SetBitsPerSample(bits);
        Rec().SetSampleRate(11025);
        Rec().SetNoSamples(1102);
        Path = Dir.File("note.wav");
        Audio->OnRecord = [this](TRecorder* r, const unsigned char* lp, const unsigned char* rp,
                                 std::uint16_t n) {
            EXPECT_EQ(r, &Rec());
            EXPECT_EQ(rp, nullptr);
            Accepted.append(reinterpret_cast<const char*>(lp), n);
            ++Events;
            if (Rearm) {
                r->SetTriggered(false);
            }
        };
    }

    void Start() {
        Rec().RecordToFile(Path);
        ASSERT_TRUE(Rec().StartRecording()) << Audio->ErrorMessage;
    }

    // One full buffer from the device, then the window thread hands it back.
    void Deliver(const std::string& bytes) {
        ASSERT_TRUE(Port.CompleteInput(bytes.data(), bytes.size()));
        Poster.ProcessPending();
    }

    std::string Data() { return ReadFileBytes(Path).substr(WaveHeaderSize); }
};

std::string Silence8(std::size_t n) {
    return std::string(n, '\x80');
}

std::string Loud8(std::size_t n, std::size_t loud) {
    std::string s = Silence8(n);
    for (std::size_t i = 0; i < loud; ++i) {
        s[i * 7 % n] = (i % 2) ? '\xFF' : '\x00';
    }
    return s;
}

TEST(TRecorder, TriggerCountAt11025Hz) {
    const struct {
        std::size_t loudBytes;
        std::int32_t holdBefore;
        bool accepted;
        std::int32_t holdAfter;
    } cases[] = {
        {10, 0, false, 0}, // one short of 1 % of NoSamples
        {10, 3, true, 2},  // a quiet buffer inside the hold time
        {11, 0, true, 4},  // loud: the hold is half a second of buffers, less this one
        {1102, 0, true, 4}, {0, 1, true, 0},
    };
    for (const auto& c : cases) {
        RecorderFixture f;
        f.Rec().SetTrigLevel(19);
        // Reach the hold count wanted through loud buffers, as a recording would.
        if (c.holdBefore > 0) {
            const std::string loud = Loud8(1102, 11);
            f.Rec().CheckTrigger(reinterpret_cast<const unsigned char*>(loud.data()), 1102);
            const std::string quiet = Silence8(1102);
            while (f.Rec().HoldCount() > c.holdBefore) {
                f.Rec().SetTriggered(false);
                f.Rec().CheckTrigger(reinterpret_cast<const unsigned char*>(quiet.data()), 1102);
            }
        }
        ASSERT_EQ(f.Rec().HoldCount(), c.holdBefore);
        f.Rec().SetTriggered(false);
        const std::string b = Loud8(1102, c.loudBytes);
        EXPECT_EQ(f.Rec().CheckTrigger(reinterpret_cast<const unsigned char*>(b.data()), 1102),
                  c.accepted)
            << c.loudBytes << " loud, hold " << c.holdBefore;
        EXPECT_EQ(f.Rec().Triggered(), c.accepted);
        EXPECT_EQ(f.Rec().HoldCount(), c.holdAfter);
    }
}

TEST(TRecorder, LevelsAtTheEdges) {
    const struct {
        TBPS bits;
        std::uint16_t noSamples;
        std::uint16_t trigLevel;
        std::string data;
        bool accepted;
    } cases[] = {
        // -32768 has level 32768
        {TBPS::_16, 100, 32768, std::string("\x00\x80", 2) + std::string(198, '\0'), true},
        {TBPS::_16, 100, 32768, std::string("\xFF\x7F", 2) + std::string(198, '\0'), false},
        {TBPS::_16, 100, 1, std::string("\x01\x00", 2) + std::string(198, '\0'), true},
        // 8-bit levels are distances from 128, both ways
        {TBPS::_8, 100, 128, std::string(1, '\x00') + Silence8(99), true},
        {TBPS::_8, 100, 128, std::string(1, '\xFF') + Silence8(99), false},
        {TBPS::_8, 100, 127, std::string(1, '\xFF') + Silence8(99), true},
        // TrigLevel 0: every sample is loud, any non-empty buffer goes in
        {TBPS::_8, 1102, 0, Silence8(1102), true},
        {TBPS::_16, 1102, 0, std::string(2204, '\0'), true},
        // NoSamples below 50 gives a count of 0: the first loud sample is enough
        {TBPS::_8, 49, 10, Silence8(48) + "\x8A", true},
        {TBPS::_8, 49, 10, Silence8(49), false},
        // count = NoSamples * 0.01 with halves to even: 250 -> 2, 350 -> 4
        {TBPS::_8, 250, 10, std::string(1, '\x00') + Silence8(249), false},
        {TBPS::_8, 250, 10, std::string(2, '\x00') + Silence8(248), true},
        {TBPS::_8, 350, 10, std::string(3, '\x00') + Silence8(347), false},
        {TBPS::_8, 350, 10, std::string(4, '\x00') + Silence8(346), true},
    };
    int row = 0;
    for (const auto& c : cases) {
        RecorderFixture f(c.bits);
        f.Rec().SetNoSamples(c.noSamples);
        f.Rec().SetTrigLevel(c.trigLevel);
        f.Rec().SetTriggered(false);
        EXPECT_EQ(f.Rec().CheckTrigger(reinterpret_cast<const unsigned char*>(c.data.data()),
                                       static_cast<std::uint32_t>(c.data.size())),
                  c.accepted)
            << "row " << row;
        ++row;
    }
}

TEST(TRecorder, FourQuietBuffersFollowALoudOneThenTheRestIsDropped) {
    RecorderFixture f;
    f.Rec().SetTrigLevel(19);
    f.Start();
    const std::string loud = Loud8(1102, 11);
    f.Deliver(Silence8(1102)); // dropped: nothing loud yet
    f.Deliver(loud);
    for (int i = 0; i < 6; ++i) {
        f.Deliver(std::string(1102, static_cast<char>(0x81 + i)));
    }
    EXPECT_EQ(f.Events, 5);
    ASSERT_TRUE(f.Rec().Stop());
    std::string expected = loud;
    for (int i = 0; i < 4; ++i) {
        expected += std::string(1102, static_cast<char>(0x81 + i));
    }
    EXPECT_EQ(f.Data(), expected);
    EXPECT_EQ(f.Accepted, expected);
    const WaveInfo info = ReadWaveHeader(f.Path);
    EXPECT_EQ(info.DataSize, 5u * 1102);
    EXPECT_EQ(info.FileSize, 44u + 5 * 1102);
}

TEST(TRecorder, TriggeredNeverResetAcceptsEverythingWhileTheHoldCountsDown) {
    RecorderFixture f;
    f.Rearm = false;
    f.Rec().SetTrigLevel(19);
    f.Rec().SetTriggered(true);
    f.Start();
    f.Deliver(Silence8(1102));
    f.Deliver(Silence8(1102));
    EXPECT_EQ(f.Events, 2);
    EXPECT_EQ(f.Rec().HoldCount(), 0); // never below 0
    EXPECT_TRUE(f.Rec().Triggered());
    EXPECT_TRUE(f.Rec().Stop());
}

TEST(TRecorder, BuffersCirculateThroughTheRing) {
    RecorderFixture f;
    f.Rec().SetTriggered(true);
    f.Rearm = false;
    f.Start();
    EXPECT_EQ(f.Port.QueuedInputCount(), 4u);
    const std::string b = Silence8(1102);
    // The window thread lags: the device keeps the other three buffers.
    ASSERT_TRUE(f.Port.CompleteInput(b.data(), b.size()));
    EXPECT_EQ(f.Port.QueuedInputCount(), 3u);
    EXPECT_EQ(f.Rec().DoneIndex(), 1);
    EXPECT_EQ(f.Poster.PendingCount(), 1u);
    f.Poster.ProcessPending();
    EXPECT_EQ(f.Port.QueuedInputCount(), 4u);
    EXPECT_EQ(f.Rec().QueueIndex(), 1);
    for (int i = 0; i < 9; ++i) {
        f.Deliver(b);
    }
    EXPECT_EQ(f.Rec().DoneIndex(), 2);
    EXPECT_EQ(f.Rec().QueueIndex(), 2);
    EXPECT_EQ(f.Port.QueuedInputCount(), 4u);
    // An empty buffer is not queued again and leaves DoneIndex.
    ASSERT_TRUE(f.Port.CompleteInput(b.data(), 0));
    EXPECT_EQ(f.Poster.PendingCount(), 0u);
    EXPECT_EQ(f.Rec().DoneIndex(), 2);
    EXPECT_EQ(f.Port.QueuedInputCount(), 3u);
    EXPECT_TRUE(f.Rec().Stop());
}

TEST(TRecorder, PauseDropsSoundButKeepsBuffersCirculating) {
    RecorderFixture f;
    f.Rec().SetTriggered(true);
    f.Rearm = false;
    f.Start();
    f.Deliver(std::string(1102, 'a'));
    f.Rec().Pause();
    EXPECT_TRUE(f.Rec().Paused());
    f.Deliver(std::string(1102, 'b'));
    f.Deliver(std::string(1102, 'c'));
    EXPECT_EQ(f.Port.QueuedInputCount(), 4u);
    f.Rec().Resume();
    f.Deliver(std::string(1102, 'd'));
    EXPECT_EQ(f.Events, 2);
    ASSERT_TRUE(f.Rec().Stop());
    EXPECT_EQ(f.Data(), std::string(1102, 'a') + std::string(1102, 'd'));
    // Pause on a closed recorder does nothing; a new recording does not start paused.
    f.Rec().Pause();
    EXPECT_FALSE(f.Rec().Paused());
}

TEST(TRecorder, StopBeforeTheFirstBufferGivesAnEmptyNote) {
    RecorderFixture f;
    f.Rec().SetTriggered(true);
    f.Start();
    const std::string partial(500, '\x90');
    ASSERT_TRUE(f.Port.FillInputPartly(partial.data(), partial.size()));
    ASSERT_TRUE(f.Rec().Stop());
    EXPECT_EQ(f.Events, 0); // the partly filled buffer returned by the reset is dropped
    const std::string bytes = ReadFileBytes(f.Path);
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(GetU32(reinterpret_cast<const unsigned char*>(bytes.data()) + 4), 36u);
    EXPECT_EQ(GetU32(reinterpret_cast<const unsigned char*>(bytes.data()) + 40), 0u);
    EXPECT_FALSE(f.Port.InputOpen());
    // Stop twice
    EXPECT_TRUE(f.Rec().Stop());
    EXPECT_EQ(f.Audio->ErrorMessage, "Recorder already closed");
}

TEST(TRecorder, SplitChannels) {
    for (TBPS bits : {TBPS::_8, TBPS::_16}) {
        RecorderFixture f(bits);
        f.Rec().SetChannels(TChannels::Stereo);
        f.Rec().SetNoSamples(4);
        f.Rec().SetSplitChannels(true);
        f.Rec().SetTriggered(true);
        std::string left, right;
        f.Audio->OnRecord = [&](TRecorder*, const unsigned char* lp, const unsigned char* rp,
                                std::uint16_t n) {
            ASSERT_NE(rp, nullptr);
            left.assign(reinterpret_cast<const char*>(lp), n);
            right.assign(reinterpret_cast<const char*>(rp), n);
        };
        f.Start();
        const std::string frames =
            bits == TBPS::_16 ? std::string("L0R0L1R1L2R2L3R3") : std::string("lrLRlrLR");
        f.Deliver(frames);
        EXPECT_EQ(left, bits == TBPS::_16 ? "L0L1L2L3" : "lLlL");
        EXPECT_EQ(right, bits == TBPS::_16 ? "R0R1R2R3" : "rRrR");
        ASSERT_TRUE(f.Rec().Stop());
        EXPECT_EQ(f.Data(), frames); // the file keeps the interleaved frames
    }
}

TEST(TRecorder, DeviceFailures) {
    const struct {
        FakeCall call;
        int skip;
        bool start; // StartRecording (else Close after a good start)
        std::string message;
        bool result;
        bool deviceOpen;
    } cases[] = {
        {FakeCall::OpenInput, 0, true, "Could not open the input device for recording:  Boom",
         false, false},
        {FakeCall::Prepare, 2, true, "Error preparing header for recording:  Boom", false, false},
        {FakeCall::StartInput, 0, true, "Error starting wave record:  Boom", false, false},
        {FakeCall::AddInput, 0, true, "Error adding next input buffer", false, false},
        {FakeCall::AddInput, 2, true, "Error adding next input buffer", false, false},
        {FakeCall::Reset, 0, false, "Error in waveInReset", false, true},
        {FakeCall::Unprepare, 1, false, "Error in waveInUnprepareHeader Boom", false, true},
        {FakeCall::Close, 0, false, "Error closing input device", false, true},
    };
    for (const auto& c : cases) {
        RecorderFixture f;
        f.Port.ErrorTexts[-7] = "Boom";
        f.Rec().RecordToFile(f.Path);
        bool result;
        if (c.start) {
            f.Port.Fail(c.call, -7, c.skip);
            result = f.Rec().StartRecording();
        } else {
            ASSERT_TRUE(f.Rec().StartRecording());
            f.Port.Fail(c.call, -7, c.skip);
            result = f.Rec().Close();
        }
        EXPECT_EQ(result, c.result) << c.message;
        EXPECT_EQ(f.Audio->ErrorMessage, c.message);
        EXPECT_EQ(f.Rec().DeviceOpen(), c.deviceOpen) << c.message;
        EXPECT_EQ(f.Port.InputOpen(), c.deviceOpen) << c.message;
    }
}

TEST(TRecorder, EmptySystemTextLeavesTheMessageAlone) {
    RecorderFixture f;
    f.Port.ErrorTexts[-7] = "";
    f.Port.Fail(FakeCall::OpenInput, -7);
    EXPECT_FALSE(f.Rec().StartRecording());
    EXPECT_EQ(f.Audio->ErrorMessage, "Could not open the input device for recording: ");
}

TEST(TRecorder, AFailedRequeueWhileCapturingStopsAndCompletesTheFile) {
    RecorderFixture f;
    f.Port.ErrorTexts[-7] = "Boom";
    f.Rec().SetTriggered(true);
    f.Rearm = false;
    f.Start();
    f.Port.Fail(FakeCall::AddInput, -7);
    f.Deliver(std::string(1102, 'x'));
    EXPECT_EQ(f.Audio->ErrorMessage, "Error adding input buffer Boom");
    EXPECT_FALSE(f.Rec().DeviceOpen());
    EXPECT_FALSE(f.Rec().RecordFileOpen());
    EXPECT_EQ(ReadWaveHeader(f.Path).DataSize, 1102u);
    EXPECT_TRUE(f.Rec().Stop()); // the user's stop then succeeds
}

TEST(TRecorder, ClosedRecorderIgnoresStaleQueueRequests) {
    RecorderFixture f;
    f.Rec().SetTriggered(true);
    f.Rearm = false;
    f.Start();
    const std::string b = Silence8(1102);
    ASSERT_TRUE(f.Port.CompleteInput(b.data(), b.size())); // request not yet handled
    ASSERT_TRUE(f.Rec().Stop());
    f.Rec().RecordToFile(f.Path);
    ASSERT_TRUE(f.Rec().StartRecording());
    f.Poster.ProcessPending(); // must not queue a fifth buffer
    EXPECT_EQ(f.Port.QueuedInputCount(), 4u);
    EXPECT_TRUE(f.Rec().Stop());
}

TEST(TRecorder, ALinkAtTheNotesNameIsReplacedNotWrittenThrough) {
    for (const LinkTrap::Kind kind : LinkTrap::Kinds) {
        RecorderFixture f;
        LinkTrap trap;
        trap.Plant(f.Path, kind);
        f.Rec().SetTriggered(true);
        f.Rearm = false;
        f.Start();
        f.Deliver(std::string(1102, 'x'));
        ASSERT_TRUE(f.Rec().Stop());
        EXPECT_TRUE(trap.Untouched()) << static_cast<int>(kind);
        EXPECT_EQ(f.Data(), std::string(1102, 'x'));
    }
}

TEST(TRecorder, RecordToFile) {
    RecorderFixture f;
    EXPECT_THROW(f.Rec().RecordToFile(f.Dir.File("missing/x.wav")), TellamoError);
    f.Rec().SetBitsPerSample(TBPS::_16);
    f.Rec().RecordToFile(f.Path);
    const WaveInfo info = ReadWaveHeader(f.Path);
    EXPECT_EQ(info.SampleRate, 11025);
    EXPECT_EQ(info.BitsField, 16);
    EXPECT_EQ(info.Channels, 1);
    // A second file completes the first; an empty name completes and closes.
    const std::string second = f.Dir.File("second.wav");
    f.Rec().RecordToFile(second);
    EXPECT_EQ(ReadFileBytes(f.Path).substr(4, 4), std::string("\x24\0\0\0", 4));
    f.Rec().RecordToFile("");
    EXPECT_FALSE(f.Rec().RecordFileOpen());
    EXPECT_EQ(ReadFileBytes(second).substr(4, 4), std::string("\x24\0\0\0", 4));
}

TEST(TRecorder, FileStopsTakingBuffersBeforeItsSizesWouldOverflow) {
    RecorderFixture f;
    f.Rec().SetTriggered(true);
    f.Rearm = false;
    f.Rec().FileSizeLimit = 44 + 2 * 1102 + 1101; // room for two buffers, not three
    f.Start();
    for (int i = 0; i < 3; ++i) {
        f.Deliver(std::string(1102, static_cast<char>('a' + i)));
    }
    EXPECT_EQ(f.Events, 2);
    EXPECT_FALSE(f.Rec().FileError().empty());
    f.Deliver(std::string(1, 'z')); // a smaller later buffer does not slip in either
    EXPECT_EQ(f.Events, 2);
    ASSERT_TRUE(f.Rec().Stop());
    EXPECT_EQ(f.Data(), std::string(1102, 'a') + std::string(1102, 'b'));
    EXPECT_EQ(ReadWaveHeader(f.Path).DataSize, 2204u);
    // exactly at the limit is still fine
    RecorderFixture g;
    g.Rec().SetTriggered(true);
    g.Rearm = false;
    g.Rec().FileSizeLimit = 44 + 1102;
    g.Start();
    g.Deliver(std::string(1102, 'a'));
    EXPECT_EQ(g.Events, 1);
    EXPECT_TRUE(g.Rec().FileError().empty());
    EXPECT_TRUE(g.Rec().Stop());
}

// The recording goes on in a next file while the flush thread keeps updating headers as fast as
// it can: every buffer lands whole in one file, the file left is completed with true sizes, and a
// next file the recording never reached is removed at Stop.
TEST(TRecorder, GoesOnInTheNextFileWithEveryBufferOnceWhileTheFlusherRuns) {
    RecorderFixture f;
    f.Rec().SetTriggered(true);
    f.Rearm = false;
    f.Rec().HeaderInterval = std::chrono::milliseconds(1);
    f.Rec().SyncEveryNthUpdate = 1;
    f.Rec().ContinueAtSize = 44 + 3 * 1102; // three buffers a file
    f.Rec().PrepareMargin = 1102;
    std::vector<std::string> files{f.Path};
    std::vector<std::uint64_t> completed;
    f.Audio->OnFileNearContinuation = [&](TRecorder* r) {
        files.push_back(f.Dir.File("part" + std::to_string(files.size() + 1) + ".wav"));
        r->PrepareNextFile(files.back());
    };
    f.Audio->OnFileContinued = [&](TRecorder* r) {
        completed.push_back(r->CompleteContinuedFile());
    };
    f.Start();
    std::string fed;
    for (int i = 0; i < 8; ++i) {
        const std::string buffer(1102, static_cast<char>('a' + i));
        fed += buffer;
        f.Deliver(buffer);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    EXPECT_EQ(f.Rec().CompleteContinuedFile(), 0u); // nothing left that the window missed
    ASSERT_TRUE(f.Rec().Stop());
    EXPECT_EQ(completed, (std::vector<std::uint64_t>{44 + 3 * 1102, 44 + 3 * 1102}));
    // The first two files full, the third with two buffers; the fourth was made ready and is gone
    // again.
    ASSERT_EQ(files.size(), 4u);
    EXPECT_FALSE(FileExists(files[3]));
    std::string joined;
    for (std::size_t i = 0; i < 3; ++i) {
        const std::string wav = ReadFileBytes(files[i]);
        EXPECT_EQ(ReadWaveHeader(files[i]).DataSize + 44, wav.size()) << files[i];
        joined += wav.substr(44);
    }
    EXPECT_EQ(joined, fed);
    EXPECT_EQ(f.Accepted, fed);
}

TEST(TRecorder, AFailedWriteEndsTheNoteOnAWholeBuffer) {
    RecorderFixture f;
    f.Rec().SetTriggered(true);
    f.Rearm = false;
    f.Start();
    // The file may grow by one buffer and a half: the second write is cut short.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 44 + 1102 + 551;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    f.Deliver(std::string(1102, 'a'));
    f.Deliver(std::string(1102, 'b'));
    f.Deliver(std::string(1102, 'c'));
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old), 0);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(f.Events, 1);
    EXPECT_NE(f.Rec().FileError().find("could not be written"), std::string::npos);
    ASSERT_TRUE(f.Rec().Stop());
    EXPECT_EQ(f.Data(), std::string(1102, 'a'));
    EXPECT_EQ(ReadWaveHeader(f.Path).DataSize, 1102u);
}

// A power cut right after Stop: the sound and the header that declares it are on the disk.
TEST(TRecorder, StopPutsTheSoundAndThenItsHeaderOnTheDisk) {
    test::SimulatedDisk disk;
    RecorderFixture f;
    f.Rec().SetFileSystem(disk);
    f.Rec().HeaderInterval = std::chrono::hours(1); // only the completion flushes
    f.Rec().SetTriggered(true);
    f.Rearm = false;
    f.Start();
    f.Deliver(std::string(1102, 'a'));
    f.Deliver(std::string(1102, 'b'));
    ASSERT_TRUE(f.Rec().Stop());
    disk.PowerLoss();
    EXPECT_EQ(f.Data(), std::string(1102, 'a') + std::string(1102, 'b'));
    const WaveInfo info = ReadWaveHeader(f.Path);
    EXPECT_EQ(info.DataSize, 2204u);
    EXPECT_EQ(ReadFileBytes(f.Path).substr(4, 4), std::string("\xC0\x08\0\0", 4)); // 2204 + 36
}

// While recording, the flush thread keeps the header's sizes up to date and flushes the file, so
// that a power cut (or a kill) leaves a file whose header declares what it holds.
TEST(TRecorder, WhileRecordingTheHeaderFollowsTheSoundOntoTheDisk) {
    test::SimulatedDisk disk;
    RecorderFixture f;
    f.Rec().SetFileSystem(disk);
    f.Rec().HeaderInterval = std::chrono::milliseconds(10);
    f.Rec().SyncEveryNthUpdate = 2;
    f.Rec().SetTriggered(true);
    f.Rearm = false;
    f.Start();
    for (int i = 0; i < 5; ++i) {
        f.Deliver(std::string(1102, static_cast<char>('a' + i)));
    }
    // Two flushes after the last buffer: at least one whole update came after it.
    const int seen = disk.DataSyncs.load();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (disk.DataSyncs.load() < seen + 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_GE(disk.DataSyncs.load(), seen + 2) << "the file was never flushed while recording";
    disk.PowerLoss();
    const std::string bytes = ReadFileBytes(f.Path);
    ASSERT_EQ(bytes.size(), 44u + 5 * 1102);
    EXPECT_EQ(ReadWaveHeader(f.Path).DataSize, 5u * 1102);
    EXPECT_EQ(bytes.substr(4, 4), std::string("\xAA\x15\0\0", 4)); // 5510 + 36
    EXPECT_EQ(bytes.substr(44 + 4 * 1102), std::string(1102, 'e'));
}

// A disk that fills while recording: the file ends on the last whole buffer, the window thread
// hears of it once, and FileError says why.
TEST(TRecorder, AFullDiskStopsTheFileAndTellsTheWindowThreadOnce) {
    test::SimulatedDisk disk;
    RecorderFixture f;
    f.Rec().SetFileSystem(disk);
    f.Rec().HeaderInterval = std::chrono::hours(1);
    f.Rec().SetTriggered(true);
    f.Rearm = false;
    int stopped = 0;
    f.Audio->OnFileStopped = [&](TRecorder* r) {
        EXPECT_EQ(r, &f.Rec());
        ++stopped;
    };
    disk.WriteBudget = 44 + 1102 + 551;
    f.Start();
    f.Deliver(std::string(1102, 'a'));
    f.Deliver(std::string(1102, 'b'));
    f.Deliver(std::string(1102, 'c'));
    EXPECT_EQ(stopped, 1);
    EXPECT_EQ(f.Events, 1);
    EXPECT_EQ(f.Rec().FileError(),
              "The recording file could not be written: No space left on device");
    disk.WriteBudget = 8; // room for the header's sizes at completion
    ASSERT_TRUE(f.Rec().Stop());
    EXPECT_EQ(f.Data(), std::string(1102, 'a'));
    EXPECT_EQ(ReadWaveHeader(f.Path).DataSize, 1102u);
}

// The device delivers from a thread of its own, as the ALSA port does, while the window thread
// hands buffers back.
TEST(TRecorder, CaptureFromADeviceThread) {
    RecorderFixture f(TBPS::_16);
    f.Rec().SetNoSamples(2205);
    f.Rec().SetSampleRate(22050);
    f.Rec().SetTrigLevel(1000);
    f.Start();
    constexpr int Buffers = 300;
    std::atomic<bool> done{false};
    std::string expected;
    std::thread device([&] {
        std::string b(4410, '\0');
        for (int i = 0; i < Buffers; ++i) {
            for (std::size_t k = 1; k < b.size(); k += 2) {
                b[k] = static_cast<char>(i % 2 ? 0x00 : 0x7F); // loud every other buffer
            }
            b[0] = static_cast<char>(i);
            while (!f.Port.CompleteInput(b.data(), b.size())) {
                std::this_thread::yield();
            }
        }
        done = true;
    });
    while (!done) {
        f.Poster.WaitForPosts(10);
        f.Poster.ProcessPending();
    }
    device.join();
    f.Poster.ProcessPending();
    ASSERT_TRUE(f.Rec().Stop());
    // Loud buffers hold the trigger, so every buffer went in.
    EXPECT_EQ(f.Events, Buffers);
    EXPECT_EQ(ReadWaveHeader(f.Path).DataSize, static_cast<std::uint32_t>(Buffers * 4410));
    EXPECT_EQ(f.Data(), f.Accepted);
}

} // namespace
} // namespace tellamo
