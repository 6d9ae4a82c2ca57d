#pragma once

#include <QList>

class QAction;
class QMenu;
class QObject;

namespace tellamo {

// Every command of the main window is one of these actions, shared by the main menu, the
// pop-up menus, the toolbar buttons and the check boxes of the dialogs. Their object names are
// the names the settings file and translation files use.
struct MainActions {
    // File
    QAction* SaveAsFileAction = nullptr;
    QAction* SendByEMailAction = nullptr;
    QAction* ExitAction = nullptr;
    // Folder
    QAction* AddFolderAction = nullptr;
    QAction* RenameFolderAction = nullptr;
    QAction* DeleteFolderAction = nullptr;
    QAction* ClearTrashAction = nullptr;
    // Note
    QAction* PlayAction = nullptr;
    QAction* PauseAction = nullptr;
    QAction* StopAction = nullptr;
    QAction* RecordAction = nullptr;
    QAction* RenameNoteAction = nullptr;
    QAction* MoveNoteAction = nullptr;
    QAction* ParentFolderAction = nullptr;
    QAction* DeleteNoteAction = nullptr;
    // Note: the dictation player
    QAction* PlayPauseAction = nullptr;
    QAction* SkipBackAction = nullptr;
    QAction* SkipForwardAction = nullptr;
    QAction* SlowerAction = nullptr;
    QAction* FasterAction = nullptr;
    QAction* NormalSpeedAction = nullptr;
    // View
    QAction* DictaphoneToolBarAction = nullptr;
    QAction* FilterToolBarAction = nullptr;
    QAction* DescriptionColumnAction = nullptr;
    QAction* StartColumnAction = nullptr;
    QAction* DurationColumnAction = nullptr;
    QAction* BitsColumnAction = nullptr;
    QAction* HertzColumnAction = nullptr;
    QAction* SizeColumnAction = nullptr;
    QAction* MenuFolderAction = nullptr;
    QAction* MenuNoteAction = nullptr;
    QAction* BorderAction = nullptr;
    QAction* GraphPanelAction = nullptr;
    QAction* FilterTextAction = nullptr;
    QAction* TranscriptPaneAction = nullptr;
    QAction* CopyTranscriptAction = nullptr;
    // Options
    QAction* BiDirectionalAction = nullptr;
    QAction* AffiliateAction = nullptr;
    QAction* FilterAction = nullptr;
    QAction* CaseInSensitiveAction = nullptr;
    QAction* SpokenWordsAction = nullptr;
    QAction* AskDescriptionAction = nullptr;
    QAction* SilenceAction = nullptr;
    QAction* SoundNotificationAction = nullptr;
    QAction* MuteAction = nullptr;
    QAction* RedrawGraphesAction = nullptr;
    QAction* MinimizeToTrayAction = nullptr;
    QAction* RecordHotkeyAction = nullptr;
    QAction* StopHotkeyAction = nullptr;
    QAction* AutoLaunchAction = nullptr;
    QAction* AskFormatAction = nullptr;
    QAction* RecycleRecordAction = nullptr;
    QAction* TranscribeAction = nullptr;
    QAction* PauseTranscriptionAction = nullptr;
    // Tools
    QAction* OptionsAction = nullptr;
    QAction* AudioSettingsAction = nullptr;
    QAction* VolumeControlAction = nullptr;
    QAction* RestoreNotesAction = nullptr;
    QAction* RestoreBackupAction = nullptr;
    // Help
    QAction* TopicsAction = nullptr;
    QAction* AboutAction = nullptr;

    // Creates every action as a child of owner with its object name, caption, hint, category
    // (the property "category") and first-run check mark. Actions whose only work is to flip
    // their check mark are checkable and need no handler.
    void Create(QObject* owner);
    QList<QAction*> All() const;
};

// The Folder menu's items, the same in the main menu and the folder tree's pop-up menu.
void FillFolderMenu(QMenu& menu, const MainActions& actions);
// The Note menu's items, the same in the main menu and the note list's pop-up menu.
void FillNoteMenu(QMenu& menu, const MainActions& actions);

} // namespace tellamo
