// The dictaphone side of the main window: recording, playback, the window's mode, the time
// label, the position slider and the playback volume.

#include <cerrno>

#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTableView>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>

#include "audio/Audio.h"
#include "catalogue/Catalogue.h"
#include "common/Errors.h"
#include "common/FileSystem.h"
#include "common/Rounding.h"
#include "common/Translate.h"
#include "desktop/TrayIcon.h"
#include "dialogs/TDescriptionForm.h"
#include "dictaphone/GraphFile.h"
#include "dictaphone/GraphSettings.h"
#include "dictaphone/MediaPlayer.h"
#include "dictaphone/RecordingRepair.h"
#include "dictaphone/SleepInhibitor.h"
#include "dictaphone/SystemSound.h"
#include "dictaphone/TellamoWav.h"
#include "mainwindow/GraphWidgets.h"
#include "mainwindow/Messages.h"
#include "mainwindow/TellamoMainForm.h"

namespace tellamo {

namespace {
constexpr std::uint32_t RecordedMessage = 1;
} // namespace

void TTellamoMainForm::ConnectDictaphone() {
    MediaPlayer = std::make_unique<TMediaPlayer>(Audio->Port(), Poster);
    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(128);
    connect(Timer, &QTimer::timeout, this, [this] { RunCommand(this, [this] { TimerTimer(); }); });

    ConnectCommand(Actions.RecordAction, this, [this] { RecordActionExecute(); });
    ConnectCommand(Actions.StopAction, this, [this] { StopActionExecute(); });
    ConnectCommand(Actions.PlayAction, this, [this] { PlayActionExecute(); });
    // The toolkit has flipped the check mark by the time the handler runs.
    ConnectCommand(Actions.PauseAction, this, [this] { ApplyPause(); });
    ConnectCommand(Actions.MuteAction, this, [this] { VolumeRxSliderChange(); });
    connect(Actions.SilenceAction, &QAction::toggled, this, [this] { NoiseOptionsChanged(); });

    connect(SilenceRxSlider, &QSlider::valueChanged, this, [this](int value) {
        if (SilenceRxSlider->hasFocus()) {
            Options.NoiseLevelPercent = value;
            QToolTip::showText(QCursor::pos(), SliderHint(SilenceRxSlider), SilenceRxSlider);
        }
        NoiseOptionsChanged();
    });
    connect(VolumeRxSlider, &QSlider::valueChanged, this,
            [this] { RunCommand(this, [this] { VolumeRxSliderChange(); }); });
    connect(PositionRxSlider, &QSlider::sliderPressed, this, [this] { PositionDragging = true; });
    connect(PositionRxSlider, &QSlider::sliderReleased, this, [this] { PositionDragging = false; });
    connect(PositionRxSlider, &QSlider::valueChanged, this, [this](int value) {
        if (!PositionDragging || CurrentMode != TDictaphoneMode::mdPlaying) {
            return;
        }
        RunCommand(this, [this, value] {
            MediaPlayer->Seek(static_cast<std::uint32_t>(value));
            MediaPlayer->Play();
            if (Actions.PauseAction->isChecked()) {
                MediaPlayer->PauseToggle();
            }
        });
    });

    SoundPaintBox->Resized = [this](int width, int height) {
        if (LiveState.Target) {
            ResizeGraph(LiveState, width, height, CurrentGraphSettings());
        }
    };
    ConnectCommand(Actions.BiDirectionalAction, this, [this] { BiDirectionalActionExecute(); });

    VolumeRxSlider->installEventFilter(this);
    SilenceRxSlider->installEventFilter(this);

    Audio->OnRecord = [this](TRecorder*, const unsigned char* lp, const unsigned char*,
                             std::uint16_t bytes) { AudioRecord(lp, bytes); };
    Audio->Recorder().SetFileSystem(Cat.FileSys());
    Audio->OnFileStopped = [this](TRecorder*) {
        RunCommand(this, [this] { RecordingFileStopped(); });
    };
    Audio->OnMixerChange = [this](TMixerSettings*, std::uint16_t destination,
                                  std::uint16_t source) { AudioMixerChange(destination, source); };
    NoiseOptionsChanged();
    SetMode(TDictaphoneMode::mdIdle);
}

void TTellamoMainForm::NoiseOptionsChanged() {
    SilenceOn = Actions.SilenceAction->isChecked();
    NoiseLevelNow =
        static_cast<std::uint16_t>(NoiseLevel(Options.NoiseLevelPercent, RecordingSixteenBit));
}

void TTellamoMainForm::ApplySilenceSettings() {
    TRecorder& recorder = Audio->Recorder();
    recorder.SetTriggered(!SilenceOn.load());
    recorder.SetTrigLevel(NoiseLevelNow.load());
}

void TTellamoMainForm::SetMode(TDictaphoneMode mode) {
    CurrentMode = mode;
    // Every way out of recording (Stop, a failed write, the exit) comes through here.
    if (NoSleep) {
        if (mode == TDictaphoneMode::mdRecording) {
            NoSleep->Inhibit(TranslateText("Recording a voice note"));
        } else {
            NoSleep->Release();
        }
    }
    if (mode == TDictaphoneMode::mdIdle && MediaPlayer->IsOpen()) {
        MediaPlayer->Close();
    }
    if (mode == TDictaphoneMode::mdPlaying) {
        Timer->start();
    } else {
        Timer->stop();
    }
    mRecordedSamples = 0;
    SoundPaintBox->setVisible(mode == TDictaphoneMode::mdRecording);
    GraphImage->setVisible(mode != TDictaphoneMode::mdRecording);
    if (mode != TDictaphoneMode::mdRecording) {
        LiveState.Target = nullptr; // the live drawing is not kept anywhere
    }
    UpdateTrayHint();
    if (Actions.SoundNotificationAction->isChecked()) {
        PlayNotificationSound(Audio->Port());
    }
}

void TTellamoMainForm::RecordActionExecute() {
    // Before anything is asked or added: a note that cannot get its sound file would only bring
    // a failed catalogue save and a failed graph after it.
    const QString problem = Cat.StorageWriteProblem();
    if (!problem.isEmpty()) {
        ShowErrorBox(
            this,
            TranslateText("The recording could not start: the storage folder cannot be written.") +
                "\n" + Cat.Files().StorageFolder() + "\n" + problem);
        return;
    }
    const FolderNode* selected = Cat.SelectedFolder();
    if (Actions.RecycleRecordAction->isChecked() && selected &&
        (selected == Cat.RecycleBinNode() || Cat.IsInsideRecycleBin(selected))) {
        if (!AskConfirmation(
                this,
                TranslateText("The note will be created in the Recycle Bin. Are you sure?"))) {
            return;
        }
    }
    Cat.Notes().ClearSelection();
    if (Actions.AskDescriptionAction->isChecked() && DescriptionForm &&
        !DescriptionForm->AskNewDescription()) {
        return;
    }
    const QString description =
        DescriptionForm ? DescriptionForm->DescriptionEdit->text() : QString();
    const std::uint16_t rate = Options.SampleRate;
    const bool sixteen = Options.SixteenBit;
    if (!EnoughRoomToRecord(rate, sixteen)) {
        return;
    }
    NoteRecord* note =
        Cat.AddRecordedNote(Cat.SelectedFolder(), description, rate, sixteen ? 16 : 8);
    SaveCatalogue();

    TRecorder& recorder = Audio->Recorder();
    recorder.SetBitsPerSample(sixteen ? TBPS::_16 : TBPS::_8);
    recorder.SetSampleRate(rate);
    recorder.SetNoSamples(static_cast<std::uint16_t>(RoundHalfEven(rate * 100 / 1000.0)));
    RecordingSixteenBit = sixteen;
    RecordingRate = rate;
    NoiseOptionsChanged();
    recorder.RecordToFile(Cat.Files().NoteWavPath(note->FileName).toStdString());
    ApplySilenceSettings();
    GraphFeed.Discard();
    SoundPaintBox->SetSurfaceSize(GraphPanel->contentsRect().size());
    ClearGraph(LiveState, &SoundPaintBox->Surface(), SoundPaintBox->Surface().SurfaceWidth(),
               SoundPaintBox->Surface().SurfaceHeight(), CurrentGraphSettings());
    if (recorder.StartRecording()) {
        SetMode(TDictaphoneMode::mdRecording);
    } else {
        ShowErrorBox(this, QString::fromStdString(Audio->ErrorMessage));
    }
}

QString TTellamoMainForm::RecoverInterruptedRecordings() {
    const std::vector<RecoveredNote> recovered =
        RepairInterruptedRecordings(Cat, CurrentGraphSettings());
    if (recovered.empty()) {
        return {};
    }
    SaveCatalogue();
    return RecoveredNotesText(recovered);
}

bool TTellamoMainForm::EnoughRoomToRecord(std::uint16_t rate, bool sixteenBit) {
    const std::uint64_t minute = static_cast<std::uint64_t>(rate) * (sixteenBit ? 2 : 1) * 60;
    std::uint64_t free = 0;
    // A file system that cannot tell is not held against the user.
    if (Cat.FileSys().FreeSpace(Cat.Files().StorageFolder().toStdString(), free) != 0 ||
        free >= minute) {
        return true;
    }
    const std::int64_t seconds = static_cast<std::int64_t>(free / (minute / 60));
    return AskConfirmation(
        this, TranslateText("The storage folder's disk has room for less than one minute of "
                            "recording in this format (about %1). Record anyway?")
                  .arg(ShortTime(seconds * 1000)));
}

void TTellamoMainForm::RecordingFileStopped() {
    if (CurrentMode != TDictaphoneMode::mdRecording) {
        return;
    }
    const QString reason = QString::fromStdString(Audio->Recorder().FileError());
    StopActionExecute();
    const NoteRecord* note = Cat.Notes().LastAddedNote();
    ShowErrorBox(this, reason + "\n" + TranslateText("The note keeps what was recorded before:") +
                           " " + ShortTime(note ? note->Duration.value_or(0) : 0));
}

void TTellamoMainForm::AudioRecord(const unsigned char* data, std::uint16_t bytes) {
    // Capture thread: only atomics, a copy into the graph's feed and an allocation-free post;
    // no widget is touched here.
    ApplySilenceSettings();
    GraphFeed.Push(data, bytes, RecordingSixteenBit.load(), RecordingRate.load());
    mRecordedSamples += SampleCount(bytes, RecordingSixteenBit.load());
    if (!LabelUpdatePosted.exchange(true)) {
        Poster.Post(this, RecordedMessage, 0);
    }
}

void TTellamoMainForm::HandlePost(std::uint32_t message, std::intptr_t) {
    if (message != RecordedMessage) {
        return;
    }
    LabelUpdatePosted = false;
    if (CurrentMode == TDictaphoneMode::mdRecording && LiveState.Target) {
        DrawFedBuffers(GraphFeed, LiveState, CurrentGraphSettings());
        SoundPaintBox->update();
    } else {
        GraphFeed.Discard();
    }
    if (CurrentMode == TDictaphoneMode::mdRecording) {
        TimeLabel->setText(ShortTime(static_cast<std::int64_t>(mRecordedSamples.load()) * 1000 /
                                     RecordingRate.load()));
        UpdateTrayHint();
    }
}

void TTellamoMainForm::StopActionExecute() {
    ShowNoteTime();
    PositionRxSlider->setValue(0);
    if (Actions.PauseAction->isChecked()) {
        Actions.PauseAction->setChecked(false);
        ApplyPause();
    }
    if (CurrentMode == TDictaphoneMode::mdPlaying) {
        MediaPlayer->Stop();
    } else if (CurrentMode == TDictaphoneMode::mdRecording) {
        bool closed = false;
        try {
            closed = Audio->Recorder().Stop();
        } catch (...) {
            // The file could not be completed: the recording is over all the same.
            SetMode(TDictaphoneMode::mdIdle);
            throw;
        }
        if (closed) {
            const NoteRecord* note = Cat.Notes().LastAddedNote();
            const QString path = note ? Cat.Files().NoteWavPath(note->FileName) : QString();
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
                RoundHalfEven(mRecordedSamples.load() * 1000.0 / RecordingRate.load());
            Cat.CompleteNote(sizeKB, durationMs);
            SaveCatalogue();
            LoadGraph();
        } else {
            ShowErrorBox(this, QString::fromStdString(Audio->ErrorMessage));
        }
    }
    SetMode(TDictaphoneMode::mdIdle);
}

void TTellamoMainForm::ApplyPause() {
    const bool paused = Actions.PauseAction->isChecked();
    if (CurrentMode == TDictaphoneMode::mdPlaying) {
        MediaPlayer->PauseToggle();
    } else if (CurrentMode == TDictaphoneMode::mdRecording) {
        if (paused) {
            Audio->Recorder().Pause();
        } else {
            Audio->Recorder().Resume();
        }
    }
    UpdateTrayHint();
}

void TTellamoMainForm::UpdateTrayHint() {
    if (!Tray) {
        return; // the window is still being built: the icon starts with the idle hint
    }
    QString hint = TranslateText("Tellamo");
    if (CurrentMode != TDictaphoneMode::mdIdle) {
        const bool recording = CurrentMode == TDictaphoneMode::mdRecording;
        const QString state = Actions.PauseAction->isChecked() ? TranslateText("Paused")
                              : recording                      ? TranslateText("Recording")
                                                               : TranslateText("Playing");
        const std::int64_t ms = recording ? static_cast<std::int64_t>(mRecordedSamples.load()) *
                                                1000 / RecordingRate.load()
                                          : static_cast<std::int64_t>(MediaPlayer->Position());
        hint += ": " + state + " " + ShortTime(ms);
    }
    Tray->SetHint(hint);
}

void TTellamoMainForm::PauseActionExecute() {
    Actions.PauseAction->setChecked(!Actions.PauseAction->isChecked());
    ApplyPause();
}

void TTellamoMainForm::PlayActionExecute() {
    Cat.Notes().ClearSelection();
    const QString path = Cat.NoteWavPath();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        return;
    }
    RxDBGrid->setEnabled(false);
    TreeView->setEnabled(false);
    MediaPlayer->Open(path.toStdString());
    MediaPlayer->Play();
    PositionRxSlider->setMaximum(static_cast<int>(MediaPlayer->Length()));
    SetMode(TDictaphoneMode::mdPlaying);
}

void TTellamoMainForm::TimerTimer() {
    if (CurrentMode != TDictaphoneMode::mdPlaying) {
        return;
    }
    const std::uint32_t position = MediaPlayer->Position();
    const std::uint32_t length = MediaPlayer->Length();
    TimeLabel->setText(ShortTime(position) + "|" + ShortTime(length));
    UpdateTrayHint();
    if (!PositionDragging) {
        PositionRxSlider->setValue(static_cast<int>(position));
        if (position >= length) {
            StopActionExecute();
        }
    }
}

void TTellamoMainForm::ShowNoteTime() {
    const NoteRecord* note = Cat.Notes().Current();
    TimeLabel->setText(note ? "0:00:00|" + ShortTime(note->Duration.value_or(0))
                            : QStringLiteral("0:00:00|0:00:00"));
}

void TTellamoMainForm::VolumeRxSliderChange() {
    const auto value = static_cast<std::uint16_t>(
        RoundHalfEven(65535.0 / VolumeRxSlider->maximum() * VolumeRxSlider->value()));
    if (!Audio->Mixer().SetVolume(0, 0, value, value, Actions.MuteAction->isChecked())) {
        ShowErrorBox(this, QString::fromStdString(Audio->ErrorMessage));
    }
    if (VolumeRxSlider->hasFocus()) {
        QToolTip::showText(QCursor::pos(), SliderHint(VolumeRxSlider), VolumeRxSlider);
    }
}

void TTellamoMainForm::ReadMixerVolume() {
    std::uint16_t left = 0, right = 0;
    bool muted = false;
    Audio->ErrorMessage.clear();
    const bool ok = Audio->Mixer().GetVolume(0, 0, left, right, muted);
    const bool volumeDelivered = ok || Audio->ErrorMessage == "Mute GetControlError in Mixer";
    if (volumeDelivered) {
        VolumeRxSlider->setValue(
            static_cast<int>(RoundHalfEven(right / 65535.0 * VolumeRxSlider->maximum())));
    }
    if (ok) {
        Actions.MuteAction->setChecked(muted);
    }
}

void TTellamoMainForm::AudioMixerChange(std::uint16_t destination, std::uint16_t source) {
    if (destination == 0 && source == 0) {
        ReadMixerVolume();
    }
}

QString TTellamoMainForm::SliderHint(const QSlider* slider) const {
    // AppEventsShowHint: the two sliders' hints carry their values.
    if (slider == VolumeRxSlider) {
        return TranslateText("Volume") + ": " + QString::number(slider->value()) + "%";
    }
    if (slider == SilenceRxSlider) {
        return TranslateText("Noise level") + ": " + QString::number(slider->value()) + "%";
    }
    return slider->toolTip();
}

bool TTellamoMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip &&
        (watched == VolumeRxSlider || watched == SilenceRxSlider)) {
        const auto* help = static_cast<QHelpEvent*>(event);
        auto* slider = static_cast<QSlider*>(watched);
        QToolTip::showText(help->globalPos(), SliderHint(slider), slider);
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

GraphSettings TTellamoMainForm::CurrentGraphSettings() const {
    GraphSettings settings = GraphOptions;
    settings.BiDirectional = Actions.BiDirectionalAction->isChecked();
    settings.Silence = Actions.SilenceAction->isChecked();
    settings.NoiseLevelPercent = Options.NoiseLevelPercent;
    return settings;
}

void TTellamoMainForm::ShowBitmap() {
    GraphImage->SetPicture(ShownBitmap.Width() > 0 ? GraphBitmapToImage(ShownBitmap) : QImage());
}

void TTellamoMainForm::LoadGraph() {
    ShowNoteTime();
    const GraphSettings settings = CurrentGraphSettings();
    const NoteRecord* note = Cat.Notes().Current();
    const QString path = Cat.NoteGraphPath();
    if (!note || path.isEmpty()) {
        // No note (or a note whose name cannot be used as a file name): a plain background.
        ShownBitmap = GraphBitmap(600, 256);
        ShownBitmap.Fill(settings.BackgroundColor);
        ShowBitmap();
        ShownGraphPath = path;
        return;
    }
    // The graph is remembered as shown before anything can fail, so that a graph that cannot be
    // built or read is not tried again at every idle moment; the error is shown once.
    ShownGraphPath = path;
    const std::string wav = Cat.NoteWavPath().toStdString();
    auto build = [&] {
        QWidget* focused = QApplication::focusWidget();
        RxDBGrid->setEnabled(false);
        RxDBGrid->repaint();
        // A graph that cannot be saved (a read-only folder) is still shown; it is only a picture
        // of the sound, drawn again the next time, so no message is raised at every selection.
        const GraphBuildResult built =
            BuildGraphFile(wav, path.toStdString(), settings, Cat.FileSys());
        RxDBGrid->setEnabled(true);
        if (focused) {
            focused->setFocus();
        }
        return built.Bitmap;
    };
    if (!QFileInfo::exists(path)) {
        ShownBitmap = build();
    } else {
        bool current = false;
        try {
            ShownBitmap = LoadGraphFile(path.toStdString(), &current);
        } catch (const TellamoError&) {
            // A damaged graph file is only a picture: it is drawn again from the sound.
        }
        // Damaged, or drawn by the older rule (see GraphFileMagnitudeMark): drawn again.
        if (!current) {
            ShownBitmap = build();
        }
    }
    if (settings.BiDirectional) {
        ShownBitmap.MirrorGraph();
    }
    ShowBitmap();
}

void TTellamoMainForm::RedrawAllGraphs() {
    QDir folder(Cat.Files().StorageFolder());
    const QStringList graphs =
        folder.entryList({QStringLiteral("*.bmp")}, QDir::Files | QDir::Hidden | QDir::System);
    if (graphs.isEmpty()) {
        return;
    }
    for (const QString& name : graphs) {
        folder.remove(name);
    }
    ShownGraphPath.clear();
    LoadGraph();
}

void TTellamoMainForm::BiDirectionalActionExecute() {
    if (Cat.Notes().IsEmpty() || CurrentMode == TDictaphoneMode::mdRecording ||
        ShownBitmap.Width() == 0) {
        return;
    }
    if (Actions.BiDirectionalAction->isChecked()) {
        ShownBitmap.MirrorGraph();
    } else {
        ShownBitmap.UnmirrorGraph();
    }
    ShowBitmap();
}

void TTellamoMainForm::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        ReadMixerVolume(); // FormActivate
    }
    QMainWindow::changeEvent(event);
}

} // namespace tellamo
