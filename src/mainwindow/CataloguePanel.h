#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

#include <QObject>
#include <QPointer>
#include <QString>

#include "mainwindow/FolderTreeView.h"

class QLineEdit;
class QMenu;
class QTableView;
class QToolBar;
class QWidget;

namespace tellamo {

class Catalogue;
class FormStorage;
struct FolderNode;
struct NoteRecord;
struct MainActions;
class NoteListModel;
class SearchIndex;
class TDescriptionForm;

// What the catalogue part asks of the window around it.
class CatalogueHost {
public:
    virtual ~CatalogueHost() = default;
    // After a change of folders or notes.
    virtual void SaveCatalogue() = 0;
    // Shows the outcome of a save made elsewhere (its error text, empty for success).
    virtual void ShowSaveResult(const QString& error) = 0;
};

// The catalogue part of the main window: the folder tree ("TreeView"), the note list
// ("RxDBGrid") with its columns, their pop-up menus, the filter text of the filter toolbar, and
// the commands on folders and notes.
class CataloguePanel : public QObject {
    Q_OBJECT
public:
    // Fills filterBar (the window's "FilterToolBar") and creates the tree and the list as
    // children of window, for the window to place.
    CataloguePanel(QWidget& window, QToolBar& filterBar, Catalogue& catalogue, MainActions& actions,
                   CatalogueHost& host);
    ~CataloguePanel() override;

    FolderTreeView* Tree() const { return mTreeView; }
    QTableView* NoteGrid() const { return mRxDBGrid; }
    NoteListModel* NoteList() const { return mNoteModel; }
    void SetDescriptionForm(TDescriptionForm* form) { mDescriptionForm = form; }

    // The action-state update's part: the list's columns shown as their actions say, the tree,
    // the list and the filter text usable only while the dictaphone is idle.
    void UpdateStates(bool idle);
    // Shows the notes that pass the filter options as they are checked now (the selected
    // folder, affiliated notes, the filter text and its case).
    void ApplyNoteFilter();
    // The search index of the transcripts that "Search spoken words" reads (the worker keeps it
    // up to date); until one is set, or while it cannot be read, only descriptions are searched.
    void SetSearchIndexPath(std::string path);
    // The index has changed: a search by spoken words is made again, the selection kept.
    void SearchIndexChanged();
    // The words the filter looks for now (empty while the text filter is off).
    QString FilterWords() const;
    // The folders' pictures show the options as they are now.
    void RepaintFolders();
    // The tree and the list take input (or, while a note plays, none).
    void SetBrowsingEnabled(bool enabled);
    // The note list greyed while a graph is built.
    void SetNoteListBusy(bool busy);
    // The list's columns in the settings file: their order and widths, "index,width".
    void AddColumnSettings(FormStorage& store);

    void AddFolderActionExecute();
    void RenameFolderActionExecute();
    void DeleteFolderActionExecute();
    void ClearTrashActionExecute();
    void ParentFolderActionExecute();
    // Dragging over and dropping on the folder tree: a folder within the tree, or the note
    // list's rows onto a folder.
    bool TreeViewDragOver(DragSource source, FolderNode* dragged, FolderNode* target) const;
    void TreeViewDragDrop(DragSource source, FolderNode* dragged, FolderNode* target, bool onLabel);
    void EnsureSelection();
    void RenameNoteActionExecute();
    // Moves the selected notes (or the current one) to a folder chosen from a list: the
    // keyboard's way to do what dragging them onto the tree does.
    void MoveNoteActionExecute();
    // Shows the filter bar and puts the focus in the filter text, with the filter on.
    void FilterTextActionExecute();
    void DeleteNoteActionExecute();
    // Brings the storage folder's WAV files that no note uses back as notes in a new folder
    // "Found"; files it passes over or cannot read are reported in one box.
    void RestoreNotesActionExecute();
    // Lists the catalogue's backups with their dates and note counts and, once the user has
    // chosen one and confirmed, puts it in place of the catalogue.
    void RestoreBackupActionExecute();
    // A click on a column title: sorts by the clicked field in front of the earlier ones.
    void TitleClick(int column);
    // The sort fields of the title clicks so far, "Start;Duration;".
    const QString& SortFields() const { return mSortFields; }

signals:
    // The filter's words or options changed (the transcript pane marks the words).
    void FilterChanged();

private:
    // What a search by spoken words was made with: a later one whose every word begins with one
    // of its words, in the same folders and on the same notes of the index, can only find
    // fewer notes.
    struct SpokenSearch {
        std::vector<std::string> Wanted; // the typed words, as the search compares them
        const FolderNode* Folder = nullptr;
        bool Affiliate = false;
        std::uint64_t IndexOpening = 0; // which opening of the index answered; 0: none did
        std::optional<std::int64_t> IndexVersion; // none: the index changed during the search
        bool Narrows(const SpokenSearch& before) const;
    };

    void CreateViews();
    // ApplyNoteFilter; typedFurther when only the filter text has changed, so that a search by
    // spoken words that extends the last one need only ask the notes shown.
    void RefilterNotes(bool typedFurther);
    // The notes whose transcript or description holds every typed word, for the filter; search
    // says what it was made with (none when nothing was typed).
    std::function<bool(const NoteRecord&)> SpokenWordsMatch(const QString& typed,
                                                            std::optional<SpokenSearch>& search);
    SearchIndex* OpenSearchIndex();
    void CreatePopupMenus();
    void ConnectSelection();
    void ConnectCommands();
    // Sizes the note list's columns (not the filler) to their longest texts in the window's
    // font, never below their design widths; the result is kept in mFittedColumnWidths.
    void FitColumns();
    bool TreeViewEdited(FolderNode* folder, const QString& name);
    // The focus of a list or tree that is disabled for a while (playback, recording, a graph
    // being built) is remembered, and given back once it is enabled again.
    void KeepFocusWhileDisabled();
    void RestoreFocusAfterDisabled();

    QWidget& mWindow;
    Catalogue& mCat;
    MainActions& mActions;
    CatalogueHost& mHost;
    TDescriptionForm* mDescriptionForm = nullptr;

    // Components, named as the settings and translation files address them.
    QToolBar* mFilterBar = nullptr;
    QLineEdit* mFilterEdit = nullptr;
    FolderTreeView* mTreeView = nullptr;
    QTableView* mRxDBGrid = nullptr;
    NoteListModel* mNoteModel = nullptr;
    QMenu* mFolderPopupMenu = nullptr;
    QMenu* mNotePopupMenu = nullptr;

    // Read on the window thread only; the worker writes through a connection of its own.
    std::string mIndexPath;
    std::unique_ptr<SearchIndex> mIndex;
    dev_t mIndexDevice = 0; // the file mIndex has open: a rebuilt index is another file
    ino_t mIndexInode = 0;
    std::uint64_t mIndexOpenings = 0;
    // The search by spoken words that the list shows now, if it shows one.
    std::optional<SpokenSearch> mShownSpokenSearch;

    QString mSortFields;
    std::int64_t mLastTitleClickTime = 0; // ms of a monotonic clock; 0 at start
    // Set while the list and the table bring each other's selection (or the header its
    // sections) in line, so that the change does not echo back.
    bool mSyncingSelection = false;
    // Each column's width as last shown (a hidden column reports none).
    std::vector<int> mColumnWidths;
    std::vector<int> mFittedColumnWidths;
    // The list or tree that had the focus when it was disabled.
    QPointer<QWidget> mFocusBeforeDisabled;
};

} // namespace tellamo
