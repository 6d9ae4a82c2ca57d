#include "app/SingleInstance.h"

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

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

} // namespace
} // namespace tellamo::test
