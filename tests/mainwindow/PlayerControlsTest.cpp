// The dictation player as the window offers it: the speed on the toolbar and in the Note menu,
// the skips, the rewind on resume, a click on the position strip, Space in the note list and the
// keys of the player, all through the window's own actions over the fake sound card.

#include <cstdlib>

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include "MainWindowFixture.h"
#include "catalogue/NoteTexts.h"
#include "dictaphone/MediaPlayer.h"
#include "dictaphone/TellamoWav.h"
#include "mainwindow/Messages.h"
#include "mainwindow/WindowMediaControls.h"

namespace tellamo::test {
namespace {

constexpr std::uint32_t NoteMs = 20000;

// A 20-second note (8000 Hz, 8 bits) recorded through the window, current in the list.
class PlayerControls : public MainWindowFixture {
protected:
    PlayerControls() {
        mForm.Actions().AskDescriptionAction->setChecked(false);
        mForm.Options().SampleRate = 8000;
        mForm.Options().SixteenBit = false;
        mForm.DictaphonePart().RecordActionExecute();
        const std::string loud(800, '\xF0');
        for (std::uint32_t i = 0; i < NoteMs / 100; ++i) {
            EXPECT_TRUE(mPort.CompleteInput(loud.data(), loud.size()));
            mPoster.ProcessPending();
        }
        mForm.DictaphonePart().StopActionExecute();
        mCat.Notes().SetCurrent(mCat.Notes().LastAddedNote());
        mForm.ActionListUpdate();
        mMessages.clear();
    }

    MediaPlayer& Player() { return mForm.DictaphonePart().Player(); }
    QDoubleSpinBox& SpeedBox() { return NamedChild<QDoubleSpinBox>(mForm, "SpeedSpinBox"); }
    QSlider& Strip() { return NamedChild<QSlider>(mForm, "PositionRxSlider"); }
    QString TimeShown() { return NamedChild<QLabel>(mForm, "TimeLabel").text(); }
    // Device buffers coming back as played: each a tenth of a second of the device's time.
    void Played(int buffers) {
        for (int i = 0; i < buffers; ++i) {
            ASSERT_TRUE(mPort.CompleteOutput());
            mPoster.ProcessPending();
        }
    }
    void Trigger(QAction* action) {
        mForm.ActionListUpdate();
        ASSERT_TRUE(action->isEnabled()) << action->objectName().toStdString();
        action->trigger();
    }
    void Activate() {
        mForm.show();
        QApplication::setActiveWindow(&mForm);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&mForm));
    }
};

TEST_F(PlayerControls, TheSpeedStepsThroughTheMenuAndKeysAndStaysInItsRange) {
    const MainActions& a = mForm.Actions();
    EXPECT_EQ(SpeedBox().text(), QString::fromUtf8("1.0×"));
    EXPECT_FALSE(SpeedBox().accessibleName().isEmpty());
    Trigger(a.FasterAction);
    EXPECT_EQ(Player().SpeedTenths(), 11);
    EXPECT_EQ(SpeedBox().text(), QString::fromUtf8("1.1×"));
    for (int i = 0; i < 15; ++i) {
        a.FasterAction->trigger();
    }
    EXPECT_EQ(Player().SpeedTenths(), MediaPlayer::MaxSpeedTenths);
    mForm.ActionListUpdate();
    EXPECT_FALSE(a.FasterAction->isEnabled());
    Trigger(a.NormalSpeedAction);
    EXPECT_EQ(Player().SpeedTenths(), 10);
    for (int i = 0; i < 8; ++i) {
        a.SlowerAction->trigger();
    }
    EXPECT_EQ(Player().SpeedTenths(), MediaPlayer::MinSpeedTenths);
    EXPECT_EQ(SpeedBox().value(), 0.5);
    mForm.ActionListUpdate();
    EXPECT_FALSE(a.SlowerAction->isEnabled());
    // The toolbar's control sets the player's speed too.
    SpeedBox().setValue(1.7);
    EXPECT_EQ(Player().SpeedTenths(), 17);

    // The keys of the key map, with nothing but the window focused.
    const std::pair<QAction*, QKeySequence> keys[] = {
        {a.SlowerAction, QKeySequence(Qt::Key_BracketLeft)},
        {a.FasterAction, QKeySequence(Qt::Key_BracketRight)},
        {a.NormalSpeedAction, QKeySequence(Qt::Key_Backspace)},
        {a.SkipBackAction, QKeySequence(Qt::CTRL | Qt::Key_Left)},
        {a.SkipForwardAction, QKeySequence(Qt::CTRL | Qt::Key_Right)},
        {a.PlayPauseAction, QKeySequence(Qt::Key_Space)},
    };
    for (const auto& [action, key] : keys) {
        EXPECT_EQ(action->shortcut(), key) << action->objectName().toStdString();
    }
    Activate();
    mForm.ActionListUpdate();
    QTest::keyClick(&mForm, Qt::Key_BracketLeft);
    EXPECT_EQ(Player().SpeedTenths(), 16);
    mForm.ActionListUpdate();
    QTest::keyClick(&mForm, Qt::Key_BracketRight);
    QTest::keyClick(&mForm, Qt::Key_BracketRight);
    mForm.ActionListUpdate();
    EXPECT_EQ(Player().SpeedTenths(), 18);
    QTest::keyClick(&mForm, Qt::Key_Backspace);
    EXPECT_EQ(Player().SpeedTenths(), 10);
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();
}

// The player's controls join the dictaphone bar without pushing any of it into the bar's
// overflow menu at the first-run size.
TEST_F(PlayerControls, TheWholeDictaphoneBarFitsTheFirstRunWindow) {
    Activate();
    QApplication::processEvents();
    auto& bar = NamedChild<QToolBar>(mForm, "DictaphoneToolBar");
    for (const char* name : {"SpeedSpinBox", "TimeLabel", "VolumeRxSlider", "SilenceRxSlider"}) {
        auto* widget = bar.findChild<QWidget*>(name);
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_TRUE(widget->isVisible()) << name << " is in the overflow menu";
    }
    for (QAction* action : {mForm.Actions().SkipBackAction, mForm.Actions().SkipForwardAction,
                            mForm.Actions().SilenceAction}) {
        QWidget* button = bar.widgetForAction(action);
        ASSERT_NE(button, nullptr) << action->objectName().toStdString();
        EXPECT_TRUE(button->isVisible()) << action->objectName().toStdString();
    }
}

// Whatever the speed, what the window shows is the note's own time: a second of the device at
// 1.5x is a second and a half of the note.
TEST_F(PlayerControls, TheTimeLabelAndTheStripShowNoteTimeAtOneAndAHalf) {
    SpeedBox().setValue(1.5);
    Trigger(mForm.Actions().PlayAction);
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdPlaying) << mMessages.join("\n").toStdString();
    EXPECT_EQ(Strip().maximum(), static_cast<int>(NoteMs));
    Played(20); // two seconds of the device
    mForm.DictaphonePart().TimerTimer();
    EXPECT_EQ(Player().Position(), 3000u);
    EXPECT_EQ(Strip().value(), 3000);
    EXPECT_EQ(TimeShown(), "0:00:03|0:00:20");
    // The place a pause holds is in note time too, and the speed changed while paused keeps it.
    Trigger(mForm.Actions().PauseAction);
    SpeedBox().setValue(0.5);
    EXPECT_EQ(Player().Position(), 3000u);
    mForm.DictaphonePart().StopActionExecute();
}

struct SkipCase {
    const char* Name;
    int SpeedTenths;
    bool Paused;
    std::uint32_t From; // ms of the note, reached by a jump
    bool Forward;
    std::uint32_t Expected;
};

TEST_F(PlayerControls, SkipsKeepTheModeAndNeverPassTheStartOrTheEnd) {
    const SkipCase cases[] = {
        {"playing 1x, back from the middle", 10, false, 9000, false, 4000},
        {"playing 1x, back near the start", 10, false, 2000, false, 0},
        {"playing 1x, forward from the middle", 10, false, 9000, true, 14000},
        {"playing 1x, forward near the end", 10, false, 17000, true, NoteMs},
        {"paused 1x, back near the start", 10, true, 3000, false, 0},
        {"paused 1x, forward near the end", 10, true, 18000, true, NoteMs},
        {"playing 0.5x, back from the middle", 5, false, 9000, false, 4000},
        {"paused 0.5x, forward from the middle", 5, true, 9000, true, 14000},
        {"playing 1.5x, forward near the end", 15, false, 16000, true, NoteMs},
        {"paused 1.5x, back near the start", 15, true, 1000, false, 0},
        {"playing 2x, back near the start", 20, false, 4999, false, 0},
        {"paused 2x, forward near the end", 20, true, 15001, true, NoteMs},
        {"playing 2x, forward from the start", 20, false, 0, true, 5000},
    };
    const MainActions& a = mForm.Actions();
    for (const SkipCase& c : cases) {
        SCOPED_TRACE(c.Name);
        SpeedBox().setValue(c.SpeedTenths / 10.0);
        Trigger(a.PlayAction);
        ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdPlaying) << mMessages.join("\n").toStdString();
        mForm.DictaphonePart().JumpTo(c.From);
        if (c.Paused) {
            Trigger(a.PauseAction);
        }
        Trigger(c.Forward ? a.SkipForwardAction : a.SkipBackAction);
        EXPECT_EQ(Player().Position(), c.Expected);
        EXPECT_EQ(TimeShown(), ShortTime(c.Expected) + "|" + ShortTime(NoteMs));
        if (c.Paused) {
            EXPECT_EQ(Player().CurrentMode(), MediaPlayer::Mode::Paused);
            mForm.DictaphonePart().TimerTimer();
            EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdPlaying) << "a note paused at its end waits";
            // A place chosen while paused is where the resume starts: no rewind on top.
            Trigger(a.PauseAction);
            EXPECT_EQ(Player().Position(), c.Expected);
        }
        if (c.Expected == NoteMs) {
            // At the end the note is over: the window stops it at its next look.
            mForm.DictaphonePart().TimerTimer();
            EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdIdle);
        } else {
            EXPECT_EQ(Player().CurrentMode(), MediaPlayer::Mode::Playing);
            mForm.DictaphonePart().StopActionExecute();
        }
        mForm.ActionListUpdate();
        EXPECT_FALSE(a.SkipBackAction->isEnabled());
        EXPECT_FALSE(a.SkipForwardAction->isEnabled());
    }
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();
}

TEST_F(PlayerControls, AResumeAfterAPauseStartsTheRewindEarlier) {
    struct Case {
        const char* Name;
        int SpeedTenths;
        std::uint32_t RewindMs;
        int PlayedBuffers;    // from 5 s on, before the pause
        std::uint32_t FromMs; // where the first play starts
        std::uint32_t Expected;
    };
    const Case cases[] = {
        {"1x, the default second", 10, 1000, 10, 5000, 5000},
        {"1.5x, the default second", 15, 1000, 10, 5000, 5500},
        {"2x, three seconds", 20, 3000, 10, 5000, 4000},
        {"0.5x, near the start", 5, 1000, 4, 0, 0},
        {"1x, off", 10, 0, 10, 5000, 6000},
    };
    const MainActions& a = mForm.Actions();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        mForm.DictaphonePart().SetPlaybackSteps(MediaPlayer::DefaultSkipStepMs, c.RewindMs);
        SpeedBox().setValue(c.SpeedTenths / 10.0);
        Trigger(a.PlayAction);
        mForm.DictaphonePart().JumpTo(c.FromMs);
        Played(c.PlayedBuffers);
        Trigger(a.PauseAction);
        const std::uint32_t pausedAt = Player().Position();
        EXPECT_EQ(pausedAt, c.FromMs + c.PlayedBuffers * 10 * c.SpeedTenths);
        Trigger(a.PauseAction);
        EXPECT_EQ(Player().CurrentMode(), MediaPlayer::Mode::Playing);
        EXPECT_EQ(Player().Position(), c.Expected);
        EXPECT_EQ(Strip().value(), static_cast<int>(c.Expected));
        mForm.DictaphonePart().StopActionExecute();
    }
}

// A click on the strip's track jumps there (it used to page towards it); the keys still step.
TEST_F(PlayerControls, AClickOnThePositionStripJumpsAndTheKeysStillStep) {
    Activate();
    Trigger(mForm.Actions().PlayAction);
    Trigger(mForm.Actions().PauseAction);
    QSlider& strip = Strip();
    ASSERT_GT(strip.width(), 200);
    QTest::mouseClick(&strip, Qt::LeftButton, {},
                      QPoint(strip.width() * 3 / 4, strip.height() / 2));
    const auto clicked = static_cast<int>(Player().Position());
    EXPECT_NEAR(clicked, NoteMs * 3 / 4, NoteMs / 20);
    EXPECT_EQ(Player().CurrentMode(), MediaPlayer::Mode::Paused);
    EXPECT_EQ(strip.value(), clicked);

    strip.setFocus();
    QTest::keyClick(&strip, Qt::Key_PageDown);
    EXPECT_EQ(static_cast<int>(Player().Position()), clicked - 5000);
    QTest::keyClick(&strip, Qt::Key_Right);
    EXPECT_EQ(static_cast<int>(Player().Position()), clicked - 4000);
    QTest::keyClick(&strip, Qt::Key_Home);
    EXPECT_EQ(Player().Position(), 0u);
    EXPECT_EQ(Player().CurrentMode(), MediaPlayer::Mode::Paused);
    mForm.DictaphonePart().StopActionExecute();
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();
}

TEST_F(PlayerControls, SpaceInTheNoteListPlaysAndPausesAndTheFilterTakesItsKeysAsText) {
    Activate();
    auto& grid = NamedChild<QTableView>(mForm, "RxDBGrid");
    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_Space);
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdPlaying) << mMessages.join("\n").toStdString();
    EXPECT_EQ(Player().CurrentMode(), MediaPlayer::Mode::Playing);
    // The list takes no input while the note plays: the position strip has the focus, and Space
    // and the skips work from there.
    mForm.ActionListUpdate();
    QWidget* focused = QApplication::focusWidget();
    ASSERT_EQ(focused, &Strip());
    QTest::keyClick(focused, Qt::Key_Space);
    EXPECT_EQ(Player().CurrentMode(), MediaPlayer::Mode::Paused);
    EXPECT_TRUE(mForm.Actions().PauseAction->isChecked());
    mForm.ActionListUpdate();
    QTest::keyClick(focused, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(Player().Position(), 5000u);
    QTest::keyClick(focused, Qt::Key_Space);
    EXPECT_EQ(Player().CurrentMode(), MediaPlayer::Mode::Playing);
    mForm.DictaphonePart().StopActionExecute();
    mForm.ActionListUpdate();
    // The note over, the list has the focus again.
    EXPECT_EQ(QApplication::focusWidget(), &grid);

    // Typing in the filter: Space, the brackets and Backspace are text there.
    mForm.Actions().FilterToolBarAction->setChecked(true);
    mForm.ActionListUpdate();
    auto* filter = NamedChild<QToolBar>(mForm, "FilterToolBar").findChild<QLineEdit*>();
    ASSERT_NE(filter, nullptr);
    filter->setFocus();
    QTest::keyClicks(filter, "a [b]");
    QTest::keyClick(filter, Qt::Key_Backspace);
    EXPECT_EQ(filter->text(), "a [b");
    EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdIdle);
    EXPECT_EQ(Player().SpeedTenths(), MediaPlayer::NormalSpeedTenths);
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();
}

// What the desktop's media controls see of the window and do through it.
class MediaControlsOfTheWindow : public PlayerControls {
protected:
    MediaControlsOfTheWindow() {
        mFirst = mCat.Notes().Current();
        // A second note, recorded the same way, after the first in the list.
        mForm.DictaphonePart().RecordActionExecute();
        const std::string loud(800, '\xF0');
        for (int i = 0; i < 30; ++i) {
            EXPECT_TRUE(mPort.CompleteInput(loud.data(), loud.size()));
            mPoster.ProcessPending();
        }
        mForm.DictaphonePart().StopActionExecute();
        mSecond = mCat.Notes().LastAddedNote();
        mSecond->Description = "the second";
        mCat.Notes().SetCurrent(mFirst);
        mForm.ActionListUpdate();
        mMessages.clear();
    }
    NoteRecord* mFirst = nullptr;
    NoteRecord* mSecond = nullptr;
    WindowMediaControls mControls{mForm};
};

TEST_F(MediaControlsOfTheWindow, TheCurrentNoteItsPlaybackSpeedAndVolume) {
    ASSERT_EQ(mCat.Notes().CurrentRow(), 0);
    ASSERT_TRUE(mFirst->Description.empty());
    MediaTrack track = mControls.CurrentTrack();
    EXPECT_EQ(track.Id.toStdString(), mFirst->FileName);
    EXPECT_EQ(track.Title, StartText(mFirst->Start)) << "no description: the start date";
    EXPECT_EQ(track.FilePath, mCat.Files().NoteWavPath(mFirst->FileName));
    EXPECT_EQ(track.LengthUs, qint64{NoteMs} * 1000);
    EXPECT_EQ(mControls.Status(), MediaStatus::Stopped);
    EXPECT_TRUE(mControls.CanPlay());
    EXPECT_TRUE(mControls.CanGoNext());
    EXPECT_FALSE(mControls.CanGoPrevious());

    mControls.SetRate(1.5);
    EXPECT_EQ(SpeedBox().value(), 1.5);
    EXPECT_EQ(mControls.Rate(), 1.5);
    mControls.PlayPause();
    ASSERT_EQ(mControls.Status(), MediaStatus::Playing) << mMessages.join("\n").toStdString();
    Played(10);
    EXPECT_EQ(mControls.PositionUs(), 1500000) << "note time at 1.5x";
    mControls.Pause();
    EXPECT_EQ(mControls.Status(), MediaStatus::Paused);
    EXPECT_TRUE(mForm.Actions().PauseAction->isChecked()) << "the window shows the pause";
    mControls.Play();
    EXPECT_EQ(mControls.Status(), MediaStatus::Playing);

    QSignalSpy seeked(&mControls, &WindowMediaControls::Seeked);
    mControls.SetPositionUs(4000000);
    EXPECT_EQ(Player().Position(), 4000u);
    EXPECT_EQ(seeked.count(), 0) << "the bus's own jumps announce themselves";
    Trigger(mForm.Actions().SkipForwardAction);
    EXPECT_EQ(seeked.count(), 1);
    QSignalSpy changed(&mControls, &WindowMediaControls::Changed);
    mForm.ActionListUpdate();
    EXPECT_EQ(changed.count(), 1);

    mControls.Stop();
    EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdIdle);
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();

    // The volume is the master's of the toolbar's slider (this fake card has no mixer to take it,
    // which the window says as it always has).
    mControls.SetVolume(0.3);
    EXPECT_EQ(mForm.DictaphonePart().VolumeSlider()->value(), 30);
    EXPECT_DOUBLE_EQ(mControls.Volume(), 0.3);
    mControls.SetVolume(7);
    EXPECT_DOUBLE_EQ(mControls.Volume(), 1.0);
}

TEST_F(MediaControlsOfTheWindow, NextAndPreviousAreTheNeighboursInTheList) {
    mControls.Next();
    EXPECT_EQ(mCat.Notes().Current(), mSecond);
    EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdIdle) << "a stopped player stays stopped";
    EXPECT_EQ(mControls.CurrentTrack().Title, "the second");
    EXPECT_FALSE(mControls.CanGoNext());
    mControls.Next();
    EXPECT_EQ(mCat.Notes().Current(), mSecond);
    // While a note plays, the neighbour plays.
    mControls.Play();
    mForm.ActionListUpdate();
    mControls.Previous();
    EXPECT_EQ(mCat.Notes().Current(), mFirst);
    EXPECT_EQ(mControls.Status(), MediaStatus::Playing);
    EXPECT_EQ(mControls.CurrentTrack().LengthUs, qint64{NoteMs} * 1000);
    EXPECT_EQ(Player().Length(), NoteMs) << "the player has the first note open";
    mControls.Previous();
    EXPECT_EQ(mCat.Notes().Current(), mFirst);
    EXPECT_EQ(mControls.Status(), MediaStatus::Playing);
    mControls.Stop();
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join("\n").toStdString();
}

TEST_F(MediaControlsOfTheWindow, ARecordingIsNeitherStartedNorStoppedNorPaused) {
    mForm.DictaphonePart().RecordActionExecute();
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdRecording);
    EXPECT_EQ(mControls.Status(), MediaStatus::Stopped);
    EXPECT_FALSE(mControls.CanPlay());
    EXPECT_FALSE(mControls.CanGoNext());
    EXPECT_FALSE(mControls.CanGoPrevious());
    const NoteRecord* recording = mCat.Notes().Current();
    mControls.PlayPause();
    mControls.Play();
    mControls.Pause();
    mControls.Stop();
    mControls.Next();
    mControls.Previous();
    mControls.SetPositionUs(0);
    EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdRecording);
    EXPECT_FALSE(mForm.Actions().PauseAction->isChecked());
    EXPECT_EQ(mCat.Notes().Current(), recording);
    mForm.DictaphonePart().StopActionExecute();
    // Idle again, the media controls do not record either.
    const std::size_t notes = mCat.Notes().All().size();
    mControls.PlayPause();
    mControls.Stop();
    EXPECT_EQ(mCat.Notes().All().size(), notes);
    EXPECT_NE(mForm.Mode(), TDictaphoneMode::mdRecording);
}

// Quit is Exit, but never from under an open box: whatever waits for its answer would be cut off.
TEST_F(MediaControlsOfTheWindow, QuitWaitsForNoBoxAndThenClosesAsExitDoes) {
    mForm.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&mForm));
    QDialog box(&mForm);
    bool stillShown = false;
    QTimer::singleShot(0, &box, [&] {
        mControls.Quit();
        QApplication::processEvents();
        stillShown = mForm.isVisible();
        box.reject();
    });
    box.exec();
    EXPECT_TRUE(stillShown);
    mControls.Quit();
    EXPECT_FALSE(mForm.isVisible());
}

} // namespace
} // namespace tellamo::test
