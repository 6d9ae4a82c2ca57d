#include "mainwindow/MainActions.h"

#include <QAction>
#include <QMenu>

namespace tellamo {

namespace {
enum Check { NotCheckable, Unchecked, Checked };

struct ActionDef {
    QAction* MainActions::*Member;
    const char* Name;
    const char* Category;
    const char* Caption;
    const char* Hint;
    Check CheckMark;
};

#define TELLAMO_ACTION(name) &MainActions::name, #name
const ActionDef Definitions[] = {
    {TELLAMO_ACTION(SaveAsFileAction), "File", "Save &As...", "", NotCheckable},
    {TELLAMO_ACTION(SendByEMailAction), "File", "Send By E-&Mail", "", NotCheckable},
    {TELLAMO_ACTION(ExitAction), "File", "E&xit", "", NotCheckable},
    {TELLAMO_ACTION(AddFolderAction), "Folder", "&Add", "", NotCheckable},
    {TELLAMO_ACTION(RenameFolderAction), "Folder", "Re&name", "", NotCheckable},
    {TELLAMO_ACTION(DeleteFolderAction), "Folder", "&Delete", "", NotCheckable},
    {TELLAMO_ACTION(ClearTrashAction), "Folder", "&Clear Recycle Bin", "", NotCheckable},
    {TELLAMO_ACTION(PlayAction), "Note", "&Play", "Play", NotCheckable},
    {TELLAMO_ACTION(PauseAction), "Note", "P&ause", "Pause", Unchecked},
    {TELLAMO_ACTION(StopAction), "Note", "&Stop", "Stop", NotCheckable},
    {TELLAMO_ACTION(RecordAction), "Note", "&Record", "Record", NotCheckable},
    {TELLAMO_ACTION(RenameNoteAction), "Note", "&Rename", "", NotCheckable},
    {TELLAMO_ACTION(MoveNoteAction), "Note", "&Move to Folder...", "", NotCheckable},
    {TELLAMO_ACTION(ParentFolderAction), "Note", "Parent &Folder", "", NotCheckable},
    {TELLAMO_ACTION(DeleteNoteAction), "Note", "&Delete", "", NotCheckable},
    {TELLAMO_ACTION(PlayPauseAction), "Note", "Play/Pa&use", "", NotCheckable},
    {TELLAMO_ACTION(SkipBackAction), "Note", "Skip &Back", "Skip back", NotCheckable},
    {TELLAMO_ACTION(SkipForwardAction), "Note", "Skip F&orward", "Skip forward", NotCheckable},
    {TELLAMO_ACTION(SlowerAction), "Note", "S&lower", "", NotCheckable},
    {TELLAMO_ACTION(FasterAction), "Note", "Fas&ter", "", NotCheckable},
    {TELLAMO_ACTION(NormalSpeedAction), "Note", "&Normal Speed", "", NotCheckable},
    {TELLAMO_ACTION(DictaphoneToolBarAction), "View", "&Dictaphone", "", Checked},
    {TELLAMO_ACTION(FilterToolBarAction), "View", "&Filter", "", Unchecked},
    {TELLAMO_ACTION(DescriptionColumnAction), "View", "D&escription", "", Checked},
    {TELLAMO_ACTION(StartColumnAction), "View", "S&tart", "", Checked},
    {TELLAMO_ACTION(DurationColumnAction), "View", "&Duration", "", Checked},
    {TELLAMO_ACTION(BitsColumnAction), "View", "&Bits", "", Unchecked},
    {TELLAMO_ACTION(HertzColumnAction), "View", "&Hertz", "", Unchecked},
    {TELLAMO_ACTION(SizeColumnAction), "View", "&Size", "", Unchecked},
    {TELLAMO_ACTION(MenuFolderAction), "View", "&Folder", "", Unchecked},
    {TELLAMO_ACTION(MenuNoteAction), "View", "&Note", "", Unchecked},
    {TELLAMO_ACTION(BorderAction), "View", "Glyph &border", "", Unchecked},
    {TELLAMO_ACTION(GraphPanelAction), "View", "&Graph", "View Graph", Checked},
    {TELLAMO_ACTION(FilterTextAction), "View", "F&ilter Text", "", NotCheckable},
    {TELLAMO_ACTION(TranscriptPaneAction), "View", "T&ranscript", "View Transcript", Checked},
    {TELLAMO_ACTION(CopyTranscriptAction), "View", "Copy &Transcript", "", NotCheckable},
    {TELLAMO_ACTION(BiDirectionalAction), "Options", "Bi-&directional graph",
     "Bi-directional graph", Checked},
    {TELLAMO_ACTION(AffiliateAction), "Options", "&Affiliated notes",
     "Show notes from affiliated folders", Unchecked},
    {TELLAMO_ACTION(FilterAction), "Options", "&Filter", "Filter notes", Unchecked},
    {TELLAMO_ACTION(CaseInSensitiveAction), "Options", "Case &Insensitive", "Case insensitive",
     Unchecked},
    {TELLAMO_ACTION(SpokenWordsAction), "Options", "Search &spoken words", "Search spoken words",
     Unchecked},
    {TELLAMO_ACTION(AskDescriptionAction), "Options", "&Enter description before recording",
     "Enter description before recording", Checked},
    {TELLAMO_ACTION(SilenceAction), "Options", "&Stop record when silence",
     "Voice Operated System\nStop record when silence", Unchecked},
    {TELLAMO_ACTION(SoundNotificationAction), "Options", "Start/Stop &notification",
     "Sound notification about Start/Stop", Unchecked},
    {TELLAMO_ACTION(MuteAction), "Options", "&Mute", "Mute", Unchecked},
    {TELLAMO_ACTION(RedrawGraphesAction), "Options", "&Redraw graphs",
     "Redraw old graphes by changed colors", Unchecked},
    {TELLAMO_ACTION(MinimizeToTrayAction), "Options", "Minimize to &tray",
     "Move icon to system tray when minimized", Unchecked},
    {TELLAMO_ACTION(RecordHotkeyAction), "Options", "Record Hotkey", "Record Hotkey Enabled",
     Unchecked},
    {TELLAMO_ACTION(StopHotkeyAction), "Options", "Stop Hotkey", "Stop Hotkey Enabled", Unchecked},
    {TELLAMO_ACTION(AutoLaunchAction), "Options", "&Launch at login", "", Unchecked},
    {TELLAMO_ACTION(AskFormatAction), "Options", "Ask about &format before Send/Save", "", Checked},
    {TELLAMO_ACTION(RecycleRecordAction), "Options", "&Recycle Bin record confirmation", "",
     Checked},
    // On only where the speech model is installed: the composition root decides at start-up.
    {TELLAMO_ACTION(TranscribeAction), "Options", "Transcribe notes (English)", "", Unchecked},
    {TELLAMO_ACTION(PauseTranscriptionAction), "Options", "&Pause transcription",
     "Pause transcription", Unchecked},
    {TELLAMO_ACTION(OptionsAction), "Tools", "&Options...", "Options", NotCheckable},
    {TELLAMO_ACTION(AudioSettingsAction), "Tools", "&Audio Settings...", "", NotCheckable},
    {TELLAMO_ACTION(VolumeControlAction), "Tools", "&Volume Control...", "Volume Control",
     NotCheckable},
    {TELLAMO_ACTION(RestoreNotesAction), "Tools", "&Restore Notes", "", NotCheckable},
    {TELLAMO_ACTION(RestoreBackupAction), "Tools", "Restore Catalogue From &Backup...", "",
     NotCheckable},
    {TELLAMO_ACTION(TopicsAction), "Help", "&Contents...", "", NotCheckable},
    {TELLAMO_ACTION(AboutAction), "Help", "&About...", "", NotCheckable},
};
#undef TELLAMO_ACTION
} // namespace

void MainActions::Create(QObject* owner) {
    for (const ActionDef& def : Definitions) {
        auto* action = new QAction(QString::fromUtf8(def.Caption), owner);
        action->setObjectName(QString::fromLatin1(def.Name));
        action->setProperty("category", QString::fromLatin1(def.Category));
        if (*def.Hint) {
            action->setToolTip(QString::fromUtf8(def.Hint));
            action->setStatusTip(QString::fromUtf8(def.Hint).section('\n', -1));
        }
        if (def.CheckMark != NotCheckable) {
            action->setCheckable(true);
            action->setChecked(def.CheckMark == Checked);
        }
        this->*(def.Member) = action;
    }
}

QList<QAction*> MainActions::All() const {
    QList<QAction*> all;
    for (const ActionDef& def : Definitions) {
        all << this->*(def.Member);
    }
    return all;
}

void FillFolderMenu(QMenu& menu, const MainActions& a) {
    menu.addActions({a.AddFolderAction, a.RenameFolderAction});
    menu.addSeparator();
    menu.addAction(a.DeleteFolderAction);
    menu.addSeparator();
    menu.addAction(a.ClearTrashAction);
}

void FillNoteMenu(QMenu& menu, const MainActions& a) {
    menu.addActions({a.PlayAction, a.PauseAction, a.StopAction, a.RecordAction});
    menu.addSeparator();
    menu.addActions({a.PlayPauseAction, a.SkipBackAction, a.SkipForwardAction});
    menu.addActions({a.SlowerAction, a.FasterAction, a.NormalSpeedAction});
    menu.addSeparator();
    menu.addAction(a.RenameNoteAction);
    menu.addAction(a.MoveNoteAction);
    menu.addSeparator();
    menu.addAction(a.ParentFolderAction);
    menu.addSeparator();
    menu.addAction(a.DeleteNoteAction);
}

} // namespace tellamo
