#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QString>

#include "dictaphone/GraphBitmap.h"
#include "dictaphone/GraphSettings.h"
#include "dictaphone/RecordingMarker.h"
#include "dictaphone/RecordingOptions.h"
#include "dictaphone/TellamoGraph.h"
#include "mainwindow/CaptureHandOff.h"

class QDoubleSpinBox;
class QFrame;
class QLabel;
class QSlider;
class QTimer;
class QToolBar;
class QWidget;

namespace tellamo {

class Catalogue;
class GraphImage;
struct MainActions;
struct NoteRecord;
class SleepInhibitor;
class SoundPaintBox;
class TAudio;
class TDescriptionForm;
class MediaPlayer;
class WavePort;
class WindowPoster;

// The sound services the composition root hands the main window: the wave-audio port (ALSA, or
// a fake in tests), the poster that brings device notifications to the window thread, and the
// player's play file.
struct AudioServices {
    WavePort& Port;
    WindowPoster& Poster;
    std::string PlayFilePath;
};

// What the window is doing; read by the action states, switched only by SetMode.
enum class TDictaphoneMode { mdIdle = 0, mdPlaying = 1, mdRecording = 2 };

// What the dictaphone asks of the window around it.
class DictaphoneHost {
public:
    virtual ~DictaphoneHost() = default;
    // After a note was added or completed.
    virtual void SaveCatalogue() = 0;
    // The same; true when the catalogue on the disk now holds the change.
    virtual bool SaveCatalogueChecked() = 0;
    // The folder tree and the note list take no input while a note plays.
    virtual void SetBrowsingEnabled(bool enabled) = 0;
    // The note list is shown greyed while a note's graph is built (which can take a moment).
    virtual void SetNoteListBusy(bool busy) = 0;
    // The mode, the pause or the time shown changed.
    virtual void DictaphoneStateChanged() = 0;
};

// The dictaphone part of the main window: recording and playback, the window's mode, the time
// label, the volume and noise sliders of the dictaphone toolbar, the graph panel (the live graph
// while recording, the current note's stored graph otherwise) and the position strip. It owns
// the audio component and the media player.
//
// Threads: a window-thread object. The audio component calls back on the capture thread only
// through the hand-off (CaptureHandOff), which it reads and resets on the window thread.
class DictaphonePanel : public QObject {
    Q_OBJECT
public:
    // Fills toolBar (the window's "DictaphoneToolBar") and creates the graph panel and the
    // position strip as children of window, for the window to place.
    DictaphonePanel(QWidget& window, QToolBar& toolBar, Catalogue& catalogue, MainActions& actions,
                    const AudioServices& audio, DictaphoneHost& host);
    ~DictaphonePanel() override;

    QFrame* GraphPanel() const { return mGraphPanel; }
    QWidget* BottomPanel() const { return mBottomPanel; }
    QSlider* VolumeSlider() const { return mVolumeRxSlider; }
    QSlider* SilenceSlider() const { return mSilenceRxSlider; }
    QSlider* PositionSlider() const { return mPositionRxSlider; }
    // The playback speed on the toolbar, "1.0×".
    QDoubleSpinBox* SpeedBox() const { return mSpeedSpinBox; }

    TAudio& Audio() { return *mAudio; }
    MediaPlayer& Player() { return *mMediaPlayer; }
    TDictaphoneMode Mode() const { return mMode; }
    std::int64_t RecordedSamples() const { return mHandOff.RecordedSamples(); }
    // Whether the note's sound file is still being written (the note being recorded, or the
    // next part made ready for it).
    bool IsBeingRecorded(const NoteRecord* note) const {
        return mMode == TDictaphoneMode::mdRecording && note &&
               (note == mRecordingNote || note == mNextNote);
    }
    // The options dialog binds these.
    RecordingOptions& Options() { return mOptions; }
    GraphSettings& GraphOptions() { return mGraphOptions; }

    void SetDescriptionForm(TDescriptionForm* form) { mDescriptionForm = form; }
    void SetSleepInhibitor(SleepInhibitor* inhibitor) { mNoSleep = inhibitor; }

    // The action-state update's part: the graph panel shown or not, the position strip usable
    // while playing, the current note's graph loaded when idle.
    void UpdateStates();

    void RecordActionExecute();
    void StopActionExecute();
    void PauseActionExecute();
    void PlayActionExecute();
    // Idle: plays the current note; playing: pauses or resumes it. A recording is left alone.
    void PlayPauseActionExecute();
    // By the skip step, while a note plays or is paused; never past its start or end.
    void SkipBackActionExecute();
    void SkipForwardActionExecute();
    // The playback speed in tenths (held to 0.5x..2.0x), shown on the toolbar; a note that is
    // playing goes on at it from where it is.
    void SetSpeedTenths(int tenths);
    int SpeedTenths() const;
    // The skip step and the rewind on resume, from the options dialog.
    void SetPlaybackSteps(std::uint32_t skipStepMs, std::uint32_t rewindOnResumeMs);
    // Moves the playing or paused note to a place of its own time and keeps its mode. announce:
    // PositionJumped is emitted (a jump asked through the desktop's media controls announces
    // itself).
    void JumpTo(std::uint32_t milliseconds, bool announce = true);
    // Plays the current note from ms (starting playback when idle, jumping when playing).
    void PlayFrom(std::uint32_t ms);
    void SetMode(TDictaphoneMode mode);
    void TimerTimer();
    void ShowNoteTime();
    void ReadMixerVolume();
    // The hint a slider shows: "Volume: 50%", "Noise level: 10%".
    QString SliderHint(const QSlider* slider) const;
    // "Tellamo", or what it is doing and for how long ("Tellamo: Recording 0:01:05").
    QString StateHint() const;

    // Shows the current note's stored graph, building it first when its file is missing.
    void LoadGraph();
    // Whether the graph shown is the current note's: otherwise the window loads it when idle.
    bool ShowsGraphOf(const QString& graphPath) const;
    // The next idle moment loads the current note's graph again.
    void ForgetShownGraph() { mShownGraphPath.clear(); }
    // Deletes every graph file of the storage folder, then shows the current note's anew.
    void RedrawAllGraphs();
    // The graph values as they are now: colours and velocity of the options, the bi-directional
    // and silence options, the noise level.
    GraphSettings CurrentGraphSettings() const;

signals:
    // The position of the playing or paused note jumped (a skip, a seek, a resume that starts
    // earlier), not by playing on.
    void PositionJumped();
    // Where playback is in the note, at every timer tick while playing; -1 once it ends.
    void PlaybackPosition(qint64 ms);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The time label's text, and its accessible name with the state; the graph's name with the
    // note's duration.
    void ShowTime(const QString& text);
    QString StateWord() const;
    void NameSlider(QSlider* slider);
    void CreateToolBarPart(QToolBar& toolBar);
    void CreateGraphPanel();
    void Connect();
    void ConnectPlayer();
    // The time label and the position strip show where the note is now.
    void ShowPosition();
    void ApplyPause();
    void ApplySilenceSettings();
    void NoiseOptionsChanged();
    void VolumeRxSliderChange();
    void AudioMixerChange(std::uint16_t destination, std::uint16_t source);
    // Before a recording: true when the storage folder's disk holds a minute of the format, or
    // the user wants to record all the same.
    bool EnoughRoomToRecord(std::uint16_t rate, bool sixteenBit);
    // The recording file stopped taking sound (a full disk, a failed write): the recording ends
    // with what was written and the user is told.
    void RecordingFileStopped();
    // The storage folder's marker names the new recording (besides those the catalogue on the
    // disk does not hold yet), so that a crash before the catalogue is saved cannot lose it.
    void MarkRecording(const NoteRecord& note);
    // The catalogue on the disk holds every marked recording: the marker goes.
    void UnmarkRecordings();
    // A long recording nears the size at which it goes on in a new note: that note and its file
    // are made ready, in the same folder, with the same description and the part's number.
    void PrepareContinuation();
    // The recording went on in the next part: the part it left is completed as its own note.
    void RecordingContinued();
    bool IsNoteOfCatalogue(const NoteRecord* note) const;
    // Window thread, after captured buffers: draws them and shows the time.
    void CapturedDelivered();
    // "Paused" or "Waiting for speech" over the live graph, or nothing while sound is taken.
    void ShowRecordingState();
    void ShowBitmap();
    void BiDirectionalActionExecute();

    QWidget& mWindow;
    Catalogue& mCat;
    MainActions& mActions;
    DictaphoneHost& mHost;
    RecordingOptions mOptions;
    GraphSettings mGraphOptions;
    TDictaphoneMode mMode = TDictaphoneMode::mdIdle;
    TDescriptionForm* mDescriptionForm = nullptr;
    SleepInhibitor* mNoSleep = nullptr;

    // Components, named as the settings and translation files address them.
    QLabel* mTimeLabel = nullptr;
    QSlider* mVolumeRxSlider = nullptr;
    QSlider* mSilenceRxSlider = nullptr;
    QFrame* mGraphPanel = nullptr;
    SoundPaintBox* mSoundPaintBox = nullptr;
    GraphImage* mGraphImage = nullptr;
    QWidget* mBottomPanel = nullptr;
    QSlider* mPositionRxSlider = nullptr;
    QDoubleSpinBox* mSpeedSpinBox = nullptr;
    QTimer* mTimer = nullptr;
    bool mPositionDragging = false;
    // Where the focus goes back to when the note ends: the list it was in when the play began.
    QPointer<QWidget> mFocusAfterPlay;

    // Declared before the audio component, so that it outlives the device threads that call it.
    CaptureHandOff mHandOff;
    // The live graph the window thread draws from the hand-off's feed (window thread only).
    GraphState mLiveState;
    // The stored graph being shown, as loaded (mirrored when bi-directional); empty while none.
    GraphBitmap mShownBitmap;
    QString mShownGraphPath;
    // The recordings the marker names (window thread only).
    std::vector<MarkedRecording> mMarked;
    // The note being recorded, and the next part made ready for it (null until then); the
    // samples of the parts before it; the part's number and the description of the first part.
    NoteRecord* mRecordingNote = nullptr;
    NoteRecord* mNextNote = nullptr;
    std::int64_t mSamplesBefore = 0;
    int mPart = 1;
    std::string mFirstDescription;
    std::unique_ptr<TAudio> mAudio;
    std::unique_ptr<MediaPlayer> mMediaPlayer;
};

} // namespace tellamo
