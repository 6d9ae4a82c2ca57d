// Every test runs with folders of its own: nothing it writes to "the user's" places may reach the
// home of whoever runs the tests.

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

TEST(TestIsolation, TheUsersFoldersArePrivateToThisRun) {
    const passwd* account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    const QString realHome = QString::fromLocal8Bit(account->pw_dir);
    const QString home = qEnvironmentVariable("HOME");
    const QString tmp = qEnvironmentVariable("TMPDIR");
    ASSERT_FALSE(home.isEmpty());
    EXPECT_NE(QFileInfo(home).canonicalFilePath(), QFileInfo(realHome).canonicalFilePath());
    EXPECT_FALSE(tmp.isEmpty()) << "temporary files of the tests would outlive a crashed run";

    const struct {
        QStandardPaths::StandardLocation location;
        const char* name;
    } places[] = {
        {QStandardPaths::HomeLocation, "home"},
        {QStandardPaths::DocumentsLocation, "documents"},
        {QStandardPaths::GenericConfigLocation, "configuration"},
        {QStandardPaths::GenericDataLocation, "data"},
        {QStandardPaths::GenericCacheLocation, "cache"},
        {QStandardPaths::RuntimeLocation, "runtime"},
        {QStandardPaths::TempLocation, "temporary files"},
    };
    // Home and the temporary folder are siblings under the folder made for this run.
    const QString run = QFileInfo(home).absolutePath() + "/";
    for (const auto& place : places) {
        const QString path = QStandardPaths::writableLocation(place.location);
        EXPECT_TRUE(path.startsWith(run)) << place.name << ": " << path.toStdString();
        EXPECT_FALSE(path.startsWith(realHome + "/")) << place.name << ": " << path.toStdString();
    }
    EXPECT_EQ(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
              home + "/Documents");
    EXPECT_EQ(QFileInfo(qEnvironmentVariable("XDG_RUNTIME_DIR")).permissions() & 0x0077, 0)
        << "the runtime folder is open to other users";
    EXPECT_TRUE(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        << "the real session bus is in reach";
}

} // namespace
