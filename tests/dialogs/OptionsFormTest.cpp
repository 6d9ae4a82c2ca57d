#include <cstdint>
#include <utility>

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include "common/IniFile.h"
#include "desktop/THotKeyEdit.h"
#include "dialogs/TOptionsForm.h"
#include "support/TempDir.h"

namespace tellamo::test {
namespace {

// The dialog bound to stand-ins for the main window's actions, sliders and values.
class OptionsForm : public ::testing::Test {
protected:
    OptionsForm() {
        for (QAction* action :
             {&mAffiliate, &mSound, &mAsk, &mAskFormat, &mTray, &mAutoLaunch, &mRecycle, &mMute,
              &mBiDirectional, &mRedraw, &mSilence, &mRecordHotkey, &mStopHotkey}) {
            action->setCheckable(true);
        }
        mSilenceSlider.setRange(0, 30);
        mSilenceSlider.setValue(10);
        mVolumeSlider.setRange(0, 100);
        mVolumeSlider.setValue(50);
    }
    std::unique_ptr<TOptionsForm> Create() {
        return std::make_unique<TOptionsForm>(
            OptionsBindings{mRecording,
                            mGraph,
                            &mSilenceSlider,
                            &mVolumeSlider,
                            &mAffiliate,
                            &mSound,
                            &mAsk,
                            &mAskFormat,
                            &mTray,
                            &mAutoLaunch,
                            &mRecycle,
                            &mAudioSettings,
                            &mMute,
                            &mVolumeControl,
                            &mBiDirectional,
                            &mRedraw,
                            &mSilence,
                            &mRecordHotkey,
                            &mStopHotkey,
                            [this] { ++mRedraws; },
                            QString::fromStdString(mDir.File("tellamo.INI")),
                            [this](std::uint32_t skipMs, std::uint32_t rewindMs) {
                                mPlaybackSteps = {skipMs, rewindMs};
                            }});
    }

    TempDir mDir;
    RecordingOptions mRecording;
    GraphSettings mGraph;
    QSlider mSilenceSlider{Qt::Horizontal};
    QSlider mVolumeSlider{Qt::Horizontal};
    QAction mAffiliate{"&Affiliated notes"}, mSound{"s"}, mAsk{"a"}, mAskFormat{"f"}, mTray{"t"},
        mAutoLaunch{"l"}, mRecycle{"r"}, mAudioSettings{"&Audio Settings..."}, mMute{"&Mute"},
        mVolumeControl{"v"}, mBiDirectional{"b"}, mRedraw{"&Redraw graphs"},
        mSilence{"&Stop record when silence"}, mRecordHotkey{"Record Hotkey"},
        mStopHotkey{"Stop Hotkey"};
    int mRedraws = 0;
    std::pair<std::uint32_t, std::uint32_t> mPlaybackSteps{0, 0}; // as last handed to the player
};

TEST_F(OptionsForm, FirstRunValuesAndTheHotKeysPage) {
    auto form = Create();
    EXPECT_EQ(form->OptionsPageControl->currentWidget()->objectName(), "HotKeyTabSheet");
    EXPECT_EQ(form->OptionsPageControl->count(), 6);
    EXPECT_EQ(mRecording.SampleRate, 11025);
    EXPECT_TRUE(mRecording.SixteenBit);
    EXPECT_EQ(mRecording.NoiseLevelPercent, 10);
    EXPECT_EQ(mGraph.BackgroundColor, ColorNavy);
    EXPECT_EQ(mGraph.VoiceColor, ColorYellow);
    EXPECT_EQ(mGraph.NoiseLevelColor, ColorAqua);
    EXPECT_EQ(mGraph.Velocity, 20);
    EXPECT_EQ(form->KBSLabel->text(), "21.5 kb/sec");
    EXPECT_EQ(form->VoiceColorComboBox->count(), 16);
    EXPECT_EQ(form->VoiceColorComboBox->itemText(4), "Navy");
    EXPECT_EQ(form->SampleRateCurrencyEdit->minimum(), 4000);
    EXPECT_EQ(form->SampleRateCurrencyEdit->maximum(), 22050);
    EXPECT_EQ(form->SilenceRxSpinEdit->maximum(), 30);
}

TEST_F(OptionsForm, QualityPresets) {
    auto form = Create();
    form->VoiceQualitySpeedButton->click();
    EXPECT_EQ(form->SampleRateCurrencyEdit->value(), 8000);
    EXPECT_EQ(form->SampleRateRxSlider->value(), 8000);
    EXPECT_EQ(form->BitsPerSampleRadioGroup->checkedId(), 0);
    EXPECT_EQ(form->KBSLabel->text(), "7.8 kb/sec");
    EXPECT_EQ(mRecording.SampleRate, 8000);
    EXPECT_FALSE(mRecording.SixteenBit);
    form->DefaultQualitySpeedButton->click();
    EXPECT_EQ(form->SampleRateCurrencyEdit->value(), 11025);
    EXPECT_EQ(form->BitsPerSampleRadioGroup->checkedId(), 1);
    EXPECT_EQ(form->KBSLabel->text(), "21.5 kb/sec");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    form->UpdateDataRateLabel();
    EXPECT_EQ(form->KBSLabel->text(), "21,5 kb/sec") << "the locale's decimal separator";
    QLocale::setDefault(QLocale::c());
}

// What is typed into Samples/sec is judged whole when the field is left: out of the range it
// goes to the nearer end, never to its first digits.
TEST_F(OptionsForm, ASampleRateTypedOutOfRangeIsClampedWhenTheFieldIsLeft) {
    auto form = Create();
    QSpinBox* edit = form->SampleRateCurrencyEdit;
    for (int i = 0; i < form->OptionsPageControl->count(); ++i) {
        if (form->OptionsPageControl->widget(i)->isAncestorOf(edit)) {
            form->OptionsPageControl->setCurrentIndex(i);
        }
    }
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    const struct {
        const char* Typed;
        int Rate;
    } cases[] = {
        {"44100", 22050}, {"22051", 22050}, {"999999999999", 22050}, {"16000", 16000},
        {"999", 4000},    {"3", 4000},      {"8000", 8000},
    };
    for (const auto& c : cases) {
        edit->setFocus();
        ASSERT_TRUE(edit->hasFocus());
        edit->selectAll();
        QTest::keyClicks(edit, c.Typed);
        form->SampleRateRxSlider->setFocus(); // the field is left
        EXPECT_EQ(edit->value(), c.Rate) << c.Typed;
        EXPECT_EQ(mRecording.SampleRate, c.Rate) << c.Typed;
    }
    form->hide();
}

TEST_F(OptionsForm, OnlyTheGraphsColoursRedrawStoredGraphs) {
    auto form = Create();
    mRedraw.setChecked(true);
    form->show();
    form->SilenceColorComboBox->setCurrentIndex(0);
    form->hide();
    EXPECT_EQ(mRedraws, 0) << "the noise-level colour alone never redraws";
    form->show();
    form->VoiceColorComboBox->setCurrentIndex(10);
    form->hide();
    EXPECT_EQ(mRedraws, 1);
    EXPECT_EQ(mGraph.VoiceColor, ColorLime);
    mRedraw.setChecked(false);
    form->show();
    form->DefaultGraphSpeedButton->click();
    form->hide();
    EXPECT_EQ(mRedraws, 1) << "without Redraw graphs nothing is deleted";
    EXPECT_EQ(mGraph.BackgroundColor, ColorBlack);
    EXPECT_EQ(mGraph.NoiseLevelColor, ColorYellow);
}

TEST_F(OptionsForm, EachClosingWritesTheSectionAndTheNextStartReadsIt) {
    {
        auto form = Create();
        form->show();
        form->VoiceQualitySpeedButton->click();
        form->VelocityRxSpinEdit->setValue(55);
        form->OptionsPageControl->setCurrentIndex(3);
        form->hide();
        // The section is on disk now, before any exit of the program.
        const IniFile ini = IniFile::Load(mDir.File("tellamo.INI"));
        EXPECT_EQ(ini.Read("TOptionsForm", "SampleRateCurrencyEdit_Value"), "8000");
        EXPECT_EQ(ini.Read("TOptionsForm", "BitsPerSampleRadioGroup_ItemIndex"), "0");
        EXPECT_EQ(ini.Read("TOptionsForm", "VelocityRxSpinEdit_Value"), "55");
        EXPECT_EQ(ini.Read("TOptionsForm", "OptionsPageControl_ActivePage"), "GraphTabSheet");
        EXPECT_EQ(ini.Read("TOptionsForm", "VoiceColorComboBox_ColorValue"), "65535");
    }
    mRecording = {};
    mGraph = {};
    auto form = Create();
    EXPECT_EQ(mRecording.SampleRate, 8000);
    EXPECT_FALSE(mRecording.SixteenBit);
    EXPECT_EQ(mGraph.Velocity, 55);
    EXPECT_EQ(form->OptionsPageControl->currentWidget()->objectName(), "GraphTabSheet");
}

// The player's skip step and rewind on resume: in force from the dialog's creation, changed at
// once, kept between runs; 0 turns the rewind off.
TEST_F(OptionsForm, ThePlaybackStepsReachThePlayerAndAreKept) {
    {
        auto form = Create();
        EXPECT_EQ(mPlaybackSteps, std::pair(5000u, 1000u));
        EXPECT_EQ(form->SkipStepSpinEdit->minimum(), 1) << "a skip of nothing would do nothing";
        EXPECT_EQ(form->RewindOnResumeSpinEdit->minimum(), 0);
        form->show();
        form->SkipStepSpinEdit->setValue(3);
        EXPECT_EQ(mPlaybackSteps, std::pair(3000u, 1000u));
        form->RewindOnResumeSpinEdit->setValue(0);
        EXPECT_EQ(mPlaybackSteps, std::pair(3000u, 0u));
        EXPECT_EQ(form->RewindOnResumeSpinEdit->text(), "Off");
        form->hide();
        const IniFile ini = IniFile::Load(mDir.File("tellamo.INI"));
        EXPECT_EQ(ini.Read("TOptionsForm", "SkipStepSpinEdit_Value"), "3");
        EXPECT_EQ(ini.Read("TOptionsForm", "RewindOnResumeSpinEdit_Value"), "0");
    }
    mPlaybackSteps = {0, 0};
    auto form = Create();
    EXPECT_EQ(mPlaybackSteps, std::pair(3000u, 0u));
}

TEST_F(OptionsForm, TheNoiseLevelAndVolumeMirrorTheToolbarSliders) {
    auto form = Create();
    mSilenceSlider.setValue(25); // moved on the toolbar
    mVolumeSlider.setValue(70);
    form->show();
    EXPECT_EQ(form->SilenceRxSpinEdit->value(), 25);
    EXPECT_EQ(form->VolumeRxSpinEdit->value(), 70);
    EXPECT_EQ(mRecording.NoiseLevelPercent, 25);
    form->hide();
}

TEST_F(OptionsForm, CheckBoxesAreTheMainWindowsOptions) {
    auto form = Create();
    auto* box = form->findChild<QCheckBox*>("SilenceCheckBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "&Stop record when silence");
    mSilence.setChecked(true);
    EXPECT_TRUE(box->isChecked());
    box->click();
    EXPECT_FALSE(mSilence.isChecked());
    EXPECT_FALSE(form->RecordHotKey->isEnabled());
    mRecordHotkey.setChecked(true);
    EXPECT_TRUE(form->RecordHotKey->isEnabled())
        << "a hotkey field is enabled while its option is on";
}

} // namespace
} // namespace tellamo::test
