// System-wide hotkeys through the desktop portal's GlobalShortcuts, as on Wayland: the real
// D-Bus service against a stand-in portal on a private bus, inside the whole program.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include "HotKeyProgramFixture.h"
#include "app/HotKeyChoice.h"
#include "app/TDM.h"
#include "app/TellamoProgram.h"
#include "audio/WindowPoster.h"
#include "catalogue/Catalogue.h"
#include "common/FileSystem.h"
#include "desktop/HotKeyService.h"
#include "desktop/PortalHotKeyService.h"
#include "desktop/THotKeyEdit.h"
#include "dialogs/TOptionsForm.h"
#include "mainwindow/Messages.h"
#include "mainwindow/TellamoMainForm.h"
#include "support/FakeWavePort.h"
#include "support/TempDir.h"

namespace tellamo::test {
namespace {

// Runs the window thread's loop (idle moments included) until the condition holds; false when
// it has not within ms.
template <typename Condition> bool WaitFor(Condition condition, int ms = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms) {
            return false;
        }
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// A private session bus with the stand-in services of tests/support/desktop-portal-standin.py,
// started with the given options; the calls they received are in LogLines().
class PrivateBus {
public:
    explicit PrivateBus(const QStringList& standinOptions) {
        Daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"),
                      QStringLiteral("--print-address=1")});
        EXPECT_TRUE(Daemon.waitForStarted(10000));
        while (!Daemon.canReadLine() && Daemon.waitForReadyRead(10000)) {
        }
        Address = QString::fromUtf8(Daemon.readLine()).trimmed();
        EXPECT_FALSE(Address.isEmpty()) << "no private bus";
        LogPath = QString::fromStdString(Folder.File("standin.log"));
        Standin.setProcessChannelMode(QProcess::ForwardedChannels);
        Standin.start(QStringLiteral("/usr/bin/python3"),
                      QStringList{qEnvironmentVariable("TELLAMO_PORTAL_STANDIN"),
                                  QStringLiteral("--bus"), Address, QStringLiteral("--log"),
                                  LogPath} +
                          standinOptions);
        EXPECT_TRUE(Standin.waitForStarted(10000));
        EXPECT_TRUE(QTest::qWaitFor([this] { return LogLines().contains("ready"); }, 20000))
            << "the stand-in did not start";
        static int count = 0;
        Name = QStringLiteral("tellamo-test-bus-%1").arg(++count);
        Bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(Address, Name));
        EXPECT_TRUE(Bus->isConnected());
    }
    ~PrivateBus() {
        Bus.reset();
        QDBusConnection::disconnectFromBus(Name);
        for (QProcess* process : {&Standin, &Daemon}) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
    QStringList LogLines() const {
        QFile file(LogPath);
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    QStringList Logged(const QString& prefix) const {
        return LogLines().filter(QRegularExpression(QStringLiteral("^") + prefix));
    }
    // The desktop reports that the user pressed the shortcut of that name (in the last session
    // the program created, or in the one given).
    void Activate(const QString& name, const QString& session = {}) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.portal.Desktop"),
            QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.tellamo.Standin"),
            session.isEmpty() ? QStringLiteral("Activate") : QStringLiteral("ActivateIn"));
        if (!session.isEmpty()) {
            call << session;
        }
        call << name;
        const QDBusMessage answer = Bus->call(call, QDBus::Block, 5000);
        ASSERT_EQ(answer.type(), QDBusMessage::ReplyMessage) << answer.errorMessage().toStdString();
        ASSERT_TRUE(answer.arguments().value(0).toBool()) << "no session to activate in";
    }

    TempDir Folder;
    QProcess Daemon, Standin;
    QString Address, LogPath, Name;
    std::unique_ptr<QDBusConnection> Bus;
};

// On Wayland the portal's GlobalShortcuts serve when the portal offers them; elsewhere, and
// without them, the HotKeys page says that there are no system-wide hotkeys.
TEST(PortalHotKeyChoice, ThePortalServesOnWaylandWhenItOffersGlobalShortcuts) {
    const struct {
        bool Wayland;
        QStringList Standin;
        bool Portal;
    } cases[] = {
        {true, {"--portal"}, true},
        {true, {"--portal", "--no-shortcuts"}, false},
        {true, {}, false},            // no portal on the bus
        {false, {"--portal"}, false}, // offscreen is no X11 display either
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Standin.join(' ').toStdString() + (c.Wayland ? " wayland" : " other"));
        PrivateBus bus(c.Standin);
        const std::unique_ptr<HotKeyService> service = ChooseHotKeyService(c.Wayland, *bus.Bus);
        EXPECT_EQ(dynamic_cast<PortalHotKeyService*>(service.get()) != nullptr, c.Portal);
        EXPECT_EQ(service->Available(), c.Portal);
        if (!c.Portal) {
            EXPECT_EQ(service->UnavailableReason().toStdString(),
                      "System-wide hotkeys are not available on this desktop.");
        }
    }
}

// A Wayland session is known by the platform the windows go to or by the session's own word.
TEST(PortalHotKeyChoice, AWaylandSessionIsKnownByItsPlatformOrItsSessionType) {
    const QByteArray saved = qgetenv("XDG_SESSION_TYPE");
    qputenv("XDG_SESSION_TYPE", "x11");
    EXPECT_FALSE(IsWaylandSession()) << "offscreen on X11";
    qputenv("XDG_SESSION_TYPE", "wayland");
    EXPECT_TRUE(IsWaylandSession());
    qputenv("XDG_SESSION_TYPE", saved);
}

// The whole program with the record and stop hotkeys Ctrl+Shift+R and Ctrl+Shift+S switched on,
// over the portal's service.
class PortalHotKeyProgram : public HotKeyProgramFixture {
protected:
    PortalHotKeyProgram()
        : mBus({QStringLiteral("--portal")}), mService(ChooseHotKeyService(true, *mBus.Bus)) {
        StartProgram(*mService);
        ShowWithHotKeys();
    }
    ~PortalHotKeyProgram() override { mProgram.reset(); } // before the service it holds
    bool Bound(int times) {
        return WaitFor([&] { return mBus.Logged("bind ").size() >= times; });
    }

    PrivateBus mBus;
    std::unique_ptr<HotKeyService> mService;
};

TEST_F(PortalHotKeyProgram, BothKeysAreOfferedUnderTheirNamesAndActivationRunsTheirActions) {
    ASSERT_TRUE(Bound(1)) << mBus.LogLines().join('\n').toStdString();
    EXPECT_TRUE(mProgram->Options().RecordHotKeyCheckBox->isEnabled());
    EXPECT_FALSE(mProgram->Options().HotKeyNoteLabel->isVisibleTo(&mProgram->Options()));
    // Registered one after the other at the first idle moment: one session holds both.
    const QStringList sessions = mBus.Logged("create-session ");
    ASSERT_EQ(sessions.size(), 1) << mBus.LogLines().join('\n').toStdString();
    EXPECT_TRUE(sessions[0].startsWith(
        "create-session options=handle_token:tellamo1,session_handle_token:tellamo1 session="))
        << sessions[0].toStdString();
    const QString session = sessions[0].section(" session=", 1);
    const QStringList binds = mBus.Logged("bind ");
    ASSERT_EQ(binds.size(), 1);
    EXPECT_EQ(binds[0].toStdString(),
              "bind session=" + session.toStdString() +
                  " shortcuts=record:description:Start recording;preferred_trigger:CTRL+SHIFT+r"
                  "|stop:description:Stop recording;preferred_trigger:CTRL+SHIFT+s");

    mBus.Activate(QStringLiteral("record"));
    ASSERT_TRUE(WaitFor([&] { return Form().Mode() == TDictaphoneMode::mdRecording; }))
        << mMessages.join('\n').toStdString();
    EXPECT_TRUE(Form().Actions().StopAction->isEnabled()) << "the action update ran at once";
    mBus.Activate(QStringLiteral("stop"));
    ASSERT_TRUE(WaitFor([&] { return Form().Mode() == TDictaphoneMode::mdIdle; }));
    EXPECT_EQ(Notes(), 1);
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join('\n').toStdString();
}

// Switching the stop hotkey off takes it from the desktop: the session is replaced by one that
// holds the record hotkey alone; the old session's keys and the stop key do nothing any more.
TEST_F(PortalHotKeyProgram, AKeySwitchedOffIsTakenFromTheDesktop) {
    ASSERT_TRUE(Bound(1)) << mBus.LogLines().join('\n').toStdString();
    const QString first = mBus.Logged("create-session ")[0].section(" session=", 1);
    TOptionsForm& options = mProgram->Options();
    options.OldRecordHotKey = 0x6052; // in force, as the dialog notes when it is shown
    options.OldStopHotKey = 0x6053;
    Form().Actions().StopHotkeyAction->setChecked(false);
    options.ApplyHotKeys(false);
    ASSERT_TRUE(Bound(2)) << mBus.LogLines().join('\n').toStdString();
    EXPECT_TRUE(mBus.LogLines().contains("close-session " + first))
        << mBus.LogLines().join('\n').toStdString();
    const QString second = mBus.Logged("create-session ")[1].section(" session=", 1);
    EXPECT_EQ(mBus.Logged("bind ")[1].toStdString(),
              "bind session=" + second.toStdString() +
                  " shortcuts=record:description:Start recording;preferred_trigger:CTRL+SHIFT+r");
    mBus.Activate(QStringLiteral("record"), first);
    WaitFor([] { return false; }, 300);
    EXPECT_EQ(Form().Mode(), TDictaphoneMode::mdIdle) << "a session given up does not count";
    mBus.Activate(QStringLiteral("record"));
    ASSERT_TRUE(WaitFor([&] { return Form().Mode() == TDictaphoneMode::mdRecording; }));
    mBus.Activate(QStringLiteral("stop"));
    WaitFor([] { return false; }, 300);
    EXPECT_EQ(Form().Mode(), TDictaphoneMode::mdRecording) << "the stop hotkey is off";
}

} // namespace
} // namespace tellamo::test
