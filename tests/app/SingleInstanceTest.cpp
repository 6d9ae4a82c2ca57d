#include "app/SingleInstance.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSysInfo>
#include <QTest>

#include "support/TempDir.h"

namespace tellamo::test {
namespace {

TEST(SingleInstanceTest, TheSecondCopyAsksTheFirstToShowItself) {
    TempDir runtime;
    SingleInstance first(QString::fromStdString(runtime.Path()));
    ASSERT_TRUE(first.BecomeFirst());
    int requests = 0;
    QObject::connect(&first, &SingleInstance::ShowRequested, [&] { ++requests; });

    // The second copy runs its blocking request on another thread while this one serves it.
    std::atomic<int> answer{-1};
    std::thread second([&] {
        SingleInstance other(QString::fromStdString(runtime.Path()));
        if (other.BecomeFirst()) {
            answer = 2;
            return;
        }
        answer = other.AskRunningCopyToShow(5000) ? 1 : 0;
    });
    QTRY_VERIFY_WITH_TIMEOUT(answer.load() != -1, 8000);
    second.join();
    EXPECT_EQ(answer.load(), 1);
    EXPECT_EQ(requests, 1);
}

TEST(SingleInstanceTest, NoRunningCopyMeansNoAnswer) {
    TempDir runtime;
    SingleInstance lonely(QString::fromStdString(runtime.Path()));
    EXPECT_FALSE(lonely.AskRunningCopyToShow(300));
}

TEST(SingleInstanceTest, ALockLeftByAKilledCopyIsTakenOver) {
    TempDir runtime;
    // A lock file in QLockFile's format naming a process that does not exist.
    WriteFileBytes(runtime.File("tellamo.lock"),
                   "999999999\ntellamo-test\n" + QSysInfo::machineHostName().toStdString() + "\n");
    WriteFileBytes(runtime.File("tellamo.socket"), "");
    SingleInstance first(QString::fromStdString(runtime.Path()));
    EXPECT_TRUE(first.BecomeFirst());
}

// Connects to the socket at path from a child process running as the given user and group;
// 0 when it connected, otherwise the errno of the refusal.
int ConnectAs(uid_t uid, gid_t gid, const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const pid_t child = ::fork();
    if (child == 0) {
        // Only calls that are safe in the child of a threaded process.
        if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 ||
            ::setresuid(uid, uid, uid) != 0) {
            ::_exit(255);
        }
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const int result =
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        ::_exit(result == 0 ? 0 : errno);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 254;
}

// The socket through which a second copy reaches the first belongs to the user alone: another
// user's process (here one that root starts under the nobody account) cannot connect to it,
// even when the folder around it lets everyone through.
TEST(SingleInstanceTest, OnlyTheUserCanReachTheSocket) {
    // A folder of /tmp itself: the test's own temporary folders lie in folders of the user's
    // alone, which would refuse the other user before the socket's rights are even looked at.
    char pattern[] = "/tmp/tellamo-socket-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr) << std::strerror(errno);
    const std::string runtime = pattern;
    struct Remove {
        std::string Path;
        ~Remove() { std::filesystem::remove_all(Path); }
    } removeAtEnd{runtime};
    SingleInstance first(QString::fromStdString(runtime));
    ASSERT_TRUE(first.BecomeFirst());
    const std::string socket = runtime + "/tellamo.socket";
    struct stat st {};
    ASSERT_EQ(::lstat(socket.c_str(), &st), 0) << std::strerror(errno);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_uid, ::geteuid());
    EXPECT_EQ(st.st_mode & 077, 0u) << std::oct << (st.st_mode & 07777);

    if (::geteuid() != 0) {
        GTEST_SKIP() << "connecting as another user needs root to start that user's process";
    }
    const uid_t nobody = 65534;
    const gid_t nogroup = 65534;
    // Only the socket's own rights stand in the way: its folder is open to everyone.
    ASSERT_EQ(::chmod(runtime.c_str(), 0755), 0);
    EXPECT_EQ(ConnectAs(nobody, nogroup, socket), EACCES);
    // The same process reaches a socket whose rights let everyone in, so the refusal above came
    // from the rights and not from the way the other user's process was made.
    ASSERT_EQ(::chmod(socket.c_str(), 0777), 0);
    EXPECT_EQ(ConnectAs(nobody, nogroup, socket), 0);
    // The user's own copy still gets through.
    ASSERT_EQ(::chmod(socket.c_str(), 0700), 0);
    EXPECT_EQ(ConnectAs(::geteuid(), ::getegid(), socket), 0);
}

} // namespace
} // namespace tellamo::test
