#include <gtest/gtest.h>

#include <QAction>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QSplitter>
#include <QTableView>
#include <QTest>
#include <QToolBar>

#include "audio/WindowPoster.h"
#include "catalogue/Catalogue.h"
#include "catalogue/NoteTexts.h"
#include "common/FileSystem.h"
#include "common/IniFile.h"
#include "common/OleDate.h"
#include "dictaphone/MediaPlayer.h"
#include "mainwindow/NoteListModel.h"
#include "mainwindow/TellamoMainForm.h"
#include "support/FakeWavePort.h"
#include "support/NamedChild.h"
#include "support/TempDir.h"

namespace tellamo::test {
namespace {

// A main window over a storage folder that outlives it, so that a test can close the window
// and start it again.
class SettingsFile : public ::testing::Test {
protected:
    SettingsFile() {
        mCat.Files().EnsureStorageFolder([](const QString&, const QString&) {});
        mCat.NewCatalogue();
    }
    std::unique_ptr<TTellamoMainForm> Start() {
        auto form = std::make_unique<TTellamoMainForm>(
            mCat, AudioServices{mPort, mPoster, mDocuments.File("PLAY.TMP")});
        mMinimized = form->RestoreSettings();
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        return form;
    }
    std::string IniPath() const { return mDocuments.Path() + "/My Voice Notes/tellamo.INI"; }
    IniFile Ini() const { return IniFile::Load(IniPath()); }

    TempDir mDocuments;
    Catalogue mCat{
        Storage(QString::fromStdString(mDocuments.Path()), "My Voice Notes", "ReadMe.txt"), "Notes",
        "Recycle Bin", RealFileSystem()};
    FakeWavePort mPort;
    EventFdPoster mPoster;
    bool mMinimized = false;
};

TEST_F(SettingsFile, FirstRunValuesAreWrittenWhenTheWindowCloses) {
    auto form = Start();
    EXPECT_FALSE(FileExists(IniPath()));
    EXPECT_FALSE(mMinimized);
    form->close();
    ASSERT_TRUE(FileExists(IniPath()));
    const IniFile ini = Ini();
    const char* section = "TTellamoMainForm";
    const std::pair<const char*, const char*> firstRun[] = {
        {"FormVersion", "0"},
        {"ShowCmd", "1"},
        {"Visible", "0"},
        {"BiDirectionalAction_Checked", "True"},
        {"AskDescriptionAction_Checked", "True"},
        {"AffiliateAction_Checked", "False"},
        {"SilenceAction_Checked", "False"},
        {"SoundNotificationAction_Checked", "False"},
        {"DictaphoneToolBarAction_Checked", "True"},
        {"DictaphoneToolBar_Top", "2"},
        {"DictaphoneToolBar_Left", "11"},
        {"GraphPanelAction_Checked", "True"},
        {"DurationColumnAction_Checked", "True"},
        {"HertzColumnAction_Checked", "False"},
        {"BitsColumnAction_Checked", "False"},
        {"SizeColumnAction_Checked", "False"},
        {"StartColumnAction_Checked", "True"},
        {"DescriptionColumnAction_Checked", "True"},
        {"LastSaveDirLabel_Caption", ""},
        {"FilterToolBar_Top", "36"},
        {"FilterToolBar_Left", "11"},
        {"FilterAction_Checked", "False"},
        {"CaseInSensitiveAction_Checked", "False"},
        {"FilterToolBarAction_Checked", "False"},
        {"BorderAction_Checked", "False"},
        {"MenuFolderAction_Checked", "False"},
        {"MenuNoteAction_Checked", "False"},
        {"RedrawGraphesAction_Checked", "False"},
        {"MinimizeToTrayAction_Checked", "False"},
        {"RecordHotkeyAction_Checked", "False"},
        {"StopHotkeyAction_Checked", "False"},
        {"AutoLaunchAction_Checked", "False"},
        {"AskFormatAction_Checked", "True"},
        {"RecycleRecordAction_Checked", "True"},
    };
    for (const auto& [key, value] : firstRun) {
        EXPECT_EQ(ini.Read(section, key), std::optional<std::string>(value)) << key;
    }
    for (const char* key : {"Flags", "PixelsPerInch", "MinMaxPos", "NormPos", "GraphPanel_Height",
                            "TreeView_Width"}) {
        EXPECT_TRUE(ini.Read(section, key).has_value()) << key;
    }
    EXPECT_EQ(ini.Keys("TTellamoMainFormRxDBGrid"),
              (std::vector<std::string>{
                  "RxDBGrid.Description", "RxDBGrid.Start", "RxDBGrid.Duration", "RxDBGrid.BitRate",
                  "RxDBGrid.SampleRate", "RxDBGrid.FileSizeKB", "RxDBGrid."}));
    const std::pair<const char*, const char*> columns[] = {{"RxDBGrid.Description", "0,212"},
                                                           {"RxDBGrid.Start", "1,81"},
                                                           {"RxDBGrid.Duration", "2,67"},
                                                           {"RxDBGrid.BitRate", "3,34"},
                                                           {"RxDBGrid.SampleRate", "4,47"},
                                                           {"RxDBGrid.FileSizeKB", "5,63"},
                                                           {"RxDBGrid.", "6,1600"}};
    for (const auto& [key, value] : columns) {
        EXPECT_EQ(ini.Read("TTellamoMainFormRxDBGrid", key), std::optional<std::string>(value))
            << key;
    }
}

TEST_F(SettingsFile, OptionsColumnsAndLayoutSurviveARestart) {
    {
        auto form = Start();
        form->Actions().SilenceAction->setChecked(true);
        form->Actions().FilterToolBarAction->setChecked(true);
        form->Actions().MenuNoteAction->setChecked(true);
        form->Actions().DescriptionColumnAction->setChecked(false); // hidden: keeps its place
        form->ActionListUpdate();
        QHeaderView* header = NamedChild<QTableView>(*form, "RxDBGrid").horizontalHeader();
        header->moveSection(header->visualIndex(NoteListModel::DurationColumn), 0);
        header->resizeSection(NoteListModel::StartColumn, 123);
        NamedChild<QSplitter>(*form, "MainSplitter").setSizes({222, 400});
        form->SetLastSaveDir("/home/me/notes/");
        form->close();
    }
    EXPECT_EQ(Ini().Read("TTellamoMainFormRxDBGrid", "RxDBGrid.Duration"), "0,67");
    EXPECT_EQ(Ini().Read("TTellamoMainFormRxDBGrid", "RxDBGrid.Description"), "1,212");
    auto form = Start();
    EXPECT_TRUE(form->Actions().SilenceAction->isChecked());
    EXPECT_TRUE(NamedChild<QToolBar>(*form, "FilterToolBar").isVisible());
    EXPECT_FALSE(form->Actions().DescriptionColumnAction->isChecked());
    QHeaderView* header = NamedChild<QTableView>(*form, "RxDBGrid").horizontalHeader();
    EXPECT_EQ(header->logicalIndex(0), NoteListModel::DurationColumn);
    EXPECT_EQ(header->logicalIndex(1), NoteListModel::DescriptionColumn);
    EXPECT_EQ(header->logicalIndex(NoteListModel::FillerColumn), NoteListModel::FillerColumn);
    EXPECT_EQ(header->sectionSize(NoteListModel::StartColumn), 123);
    EXPECT_TRUE(
        NamedChild<QTableView>(*form, "RxDBGrid").isColumnHidden(NoteListModel::DescriptionColumn));
    EXPECT_EQ(NamedChild<QSplitter>(*form, "MainSplitter").sizes().value(0), 222);
    EXPECT_EQ(form->LastSaveDir(), "/home/me/notes/");
}

TEST_F(SettingsFile, ThePlaybackSpeedSurvivesARestart) {
    {
        auto form = Start();
        for (int i = 0; i < 5; ++i) {
            form->Actions().FasterAction->trigger();
        }
        form->close();
    }
    EXPECT_EQ(Ini().Read("TTellamoMainForm", "SpeedSpinBox_Tenths"), "15");
    auto form = Start();
    EXPECT_EQ(form->DictaphonePart().Player().SpeedTenths(), 15);
    EXPECT_EQ(NamedChild<QDoubleSpinBox>(*form, "SpeedSpinBox").value(), 1.5);
    form->close();
    // A value out of range is held to it.
    IniFile ini = Ini();
    ini.Write("TTellamoMainForm", "SpeedSpinBox_Tenths", "90");
    ini.Save(RealFileSystem(), IniPath());
    form = Start();
    EXPECT_EQ(form->DictaphonePart().Player().SpeedTenths(), 20);
}

// The design widths fitted the original font; Linux's fonts are wider. Without a stored width a
// column fits its longest text in the window's font, while the file keeps the design widths for
// the columns the user left alone, so that a second start fits them again.
TEST_F(SettingsFile, ColumnsWithoutAStoredWidthFitTheirLongestTexts) {
    std::vector<int> fitted;
    {
        auto form = Start();
        for (QAction* column : {form->Actions().BitsColumnAction, form->Actions().HertzColumnAction,
                                form->Actions().SizeColumnAction}) {
            column->setChecked(true); // hidden columns report no width
        }
        form->ActionListUpdate();
        QHeaderView* header = NamedChild<QTableView>(*form, "RxDBGrid").horizontalHeader();
        const QFontMetrics metrics(NamedChild<QTableView>(*form, "RxDBGrid").font());
        const QString start =
            ShortStartText(LocalTimeFromDateTime(QDateTime(QDate(2026, 12, 28), QTime(22, 58))));
        const std::pair<int, QString> longest[] = {{NoteListModel::StartColumn, start},
                                                   {NoteListModel::DurationColumn, "9:59:59"},
                                                   {NoteListModel::SampleRateColumn, "44100"},
                                                   {NoteListModel::FileSizeColumn, "999999"}};
        for (const auto& [column, text] : longest) {
            EXPECT_GE(header->sectionSize(column), metrics.horizontalAdvance(text) + 4)
                << text.toStdString();
        }
        const int design[] = {212, 81, 67, 34, 47, 63};
        for (int column = 0; column < NoteListModel::FillerColumn; ++column) {
            EXPECT_GE(header->sectionSize(column), design[column]) << column;
            fitted.push_back(header->sectionSize(column));
        }
        header->resizeSection(NoteListModel::BitRateColumn, 90); // the user's own width
        form->close();
    }
    EXPECT_EQ(Ini().Read("TTellamoMainFormRxDBGrid", "RxDBGrid.Start"), "1,81");
    EXPECT_EQ(Ini().Read("TTellamoMainFormRxDBGrid", "RxDBGrid.Duration"), "2,67");
    EXPECT_EQ(Ini().Read("TTellamoMainFormRxDBGrid", "RxDBGrid.BitRate"), "3,90");
    auto form = Start();
    QHeaderView* header = NamedChild<QTableView>(*form, "RxDBGrid").horizontalHeader();
    EXPECT_EQ(header->sectionSize(NoteListModel::StartColumn), fitted[NoteListModel::StartColumn]);
    EXPECT_EQ(header->sectionSize(NoteListModel::DurationColumn),
              fitted[NoteListModel::DurationColumn]);
    EXPECT_EQ(header->sectionSize(NoteListModel::BitRateColumn), 90);
}

TEST_F(SettingsFile, AWindowClosedMinimizedStartsMinimized) {
    {
        auto form = Start();
        form->showMinimized();
        QTRY_VERIFY(form->isMinimized());
        form->close();
    }
    EXPECT_EQ(Ini().Read("TTellamoMainForm", "ShowCmd"), "2");
    auto form = Start();
    EXPECT_TRUE(mMinimized);
}

TEST_F(SettingsFile, UnreadableValuesKeepTheirFirstRunValues) {
    WriteFileBytes(
        IniPath(),
        "[TTellamoMainForm]\r\nSilenceAction_Checked=maybe\r\nTreeView_Width=wide\r\n"
        "AffiliateAction_Checked=tRuE\r\n[TTellamoMainFormRxDBGrid]\r\nRxDBGrid.Start=x,y\r\n"
        "RxDBGrid.=0,5\r\n");
    auto form = Start();
    EXPECT_FALSE(form->Actions().SilenceAction->isChecked());
    EXPECT_TRUE(form->Actions().AffiliateAction->isChecked()) << "truth values in any letter case";
    const TTellamoMainForm unstored(mCat,
                                    AudioServices{mPort, mPoster, mDocuments.File("PLAY2.TMP")});
    EXPECT_EQ(NamedChild<QTableView>(*form, "RxDBGrid")
                  .horizontalHeader()
                  ->sectionSize(NoteListModel::StartColumn),
              NamedChild<QTableView>(unstored, "RxDBGrid")
                  .horizontalHeader()
                  ->sectionSize(NoteListModel::StartColumn))
        << "as if no width were stored";
    EXPECT_EQ(NamedChild<QTableView>(*form, "RxDBGrid")
                  .horizontalHeader()
                  ->logicalIndex(NoteListModel::FillerColumn),
              NoteListModel::FillerColumn)
        << "the filler stays last whatever the file says";
}

} // namespace
} // namespace tellamo::test
