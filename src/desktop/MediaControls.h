#pragma once

#include <QString>

namespace tellamo {

// The note the desktop's media controls show. An empty Id: nothing to show.
struct MediaTrack {
    QString Id;         // the note's own name, unique in the catalogue
    QString Title;      // what a media panel shows as the title
    QString FilePath;   // the note's sound file
    qint64 LengthUs{0}; // microseconds
};

enum class MediaStatus { Stopped, Playing, Paused };

// What the desktop's media controls (MprisService) see of the program and what they may ask of
// it. The main window implements it; tests use a stand-in. Positions are in microseconds of the
// note's own time, rates are note seconds per second, volumes 0 to 1.
//
// Threads: window thread only. Nothing here starts or stops a recording: an implementation
// ignores what does not fit its state.
class MediaControls {
public:
    virtual ~MediaControls() = default;

    virtual MediaTrack CurrentTrack() = 0;
    virtual MediaStatus Status() = 0;
    virtual qint64 PositionUs() = 0;
    virtual double Rate() = 0;
    virtual double Volume() = 0;
    virtual bool CanPlay() = 0;
    virtual bool CanGoNext() = 0;
    virtual bool CanGoPrevious() = 0;

    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void PlayPause() = 0;
    virtual void Stop() = 0;
    // Within 0 and the length; only while a note is playing or paused.
    virtual void SetPositionUs(qint64 position) = 0;
    virtual void SetRate(double rate) = 0;
    virtual void SetVolume(double volume) = 0;
    virtual void Next() = 0;
    virtual void Previous() = 0;
    virtual void Raise() = 0;
    virtual void Quit() = 0;
};

} // namespace tellamo
