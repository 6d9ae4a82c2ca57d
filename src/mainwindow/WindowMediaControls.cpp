#include "mainwindow/WindowMediaControls.h"

#include <algorithm>
#include <cmath>

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QSlider>
#include <QThread>

#include "catalogue/Catalogue.h"
#include "catalogue/NoteTexts.h"
#include "dictaphone/MediaPlayer.h"
#include "mainwindow/Messages.h"
#include "mainwindow/TellamoMainForm.h"

namespace tellamo {

WindowMediaControls::WindowMediaControls(TTellamoMainForm& form) : mForm(form) {
    connect(&form, &TTellamoMainForm::StatesUpdated, this, &WindowMediaControls::Changed);
    connect(&form.DictaphonePart(), &DictaphonePanel::PositionJumped, this,
            &WindowMediaControls::Seeked);
}

bool WindowMediaControls::Recording() const {
    return mForm.Mode() == TDictaphoneMode::mdRecording;
}

MediaTrack WindowMediaControls::CurrentTrack() {
    const Catalogue& cat = mForm.Catalog();
    const NoteRecord* note = cat.Notes().Current();
    if (!note) {
        return {};
    }
    MediaTrack track;
    track.Id = QString::fromStdString(note->FileName);
    track.Title = note->Description.empty() ? StartText(note->Start)
                                            : QString::fromStdString(note->Description);
    track.FilePath = cat.NoteWavPath();
    DictaphonePanel& player = mForm.DictaphonePart();
    // The note that plays knows its length to the byte; one that does not is as catalogued.
    if (mForm.Mode() == TDictaphoneMode::mdPlaying && player.Player().IsOpen()) {
        track.LengthUs = qint64{player.Player().Length()} * 1000;
    } else {
        track.LengthUs = qint64{note->Duration.value_or(0)} * 1000;
    }
    return track;
}

MediaStatus WindowMediaControls::Status() {
    if (mForm.Mode() != TDictaphoneMode::mdPlaying) {
        return MediaStatus::Stopped;
    }
    return mForm.Actions().PauseAction->isChecked() ? MediaStatus::Paused : MediaStatus::Playing;
}

qint64 WindowMediaControls::PositionUs() {
    MediaPlayer& player = mForm.DictaphonePart().Player();
    if (mForm.Mode() != TDictaphoneMode::mdPlaying || !player.IsOpen()) {
        return 0;
    }
    return qint64{player.Position()} * 1000;
}

double WindowMediaControls::Rate() {
    return mForm.DictaphonePart().SpeedTenths() / 10.0;
}

double WindowMediaControls::Volume() {
    const QSlider* slider = mForm.DictaphonePart().VolumeSlider();
    return slider->maximum() > 0 ? double(slider->value()) / slider->maximum() : 0.0;
}

bool WindowMediaControls::CanPlay() {
    if (mForm.Mode() == TDictaphoneMode::mdPlaying) {
        return true;
    }
    const Catalogue& cat = mForm.Catalog();
    return mForm.Mode() == TDictaphoneMode::mdIdle && cat.Notes().Current() &&
           QFileInfo(cat.NoteWavPath()).isFile();
}

bool WindowMediaControls::CanGoNext() {
    const NoteTable& notes = mForm.Catalog().Notes();
    return !Recording() && notes.Current() &&
           notes.CurrentRow() + 1 < static_cast<int>(notes.Shown().size());
}

bool WindowMediaControls::CanGoPrevious() {
    const NoteTable& notes = mForm.Catalog().Notes();
    return !Recording() && notes.Current() && notes.CurrentRow() > 0;
}

void WindowMediaControls::Play() {
    RunCommand(&mForm, [this] {
        DictaphonePanel& part = mForm.DictaphonePart();
        if (mForm.Mode() == TDictaphoneMode::mdIdle && CanPlay()) {
            part.PlayActionExecute();
        } else if (Status() == MediaStatus::Paused) {
            part.PauseActionExecute();
        }
    });
}

void WindowMediaControls::Pause() {
    RunCommand(&mForm, [this] {
        if (Status() == MediaStatus::Playing) {
            mForm.DictaphonePart().PauseActionExecute();
        }
    });
}

void WindowMediaControls::PlayPause() {
    RunCommand(&mForm, [this] {
        if (mForm.Mode() == TDictaphoneMode::mdIdle && !CanPlay()) {
            return;
        }
        mForm.DictaphonePart().PlayPauseActionExecute();
    });
}

void WindowMediaControls::Stop() {
    RunCommand(&mForm, [this] {
        if (mForm.Mode() == TDictaphoneMode::mdPlaying) {
            mForm.DictaphonePart().StopActionExecute();
        }
    });
}

void WindowMediaControls::SetPositionUs(qint64 position) {
    RunCommand(&mForm, [this, position] {
        const qint64 ms = std::max<qint64>(position, 0) / 1000;
        mForm.DictaphonePart().JumpTo(static_cast<std::uint32_t>(std::min<qint64>(ms, UINT32_MAX)),
                                      false);
    });
}

void WindowMediaControls::SetRate(double rate) {
    if (!std::isfinite(rate)) {
        return;
    }
    RunCommand(&mForm, [this, rate] {
        mForm.DictaphonePart().SetSpeedTenths(static_cast<int>(std::lround(rate * 10)));
    });
}

void WindowMediaControls::SetVolume(double volume) {
    if (!std::isfinite(volume)) {
        return;
    }
    QSlider* slider = mForm.DictaphonePart().VolumeSlider();
    slider->setValue(
        static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * slider->maximum())));
}

void WindowMediaControls::GoToRow(int row) {
    RunCommand(&mForm, [this, row] {
        if (Recording()) {
            return;
        }
        NoteTable& notes = mForm.Catalog().Notes();
        if (row < 0 || row >= static_cast<int>(notes.Shown().size())) {
            return;
        }
        DictaphonePanel& part = mForm.DictaphonePart();
        const bool wasPlaying = Status() == MediaStatus::Playing;
        if (mForm.Mode() == TDictaphoneMode::mdPlaying) {
            part.StopActionExecute();
        }
        notes.SetCurrentRow(row);
        if (wasPlaying && CanPlay()) {
            part.PlayActionExecute();
        }
    });
}

void WindowMediaControls::Next() {
    GoToRow(mForm.Catalog().Notes().CurrentRow() + 1);
}

void WindowMediaControls::Previous() {
    const int row = mForm.Catalog().Notes().CurrentRow();
    if (row > 0) {
        GoToRow(row - 1);
    }
}

void WindowMediaControls::Raise() {
    mForm.BringToFront();
    mForm.raise();
    mForm.activateWindow();
}

void WindowMediaControls::Quit() {
    if (QApplication::activeModalWidget() || QThread::currentThread()->loopLevel() > 1) {
        return;
    }
    mForm.Actions().ExitAction->trigger();
}

} // namespace tellamo
