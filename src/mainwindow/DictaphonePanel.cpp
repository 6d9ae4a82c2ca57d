#include "mainwindow/DictaphonePanel.h"

#include <cerrno>

#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTimer>
#include <QToolBar>
#include <QToolTip>
#include <QVBoxLayout>

#include "audio/Audio.h"
#include "catalogue/Catalogue.h"
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
    mMediaPlayer = std::make_unique<TMediaPlayer>(mAudio->Port(), audio.Poster);
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
    mTimeLabel = new QLabel(QStringLiteral("0:00:00|0:00:00"), &bar);
    mTimeLabel->setObjectName(QStringLiteral("TimeLabel"));
    QFont timeFont(QStringLiteral("Arial"));
    timeFont.setStyleHint(QFont::SansSerif);
    mTimeLabel->setFont(timeFont);
    mTimeLabel->setFixedSize(110, 24);
    mTimeLabel->setAlignment(Qt::AlignCenter);
    bar.addWidget(mTimeLabel);
    bar.addSeparator();
    bar.addAction(a.MuteAction);
    mVolumeRxSlider = MakeSlider("VolumeRxSlider", 100, 50, &bar);
    mVolumeRxSlider->setFixedWidth(100);
    bar.addWidget(mVolumeRxSlider);
    bar.addSeparator();
    bar.addAction(a.SilenceAction);
    mSilenceRxSlider = MakeSlider("SilenceRxSlider", 30, 10, &bar);
    mSilenceRxSlider->setFixedWidth(100);
    bar.addWidget(mSilenceRxSlider);
}

void DictaphonePanel::CreateGraphPanel() {
    mBottomPanel = new QWidget(&mWindow);
    mBottomPanel->setObjectName(QStringLiteral("BottomPanel"));
    mBottomPanel->setFixedHeight(BottomPanelHeight);
    auto* strip = new QHBoxLayout(mBottomPanel);
    strip->setContentsMargins(0, 0, 0, 0);
    mPositionRxSlider = MakeSlider("PositionRxSlider", 0, 0, mBottomPanel);
    strip->addWidget(mPositionRxSlider);

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
    connect(mPositionRxSlider, &QSlider::valueChanged, this, [this, window](int value) {
        if (!mPositionDragging || mMode != TDictaphoneMode::mdPlaying) {
            return;
        }
        RunCommand(window, [this, value] {
            mMediaPlayer->Seek(static_cast<std::uint32_t>(value));
            mMediaPlayer->Play();
            if (mActions.PauseAction->isChecked()) {
                mMediaPlayer->PauseToggle();
            }
        });
    });

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
    mAudio->Recorder().SetFileSystem(mCat.FileSys());
    mAudio->OnFileStopped = [this, window](TRecorder*) {
        RunCommand(window, [this] { RecordingFileStopped(); });
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
        mTimeLabel->setText(ShortTime(mHandOff.RecordedMs()));
        mHost.DictaphoneStateChanged();
    }
}

void DictaphonePanel::UpdateStates() {
    mGraphPanel->setVisible(mActions.GraphPanelAction->isChecked());
    mPositionRxSlider->setEnabled(mMode == TDictaphoneMode::mdPlaying);
    if (mMode == TDictaphoneMode::mdIdle && !ShowsGraphOf(mCat.NoteGraphPath())) {
        RunCommand(&mWindow, [this] { LoadGraph(); });
    }
}

QString DictaphonePanel::StateHint() const {
    QString hint = TranslateText("Tellamo");
    if (mMode != TDictaphoneMode::mdIdle) {
        const bool recording = mMode == TDictaphoneMode::mdRecording;
        const QString state = mActions.PauseAction->isChecked() ? TranslateText("Paused")
                              : recording                       ? TranslateText("Recording")
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
    mGraphImage->setVisible(mode != TDictaphoneMode::mdRecording);
    if (mode != TDictaphoneMode::mdRecording) {
        mLiveState.Target = nullptr; // the live drawing is not kept anywhere
    }
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
    mHost.SaveCatalogue();

    TRecorder& recorder = mAudio->Recorder();
    recorder.SetBitsPerSample(sixteen ? TBPS::_16 : TBPS::_8);
    recorder.SetSampleRate(rate);
    recorder.SetNoSamples(static_cast<std::uint16_t>(RoundHalfEven(rate * 100 / 1000.0)));
    // The count starts before the capture does: the capture thread adds to it from the first
    // buffer on.
    mHandOff.Start(rate, sixteen);
    NoiseOptionsChanged();
    recorder.RecordToFile(mCat.Files().NoteWavPath(note->FileName).toStdString());
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
    StopActionExecute();
    const NoteRecord* note = mCat.Notes().LastAddedNote();
    ShowErrorBox(&mWindow, reason + "\n" +
                               TranslateText("The note keeps what was recorded before:") + " " +
                               ShortTime(note ? note->Duration.value_or(0) : 0));
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
        } catch (...) {
            // The file could not be completed: the recording is over all the same.
            SetMode(TDictaphoneMode::mdIdle);
            throw;
        }
        if (closed) {
            const NoteRecord* note = mCat.Notes().LastAddedNote();
            const QString path = note ? mCat.Files().NoteWavPath(note->FileName) : QString();
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
                RoundHalfEven(mHandOff.RecordedSamples() * 1000.0 / mHandOff.SampleRate());
            mCat.CompleteNote(sizeKB, durationMs);
            mHost.SaveCatalogue();
            LoadGraph();
        } else {
            ShowErrorBox(&mWindow, QString::fromStdString(mAudio->ErrorMessage));
        }
    }
    SetMode(TDictaphoneMode::mdIdle);
}

void DictaphonePanel::ApplyPause() {
    const bool paused = mActions.PauseAction->isChecked();
    if (mMode == TDictaphoneMode::mdPlaying) {
        mMediaPlayer->PauseToggle();
    } else if (mMode == TDictaphoneMode::mdRecording) {
        if (paused) {
            mAudio->Recorder().Pause();
        } else {
            mAudio->Recorder().Resume();
        }
    }
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
    mHost.SetBrowsingEnabled(false);
    mMediaPlayer->Open(path.toStdString());
    mMediaPlayer->Play();
    mPositionRxSlider->setMaximum(static_cast<int>(mMediaPlayer->Length()));
    SetMode(TDictaphoneMode::mdPlaying);
}

void DictaphonePanel::PlayFrom(std::uint32_t ms) {
    if (mMode == TDictaphoneMode::mdIdle) {
        PlayActionExecute();
    }
    if (mMode == TDictaphoneMode::mdPlaying) {
        mMediaPlayer->JumpTo(ms);
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
    mTimeLabel->setText(ShortTime(position) + "|" + ShortTime(length));
    mHost.DictaphoneStateChanged();
    if (!mPositionDragging) {
        mPositionRxSlider->setValue(static_cast<int>(position));
        if (position >= length) {
            StopActionExecute();
        }
    }
}

void DictaphonePanel::ShowNoteTime() {
    const NoteRecord* note = mCat.Notes().Current();
    mTimeLabel->setText(note ? "0:00:00|" + ShortTime(note->Duration.value_or(0))
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
    mGraphImage->SetPicture(mShownBitmap.Width() > 0 ? GraphBitmapToImage(mShownBitmap) : QImage());
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
