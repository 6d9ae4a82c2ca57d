#include "desktop/DesktopLaunch.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include "support/TempDir.h"

namespace tellamo::test {
namespace {

// A private config folder and a PATH of stand-ins that record their arguments.
class DesktopLaunch : public ::testing::Test {
protected:
    DesktopLaunch() {
        mSavedPath = qgetenv("PATH");
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(mConfig.Path()));
        qputenv("PATH", QByteArray::fromStdString(mBin.Path()) + ":/usr/bin:/bin");
    }
    ~DesktopLaunch() override { qputenv("PATH", mSavedPath); }
    // A program on the PATH that appends its name and arguments to the log.
    void StandIn(const std::string& name) {
        WriteFileBytes(mBin.File(name), "#!/bin/sh\necho \"" + name + " $*\" >> " + Log() + "\n");
        QFile::setPermissions(QString::fromStdString(mBin.File(name)),
                              QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    std::string Log() const { return mBin.File("calls.log"); }
    std::string WaitForLog() const {
        QDeadlineTimer deadline(10000);
        while (!FileExists(Log()) && !deadline.hasExpired()) {
            QTest::qWait(20);
        }
        QTest::qWait(50);
        return FileExists(Log()) ? ReadFileBytes(Log()) : std::string();
    }
    std::string Entry() const { return mConfig.File("autostart/tellamo.desktop"); }

    TempDir mConfig, mBin;
    QByteArray mSavedPath;
};

TEST_F(DesktopLaunch, ExecQuoting) {
    EXPECT_EQ(DesktopExecQuote("/usr/bin/tellamo"), "/usr/bin/tellamo");
    EXPECT_EQ(DesktopExecQuote("/home/a b/tellamo"), "\"/home/a b/tellamo\"");
    EXPECT_EQ(DesktopExecQuote("/opt/$x\"y/t"), "\"/opt/\\\\$x\\\\\"y/t\"");
    EXPECT_EQ(DesktopExecQuote("/opt/100%/t"), "/opt/100%%/t");
}

TEST_F(DesktopLaunch, TheAutostartEntryIsMadeRemovedAndNeverRewritten) {
    const QString program = QString::fromStdString(mBin.Path()) + "/my programs/tellamo";
    EXPECT_EQ(AutostartEntryPath().toStdString(), Entry());
    SyncAutostartEntry(false, program);
    EXPECT_FALSE(FileExists(Entry())) << "unchecked and missing: nothing";
    SyncAutostartEntry(true, program);
    ASSERT_TRUE(FileExists(Entry()));
    const std::string text = ReadFileBytes(Entry());
    EXPECT_NE(text.find("Exec=\"" + program.toStdString() + "\"\n"), std::string::npos) << text;
    QProcess validate;
    validate.start("desktop-file-validate", {QString::fromStdString(Entry())});
    ASSERT_TRUE(validate.waitForFinished());
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString();

    WriteFileBytes(Entry(), "[Desktop Entry]\nExec=/elsewhere/tellamo\n");
    SyncAutostartEntry(true, program);
    EXPECT_EQ(ReadFileBytes(Entry()), "[Desktop Entry]\nExec=/elsewhere/tellamo\n")
        << "an existing entry stays";
    SyncAutostartEntry(false, program);
    EXPECT_FALSE(FileExists(Entry()));
    SyncAutostartEntry(true, program);
    EXPECT_TRUE(FileExists(Entry())) << "deleted by the user, made again";
}

TEST_F(DesktopLaunch, SoundToolsStartTheFirstInstalledWithItsArguments) {
    EXPECT_FALSE(StartFirstTool(AudioSettingsTools())) << "none installed: nothing";
    StandIn("gnome-control-center");
    StandIn("pavucontrol");
    EXPECT_TRUE(StartFirstTool(AudioSettingsTools()));
    EXPECT_EQ(WaitForLog(), "pavucontrol --tab=4\n");
    QFile::remove(QString::fromStdString(Log()));
    QFile::remove(QString::fromStdString(mBin.File("pavucontrol")));
    EXPECT_TRUE(StartFirstTool(VolumeControlTools()));
    EXPECT_EQ(WaitForLog(), "gnome-control-center sound\n");
}

TEST(SoundTools, TheDesktopsOwnSettingsComeFirst) {
    const struct {
        const char* Desktop;
        const char* First;
    } cases[] = {
        {"", "pavucontrol"},
        {"GNOME", "gnome-control-center"},
        {"ubuntu:GNOME", "gnome-control-center"},
        {"KDE", "systemsettings"},
        {"LXQt", "pavucontrol-qt"},
        {"XFCE", "pavucontrol"},
    };
    for (const auto& c : cases) {
        for (const auto& tools : {AudioSettingsTools(c.Desktop), VolumeControlTools(c.Desktop)}) {
            ASSERT_EQ(tools.size(), 4u) << c.Desktop;
            EXPECT_EQ(tools.front().first(), c.First) << c.Desktop;
        }
    }
    EXPECT_EQ(AudioSettingsTools("KDE").front(), QStringList({"systemsettings", "kcm_pulseaudio"}));
    EXPECT_EQ(AudioSettingsTools("GNOME")[1], QStringList({"pavucontrol", "--tab=4"}));
    // With none installed the user is told which programs were looked for, in that order.
    const QString text = NoSoundToolText(AudioSettingsTools("KDE"));
    EXPECT_TRUE(
        text.endsWith("\nsystemsettings, pavucontrol, pavucontrol-qt, gnome-control-center"))
        << text.toStdString();
}

TEST_F(DesktopLaunch, HelpOpensTheManualBesideTheProgram) {
    const QString beside = QCoreApplication::applicationDirPath() + "/tellamo.html";
    QFile::remove(beside);
    StandIn("xdg-open");
    EXPECT_NE(HelpFilePath("tellamo.html"), beside);
    OpenHelp();
    QTest::qWait(300);
    EXPECT_FALSE(FileExists(Log())) << "a missing manual opens nothing";
    ASSERT_TRUE(QFile::copy(
        QString::fromStdString(std::getenv("TELLAMO_SOURCE_DIR")) + "/data/tellamo.html", beside));
    EXPECT_EQ(HelpFilePath("tellamo.html"), beside);
    OpenHelp();
    EXPECT_EQ(WaitForLog(), "xdg-open file://" + beside.toStdString() + "\n");
    QFile::remove(beside);
}

} // namespace
} // namespace tellamo::test
