#include "desktop/MprisService.h"

#include <algorithm>
#include <cmath>

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QStringList>
#include <QUrl>

namespace tellamo {

namespace {
const QString ObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString ServiceName = QStringLiteral("org.mpris.MediaPlayer2.tellamo");
const QString PlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString NoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
} // namespace

// org.mpris.MediaPlayer2: who the player is.
class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    explicit MprisRootAdaptor(MprisService* service)
        : QDBusAbstractAdaptor(service), mService(service) {}
    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Tellamo"); }
    QString DesktopEntry() const { return mService->DesktopEntry(); }
    // The player plays its own notes only; it opens nothing it is handed.
    QStringList SupportedUriSchemes() const { return {}; }
    QStringList SupportedMimeTypes() const { return {}; }

public slots:
    void Raise() { mService->Controls().Raise(); }
    void Quit() { mService->Controls().Quit(); }

private:
    MprisService* mService;
};

// org.mpris.MediaPlayer2.Player: the current note and its playback.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(double MinimumRate READ MinimumRate)
    Q_PROPERTY(double MaximumRate READ MaximumRate)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
public:
    explicit MprisPlayerAdaptor(MprisService* service)
        : QDBusAbstractAdaptor(service), mService(service) {}
    QString PlaybackStatus() const { return mService->PlaybackStatus(); }
    double Rate() const { return mService->Controls().Rate(); }
    void SetRate(double rate) {
        mService->SetRate(rate);
        mService->Called();
    }
    QVariantMap Metadata() const { return mService->Metadata(); }
    double Volume() const { return mService->Controls().Volume(); }
    void SetVolume(double volume) {
        mService->SetVolume(volume);
        mService->Called();
    }
    qlonglong Position() const { return mService->Controls().PositionUs(); }
    double MinimumRate() const { return MprisService::MinimumRate; }
    double MaximumRate() const { return MprisService::MaximumRate; }
    bool CanGoNext() const { return mService->Controls().CanGoNext(); }
    bool CanGoPrevious() const { return mService->Controls().CanGoPrevious(); }
    bool CanPlay() const { return mService->Controls().CanPlay(); }
    bool CanPause() const { return mService->CanPause(); }
    bool CanSeek() const { return mService->CanSeek(); }
    bool CanControl() const { return true; }

public slots:
    void Next() {
        Run([this] { mService->Controls().Next(); });
    }
    void Previous() {
        Run([this] { mService->Controls().Previous(); });
    }
    void Pause() {
        Run([this] { mService->Controls().Pause(); });
    }
    void PlayPause() {
        Run([this] { mService->Controls().PlayPause(); });
    }
    void Stop() {
        Run([this] { mService->Controls().Stop(); });
    }
    void Play() {
        Run([this] { mService->Controls().Play(); });
    }
    void Seek(qlonglong Offset) {
        Run([this, Offset] { mService->Seek(Offset); });
    }
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
        Run([this, &TrackId, Position] { mService->SetPosition(TrackId.path(), Position); });
    }
    void OpenUri(const QString&) {}

private:
    template <typename Call> void Run(Call call) {
        call();
        mService->Called();
    }

    MprisService* mService;
};

MprisService::MprisService(MediaControls& controls, QDBusConnection bus, QString desktopEntry,
                           QObject* parent)
    : QObject(parent), mControls(controls), mBus(std::move(bus)),
      mDesktopEntry(std::move(desktopEntry)) {
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
}

MprisService::~MprisService() {
    if (mStarted) {
        mBus.unregisterService(ServiceName);
        mBus.unregisterObject(ObjectPath);
    }
}

bool MprisService::Start() {
    if (mStarted) {
        return true;
    }
    if (!mBus.isConnected()) {
        return false;
    }
    if (!mBus.registerObject(ObjectPath, this, QDBusConnection::ExportAdaptors)) {
        return false;
    }
    if (!mBus.registerService(ServiceName)) {
        mBus.unregisterObject(ObjectPath);
        return false;
    }
    mStarted = true;
    mLast = Take();
    return true;
}

QString MprisService::TrackPath(const QString& id) const {
    if (id.isEmpty()) {
        return NoTrack;
    }
    // The name comes from the catalogue on disk: anything but letters, digits and underscores
    // is spelled out, so that the path is always a valid object path.
    QString path = QStringLiteral("/io/github/tellamo/Tellamo/Note/n");
    for (const QChar c : id) {
        const char16_t u = c.unicode();
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')) {
            path += c;
        } else {
            path += QStringLiteral("_%1").arg(static_cast<unsigned>(u), 4, 16, QLatin1Char('0'));
        }
    }
    return path;
}

QVariantMap MprisService::Metadata() {
    const MediaTrack track = mControls.CurrentTrack();
    QVariantMap map;
    map.insert(QStringLiteral("mpris:trackid"),
               QVariant::fromValue(QDBusObjectPath(TrackPath(track.Id))));
    if (track.Id.isEmpty()) {
        return map;
    }
    map.insert(QStringLiteral("mpris:length"), QVariant::fromValue(qlonglong{track.LengthUs}));
    map.insert(QStringLiteral("xesam:title"), track.Title);
    map.insert(QStringLiteral("xesam:url"), QUrl::fromLocalFile(track.FilePath).toString());
    return map;
}

QString MprisService::PlaybackStatus() {
    switch (mControls.Status()) {
    case MediaStatus::Playing:
        return QStringLiteral("Playing");
    case MediaStatus::Paused:
        return QStringLiteral("Paused");
    case MediaStatus::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

bool MprisService::CanSeek() {
    return mControls.Status() != MediaStatus::Stopped;
}

bool MprisService::CanPause() {
    return mControls.Status() != MediaStatus::Stopped || mControls.CanPlay();
}

void MprisService::Seek(qint64 offsetUs) {
    if (!CanSeek()) {
        return;
    }
    const qint64 length = mControls.CurrentTrack().LengthUs;
    const qint64 target = mControls.PositionUs() + offsetUs;
    if (target > length) {
        mControls.Next(); // what a seek past the end means to a media panel
        return;
    }
    mControls.SetPositionUs(std::max<qint64>(target, 0));
    NotifySeeked();
}

void MprisService::SetPosition(const QString& trackPath, qint64 positionUs) {
    if (!CanSeek()) {
        return;
    }
    const MediaTrack track = mControls.CurrentTrack();
    // A request meant for another note, or outside this one, is stale: it is dropped.
    if (trackPath != TrackPath(track.Id) || positionUs < 0 || positionUs > track.LengthUs) {
        return;
    }
    mControls.SetPositionUs(positionUs);
    NotifySeeked();
}

void MprisService::SetRate(double rate) {
    if (!std::isfinite(rate) || rate < 0) {
        return;
    }
    if (rate == 0) {
        mControls.Pause(); // a rate of 0 means a pause to a media panel
        return;
    }
    mControls.SetRate(std::clamp(rate, MinimumRate, MaximumRate));
}

void MprisService::SetVolume(double volume) {
    if (std::isfinite(volume)) {
        mControls.SetVolume(std::clamp(volume, 0.0, 1.0));
    }
}

MprisService::Snapshot MprisService::Take() {
    Snapshot s;
    s.Status = PlaybackStatus();
    s.Metadata = Metadata();
    s.Rate = mControls.Rate();
    s.Volume = mControls.Volume();
    s.CanPlay = mControls.CanPlay();
    s.CanPause = CanPause();
    s.CanSeek = CanSeek();
    s.CanGoNext = mControls.CanGoNext();
    s.CanGoPrevious = mControls.CanGoPrevious();
    return s;
}

void MprisService::Refresh() {
    if (!mStarted) {
        return;
    }
    const Snapshot now = Take();
    QVariantMap changed;
    const auto note = [&changed](const char* name, const auto& was, const auto& is) {
        if (was != is) {
            changed.insert(QString::fromLatin1(name), QVariant::fromValue(is));
        }
    };
    note("PlaybackStatus", mLast.Status, now.Status);
    note("Metadata", mLast.Metadata, now.Metadata);
    note("Rate", mLast.Rate, now.Rate);
    note("Volume", mLast.Volume, now.Volume);
    note("CanPlay", mLast.CanPlay, now.CanPlay);
    note("CanPause", mLast.CanPause, now.CanPause);
    note("CanSeek", mLast.CanSeek, now.CanSeek);
    note("CanGoNext", mLast.CanGoNext, now.CanGoNext);
    note("CanGoPrevious", mLast.CanGoPrevious, now.CanGoPrevious);
    mLast = now;
    if (changed.isEmpty()) {
        return;
    }
    QDBusMessage signal =
        QDBusMessage::createSignal(ObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << PlayerInterface << changed << QStringList();
    mBus.send(signal);
}

void MprisService::NotifySeeked() {
    if (!mStarted) {
        return;
    }
    QDBusMessage signal =
        QDBusMessage::createSignal(ObjectPath, PlayerInterface, QStringLiteral("Seeked"));
    signal << qlonglong{mControls.PositionUs()};
    mBus.send(signal);
}

} // namespace tellamo

#include "MprisService.moc"
