#include "mainwindow/DictaphonePanel.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QSlider>
#include <QStyleFactory>
#include <QTimer>
#include <QToolBar>
#include <QToolTip>
#include <QVBoxLayout>

#include "audio/Audio.h"
#include "audio/WavFormat.h"
#include "catalogue/Catalogue.h"
#include "catalogue/NoteTexts.h"
#include "common/Errors.h"
#include "common/FileSystem.h"
#include "common/Rounding.h"
#include "common/Translate.h"
#include "dialogs/TDescriptionForm.h"
#include "dictaphone/GraphFile.h"
#include "dictaphone/MediaPlayer.h"
#include "dictaphone/SleepInhibitor.h"
#include "dictaphone/SystemSound.h"
#include "dictaphone/TellamoWav.h"
#include "mainwindow/GraphWidgets.h"
#include "mainwindow/MainActions.h"
#include "mainwindow/Messages.h"

namespace tellamo {

namespace {
constexpr int BottomPanelHeight = 22;

QSlider* MakeSlider(const char* name, int maximum, int value, QWidget* parent) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(QString::fromLatin1(name));
    slider->setRange(0, maximum);
    slider->setSingleStep(1);
    slider->setValue(value);
    return slider;
}

// A click on the position strip's track jumps there, as media players do, instead of paging
// towards it.
class JumpingSliderStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_Slider_AbsoluteSetButtons) {
            return Qt::LeftButton | Qt::MiddleButton;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

constexpr int PositionSingleStepMs = 1000;
constexpr int ToolBarSliderWidth = 76;
} // namespace

DictaphonePanel::DictaphonePanel(QWidget& window, QToolBar& toolBar, Catalogue& catalogue,
                                 MainActions& actions, const AudioServices& audio,
                                 DictaphoneHost& host)
    : QObject(&window), mWindow(window), mCat(catalogue), mActions(actions), mHost(host),
      mHandOff(audio.Poster, [this] { CapturedDelivered(); }) {
    mAudio = std::make_unique<TAudio>(audio.Port, audio.Poster, audio.PlayFilePath);
    // The window's design: the trigger starts closed at level 0.
    mAudio->Recorder().SetTrigLevel(0);
    mAudio->Recorder().SetTriggered(false);
    mMediaPlayer = std::make_unique<MediaPlayer>(mAudio->Port(), audio.Poster);
    mTimer = new QTimer(this);
    mTimer->setObjectName(QStringLiteral("Timer"));
    mTimer->setInterval(128);
    CreateToolBarPart(toolBar);
    CreateGraphPanel();
    Connect();
}

DictaphonePanel::~DictaphonePanel() {
    // The audio component goes first, so that no device thread is left to call the hand-off or
    // post to the player.
    mMediaPlayer.reset();
    mAudio.reset();
}

void DictaphonePanel::CreateToolBarPart(QToolBar& bar) {
    const MainActions& a = mActions;
    bar.addActions({a.PlayAction, a.PauseAction, a.StopAction, a.RecordAction});
    bar.addSeparator();
    bar.addActions({a.SkipBackAction, a.SkipForwardAction});
    mSpeedSpinBox = new QDoubleSpinBox(&bar);
    mSpeedSpinBox->setObjectName(QStringLiteral("SpeedSpinBox"));
    mSpeedSpinBox->setRange(MediaPlayer::MinSpeedTenths / 10.0, MediaPlayer::MaxSpeedTenths / 10.0);
    mSpeedSpinBox->setSingleStep(0.1);
    mSpeedSpinBox->setDecimals(1);
    mSpeedSpinBox->setSuffix(QStringLiteral("\u00D7"));
    mSpeedSpinBox->setValue(MediaPlayer::NormalSpeedTenths / 10.0);
    mSpeedSpinBox->setAccelerated(false);
    // A speed typed in takes effect once it is complete, not at every key of it.
    mSpeedSpinBox->setKeyboardTracking(false);
    mSpeedSpinBox->setToolTip(TranslateText("Playback speed"));
    mSpeedSpinBox->setAccessibleName(TranslateText("Playback speed"));
    mSpeedSpinBox->setAccessibleName(TranslateText("Playback speed"));
    bar.addWidget(mSpeedSpinBox);
    bar.addSeparator();
    mTimeLabel = new QLabel(QStringLiteral("0:00:00|0:00:00"), &bar);
    mTimeLabel->setObjectName(QStringLiteral("TimeLabel"));
    // The desktop's text size is kept (large text stays large); the label is as wide as its
    // longest text in it, never narrower than the design's 110 by 24.
    QFont timeFont = mTimeLabel->font();
    timeFont.setFamily(QStringLiteral("Arial"));
    timeFont.setStyleHint(QFont::SansSerif);
    mTimeLabel->setFont(timeFont);
    const QFontMetrics timeMetrics(timeFont);
    mTimeLabel->setFixedSize(
        std::max(110, timeMetrics.horizontalAdvance(QStringLiteral("0:00:00|0:00:00")) + 8),
        std::max(24, timeMetrics.height() + 4));
    mTimeLabel->setAlignment(Qt::AlignCenter);
    bar.addWidget(mTimeLabel);
    bar.addSeparator();
    bar.addAction(a.MuteAction);
    mVolumeRxSlider = MakeSlider("VolumeRxSlider", 100, 50, &bar);
    // Narrow enough that the whole bar, the player's controls with it, fits the first-run window.
    mVolumeRxSlider->setFixedWidth(ToolBarSliderWidth);
    bar.addWidget(mVolumeRxSlider);
    bar.addSeparator();
    bar.addAction(a.SilenceAction);
    mSilenceRxSlider = MakeSlider("SilenceRxSlider", 30, 10, &bar);
    mSilenceRxSlider->setFixedWidth(ToolBarSliderWidth);
    bar.addWidget(mSilenceRxSlider);
    mTimeLabel->setAccessibleDescription(
        TranslateText("What the dictaphone is doing, and the time"));
    for (QSlider* slider : {mVolumeRxSlider, mSilenceRxSlider}) {
        connect(slider, &QSlider::valueChanged, this, [this, slider] { NameSlider(slider); });
        NameSlider(slider);
    }
}

void DictaphonePanel::NameSlider(QSlider* slider) {
    // The value is part of the name, as the hint shows it: "Volume 80 %". A name that stays the
    // same is not set again, so a screen reader is not told of it at every tick of playback.
    QString name;
    if (slider == mVolumeRxSlider) {
        name = TranslateText("Volume") + " " + QString::number(slider->value()) + " %";
    } else if (slider == mSilenceRxSlider) {
        name = TranslateText("Noise level") + " " + QString::number(slider->value()) + " %";
    } else if (slider == mPositionRxSlider) {
        name =
            TranslateText("Position") + " " + ShortTime(static_cast<std::int64_t>(slider->value()));
    }
    if (slider->accessibleName() != name) {
        slider->setAccessibleName(name);
    }
}

void DictaphonePanel::ShowTime(const QString& text) {
    mTimeLabel->setText(text);
    // The label's name says what is happening too, so that a change of state (recording,
    // playing, paused) reaches a screen reader as a change of the name.
    const QStringList times = text.split('|');
    QString name = StateWord();
    name += ", " + times.value(0);
    if (times.size() > 1) {
        name += " " + TranslateText("of") + " " + times.value(1);
    }
    if (mTimeLabel->accessibleName() != name) {
        mTimeLabel->setAccessibleName(name);
    }
    const NoteRecord* note = mCat.Notes().Current();
    const QString graph = mMode == TDictaphoneMode::mdRecording
                              ? TranslateText("Level graph of the recording")
                              : TranslateText("Level graph of the note") + ", " +
                                    ShortTime(note ? NoteLengthMs(*note) : 0);
    if (mGraphPanel && mGraphPanel->accessibleName() != graph) {
        for (QWidget* part :
             {static_cast<QWidget*>(mGraphPanel), static_cast<QWidget*>(mGraphImage),
              static_cast<QWidget*>(mSoundPaintBox)}) {
            part->setAccessibleName(graph);
        }
    }
}

QString DictaphonePanel::StateWord() const {
    if (mMode == TDictaphoneMode::mdIdle) {
        return TranslateText("Stopped");
    }
    if (mMode == TDictaphoneMode::mdRecording && !mActions.PauseAction->isChecked() &&
        mHandOff.Waiting()) {
        return TranslateText("Waiting for speech");
    }
    return mActions.PauseAction->isChecked()       ? TranslateText("Paused")
           : mMode == TDictaphoneMode::mdRecording ? TranslateText("Recording")
                                                   : TranslateText("Playing");
}

void DictaphonePanel::CreateGraphPanel() {
    mBottomPanel = new QWidget(&mWindow);
    mBottomPanel->setObjectName(QStringLiteral("BottomPanel"));
    mBottomPanel->setFixedHeight(BottomPanelHeight);
    auto* strip = new QHBoxLayout(mBottomPanel);
    strip->setContentsMargins(0, 0, 0, 0);
    mPositionRxSlider = MakeSlider("PositionRxSlider", 0, 0, mBottomPanel);
    auto* style = new JumpingSliderStyle(QStyleFactory::create(QApplication::style()->name()));
    style->setParent(mPositionRxSlider);
    mPositionRxSlider->setStyle(style);
    // The keys step through the note by seconds; a page is the skip step.
    mPositionRxSlider->setSingleStep(PositionSingleStepMs);
    mPositionRxSlider->setPageStep(static_cast<int>(MediaPlayer::DefaultSkipStepMs));
    mPositionRxSlider->setAccessibleName(TranslateText("Position"));
    strip->addWidget(mPositionRxSlider);
    connect(mPositionRxSlider, &QSlider::valueChanged, this,
            [this] { NameSlider(mPositionRxSlider); });
    NameSlider(mPositionRxSlider);

    mGraphPanel = new QFrame(&mWindow);
    mGraphPanel->setObjectName(QStringLiteral("GraphPanel"));
    mGraphPanel->setFrameShape(QFrame::Panel);
    mGraphPanel->setFrameShadow(QFrame::Sunken);
    mGraphPanel->setMinimumHeight(40);
    auto* graphLayout = new QVBoxLayout(mGraphPanel);
    graphLayout->setContentsMargins(0, 0, 0, 0);
    graphLayout->setSpacing(0);
    mSoundPaintBox = new SoundPaintBox(mGraphPanel);
    mGraphImage = new GraphImage(mGraphPanel);
    graphLayout->addWidget(mSoundPaintBox);
    graphLayout->addWidget(mGraphImage);
}

void DictaphonePanel::Connect() {
    QWidget* window = &mWindow;
    connect(mTimer, &QTimer::timeout, this,
            [this, window] { RunCommand(window, [this] { TimerTimer(); }); });

    ConnectCommand(mActions.RecordAction, window, [this] { RecordActionExecute(); });
    ConnectCommand(mActions.StopAction, window, [this] { StopActionExecute(); });
    ConnectCommand(mActions.PlayAction, window, [this] { PlayActionExecute(); });
    // The toolkit has flipped the check mark by the time the handler runs.
    ConnectCommand(mActions.PauseAction, window, [this] { ApplyPause(); });
    ConnectCommand(mActions.MuteAction, window, [this] { VolumeRxSliderChange(); });
    connect(mActions.SilenceAction, &QAction::toggled, this, [this] { NoiseOptionsChanged(); });

    connect(mSilenceRxSlider, &QSlider::valueChanged, this, [this](int value) {
        if (mSilenceRxSlider->hasFocus()) {
            mOptions.NoiseLevelPercent = value;
            QToolTip::showText(QCursor::pos(), SliderHint(mSilenceRxSlider), mSilenceRxSlider);
        }
        NoiseOptionsChanged();
    });
    connect(mVolumeRxSlider, &QSlider::valueChanged, this,
            [this, window] { RunCommand(window, [this] { VolumeRxSliderChange(); }); });
    connect(mPositionRxSlider, &QSlider::sliderPressed, this, [this] { mPositionDragging = true; });
    connect(mPositionRxSlider, &QSlider::sliderReleased, this,
            [this] { mPositionDragging = false; });
    // Dragging the handle seeks as it goes; a click on the track and the keys arrive as slider
    // actions before the value follows (programmatic moves raise neither).
    connect(mPositionRxSlider, &QSlider::valueChanged, this, [this, window](int value) {
        if (!mPositionDragging || mMode != TDictaphoneMode::mdPlaying) {
            return;
        }
        RunCommand(window, [this, value] { JumpTo(static_cast<std::uint32_t>(value)); });
    });
    connect(mPositionRxSlider, &QAbstractSlider::actionTriggered, this, [this, window](int) {
        if (mPositionRxSlider->isSliderDown() || mMode != TDictaphoneMode::mdPlaying) {
            return;
        }
        const int target = mPositionRxSlider->sliderPosition();
        RunCommand(window, [this, target] { JumpTo(static_cast<std::uint32_t>(target)); });
    });
    ConnectPlayer();

    mSoundPaintBox->Resized = [this](int width, int height) {
        if (mLiveState.Target) {
            ResizeGraph(mLiveState, width, height, CurrentGraphSettings());
        }
    };
    ConnectCommand(mActions.BiDirectionalAction, window, [this] { BiDirectionalActionExecute(); });

    mVolumeRxSlider->installEventFilter(this);
    mSilenceRxSlider->installEventFilter(this);

    // The capture thread's part of an accepted buffer: only atomics, a copy into the graph's
    // feed and an allocation-free post; no widget is touched there.
    mAudio->OnRecord = [this](TRecorder*, const unsigned char* lp, const unsigned char*,
                              std::uint16_t bytes) {
        ApplySilenceSettings();
        mHandOff.Captured(lp, bytes);
    };
    // While the silence trigger waits for speech the live view keeps moving with what the
    // microphone hears, so that the user sees the program listening.
    mAudio->OnWaiting = [this](TRecorder*, const unsigned char* lp, const unsigned char*,
                               std::uint16_t bytes) {
        ApplySilenceSettings();
        mHandOff.Skipped(lp, bytes);
    };
    mAudio->Recorder().SetFileSystem(mCat.FileSys());
    mAudio->OnFileStopped = [this, window](TRecorder*) {
        RunCommand(window, [this] { RecordingFileStopped(); });
    };
    mAudio->OnFileNearContinuation = [this, window](TRecorder*) {
        RunCommand(window, [this] { PrepareContinuation(); });
    };
    mAudio->OnFileContinued = [this, window](TRecorder*) {
        RunCommand(window, [this] { RecordingContinued(); });
    };
    mAudio->OnMixerChange = [this](TMixerSettings*, std::uint16_t destination,
                                   std::uint16_t source) { AudioMixerChange(destination, source); };
    NoiseOptionsChanged();
    SetMode(TDictaphoneMode::mdIdle);
}

void DictaphonePanel::CapturedDelivered() {
    if (mMode == TDictaphoneMode::mdRecording && mLiveState.Target) {
        DrawFedBuffers(mHandOff.Feed(), mLiveState, CurrentGraphSettings());
        mSoundPaintBox->update();
    } else {
        mHandOff.Feed().Discard();
    }
    if (mMode == TDictaphoneMode::mdRecording) {
        ShowTime(ShortTime(mHandOff.RecordedMs()));
        ShowRecordingState();
        mHost.DictaphoneStateChanged();
    }
}

void DictaphonePanel::ShowRecordingState() {
    QString text;
    if (mMode == TDictaphoneMode::mdRecording) {
        if (mActions.PauseAction->isChecked()) {
            text = TranslateText("Paused");
        } else if (mHandOff.Waiting()) {
            text = TranslateText("Waiting for speech");
        }
    }
    const ColorValue c = CurrentGraphSettings().NoiseLevelColor;
    mSoundPaintBox->SetStateText(text, QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
}

void DictaphonePanel::UpdateStates() {
    mGraphPanel->setVisible(mActions.GraphPanelAction->isChecked());
    const bool stripFocused = mPositionRxSlider->hasFocus();
    mPositionRxSlider->setEnabled(mMode == TDictaphoneMode::mdPlaying);
    if (mMode != TDictaphoneMode::mdPlaying && mFocusAfterPlay && mFocusAfterPlay->isEnabled()) {
        const QWidget* focused = QApplication::focusWidget();
        if (stripFocused || !focused || focused == mPositionRxSlider) {
            mFocusAfterPlay->setFocus();
        }
        mFocusAfterPlay.clear();
    }
    if (mMode == TDictaphoneMode::mdIdle && !ShowsGraphOf(mCat.NoteGraphPath())) {
        RunCommand(&mWindow, [this] { LoadGraph(); });
    }
}

QString DictaphonePanel::StateHint() const {
    QString hint = TranslateText("Tellamo");
    if (mMode != TDictaphoneMode::mdIdle) {
        const bool recording = mMode == TDictaphoneMode::mdRecording;
        const QString state = mActions.PauseAction->isChecked() ? TranslateText("Paused")
                              : recording && mHandOff.Waiting()
                                  ? TranslateText("Waiting for speech")
                              : recording ? TranslateText("Recording")
                                          : TranslateText("Playing");
        const std::int64_t ms =
            recording ? mHandOff.RecordedMs() : static_cast<std::int64_t>(mMediaPlayer->Position());
        hint += ": " + state + " " + ShortTime(ms);
    }
    return hint;
}

bool DictaphonePanel::ShowsGraphOf(const QString& graphPath) const {
    // The picture is also missing before the first LoadGraph, when an empty list's path and the
    // shown path are both empty: the panel would stay grey instead of the background colour.
    return graphPath == mShownGraphPath && !mGraphImage->Picture().isNull();
}

void DictaphonePanel::NoiseOptionsChanged() {
    mHandOff.SetSilence(
        mActions.SilenceAction->isChecked(),
        static_cast<std::uint16_t>(NoiseLevel(mOptions.NoiseLevelPercent, mHandOff.SixteenBit())));
}

void DictaphonePanel::ApplySilenceSettings() {
    // Also on the capture thread, before each buffer: the hand-off's values are atomics and so
    // are the recorder's.
    TRecorder& recorder = mAudio->Recorder();
    recorder.SetTriggered(!mHandOff.SilenceOn());
    recorder.SetTrigLevel(mHandOff.NoiseLevel());
}

void DictaphonePanel::SetMode(TDictaphoneMode mode) {
    mMode = mode;
    // Every way out of recording (Stop, a failed write, the exit) comes through here.
    if (mNoSleep) {
        if (mode == TDictaphoneMode::mdRecording) {
            mNoSleep->Inhibit(TranslateText("Recording a voice note"));
        } else {
            mNoSleep->Release();
        }
    }
    if (mode == TDictaphoneMode::mdIdle && mMediaPlayer->IsOpen()) {
        mMediaPlayer->Close();
    }
    if (mode == TDictaphoneMode::mdPlaying) {
        mTimer->start();
    } else {
        mTimer->stop();
        emit PlaybackPosition(-1);
    }
    mSoundPaintBox->setVisible(mode == TDictaphoneMode::mdRecording);
    ShowRecordingState();
    mGraphImage->setVisible(mode != TDictaphoneMode::mdRecording);
    if (mode != TDictaphoneMode::mdRecording) {
        mLiveState.Target = nullptr; // the live drawing is not kept anywhere
    }
    ShowTime(mTimeLabel->text());
    mHost.DictaphoneStateChanged();
    if (mActions.SoundNotificationAction->isChecked()) {
        PlayNotificationSound(mAudio->Port());
    }
}

void DictaphonePanel::RecordActionExecute() {
    // Before anything is asked or added: a note that cannot get its sound file would only bring
    // a failed catalogue save and a failed graph after it.
    const QString problem = mCat.StorageWriteProblem();
    if (!problem.isEmpty()) {
        ShowErrorBox(
            &mWindow,
            TranslateText("The recording could not start: the storage folder cannot be written.") +
                "\n" + mCat.Files().StorageFolder() + "\n" + problem);
        return;
    }
    const FolderNode* selected = mCat.SelectedFolder();
    if (mActions.RecycleRecordAction->isChecked() && selected &&
        (selected == mCat.RecycleBinNode() || mCat.IsInsideRecycleBin(selected))) {
        if (!AskConfirmation(
                &mWindow,
                TranslateText("The note will be created in the Recycle Bin. Are you sure?"))) {
            return;
        }
    }
    mCat.Notes().ClearSelection();
    if (mActions.AskDescriptionAction->isChecked() && mDescriptionForm &&
        !mDescriptionForm->AskNewDescription()) {
        return;
    }
    const QString description =
        mDescriptionForm ? mDescriptionForm->DescriptionEdit->text() : QString();
    const std::uint16_t rate = mOptions.SampleRate;
    const bool sixteen = mOptions.SixteenBit;
    if (!EnoughRoomToRecord(rate, sixteen)) {
        return;
    }
    NoteRecord* note =
        mCat.AddRecordedNote(mCat.SelectedFolder(), description, rate, sixteen ? 16 : 8);

    TRecorder& recorder = mAudio->Recorder();
    recorder.SetBitsPerSample(sixteen ? TBPS::_16 : TBPS::_8);
    recorder.SetSampleRate(rate);
    recorder.SetNoSamples(static_cast<std::uint16_t>(RoundHalfEven(rate * 100 / 1000.0)));
    // The count starts before the capture does: the capture thread adds to it from the first
    // buffer on.
    mHandOff.Start(rate, sixteen);
    NoiseOptionsChanged();
    // The file, then the marker naming it, reach the disk before the catalogue names the note:
    // after a power cut the catalogue never lists a recording that is not there.
    try {
        recorder.RecordToFile(mCat.Files().NoteWavPath(note->FileName).toStdString());
    } catch (const TellamoError&) {
        mCat.Notes().RemoveIf([note](const NoteRecord& r) { return &r == note; });
        throw;
    }
    mRecordingNote = note;
    mNextNote = nullptr;
    mSamplesBefore = 0;
    mPart = 1;
    mFirstDescription = note->Description;
    MarkRecording(*note);
    mHost.SaveCatalogue();
    ApplySilenceSettings();
    mSoundPaintBox->SetSurfaceSize(mGraphPanel->contentsRect().size());
    ClearGraph(mLiveState, &mSoundPaintBox->Surface(), mSoundPaintBox->Surface().SurfaceWidth(),
               mSoundPaintBox->Surface().SurfaceHeight(), CurrentGraphSettings());
    if (recorder.StartRecording()) {
        SetMode(TDictaphoneMode::mdRecording);
    } else {
        ShowErrorBox(&mWindow, QString::fromStdString(mAudio->ErrorMessage));
    }
}

bool DictaphonePanel::EnoughRoomToRecord(std::uint16_t rate, bool sixteenBit) {
    const std::uint64_t minute = static_cast<std::uint64_t>(rate) * (sixteenBit ? 2 : 1) * 60;
    std::uint64_t free = 0;
    // A file system that cannot tell is not held against the user.
    if (mCat.FileSys().FreeSpace(mCat.Files().StorageFolder().toStdString(), free) != 0 ||
        free >= minute) {
        return true;
    }
    const std::int64_t seconds = static_cast<std::int64_t>(free / (minute / 60));
    return AskConfirmation(
        &mWindow, TranslateText("The storage folder's disk has room for less than one minute of "
                                "recording in this format (about %1). Record anyway?")
                      .arg(ShortTime(seconds * 1000)));
}

void DictaphonePanel::RecordingFileStopped() {
    if (mMode != TDictaphoneMode::mdRecording) {
        return;
    }
    const QString reason = QString::fromStdString(mAudio->Recorder().FileError());
    const NoteRecord* note = mRecordingNote;
    StopActionExecute();
    ShowErrorBox(&mWindow, reason + "\n" +
                               TranslateText("The note keeps what was recorded before:") + " " +
                               ShortTime(note ? note->Duration.value_or(0) : 0));
}

void DictaphonePanel::MarkRecording(const NoteRecord& note) {
    mMarked.push_back({note.FileName, note.Start, note.FolderID, note.Description});
    try {
        WriteRecordingMarker(
            mCat.FileSys(), QFile::encodeName(mCat.Files().StorageFolder()).toStdString(), mMarked);
    } catch (const TellamoError&) {
        // The sound file is on the disk all the same: the catalogue's save names it, and
        // Restore Notes finds it should that fail too.
    }
}

void DictaphonePanel::UnmarkRecordings() {
    mMarked.clear();
    RemoveRecordingMarker(mCat.FileSys(),
                          QFile::encodeName(mCat.Files().StorageFolder()).toStdString());
}

bool DictaphonePanel::IsNoteOfCatalogue(const NoteRecord* note) const {
    if (!note) {
        return false;
    }
    for (const auto& record : mCat.Notes().All()) {
        if (record.get() == note) {
            return true;
        }
    }
    return false;
}

void DictaphonePanel::PrepareContinuation() {
    if (mMode != TDictaphoneMode::mdRecording || mNextNote || !IsNoteOfCatalogue(mRecordingNote)) {
        return;
    }
    // The part's number goes after the description when the description has room for it.
    std::string description = mFirstDescription;
    const std::string mark = " (" + std::to_string(mPart + 1) + ")";
    if (description.size() + mark.size() <= NoteRecord::DescriptionBytes) {
        description += mark;
    }
    NoteRecord* next =
        mCat.AddRecordedNote(mRecordingNote->ParentPointer, QString::fromStdString(description),
                             mRecordingNote->SampleRate, mRecordingNote->BitRate);
    try {
        mAudio->Recorder().PrepareNextFile(mCat.Files().NoteWavPath(next->FileName).toStdString());
    } catch (const TellamoError&) {
        // The recording goes on in its file up to the largest size a WAV file can have, and
        // ends there with the reason shown.
        mCat.Notes().RemoveIf([next](const NoteRecord& r) { return &r == next; });
        return;
    }
    mNextNote = next;
    MarkRecording(*next);
    mHost.SaveCatalogue();
}

void DictaphonePanel::RecordingContinued() {
    const std::uint64_t size = mAudio->Recorder().CompleteContinuedFile();
    if (size == 0 || !mNextNote) {
        return;
    }
    NoteRecord* left = mRecordingNote;
    mRecordingNote = mNextNote;
    mNextNote = nullptr;
    ++mPart;
    const std::int64_t samples =
        static_cast<std::int64_t>((size - WaveHeaderSize) / (mHandOff.SixteenBit() ? 2 : 1));
    mSamplesBefore += samples;
    if (IsNoteOfCatalogue(left)) {
        mCat.CompleteNote(
            left, RoundHalfEven32(static_cast<double>(size) / 1024.0),
            RoundHalfEven(static_cast<double>(samples) * 1000.0 / mHandOff.SampleRate()));
    }
    mHost.SaveCatalogue();
}

void DictaphonePanel::StopActionExecute() {
    ShowNoteTime();
    mPositionRxSlider->setValue(0);
    if (mActions.PauseAction->isChecked()) {
        mActions.PauseAction->setChecked(false);
        ApplyPause();
    }
    if (mMode == TDictaphoneMode::mdPlaying) {
        mMediaPlayer->Stop();
    } else if (mMode == TDictaphoneMode::mdRecording) {
        bool closed = false;
        try {
            closed = mAudio->Recorder().Stop();
            // A part the recording moved on to before the window heard of it.
            RecordingContinued();
        } catch (...) {
            // The file could not be completed: the recording is over all the same.
            SetMode(TDictaphoneMode::mdIdle);
            throw;
        }
        if (mNextNote) {
            // Made ready for a part the recording never reached; the recorder removed its file.
            NoteRecord* unused = mNextNote;
            mNextNote = nullptr;
            mCat.Notes().RemoveIf([unused](const NoteRecord& r) { return &r == unused; });
        }
        NoteRecord* note = IsNoteOfCatalogue(mRecordingNote) ? mRecordingNote : nullptr;
        if (!closed) {
            ShowErrorBox(&mWindow, QString::fromStdString(mAudio->ErrorMessage));
        } else if (note) {
            const QString path = mCat.Files().NoteWavPath(note->FileName);
            struct stat st {};
            if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
                const int error = errno;
                SetMode(TDictaphoneMode::mdIdle); // the recording is over all the same
                throw TellamoError(
                    QString("Cannot read the size of \"%1\": ").arg(path).toStdString() +
                    SystemErrorText(error));
            }
            const std::int32_t sizeKB = RoundHalfEven32(static_cast<double>(st.st_size) / 1024.0);
            const std::int64_t durationMs =
                RoundHalfEven(static_cast<double>(mHandOff.RecordedSamples() - mSamplesBefore) *
                              1000.0 / mHandOff.SampleRate());
            mCat.CompleteNote(note, sizeKB, durationMs);
            if (mHost.SaveCatalogueChecked()) {
                UnmarkRecordings();
            }
            LoadGraph();
        }
    }
    SetMode(TDictaphoneMode::mdIdle);
}

void DictaphonePanel::ApplyPause() {
    const bool paused = mActions.PauseAction->isChecked();
    if (mMode == TDictaphoneMode::mdPlaying) {
        const std::uint32_t before = mMediaPlayer->Position();
        mMediaPlayer->PauseToggle();
        ShowPosition();
        if (!paused && mMediaPlayer->Position() < before) {
            emit PositionJumped(); // the resume started earlier
        }
    } else if (mMode == TDictaphoneMode::mdRecording) {
        if (paused) {
            mAudio->Recorder().Pause();
        } else {
            mAudio->Recorder().Resume();
        }
    }
    ShowTime(mTimeLabel->text());
    ShowRecordingState();
    mHost.DictaphoneStateChanged();
}

void DictaphonePanel::PauseActionExecute() {
    mActions.PauseAction->setChecked(!mActions.PauseAction->isChecked());
    ApplyPause();
}

void DictaphonePanel::PlayActionExecute() {
    mCat.Notes().ClearSelection();
    const QString path = mCat.NoteWavPath();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        return;
    }
    QWidget* focused = QApplication::focusWidget();
    mHost.SetBrowsingEnabled(false);
    mMediaPlayer->Open(path.toStdString());
    mMediaPlayer->Play();
    mPositionRxSlider->setMaximum(static_cast<int>(mMediaPlayer->Length()));
    SetMode(TDictaphoneMode::mdPlaying);
    // The list that had the focus takes no input now; the focus would move on to whatever comes
    // next, a text field that takes Space as text among them. The position strip keeps the
    // player's keys working, and the list gets the focus back when the note ends.
    if (focused && !focused->isEnabled()) {
        mFocusAfterPlay = focused;
        mPositionRxSlider->setEnabled(true);
        mPositionRxSlider->setFocus();
    }
}

void DictaphonePanel::PlayFrom(std::uint32_t ms) {
    if (mMode == TDictaphoneMode::mdIdle) {
        PlayActionExecute();
    }
    if (mMode == TDictaphoneMode::mdPlaying) {
        // Announced like every other jump, so that the desktop's media controls follow it.
        JumpTo(ms);
        TimerTimer();
    }
}

void DictaphonePanel::TimerTimer() {
    if (mMode != TDictaphoneMode::mdPlaying) {
        return;
    }
    const std::uint32_t position = mMediaPlayer->Position();
    const std::uint32_t length = mMediaPlayer->Length();
    emit PlaybackPosition(position);
    ShowTime(ShortTime(position) + "|" + ShortTime(length));
    mHost.DictaphoneStateChanged();
    if (!mPositionDragging) {
        mPositionRxSlider->setValue(static_cast<int>(position));
        // A note paused at its end (skipped there) waits for the resume or Stop.
        if (position >= length && mMediaPlayer->CurrentMode() != MediaPlayer::Mode::Paused) {
            StopActionExecute();
        }
    }
}

void DictaphonePanel::ShowPosition() {
    if (mMode != TDictaphoneMode::mdPlaying || !mMediaPlayer->IsOpen()) {
        return;
    }
    const std::uint32_t position = mMediaPlayer->Position();
    mTimeLabel->setText(ShortTime(position) + "|" + ShortTime(mMediaPlayer->Length()));
    if (!mPositionDragging) {
        mPositionRxSlider->setValue(static_cast<int>(position));
    }
    mHost.DictaphoneStateChanged();
}

void DictaphonePanel::ConnectPlayer() {
    QWidget* window = &mWindow;
    const MainActions& a = mActions;
    // Single keys: a focused text field takes them first, so typing in the filter is safe.
    a.PlayPauseAction->setShortcut(QKeySequence(Qt::Key_Space));
    a.SkipBackAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Left));
    a.SkipForwardAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Right));
    a.SlowerAction->setShortcut(QKeySequence(Qt::Key_BracketLeft));
    a.FasterAction->setShortcut(QKeySequence(Qt::Key_BracketRight));
    a.NormalSpeedAction->setShortcut(QKeySequence(Qt::Key_Backspace));
    // The Note menu may be hidden; the window itself carries the keys.
    mWindow.addActions({a.PlayPauseAction, a.SkipBackAction, a.SkipForwardAction, a.SlowerAction,
                        a.FasterAction, a.NormalSpeedAction});
    ConnectCommand(a.PlayPauseAction, window, [this] { PlayPauseActionExecute(); });
    ConnectCommand(a.SkipBackAction, window, [this] { SkipBackActionExecute(); });
    ConnectCommand(a.SkipForwardAction, window, [this] { SkipForwardActionExecute(); });
    ConnectCommand(a.SlowerAction, window, [this] { SetSpeedTenths(SpeedTenths() - 1); });
    ConnectCommand(a.FasterAction, window, [this] { SetSpeedTenths(SpeedTenths() + 1); });
    ConnectCommand(a.NormalSpeedAction, window,
                   [this] { SetSpeedTenths(MediaPlayer::NormalSpeedTenths); });
    connect(mSpeedSpinBox, &QDoubleSpinBox::valueChanged, this, [this, window](double value) {
        const int tenths = static_cast<int>(std::lround(value * 10));
        if (tenths != mMediaPlayer->SpeedTenths()) {
            RunCommand(window, [this, tenths] { SetSpeedTenths(tenths); });
        }
    });
}

void DictaphonePanel::PlayPauseActionExecute() {
    if (mMode == TDictaphoneMode::mdPlaying) {
        PauseActionExecute();
    } else if (mMode == TDictaphoneMode::mdIdle && mActions.PlayAction->isEnabled()) {
        PlayActionExecute();
    }
}

void DictaphonePanel::SkipBackActionExecute() {
    if (mMode == TDictaphoneMode::mdPlaying && mMediaPlayer->IsOpen()) {
        mMediaPlayer->SkipBack();
        ShowPosition();
        emit PositionJumped();
    }
}

void DictaphonePanel::SkipForwardActionExecute() {
    if (mMode == TDictaphoneMode::mdPlaying && mMediaPlayer->IsOpen()) {
        mMediaPlayer->SkipForward();
        ShowPosition();
        emit PositionJumped();
    }
}

void DictaphonePanel::JumpTo(std::uint32_t milliseconds, bool announce) {
    if (mMode != TDictaphoneMode::mdPlaying || !mMediaPlayer->IsOpen()) {
        return;
    }
    mMediaPlayer->JumpTo(std::min(milliseconds, mMediaPlayer->Length()));
    ShowPosition();
    if (announce) {
        emit PositionJumped();
    }
}

int DictaphonePanel::SpeedTenths() const {
    return mMediaPlayer->SpeedTenths();
}

void DictaphonePanel::SetSpeedTenths(int tenths) {
    mMediaPlayer->SetSpeedTenths(tenths);
    const double shown = mMediaPlayer->SpeedTenths() / 10.0;
    if (std::lround(mSpeedSpinBox->value() * 10) != mMediaPlayer->SpeedTenths()) {
        const QSignalBlocker quiet(mSpeedSpinBox);
        mSpeedSpinBox->setValue(shown);
    }
    mHost.DictaphoneStateChanged();
}

void DictaphonePanel::SetPlaybackSteps(std::uint32_t skipStepMs, std::uint32_t rewindOnResumeMs) {
    mMediaPlayer->SetSkipStepMs(skipStepMs);
    mMediaPlayer->SetRewindOnResumeMs(rewindOnResumeMs);
    mPositionRxSlider->setPageStep(static_cast<int>(std::max<std::uint32_t>(skipStepMs, 1)));
}

void DictaphonePanel::ShowNoteTime() {
    const NoteRecord* note = mCat.Notes().Current();
    ShowTime(note ? "0:00:00|" + ShortTime(NoteLengthMs(*note))
                  : QStringLiteral("0:00:00|0:00:00"));
}

void DictaphonePanel::VolumeRxSliderChange() {
    const auto value = static_cast<std::uint16_t>(
        RoundHalfEven(65535.0 / mVolumeRxSlider->maximum() * mVolumeRxSlider->value()));
    if (!mAudio->Mixer().SetVolume(0, 0, value, value, mActions.MuteAction->isChecked())) {
        ShowErrorBox(&mWindow, QString::fromStdString(mAudio->ErrorMessage));
    }
    if (mVolumeRxSlider->hasFocus()) {
        QToolTip::showText(QCursor::pos(), SliderHint(mVolumeRxSlider), mVolumeRxSlider);
    }
}

void DictaphonePanel::ReadMixerVolume() {
    std::uint16_t left = 0, right = 0;
    bool muted = false;
    mAudio->ErrorMessage.clear();
    const bool ok = mAudio->Mixer().GetVolume(0, 0, left, right, muted);
    const bool volumeDelivered = ok || mAudio->ErrorMessage == "Mute GetControlError in Mixer";
    if (volumeDelivered) {
        mVolumeRxSlider->setValue(
            static_cast<int>(RoundHalfEven(right / 65535.0 * mVolumeRxSlider->maximum())));
    }
    if (ok) {
        mActions.MuteAction->setChecked(muted);
    }
}

void DictaphonePanel::AudioMixerChange(std::uint16_t destination, std::uint16_t source) {
    if (destination == 0 && source == 0) {
        ReadMixerVolume();
    }
}

QString DictaphonePanel::SliderHint(const QSlider* slider) const {
    // AppEventsShowHint: the two sliders' hints carry their values.
    if (slider == mVolumeRxSlider) {
        return TranslateText("Volume") + ": " + QString::number(slider->value()) + "%";
    }
    if (slider == mSilenceRxSlider) {
        return TranslateText("Noise level") + ": " + QString::number(slider->value()) + "%";
    }
    return slider->toolTip();
}

bool DictaphonePanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip &&
        (watched == mVolumeRxSlider || watched == mSilenceRxSlider)) {
        const auto* help = static_cast<QHelpEvent*>(event);
        auto* slider = static_cast<QSlider*>(watched);
        QToolTip::showText(help->globalPos(), SliderHint(slider), slider);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

GraphSettings DictaphonePanel::CurrentGraphSettings() const {
    GraphSettings settings = mGraphOptions;
    settings.BiDirectional = mActions.BiDirectionalAction->isChecked();
    settings.Silence = mActions.SilenceAction->isChecked();
    settings.NoiseLevelPercent = mOptions.NoiseLevelPercent;
    return settings;
}

void DictaphonePanel::ShowBitmap() {
    if (mShownBitmap.Width() == 0) {
        mGraphImage->SetPicture(QImage());
        return;
    }
    // Only the rows the bars reach are stretched over the panel: squeezed whole into a low
    // panel, the graph of ordinary speech would be a line a few pixels high.
    const GraphSettings settings = CurrentGraphSettings();
    const auto [first, rows] =
        GraphContentRows(mShownBitmap, settings.BackgroundColor, settings.BiDirectional);
    QImage image = GraphBitmapToImage(mShownBitmap);
    if (first != 0 || rows != mShownBitmap.Height()) {
        image = image.copy(0, first, mShownBitmap.Width(), rows);
    }
    mGraphImage->SetPicture(image);
}

void DictaphonePanel::LoadGraph() {
    ShowNoteTime();
    const GraphSettings settings = CurrentGraphSettings();
    const NoteRecord* note = mCat.Notes().Current();
    const QString path = mCat.NoteGraphPath();
    if (!note || path.isEmpty()) {
        // No note (or a note whose name cannot be used as a file name): a plain background.
        mShownBitmap = GraphBitmap(600, 256);
        mShownBitmap.Fill(settings.BackgroundColor);
        ShowBitmap();
        mShownGraphPath = path;
        return;
    }
    // The graph is remembered as shown before anything can fail, so that a graph that cannot be
    // built or read is not tried again at every idle moment; the error is shown once.
    mShownGraphPath = path;
    const std::string wav = mCat.NoteWavPath().toStdString();
    auto build = [&] {
        QWidget* focused = QApplication::focusWidget();
        mHost.SetNoteListBusy(true);
        // A graph that cannot be saved (a read-only folder) is still shown; it is only a picture
        // of the sound, drawn again the next time, so no message is raised at every selection.
        const GraphBuildResult built =
            BuildGraphFile(wav, path.toStdString(), settings, mCat.FileSys());
        mHost.SetNoteListBusy(false);
        if (focused) {
            focused->setFocus();
        }
        return built.Bitmap;
    };
    if (!QFileInfo::exists(path)) {
        mShownBitmap = build();
    } else {
        bool current = false;
        try {
            mShownBitmap = LoadGraphFile(path.toStdString(), &current);
        } catch (const TellamoError&) {
            // A damaged graph file is only a picture: it is drawn again from the sound.
        }
        // Damaged, or drawn by the older rule (see GraphFileMagnitudeMark): drawn again.
        if (!current) {
            mShownBitmap = build();
        }
    }
    if (settings.BiDirectional) {
        mShownBitmap.MirrorGraph();
    }
    ShowBitmap();
}

void DictaphonePanel::RedrawAllGraphs() {
    QDir folder(mCat.Files().StorageFolder());
    const QStringList graphs =
        folder.entryList({QStringLiteral("*.bmp")}, QDir::Files | QDir::Hidden | QDir::System);
    if (graphs.isEmpty()) {
        return;
    }
    for (const QString& name : graphs) {
        folder.remove(name);
    }
    mShownGraphPath.clear();
    LoadGraph();
}

void DictaphonePanel::BiDirectionalActionExecute() {
    if (mCat.Notes().IsEmpty() || mMode == TDictaphoneMode::mdRecording ||
        mShownBitmap.Width() == 0) {
        return;
    }
    if (mActions.BiDirectionalAction->isChecked()) {
        mShownBitmap.MirrorGraph();
    } else {
        mShownBitmap.UnmirrorGraph();
    }
    ShowBitmap();
}
} // namespace tellamo
