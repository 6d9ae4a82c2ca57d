// The real program as separate processes: a second copy, a termination signal.

#include <csignal>

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include "common/IniFile.h"
#include "support/TempDir.h"

namespace tellamo::test {
namespace {

class RealProgram : public ::testing::Test {
protected:
    RealProgram() {
        mRuntime = mHome.Path() + "/run";
        QDir().mkpath(QString::fromStdString(mRuntime));
        QFile::setPermissions(QString::fromStdString(mRuntime), QFileDevice::ReadOwner |
                                                                    QFileDevice::WriteOwner |
                                                                    QFileDevice::ExeOwner);
    }

    // With captureErrors the program's standard error output is kept for ErrorOutput().
    std::unique_ptr<QProcess> Launch(bool captureErrors = false) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", QString::fromStdString(mHome.Path()));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(mRuntime));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(mHome.Path() + "/.config"));
        env.insert("XDG_DOCUMENTS_DIR", QString::fromStdString(mHome.Path() + "/Documents"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(captureErrors ? QProcess::ForwardedOutputChannel
                                                     : QProcess::ForwardedChannels);
        process->start(qEnvironmentVariable("TELLAMO_EXE"), {});
        EXPECT_TRUE(process->waitForStarted(5000));
        return process;
    }
    std::string Folder() const { return mHome.Path() + "/Documents/My Voice Notes/"; }
    // Whether the program ends by itself in time; one that does not is killed, so that no copy
    // outlives the test.
    static bool EndsWithin(QProcess& process, int ms) {
        if (process.waitForFinished(ms)) {
            return true;
        }
        process.kill();
        process.waitForFinished(5000);
        return false;
    }
    bool Running() const {
        return QFileInfo::exists(QString::fromStdString(mRuntime + "/tellamo.socket"));
    }

    TempDir mHome;
    std::string mRuntime;
};

TEST_F(RealProgram, ASecondCopyEndsAtOnceAndTheFirstGoesOn) {
    auto first = Launch();
    QTRY_VERIFY_WITH_TIMEOUT(Running(), 10000);
    auto second = Launch();
    ASSERT_TRUE(second->waitForFinished(10000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(first->state(), QProcess::Running);
    first->terminate();
    ASSERT_TRUE(first->waitForFinished(10000));
    EXPECT_EQ(first->exitCode(), 0);
}

TEST_F(RealProgram, ASecondCopyBringsTheMinimizedFirstBackAndWaitsForItsAnswer) {
    // The first copy starts minimized, as a window closed minimized does.
    QDir().mkpath(QString::fromStdString(Folder()));
    WriteFileBytes(Folder() + "tellamo.INI", "[TTellamoMainForm]\r\nShowCmd=2\r\n");
    auto first = Launch();
    QTRY_VERIFY_WITH_TIMEOUT(Running(), 10000);
    const auto pid = static_cast<pid_t>(first->processId());

    // While the first copy cannot answer, the second reports failure once its patience ends,
    // never a success it did not get.
    ::kill(pid, SIGSTOP);
    auto unanswered = Launch();
    const bool ended = unanswered->waitForFinished(30000);
    ::kill(pid, SIGCONT);
    ASSERT_TRUE(ended);
    EXPECT_EQ(unanswered->exitCode(), 1)
        << "the second copy did not wait for the first copy's answer";

    // Answered, it ends with success, and the first copy's window is back from the task bar:
    // the settings written at its exit record a normal window.
    auto second = Launch();
    ASSERT_TRUE(second->waitForFinished(15000));
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(first->state(), QProcess::Running);
    first->terminate();
    ASSERT_TRUE(first->waitForFinished(10000));
    EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first->exitCode(), 0);
    EXPECT_EQ(IniFile::Load(Folder() + "tellamo.INI").Read("TTellamoMainForm", "ShowCmd"), "1")
        << "the first copy's window stayed minimized";
}

TEST_F(RealProgram, TerminationSavesTheCatalogueAndEndsCleanly) {
    // A catalogue with one folder; the save at exit rewrites it and keeps the previous file.
    const std::string example =
        std::string("\x01\x00\x00\x00\x00\x0F\x00\x00\x00\x0E\x00\x00\x00", 13) +
        "Notes000000\r\n\tWork000014\r\nRecycle Bin000013\r\n";
    QDir().mkpath(QString::fromStdString(Folder()));
    WriteFileBytes(Folder() + "Tellamo.dat", example);
    for (int signalNumber : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signalNumber);
        QFile::remove(QString::fromStdString(Folder() + "Tellamo.old"));
        auto program = Launch();
        QTRY_VERIFY_WITH_TIMEOUT(Running(), 10000);
        ::kill(static_cast<pid_t>(program->processId()), signalNumber);
        ASSERT_TRUE(program->waitForFinished(10000));
        EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program->exitCode(), 0);
        EXPECT_EQ(ReadFileBytes(Folder() + "Tellamo.dat"), example);
        EXPECT_EQ(ReadFileBytes(Folder() + "Tellamo.old"), example) << "the exit saved";
    }
}

// A termination signal while the start-up's box about a damaged catalogue waits for an answer:
// the box is closed, the catalogue saved, and the program ends at once.
TEST_F(RealProgram, TerminationWithABoxOpenClosesItAndSaves) {
    QDir().mkpath(QString::fromStdString(Folder()));
    const std::string damaged("\x01\x05\x00\x00\x00garbage", 12);
    WriteFileBytes(Folder() + "Tellamo.dat", damaged);
    auto program = Launch();
    const QDir folder(QString::fromStdString(Folder()));
    // The damaged file is moved aside just before the box is shown.
    QTRY_VERIFY_WITH_TIMEOUT(!folder.entryList({"Tellamo-damaged-*.dat"}).isEmpty(), 10000);
    ::kill(static_cast<pid_t>(program->processId()), SIGTERM);
    const bool ended = EndsWithin(*program, 10000);
    ASSERT_TRUE(ended) << "the box kept the program from ending";
    EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program->exitCode(), 0);
    EXPECT_EQ(ReadFileBytes(Folder() + "Tellamo.dat").size(), 45u) << "a new catalogue was saved";
    const QStringList kept = folder.entryList({"Tellamo-damaged-*.dat"});
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(ReadFileBytes(Folder() + kept[0].toStdString()), damaged);
}

// A save that fails at the exit of a terminated program is written to the standard error
// output (and the system log), never shown in a box nobody would answer, and promises nothing.
TEST_F(RealProgram, AnExitSaveThatFailsIsReportedOnStandardError) {
    QDir().mkpath(QString::fromStdString(Folder() + "Tellamo.new")); // the save cannot create it
    auto program = Launch(true);
    QTRY_VERIFY_WITH_TIMEOUT(Running(), 10000);
    ::kill(static_cast<pid_t>(program->processId()), SIGTERM);
    const bool ended = EndsWithin(*program, 10000);
    ASSERT_TRUE(ended) << "a box kept the program from ending";
    EXPECT_EQ(program->exitCode(), 0);
    const QString errors = QString::fromLocal8Bit(program->readAllStandardError());
    EXPECT_TRUE(errors.contains("The catalogue could not be saved:")) << errors.toStdString();
    EXPECT_FALSE(errors.contains("will be saved with the next change")) << errors.toStdString();
    EXPECT_FALSE(FileExists(Folder() + "Tellamo.dat"));
}

} // namespace
} // namespace tellamo::test
