#pragma once

#include <QObject>

#include "desktop/MediaControls.h"

namespace tellamo {

class TTellamoMainForm;

// The main window as the desktop's media controls see it: the current note of the list, its
// playback through the window's own commands (so that the toolbar, the time label and the
// settings show what the desktop did), the speed of the toolbar and the master volume of its
// slider. Next and Previous move to the neighbouring note of the list and play it when a note
// was playing. Nothing here starts, pauses or stops a recording.
//
// Threads: window thread only.
class WindowMediaControls final : public QObject, public MediaControls {
    Q_OBJECT
public:
    explicit WindowMediaControls(TTellamoMainForm& form);

    MediaTrack CurrentTrack() override;
    MediaStatus Status() override;
    qint64 PositionUs() override;
    double Rate() override;
    double Volume() override;
    bool CanPlay() override;
    bool CanGoNext() override;
    bool CanGoPrevious() override;

    void Play() override;
    void Pause() override;
    void PlayPause() override;
    void Stop() override;
    void SetPositionUs(qint64 position) override;
    void SetRate(double rate) override;
    void SetVolume(double volume) override;
    void Next() override;
    void Previous() override;
    void Raise() override;
    // As Exit, unless a box or dialog of the program is open: its own loop would be cut off,
    // and with it whatever it was about to save.
    void Quit() override;

signals:
    // What the controls report may have changed (the window looked at its states again).
    void Changed();
    // The position jumped by the window's own doing (a skip, the slider, a rewind on resume).
    void Seeked();

private:
    bool Recording() const;
    void GoToRow(int row);

    TTellamoMainForm& mForm;
};

} // namespace tellamo
