// The desktop's media controls: MprisService on a private session bus, driven by playerctl (the
// desktop's own MPRIS client) and by plain D-Bus calls, over a stand-in player.

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QProcess>
#include <QTest>

#include "desktop/MprisService.h"
#include "support/TempDir.h"

namespace tellamo::test {
namespace {

// A player with three notes that keeps what it is told and what was asked of it.
class StandInPlayer final : public MediaControls {
public:
    struct Note {
        QString Id, Title, Path;
        qint64 LengthUs;
    };
    std::vector<Note> Notes{{"042977", "Call Bob", "/notes/042977.wav", 4000000},
                            {"104711", "12/10/2026 09:15:00", "/notes/104711.wav", 65000000},
                            {"../x y", "A damaged name", "/notes/x y.wav", 1000000}};
    std::size_t Current = 0;
    MediaStatus State = MediaStatus::Stopped;
    qint64 Position = 0;
    double RateValue = 1;
    double VolumeValue = 0.5;
    QStringList Calls;

    MediaTrack CurrentTrack() override {
        const Note& n = Notes[Current];
        return {n.Id, n.Title, n.Path, n.LengthUs};
    }
    MediaStatus Status() override { return State; }
    qint64 PositionUs() override { return Position; }
    double Rate() override { return RateValue; }
    double Volume() override { return VolumeValue; }
    bool CanPlay() override { return true; }
    bool CanGoNext() override { return Current + 1 < Notes.size(); }
    bool CanGoPrevious() override { return Current > 0; }
    void Play() override { Called("Play", MediaStatus::Playing); }
    void Pause() override {
        Called("Pause", State == MediaStatus::Playing ? MediaStatus::Paused : State);
    }
    void PlayPause() override {
        Called("PlayPause",
               State == MediaStatus::Playing ? MediaStatus::Paused : MediaStatus::Playing);
    }
    void Stop() override {
        Called("Stop", MediaStatus::Stopped);
        Position = 0;
    }
    void SetPositionUs(qint64 position) override {
        Calls << QStringLiteral("SetPosition %1").arg(position);
        Position = position;
    }
    void SetRate(double rate) override {
        Calls << QStringLiteral("SetRate %1").arg(rate);
        RateValue = rate;
    }
    void SetVolume(double volume) override {
        Calls << QStringLiteral("SetVolume %1").arg(volume);
        VolumeValue = volume;
    }
    void Next() override {
        Calls << QStringLiteral("Next");
        if (CanGoNext()) {
            ++Current;
            Position = 0;
        }
    }
    void Previous() override {
        Calls << QStringLiteral("Previous");
        if (CanGoPrevious()) {
            --Current;
            Position = 0;
        }
    }
    void Raise() override { Calls << QStringLiteral("Raise"); }
    void Quit() override { Calls << QStringLiteral("Quit"); }

private:
    void Called(const char* name, MediaStatus next) {
        Calls << QString::fromLatin1(name);
        State = next;
    }
};

// Collects the player's PropertiesChanged and Seeked signals.
class SignalLog : public QObject {
    Q_OBJECT
public:
    QList<QVariantMap> Changes;
    QList<qlonglong> Seeks;
    QStringList ChangedNames() const {
        QStringList names;
        for (const QVariantMap& m : Changes) {
            names += m.keys();
        }
        return names;
    }

public slots:
    void PropertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList&) {
        if (interface == QLatin1String("org.mpris.MediaPlayer2.Player")) {
            Changes << changed;
        }
    }
    void Seeked(qlonglong position) { Seeks << position; }
};

// A session bus of the test's own, the stand-in's service on it, and a second connection that
// plays the desktop.
class MprisTest : public ::testing::Test {
protected:
    void SetUp() override {
        mDaemon.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        ASSERT_TRUE(mDaemon.waitForStarted(10000));
        while (!mDaemon.canReadLine() && mDaemon.waitForReadyRead(10000)) {
        }
        mAddress = QString::fromUtf8(mDaemon.readLine()).trimmed();
        ASSERT_FALSE(mAddress.isEmpty()) << "no private bus";
        static int count = 0;
        ++count;
        mServiceBusName = QStringLiteral("mpris-service-%1").arg(count);
        mDesktopName = QStringLiteral("mpris-desktop-%1").arg(count);
        mService = std::make_unique<MprisService>(
            mPlayer, QDBusConnection::connectToBus(mAddress, mServiceBusName),
            QStringLiteral("io.github.tellamo.Tellamo"));
        ASSERT_TRUE(mService->Start());
        mDesktop = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(mAddress, mDesktopName));
        ASSERT_TRUE(mDesktop->isConnected());
        const QString path = QStringLiteral("/org/mpris/MediaPlayer2");
        ASSERT_TRUE(mDesktop->connect(QString(), path,
                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                      QStringLiteral("PropertiesChanged"), &mLog,
                                      SLOT(PropertiesChanged(QString, QVariantMap, QStringList))));
        ASSERT_TRUE(mDesktop->connect(QString(), path,
                                      QStringLiteral("org.mpris.MediaPlayer2.Player"),
                                      QStringLiteral("Seeked"), &mLog, SLOT(Seeked(qlonglong))));
    }
    void TearDown() override {
        mService.reset();
        mDesktop.reset();
        QDBusConnection::disconnectFromBus(mServiceBusName);
        QDBusConnection::disconnectFromBus(mDesktopName);
        mDaemon.kill();
        mDaemon.waitForFinished(5000);
    }

    // Runs playerctl on the private bus while the window thread's loop goes on (the service
    // answers it from this thread); its standard output, trimmed.
    QString Playerctl(const QStringList& arguments, int* exitCode = nullptr) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), mAddress);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral("playerctl"), arguments);
        EXPECT_TRUE(process.waitForStarted(5000)) << "playerctl is not installed";
        EXPECT_TRUE(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 15000))
            << arguments.join(' ').toStdString();
        if (exitCode != nullptr) {
            *exitCode = process.exitCode();
        }
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }
    std::string Tellamo(const QStringList& arguments) {
        return Playerctl(QStringList{QStringLiteral("--player=tellamo")} + arguments).toStdString();
    }

    QVariant Property(const QString& interface, const QString& name) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.mpris.MediaPlayer2.tellamo"),
            QStringLiteral("/org/mpris/MediaPlayer2"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        call << interface << name;
        const QDBusMessage answer = AsyncCall(call);
        return answer.arguments().value(0).value<QDBusVariant>().variant();
    }
    void SetPlayerProperty(const QString& name, const QVariant& value) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.mpris.MediaPlayer2.tellamo"),
            QStringLiteral("/org/mpris/MediaPlayer2"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
        call << QStringLiteral("org.mpris.MediaPlayer2.Player") << name
             << QVariant::fromValue(QDBusVariant(value));
        const QDBusMessage answer = AsyncCall(call);
        EXPECT_EQ(answer.type(), QDBusMessage::ReplyMessage) << answer.errorMessage().toStdString();
    }
    // A call the service answers on this same thread: the loop runs until the answer is in.
    QDBusMessage AsyncCall(const QDBusMessage& call) {
        QDBusPendingCall pending = mDesktop->asyncCall(call, 5000);
        EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }, 10000));
        return pending.reply();
    }
    // Lets signals on their way arrive.
    void Settle() { QTest::qWait(200); }

    StandInPlayer mPlayer;
    std::unique_ptr<MprisService> mService;
    std::unique_ptr<QDBusConnection> mDesktop;
    SignalLog mLog;

private:
    QProcess mDaemon;
    QString mAddress, mServiceBusName, mDesktopName;
};

TEST_F(MprisTest, PlayerctlListsShowsAndDrivesTheNote) {
    EXPECT_TRUE(Playerctl({QStringLiteral("--list-all")}).split('\n').contains("tellamo"));
    EXPECT_EQ(Tellamo({QStringLiteral("metadata"), QStringLiteral("--format"),
                       QStringLiteral("{{mpris:trackid}}|{{xesam:title}}|{{xesam:url}}|"
                                      "{{mpris:length}}")}),
              "'/io/github/tellamo/Tellamo/Note/n042977'|Call Bob|file:///notes/042977.wav|4000000")
        << "playerctl quotes object paths";
    EXPECT_EQ(Tellamo({QStringLiteral("status")}), "Stopped");

    Tellamo({QStringLiteral("play-pause")});
    EXPECT_EQ(mPlayer.State, MediaStatus::Playing);
    EXPECT_EQ(Tellamo({QStringLiteral("status")}), "Playing");
    Tellamo({QStringLiteral("play-pause")});
    EXPECT_EQ(Tellamo({QStringLiteral("status")}), "Paused");

    Tellamo({QStringLiteral("position"), QStringLiteral("2")});
    EXPECT_EQ(mPlayer.Position, 2000000);
    EXPECT_EQ(Tellamo({QStringLiteral("position")}), "2.000000");
    Settle();
    EXPECT_EQ(mLog.Seeks, QList<qlonglong>{2000000});

    Tellamo({QStringLiteral("next")});
    EXPECT_EQ(mPlayer.Current, 1u);
    EXPECT_EQ(Tellamo({QStringLiteral("metadata"), QStringLiteral("title")}),
              "12/10/2026 09:15:00");
    Tellamo({QStringLiteral("next")});
    // A name from a damaged catalogue still gives a valid track path.
    EXPECT_EQ(Tellamo({QStringLiteral("metadata"), QStringLiteral("mpris:trackid")}),
              "'/io/github/tellamo/Tellamo/Note/n_002e_002e_002fx_0020y'");
    Tellamo({QStringLiteral("previous")});
    EXPECT_EQ(mPlayer.Current, 1u);
    Tellamo({QStringLiteral("volume"), QStringLiteral("0.3")});
    EXPECT_DOUBLE_EQ(mPlayer.VolumeValue, 0.3);
    Tellamo({QStringLiteral("stop")});
    EXPECT_EQ(mPlayer.State, MediaStatus::Stopped);
    Settle();
    const QStringList changed = mLog.ChangedNames();
    for (const char* name : {"PlaybackStatus", "Metadata", "Volume", "CanGoPrevious"}) {
        EXPECT_TRUE(changed.contains(name)) << name;
    }
}

TEST_F(MprisTest, TheRootInterfaceSaysWhoItIs) {
    const QString root = QStringLiteral("org.mpris.MediaPlayer2");
    EXPECT_EQ(Property(root, "Identity").toString(), "Tellamo");
    EXPECT_EQ(Property(root, "DesktopEntry").toString(), "io.github.tellamo.Tellamo");
    EXPECT_TRUE(Property(root, "CanRaise").toBool());
    EXPECT_TRUE(Property(root, "CanQuit").toBool());
    EXPECT_FALSE(Property(root, "HasTrackList").toBool());
    const QString player = QStringLiteral("org.mpris.MediaPlayer2.Player");
    EXPECT_EQ(Property(player, "MinimumRate").toDouble(), 0.5);
    EXPECT_EQ(Property(player, "MaximumRate").toDouble(), 2.0);
    for (const char* method : {"Raise", "Quit"}) {
        AsyncCall(QDBusMessage::createMethodCall(QStringLiteral("org.mpris.MediaPlayer2.tellamo"),
                                                 QStringLiteral("/org/mpris/MediaPlayer2"), root,
                                                 QString::fromLatin1(method)));
    }
    EXPECT_EQ(mPlayer.Calls, (QStringList{"Raise", "Quit"}));
}

// Rate set over the bus reaches the player within its range (0 is a pause, as MPRIS has it),
// and the change is announced.
TEST_F(MprisTest, RateOverTheBusChangesTheSpeed) {
    const struct {
        double Set;
        double Rate;
        QString Call;
    } cases[] = {{1.5, 1.5, "SetRate 1.5"},
                 {5.0, 2.0, "SetRate 2"},
                 {0.1, 0.5, "SetRate 0.5"},
                 {-1.0, 0.5, ""},
                 {0.0, 0.5, "Pause"}};
    mPlayer.State = MediaStatus::Playing;
    mService->Refresh();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Set);
        mPlayer.Calls.clear();
        SetPlayerProperty(QStringLiteral("Rate"), c.Set);
        EXPECT_EQ(mPlayer.Calls, c.Call.isEmpty() ? QStringList() : QStringList{c.Call});
        EXPECT_DOUBLE_EQ(mPlayer.RateValue, c.Rate);
        EXPECT_DOUBLE_EQ(
            Property(QStringLiteral("org.mpris.MediaPlayer2.Player"), "Rate").toDouble(), c.Rate);
    }
    Settle();
    QList<double> announced;
    for (const QVariantMap& m : mLog.Changes) {
        if (m.contains("Rate")) {
            announced << m.value("Rate").toDouble();
        }
    }
    EXPECT_EQ(announced, (QList<double>{1.5, 2.0, 0.5}));
    EXPECT_EQ(mPlayer.State, MediaStatus::Paused);
}

// The end of a playback, seen by the owner: the status change goes out once; nothing goes out
// when nothing changed.
TEST_F(MprisTest, TheEndOfAPlaybackIsAnnounced) {
    mPlayer.State = MediaStatus::Playing;
    mService->Refresh();
    Settle();
    mLog.Changes.clear();
    mService->Refresh();
    Settle();
    EXPECT_TRUE(mLog.Changes.isEmpty()) << "nothing changed";

    mPlayer.State = MediaStatus::Stopped;
    mPlayer.Position = 0;
    mService->Refresh();
    mService->Refresh();
    Settle();
    ASSERT_EQ(mLog.Changes.size(), 1);
    EXPECT_EQ(mLog.Changes[0].value("PlaybackStatus").toString(), "Stopped");
    EXPECT_FALSE(mLog.Changes[0].value("CanSeek").toBool());
}

// Seeks from the bus: past the end is the next note, before the start is the start, a
// SetPosition for another note or outside this one is dropped, and nothing is sought while
// stopped.
TEST_F(MprisTest, SeeksStayInsideTheNote) {
    const QString player = QStringLiteral("org.mpris.MediaPlayer2.Player");
    const auto call = [&](const char* method, const QVariantList& args) {
        QDBusMessage m = QDBusMessage::createMethodCall(
            QStringLiteral("org.mpris.MediaPlayer2.tellamo"),
            QStringLiteral("/org/mpris/MediaPlayer2"), player, QString::fromLatin1(method));
        m.setArguments(args);
        const QDBusMessage answer = AsyncCall(m);
        EXPECT_EQ(answer.type(), QDBusMessage::ReplyMessage) << answer.errorMessage().toStdString();
    };
    const QVariant track =
        QVariant::fromValue(QDBusObjectPath("/io/github/tellamo/Tellamo/Note/n042977"));
    call("Seek", {qlonglong{1000000}});
    EXPECT_TRUE(mPlayer.Calls.isEmpty()) << "stopped: nothing to seek";

    mPlayer.State = MediaStatus::Playing;
    call("Seek", {qlonglong{1500000}});
    EXPECT_EQ(mPlayer.Position, 1500000);
    call("Seek", {qlonglong{-9000000}});
    EXPECT_EQ(mPlayer.Position, 0);
    call("SetPosition", {track, qlonglong{3000000}});
    EXPECT_EQ(mPlayer.Position, 3000000);
    call("SetPosition", {track, qlonglong{4000001}});
    call("SetPosition", {track, qlonglong{-1}});
    call("SetPosition",
         {QVariant::fromValue(QDBusObjectPath("/io/github/tellamo/Tellamo/Note/n104711")),
          qlonglong{1000000}});
    EXPECT_EQ(mPlayer.Position, 3000000) << "stale or impossible positions are dropped";
    call("Seek", {qlonglong{2000000}});
    EXPECT_EQ(mPlayer.Current, 1u) << "past the end: the next note";
    Settle();
    EXPECT_EQ(mLog.Seeks, (QList<qlonglong>{1500000, 0, 3000000}));
}

TEST_F(MprisTest, NoPlayerIsLeftOnceTheServiceHasGone) {
    mService.reset();
    int exitCode = 0;
    EXPECT_FALSE(Playerctl({QStringLiteral("--list-all")}, &exitCode).contains("tellamo"));
}

// Without a session bus nothing is offered and nothing fails.
TEST(MprisWithoutBus, OffersNothingAndFailsNothing) {
    StandInPlayer player;
    MprisService service(player,
                         QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                                       QStringLiteral("mpris-nowhere")),
                         QStringLiteral("io.github.tellamo.Tellamo"));
    EXPECT_FALSE(service.Start());
    EXPECT_FALSE(service.Started());
    service.Refresh();
    service.NotifySeeked();
    EXPECT_TRUE(player.Calls.isEmpty());
    QDBusConnection::disconnectFromBus(QStringLiteral("mpris-nowhere"));
}

} // namespace
} // namespace tellamo::test

#include "MprisTest.moc"
