#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "common/IniFile.h"
#include "export/forms/TSaveFormatForm.h"
#include "support/TempDir.h"

namespace tellamo::test {
namespace {

class SaveFormatForm : public ::testing::Test {
protected:
    SaveFormatForm() {
        mAskFormat.setCheckable(true);
        mAskFormat.setChecked(true);
    }
    // Answers the dialog with answer() once it is shown; counts the showings.
    void WhenShown(TSaveFormatForm& form, std::function<void()> answer) {
        QTimer::singleShot(0, &form, [this, &form, answer] {
            EXPECT_TRUE(form.isVisible());
            ++mShown;
            answer();
        });
    }
    std::unique_ptr<TSaveFormatForm> FormWith(std::vector<TCompressor> compressors) {
        return std::make_unique<TSaveFormatForm>(
            &mAskFormat, QString::fromStdString(mDir.File("tellamo.INI")),
            std::make_unique<ConvertCtrl>(RealFileSystem(),
                                          CompressorList(std::move(compressors))));
    }
    static QStringList Texts(const TSaveFormatForm& form) {
        QStringList texts;
        for (const QRadioButton* item : form.FileFormatItems) {
            texts << item->text() + (item->isEnabled() ? "" : " (off)");
        }
        return texts;
    }

    TempDir mDir;
    QAction mAskFormat{"Ask about &format before Send/Save"};
    TSaveFormatForm mForm{&mAskFormat, QString::fromStdString(mDir.File("tellamo.INI"))};
    int mShown = 0;
};

// The items show the sizes: the WAV's as given, TrueSpeech one kB per whole second (halves to
// the even neighbour), Opus two.
TEST_F(SaveFormatForm, ItemsShowTheSizeEstimates) {
    mAskFormat.setChecked(false);
    struct Case {
        double Seconds;
        const char* Size;
        QStringList Expected;
    };
    const Case cases[] = {
        {2.5, "472", {"PCM (as is): 472 kb", "DSP Group TrueSpeech: 2 kb", "Ogg Opus: 4 kb"}},
        {3.5, "61", {"PCM (as is): 61 kb", "DSP Group TrueSpeech: 4 kb", "Ogg Opus: 8 kb"}},
        {0, "0", {"PCM (as is): 0 kb", "DSP Group TrueSpeech: 0 kb", "Ogg Opus: 0 kb"}},
        {3599.4,
         "77500",
         {"PCM (as is): 77500 kb", "DSP Group TrueSpeech: 3599 kb", "Ogg Opus: 7198 kb"}},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(mForm.AskFormat("Save As", c.Size, c.Seconds / 86400));
        EXPECT_EQ(Texts(mForm), c.Expected) << c.Seconds;
    }
    EXPECT_EQ(mForm.windowTitle(), "Save As");
}

// With the option on the user is asked: OK goes on with the choice made, Cancel stops. The
// choice stays for the next question of this run; a new run starts at TrueSpeech again.
TEST_F(SaveFormatForm, AsksWhenTheOptionIsOnAndKeepsTheChoiceWithinARun) {
    EXPECT_EQ(mForm.ItemIndex(), TSaveFormatForm::TrueSpeechIndex);
    EXPECT_TRUE(mForm.AskFormatCheckBox->isChecked());
    WhenShown(mForm, [&] {
        EXPECT_EQ(mForm.ItemIndex(), TSaveFormatForm::TrueSpeechIndex);
        mForm.FileFormatItems[TSaveFormatForm::OpusIndex]->click();
        mForm.OKBitBtn->click();
    });
    EXPECT_TRUE(mForm.AskFormat("Send By E-Mail", "10", 1.0 / 86400));
    EXPECT_EQ(mForm.windowTitle(), "Send By E-Mail");
    EXPECT_TRUE(mForm.OpusChosen());
    EXPECT_FALSE(mForm.TrueSpeechChosen());

    WhenShown(mForm, [&] {
        EXPECT_EQ(mForm.ItemIndex(), TSaveFormatForm::OpusIndex) << "kept from the last question";
        mForm.FileFormatItems[TSaveFormatForm::PcmIndex]->click();
        mForm.CancelBitBtn->click();
    });
    EXPECT_FALSE(mForm.AskFormat("Save As", "10", 1.0 / 86400));

    // The dialog's check box is the option itself: unticked, the next question is not asked.
    WhenShown(mForm, [&] {
        mForm.AskFormatCheckBox->click();
        mForm.OKBitBtn->click();
    });
    EXPECT_TRUE(mForm.AskFormat("Save As", "10", 1.0 / 86400));
    EXPECT_FALSE(mAskFormat.isChecked());
    EXPECT_TRUE(mForm.AskFormat("Save As", "10", 1.0 / 86400));
    EXPECT_EQ(mShown, 3);
    EXPECT_EQ(mForm.ItemIndex(), TSaveFormatForm::PcmIndex);
    EXPECT_FALSE(mForm.TrueSpeechChosen());
    EXPECT_FALSE(mForm.OpusChosen());

    TSaveFormatForm nextRun(&mAskFormat, QString::fromStdString(mDir.File("tellamo.INI")));
    EXPECT_EQ(nextRun.ItemIndex(), TSaveFormatForm::TrueSpeechIndex);
    EXPECT_TRUE(nextRun.TrueSpeechChosen()) << "the option off: TrueSpeech on the first use";
}

// Without any compressor the user is never asked and PCM is written, whatever the radio group
// shows; with Opus alone the question is asked with TrueSpeech unavailable.
TEST_F(SaveFormatForm, WithoutCompressorsNothingIsAskedAndPcmIsWritten) {
    auto none = FormWith({});
    for (bool ask : {true, false}) {
        mAskFormat.setChecked(ask);
        EXPECT_TRUE(none->AskFormat("Save As", "5", 2.0 / 86400));
        EXPECT_FALSE(none->TrueSpeechChosen());
        none->SetItemIndex(TSaveFormatForm::OpusIndex);
        EXPECT_FALSE(none->OpusChosen());
        none->SetItemIndex(TSaveFormatForm::TrueSpeechIndex);
        EXPECT_FALSE(none->WillAsk());
    }
    EXPECT_EQ(mShown, 0);

    mAskFormat.setChecked(true);
    auto opusOnly = FormWith({TCompressor("Ogg Opus")});
    WhenShown(*opusOnly, [&] {
        EXPECT_EQ(Texts(*opusOnly),
                  (QStringList{"PCM (as is): 5 kb", "DSP Group TrueSpeech: 2 kb (off)",
                               "Ogg Opus: 4 kb"}));
        opusOnly->OKBitBtn->click();
    });
    EXPECT_TRUE(opusOnly->AskFormat("Save As", "5", 2.0 / 86400));
    EXPECT_EQ(mShown, 1);
    EXPECT_FALSE(opusOnly->TrueSpeechChosen()) << "index 1 without TrueSpeech writes PCM";
}

// The first compressor whose name holds "dsp" and "truespeech" in any letter case is selected;
// the list is looked at anew at every call.
TEST_F(SaveFormatForm, FindTrueSpeechSelectsTheFirstMatchEveryTime) {
    auto form =
        FormWith({TCompressor("GSM 6.10"), TCompressor("TrueSpeech without the maker"),
                  TCompressor("dsp group truespeech(tm)"), TCompressor("DSP Group TrueSpeech 2")});
    CompressorList& list = form->Converter().AudioCompressors();
    EXPECT_TRUE(form->FindTrueSpeech());
    EXPECT_EQ(list.Selection(), 2);
    EXPECT_FALSE(form->FindOpus());

    list = CompressorList({TCompressor("GSM 6.10")});
    EXPECT_FALSE(form->FindTrueSpeech());
    EXPECT_EQ(list.Selection(), -1);

    EXPECT_TRUE(TSaveFormatForm::ContainsText("DSP Group TrueSpeech(TM)", "truespeech"));
    EXPECT_TRUE(TSaveFormatForm::ContainsText("ünïcode dsp", "ÜNÏ"));
    EXPECT_FALSE(TSaveFormatForm::ContainsText("DSP Group", "truespeech"));
    EXPECT_TRUE(TSaveFormatForm::ContainsText("anything", ""));
}

// The dialog keeps its place in its own section of the settings file, and nothing else.
TEST_F(SaveFormatForm, RemembersItsPlacementOnly) {
    WhenShown(mForm, [&] {
        mForm.move(40, 50);
        mForm.OKBitBtn->click();
    });
    ASSERT_TRUE(mForm.AskFormat("Save As", "1", 0));
    const IniFile ini = IniFile::Load(mDir.File("tellamo.INI"));
    EXPECT_EQ(ini.Read("TSaveFormatForm", "FormVersion").value_or(""), "0");
    EXPECT_NE(ini.Read("TSaveFormatForm", "NormPos").value_or(""), "");
    EXPECT_EQ(ini.Read("TSaveFormatForm", "FileFormatRadioGroup_ItemIndex"), std::nullopt);

    TSaveFormatForm nextRun(&mAskFormat, QString::fromStdString(mDir.File("tellamo.INI")));
    WhenShown(nextRun, [&] {
        // Where the first one was left, not centred (give or take the window frame).
        EXPECT_LE((nextRun.pos() - QPoint(40, 50)).manhattanLength(), 8)
            << nextRun.pos().x() << "," << nextRun.pos().y();
        nextRun.CancelBitBtn->click();
    });
    EXPECT_FALSE(nextRun.AskFormat("Save As", "1", 0));
}

} // namespace
} // namespace tellamo::test
