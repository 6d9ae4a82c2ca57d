#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include "desktop/MediaControls.h"

namespace tellamo {

// The program's player on the session bus as MPRIS 2 (org.mpris.MediaPlayer2.tellamo at
// /org/mpris/MediaPlayer2), so that the desktop's media keys and media panels show and drive
// the current note. Everything it reports and does goes through MediaControls.
//
// PropertiesChanged is sent for what has changed since the last look, which is taken after every
// call from the bus and whenever the owner calls Refresh; the owner calls NotifySeeked after a
// jump of its own (the bus's Seek and SetPosition send Seeked themselves). With no session bus,
// or with the name taken, Start is false and the rest does nothing.
//
// Threads: window thread only.
class MprisService : public QObject {
    Q_OBJECT
public:
    static constexpr double MinimumRate = 0.5;
    static constexpr double MaximumRate = 2.0;

    // desktopEntry: the installed desktop entry's name without ".desktop".
    MprisService(MediaControls& controls, QDBusConnection bus, QString desktopEntry,
                 QObject* parent = nullptr);
    // Gives the name and the object back: no player is left on the bus.
    ~MprisService() override;

    bool Start();
    bool Started() const { return mStarted; }

    // Sends PropertiesChanged for whatever the controls now report differently.
    void Refresh();
    // The position jumped (a seek or skip of the program's own): Seeked with the new position.
    void NotifySeeked();

    // What the bus's interfaces read and call (the adaptors forward here).
    MediaControls& Controls() { return mControls; }
    const QString& DesktopEntry() const { return mDesktopEntry; }
    QVariantMap Metadata();
    QString PlaybackStatus();
    bool CanSeek();
    bool CanPause();
    void Seek(qint64 offsetUs);
    void SetPosition(const QString& trackPath, qint64 positionUs);
    void SetRate(double rate);
    void SetVolume(double volume);
    // After a call from the bus: what it changed is announced.
    void Called() { Refresh(); }

private:
    struct Snapshot {
        QString Status;
        QVariantMap Metadata;
        double Rate = 1;
        double Volume = 0;
        bool CanPlay = false, CanPause = false, CanSeek = false;
        bool CanGoNext = false, CanGoPrevious = false;
    };
    Snapshot Take();
    QString TrackPath(const QString& id) const;

    MediaControls& mControls;
    QDBusConnection mBus;
    QString mDesktopEntry;
    bool mStarted = false;
    Snapshot mLast;
};

} // namespace tellamo
