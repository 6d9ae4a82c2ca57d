#include <vector>

#include <QAction>
#include <QIcon>
#include <QImage>
#include <QSlider>
#include <QTableView>
#include <QToolBar>
#include <QTreeView>

#include "MainWindowFixture.h"
#include "mainwindow/NoteListModel.h"

namespace tellamo::test {
namespace {

class ActionStates : public MainWindowFixture {
protected:
    ActionStates() {
        mForm.Actions().AskDescriptionAction->setChecked(false);
        mForm.Options().SampleRate = 8000;
        mForm.Options().SixteenBit = false;
    }
    // Which of these actions are enabled, as "Name" or "-Name".
    std::string States(std::initializer_list<QAction*> actions) {
        mForm.ActionListUpdate();
        QStringList out;
        for (QAction* action : actions) {
            out << (action->isEnabled() ? "" : "-") + action->objectName().chopped(6);
        }
        return out.join(' ').toStdString();
    }
};

// Renaming is disabled while recording, as the rules of both commands say ("not recording"),
// with the list and the tree they act on disabled too.
TEST_F(ActionStates, WhileRecordingOnlyPauseAndStop) {
    const MainActions& a = mForm.Actions();
    FolderNode* work = mCat.AddFolder(mCat.NotesNode(), "Work");
    WriteFileBytes(Folder() + "000001.wav", "RIFF");
    mCat.AddFoundNote(work, "000001", 0, 8000, 8);
    mCat.SelectFolder(work);
    mForm.DictaphonePart().RecordActionExecute();
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdRecording);
    EXPECT_EQ(
        States({a.PlayAction, a.PauseAction, a.StopAction, a.RecordAction, a.RenameNoteAction,
                a.RenameFolderAction, a.OptionsAction, a.DeleteNoteAction, a.AddFolderAction}),
        "-Play Pause Stop -Record -RenameNote -RenameFolder -Options -DeleteNote -AddFolder");
    EXPECT_FALSE(NamedChild<QTableView>(mForm, "RxDBGrid").isEnabled());
    EXPECT_FALSE(NamedChild<QTreeView>(mForm, "TreeView").isEnabled());
    EXPECT_FALSE(NamedChild<QSlider>(mForm, "PositionRxSlider").isEnabled());
    mForm.DictaphonePart().StopActionExecute();
    mForm.ActionListUpdate();
    EXPECT_TRUE(NamedChild<QTableView>(mForm, "RxDBGrid").isEnabled());
    EXPECT_TRUE(NamedChild<QTreeView>(mForm, "TreeView").isEnabled());
}

TEST_F(ActionStates, PlayNeedsTheNotesSoundAndParentFolderNeedsAffiliatedNotes) {
    const MainActions& a = mForm.Actions();
    NoteRecord* note = mCat.AddFoundNote(mCat.NotesNode(), "000002", 0, 8000, 8);
    mCat.Notes().SetCurrent(note);
    EXPECT_EQ(States({a.PlayAction, a.ParentFolderAction, a.SaveAsFileAction}),
              "-Play -ParentFolder SaveAsFile");
    WriteFileBytes(Folder() + "000002.wav", "RIFF");
    a.AffiliateAction->trigger();
    EXPECT_EQ(States({a.PlayAction, a.ParentFolderAction}), "Play ParentFolder");
}

TEST_F(ActionStates, GlyphBorderSwapsBothToolbarsPictures) {
    const auto picture = [](const QAction* action) {
        return action->icon().pixmap(QSize(24, 24)).toImage();
    };
    mForm.ActionListUpdate();
    const QImage plain = picture(mForm.Actions().PlayAction);
    ASSERT_FALSE(plain.isNull());
    mForm.Actions().BorderAction->trigger();
    mForm.ActionListUpdate();
    EXPECT_NE(picture(mForm.Actions().PlayAction), plain)
        << "the border did not change the picture";
    const QImage bordered = picture(mForm.Actions().FilterAction);
    mForm.Actions().FilterAction->trigger(); // a toggle button shows the picture of its state
    mForm.ActionListUpdate();
    EXPECT_NE(picture(mForm.Actions().FilterAction), bordered)
        << "the pressed toggle looks like the released one";
    mForm.Actions().FilterAction->trigger();
    mForm.Actions().BorderAction->trigger();
    mForm.ActionListUpdate();
    EXPECT_EQ(picture(mForm.Actions().PlayAction), plain) << "the border did not go again";
    EXPECT_NE(picture(mForm.Actions().FilterAction), bordered);
}

// With no sound-settings program on the PATH, Audio Settings... and the volume control say so
// once, naming what they looked for, instead of doing nothing.
TEST_F(ActionStates, SoundToolsThatAreNotInstalledAreNamed) {
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(mDocuments.Path()));
    std::vector<QStringList> said;
    for (QAction* action :
         {mForm.Actions().AudioSettingsAction, mForm.Actions().VolumeControlAction}) {
        mMessages.clear();
        action->trigger();
        said.push_back(mMessages);
    }
    qputenv("PATH", oldPath);
    for (const QStringList& messages : said) {
        ASSERT_EQ(messages.size(), 1);
        EXPECT_TRUE(messages[0].contains("pavucontrol") &&
                    messages[0].contains("gnome-control-center"))
            << messages[0].toStdString();
    }
}

} // namespace
} // namespace tellamo::test
