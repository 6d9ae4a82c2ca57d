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
        Form.Actions().AskDescriptionAction->setChecked(false);
        Form.Options().SampleRate = 8000;
        Form.Options().SixteenBit = false;
    }
    // Which of these actions are enabled, as "Name" or "-Name".
    std::string States(std::initializer_list<QAction*> actions) {
        Form.ActionListUpdate();
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
    const MainActions& a = Form.Actions();
    FolderNode* work = Cat.AddFolder(Cat.NotesNode(), "Work");
    WriteFileBytes(Folder() + "000001.wav", "RIFF");
    Cat.AddFoundNote(work, "000001", 0, 8000, 8);
    Cat.SelectFolder(work);
    Form.DictaphonePart().RecordActionExecute();
    ASSERT_EQ(Form.Mode(), TDictaphoneMode::mdRecording);
    EXPECT_EQ(
        States({a.PlayAction, a.PauseAction, a.StopAction, a.RecordAction, a.RenameNoteAction,
                a.RenameFolderAction, a.OptionsAction, a.DeleteNoteAction, a.AddFolderAction}),
        "-Play Pause Stop -Record -RenameNote -RenameFolder -Options -DeleteNote -AddFolder");
    EXPECT_FALSE(NamedChild<QTableView>(Form, "RxDBGrid").isEnabled());
    EXPECT_FALSE(NamedChild<QTreeView>(Form, "TreeView").isEnabled());
    EXPECT_FALSE(NamedChild<QSlider>(Form, "PositionRxSlider").isEnabled());
    Form.DictaphonePart().StopActionExecute();
    Form.ActionListUpdate();
    EXPECT_TRUE(NamedChild<QTableView>(Form, "RxDBGrid").isEnabled());
    EXPECT_TRUE(NamedChild<QTreeView>(Form, "TreeView").isEnabled());
}

TEST_F(ActionStates, PlayNeedsTheNotesSoundAndParentFolderNeedsAffiliatedNotes) {
    const MainActions& a = Form.Actions();
    NoteRecord* note = Cat.AddFoundNote(Cat.NotesNode(), "000002", 0, 8000, 8);
    Cat.Notes().SetCurrent(note);
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
    Form.ActionListUpdate();
    const QImage plain = picture(Form.Actions().PlayAction);
    ASSERT_FALSE(plain.isNull());
    Form.Actions().BorderAction->trigger();
    Form.ActionListUpdate();
    EXPECT_NE(picture(Form.Actions().PlayAction), plain) << "the border did not change the picture";
    const QImage bordered = picture(Form.Actions().FilterAction);
    Form.Actions().FilterAction->trigger(); // a toggle button shows the picture of its state
    Form.ActionListUpdate();
    EXPECT_NE(picture(Form.Actions().FilterAction), bordered)
        << "the pressed toggle looks like the released one";
    Form.Actions().FilterAction->trigger();
    Form.Actions().BorderAction->trigger();
    Form.ActionListUpdate();
    EXPECT_EQ(picture(Form.Actions().PlayAction), plain) << "the border did not go again";
    EXPECT_NE(picture(Form.Actions().FilterAction), bordered);
}

// With no sound-settings program on the PATH, Audio Settings... and the volume control say so
// once, naming what they looked for, instead of doing nothing.
TEST_F(ActionStates, SoundToolsThatAreNotInstalledAreNamed) {
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(Documents.Path()));
    std::vector<QStringList> said;
    for (QAction* action :
         {Form.Actions().AudioSettingsAction, Form.Actions().VolumeControlAction}) {
        Messages.clear();
        action->trigger();
        said.push_back(Messages);
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
