#include "common/FileSystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/Errors.h"
#include "common/Files.h"
#include "support/FaultyFileSystem.h"
#include "support/LinkTrap.h"
#include "support/TempDir.h"

namespace tellamo {
namespace {

using test::FaultyFileSystem;
using test::FileExists;
using test::FsOp;
using test::LinkTrap;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TEST(ReplaceFileDurably, KeepsThePreviousGeneration) {
    TempDir dir;
    const std::string dat = dir.File("x.dat"), tmp = dir.File("x.new"), old = dir.File("x.old");
    ReplaceFileDurably(RealFileSystem(), dat, "one", tmp, old);
    EXPECT_EQ(ReadFileBytes(dat), "one");
    EXPECT_FALSE(FileExists(old));
    ReplaceFileDurably(RealFileSystem(), dat, "two", tmp, old);
    ReplaceFileDurably(RealFileSystem(), dat, "three", tmp, old);
    EXPECT_EQ(ReadFileBytes(dat), "three");
    EXPECT_EQ(ReadFileBytes(old), "two");
    EXPECT_FALSE(FileExists(tmp));
}

TEST(ReplaceFileDurably, AFailureAtAnyStepLeavesACompleteTarget) {
    // Count the operations of one save, then fail each of them in turn (and every one after it):
    // the target always holds the old or the new content in full, never anything else.
    TempDir dir;
    const std::string dat = dir.File("x.dat"), tmp = dir.File("x.new"), old = dir.File("x.old");
    FaultyFileSystem counter;
    WriteFileBytes(dat, "old content");
    ReplaceFileDurably(counter, dat, "new content", tmp, old);
    const int operations = counter.Calls;
    ASSERT_GE(operations, 7);

    for (int failAt = 1; failAt <= operations; ++failAt) {
        for (bool all : {false, true}) {
            WriteFileBytes(dat, "old content");
            FaultyFileSystem fs;
            fs.FailAt = failAt;
            fs.FailAll = all;
            bool threw = false;
            try {
                ReplaceFileDurably(fs, dat, "new content", tmp, old);
            } catch (const TellamoError& e) {
                threw = true;
                EXPECT_NE(std::string(e.what()).find("No space left on device"), std::string::npos);
            }
            const std::string now = ReadFileBytes(dat);
            EXPECT_TRUE(now == "old content" || now == "new content") << failAt << " " << now;
            if (threw) {
                EXPECT_EQ(now, "old content") << failAt;
            } else {
                EXPECT_EQ(now, "new content") << failAt;
            }
        }
    }
}

TEST(ReplaceFileDurably, EveryFailureBeforeTheRenameIsAnErrorAndKeepsTheOldContent) {
    // Each kind of operation fails, once (its first call) or always: a failure anywhere before
    // the new file is renamed over the target must be reported, never a save that looks done
    // while the new content may not be on the disk. Keeping the previous generation and syncing
    // the folder afterwards are best effort: their failures leave the new content in place.
    struct Case {
        FsOp op;
        bool all;
        bool error;
    };
    const Case cases[] = {
        {FsOp::CreateFile, false, true},    {FsOp::Write, false, true},
        {FsOp::Write, true, true},          {FsOp::Sync, false, true},
        {FsOp::Close, false, true},         {FsOp::Rename, true, true},
        {FsOp::Remove, true, false},        {FsOp::Link, true, false},
        {FsOp::SyncDirectory, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "operation " << static_cast<int>(c.op) << (c.all ? " always" : " once"));
        TempDir dir;
        const std::string dat = dir.File("x.dat"), tmp = dir.File("x.new"), old = dir.File("x.old");
        WriteFileBytes(dat, "old content");
        FaultyFileSystem fs;
        fs.FailOp = c.op;
        fs.FailAt = 1;
        fs.FailAll = c.all;
        std::string error;
        try {
            ReplaceFileDurably(fs, dat, "new content", tmp, old);
        } catch (const TellamoError& e) {
            error = e.what();
        }
        ASSERT_GE(fs.CallsOf(c.op), 1) << "the save never made this operation";
        if (c.error) {
            EXPECT_NE(error.find("No space left on device"), std::string::npos)
                << "no error: " << error;
            EXPECT_EQ(ReadFileBytes(dat), "old content");
        } else {
            EXPECT_EQ(error, "");
            EXPECT_EQ(ReadFileBytes(dat), "new content");
        }
    }
}

TEST(ReplaceFileDurably, WithoutHardLinksTheTwoRenamesStillWork) {
    TempDir dir;
    const std::string dat = dir.File("x.dat"), tmp = dir.File("x.new"), old = dir.File("x.old");
    WriteFileBytes(dat, "first");
    FaultyFileSystem fs;
    fs.FailError = 1; // EPERM, as file systems without hard links answer
    fs.FailOp = FsOp::Link;
    fs.FailAt = 1;
    ReplaceFileDurably(fs, dat, "second", tmp, old);
    EXPECT_EQ(ReadFileBytes(dat), "second");
    EXPECT_EQ(ReadFileBytes(old), "first");
}

TEST(ReplaceFileDurably, PlantedLinksAreReplacedNeverWrittenThrough) {
    // Links at the temporary name, the previous generation's name or the target itself, of
    // every kind: the save lands in the folder and the files they point to stay as they were.
    for (const char* planted : {"x.new", "x.old", "x.dat"}) {
        for (const LinkTrap::Kind kind : LinkTrap::Kinds) {
            TempDir dir;
            LinkTrap trap;
            const std::string dat = dir.File("x.dat"), tmp = dir.File("x.new"),
                              old = dir.File("x.old");
            WriteFileBytes(dat, "first");
            trap.Plant(dir.File(planted), kind);
            ReplaceFileDurably(RealFileSystem(), dat, "second", tmp, old);
            ReplaceFileDurably(RealFileSystem(), dat, "third", tmp, old);
            EXPECT_TRUE(trap.Untouched()) << planted << " " << static_cast<int>(kind);
            EXPECT_EQ(ReadFileBytes(dat), "third") << planted;
            EXPECT_EQ(ReadFileBytes(old), "second") << planted;
            EXPECT_FALSE(FileExists(tmp)) << planted;
        }
    }
}

TEST(ReplaceFileDurably, AnUnwritableFolderIsAClearError) {
    try {
        ReplaceFileDurably(RealFileSystem(), "/nonexistent-dir/x.dat", "a",
                           "/nonexistent-dir/x.new");
        FAIL();
    } catch (const TellamoError& e) {
        EXPECT_STREQ(e.what(), "\"/nonexistent-dir/x.new\": No such file or directory");
    }
}

// The first bytes of a file, never more than asked for, whatever its size against the room the
// reader begins with, and of a pipe as much as it holds.
TEST(ReadFilePrefix, ReadsUpToTheLimitAndTellsTheWholeSize) {
    TempDir dir;
    struct Case {
        std::size_t FileBytes;
        std::size_t Limit;
    };
    const Case cases[] = {{0, 100},           {10, 100},          {100, 100},
                          {101, 100},         {200'000, 100},     {200'000, 4'000'000},
                          {200'000, 150'000}, {70'000, 4'000'000}};
    for (const Case& c : cases) {
        std::string bytes(c.FileBytes, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<char>('a' + i % 23);
        }
        const std::string path = dir.File("file");
        WriteFileBytes(path, bytes);
        const FilePrefix prefix = ReadFilePrefix(path, c.Limit);
        EXPECT_EQ(prefix.Bytes, bytes.substr(0, c.Limit)) << c.FileBytes << " " << c.Limit;
        EXPECT_EQ(prefix.FileSize, c.FileBytes);
    }
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    ASSERT_GE(::fcntl(writer, F_SETPIPE_SZ, 256 * 1024), 256 * 1024);
    const std::string sent(100'000, 'x'); // more than the reader's first room
    ASSERT_EQ(::write(writer, sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));
    EXPECT_EQ(ReadFilePrefix(fifo, 4'000'000).Bytes, sent);
    ::close(writer);
    EXPECT_THROW(ReadFilePrefix(dir.File("missing"), 100), TellamoError);
}

} // namespace
} // namespace tellamo
