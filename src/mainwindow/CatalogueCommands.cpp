// The catalogue part's commands on folders and notes, and its keys, drags and title clicks.

#include <algorithm>
#include <optional>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QTableView>
#include <QToolBar>
#include <QTreeView>

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueBackups.h"
#include "catalogue/NoteSort.h"
#include "catalogue/RestoreNotes.h"
#include "common/Errors.h"
#include "common/Translate.h"
#include "dialogs/TDescriptionForm.h"
#include "dictaphone/NoteWaveHeader.h"
#include "mainwindow/CataloguePanel.h"
#include "mainwindow/MainActions.h"
#include "mainwindow/Messages.h"
#include "mainwindow/NoteListModel.h"

namespace tellamo {

namespace {
std::int64_t TickCount() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed() + 1; // never 0, which means "no click yet"
}

// Keys of the note list: Delete deletes, F2 renames, Enter plays (each when its action allows).
class NoteListKeys : public QObject {
public:
    NoteListKeys(QObject* parent, const MainActions& actions)
        : QObject(parent), mActions(actions) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        QAction* action = nullptr;
        switch (key->key()) {
        case Qt::Key_Delete:
            action = mActions.DeleteNoteAction;
            break;
        case Qt::Key_F2:
            action = mActions.RenameNoteAction;
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            action = mActions.PlayAction;
            break;
        default:
            return false;
        }
        if (action->isEnabled()) {
            action->trigger();
        }
        return true;
    }

private:
    const MainActions& mActions;
};

// A right-button press on a folder selects it first, so that its menu acts on it.
class TreeRightClick : public QObject {
public:
    TreeRightClick(QTreeView* tree) : QObject(tree), mTree(tree) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::RightButton) {
                const QModelIndex index = mTree->indexAt(mouse->position().toPoint());
                if (index.isValid()) {
                    mTree->setCurrentIndex(index);
                }
            }
        }
        return false;
    }

private:
    QTreeView* mTree;
};

// Escape in the filter text leaves it: the text is cleared and the focus goes back to the list.
class FilterEditKeys : public QObject {
public:
    FilterEditKeys(QLineEdit* edit, QWidget* list) : QObject(edit), mEdit(edit), mList(list) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress ||
            static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape ||
            static_cast<QKeyEvent*>(event)->modifiers() != Qt::NoModifier) {
            return false;
        }
        mEdit->clear();
        mList->setFocus(Qt::ShortcutFocusReason);
        return true;
    }

private:
    QLineEdit* mEdit;
    QWidget* mList;
};

// The folder's place in the tree as a line of a list: its names from the top, "Notes / Work".
void AddFolderLines(const FolderNode& folder, const QString& above, QStringList& lines,
                    std::vector<FolderNode*>& folders) {
    const QString line = above.isEmpty() ? QString::fromUtf8(folder.Name)
                                         : above + " / " + QString::fromUtf8(folder.Name);
    lines << line;
    folders.push_back(const_cast<FolderNode*>(&folder));
    for (const auto& child : folder.Children) {
        AddFolderLines(*child, line, lines, folders);
    }
}
} // namespace

void CataloguePanel::ConnectCommands() {
    const MainActions& a = mActions;
    ConnectCommand(a.AddFolderAction, &mWindow, [this] { AddFolderActionExecute(); });
    ConnectCommand(a.RenameFolderAction, &mWindow, [this] { RenameFolderActionExecute(); });
    ConnectCommand(a.DeleteFolderAction, &mWindow, [this] { DeleteFolderActionExecute(); });
    ConnectCommand(a.ClearTrashAction, &mWindow, [this] { ClearTrashActionExecute(); });
    ConnectCommand(a.ParentFolderAction, &mWindow, [this] { ParentFolderActionExecute(); });
    ConnectCommand(a.RenameNoteAction, &mWindow, [this] { RenameNoteActionExecute(); });
    ConnectCommand(a.MoveNoteAction, &mWindow, [this] { MoveNoteActionExecute(); });
    ConnectCommand(a.FilterTextAction, &mWindow, [this] { FilterTextActionExecute(); });
    ConnectCommand(a.DeleteNoteAction, &mWindow, [this] { DeleteNoteActionExecute(); });
    ConnectCommand(a.RestoreNotesAction, &mWindow, [this] { RestoreNotesActionExecute(); });
    ConnectCommand(a.RestoreBackupAction, &mWindow, [this] { RestoreBackupActionExecute(); });

    mTreeView->DragOver = [this](DragSource source, FolderNode* dragged, FolderNode* target) {
        return TreeViewDragOver(source, dragged, target);
    };
    mTreeView->DragDrop = [this](DragSource source, FolderNode* dragged, FolderNode* target,
                                 bool onLabel) {
        RunCommand(&mWindow, [=, this] { TreeViewDragDrop(source, dragged, target, onLabel); });
    };
    mCat.Folders().RenameHandler = [this](FolderNode* folder, const QString& name) {
        return TreeViewEdited(folder, name);
    };
    mTreeView->viewport()->installEventFilter(new TreeRightClick(mTreeView));
    mRxDBGrid->installEventFilter(new NoteListKeys(mRxDBGrid, mActions));
    mFilterEdit->installEventFilter(new FilterEditKeys(mFilterEdit, mRxDBGrid));

    // The list's row selection is the note table's multi-selection.
    connect(mRxDBGrid->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (mSyncingSelection) {
            return;
        }
        mSyncingSelection = true;
        mCat.Notes().ClearSelection();
        for (const QModelIndex& row : mRxDBGrid->selectionModel()->selectedRows()) {
            mCat.Notes().SetSelected(mNoteModel->RecordAt(row.row()), true);
        }
        mSyncingSelection = false;
    });
    connect(&mCat.Notes(), &NoteTable::SelectionChanged, this, [this] {
        if (mSyncingSelection) {
            return;
        }
        mSyncingSelection = true;
        QItemSelection selection;
        for (const NoteRecord* note : mCat.Notes().Selection()) {
            if (note->ShownRow >= 0) {
                selection.select(mNoteModel->index(note->ShownRow, 0),
                                 mNoteModel->index(note->ShownRow, NoteListModel::ColumnCount - 1));
            }
        }
        mRxDBGrid->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
        mSyncingSelection = false;
    });

    mRxDBGrid->horizontalHeader()->setSectionsClickable(true);
    connect(mRxDBGrid->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int logical) {
        RunCommand(&mWindow, [this, logical] { TitleClick(logical); });
    });
    connect(mRxDBGrid, &QAbstractItemView::doubleClicked, this, [this] {
        if (mActions.PlayAction->isEnabled() && TickCount() > mLastTitleClickTime + 500) {
            mActions.PlayAction->trigger();
        }
    });
    // The filler column stays last: a move from or onto its place is moved straight back.
    connect(mRxDBGrid->horizontalHeader(), &QHeaderView::sectionMoved, this,
            [this](int, int from, int to) {
                const int fillerPlace = NoteListModel::FillerColumn;
                if (mSyncingSelection || (from != fillerPlace && to != fillerPlace)) {
                    return;
                }
                mSyncingSelection = true;
                mRxDBGrid->horizontalHeader()->moveSection(to, from);
                mSyncingSelection = false;
            });
}

bool CataloguePanel::TreeViewEdited(FolderNode* folder, const QString& name) {
    const QString problem = Catalogue::FolderNameProblem(name);
    if (!problem.isEmpty()) {
        ShowErrorBox(&mWindow, problem);
        return false;
    }
    mCat.RenameFolder(folder, name);
    mHost.SaveCatalogue();
    return true;
}

void CataloguePanel::AddFolderActionExecute() {
    FolderNode* selected = mCat.SelectedFolder();
    if (!selected) {
        return;
    }
    FolderNode* added = mCat.AddFolder(selected, TranslateText("Folder"));
    const QModelIndex index = mCat.Folders().IndexOf(added);
    mTreeView->expand(index.parent());
    mTreeView->setCurrentIndex(index);
    mHost.SaveCatalogue();
    mTreeView->edit(index);
}

void CataloguePanel::RenameFolderActionExecute() {
    if (mCat.SelectedFolder()) {
        mTreeView->edit(mCat.Folders().IndexOf(mCat.SelectedFolder()));
        mHost.SaveCatalogue();
    }
}

void CataloguePanel::DeleteFolderActionExecute() {
    FolderNode* folder = mCat.SelectedFolder();
    if (!folder || folder->IsRoot()) {
        return;
    }
    if (mCat.IsInsideRecycleBin(folder)) {
        const QString question = TranslateText("Delete") + " " + QString::fromUtf8(folder->Name) +
                                 " " + TranslateText("with all contents?");
        if (!AskConfirmation(&mWindow, question)) {
            return;
        }
        mCat.DeleteFolderForGood(folder);
    } else {
        mCat.MoveFolderToRecycleBin(folder);
        mTreeView->expand(mCat.Folders().IndexOf(mCat.RecycleBinNode()));
    }
    mHost.SaveCatalogue();
}

void CataloguePanel::ClearTrashActionExecute() {
    if (!AskConfirmation(&mWindow, TranslateText("Clear Recycle Bin?"))) {
        return;
    }
    mCat.ClearRecycleBin();
    mHost.SaveCatalogue();
}

void CataloguePanel::ParentFolderActionExecute() {
    if (FolderNode* folder = mCat.NoteFolder()) {
        mCat.SelectFolder(folder);
    }
}

bool CataloguePanel::TreeViewDragOver(DragSource source, FolderNode* dragged,
                                      FolderNode* target) const {
    switch (source) {
    case DragSource::Folder:
        return target && dragged && !dragged->IsRoot() && target != dragged;
    case DragSource::Notes:
        return !mCat.Notes().IsEmpty();
    default:
        return false;
    }
}

void CataloguePanel::TreeViewDragDrop(DragSource source, FolderNode* dragged, FolderNode* target,
                                      bool onLabel) {
    if (!target) {
        return;
    }
    if (source == DragSource::Folder && dragged && onLabel) {
        // A target that is the folder itself or lies below it leaves the tree as it is.
        if (mCat.MoveFolder(dragged, target)) {
            mTreeView->expand(mCat.Folders().IndexOf(target));
            // With the notes of subfolders shown, the moved folder's notes may come into view
            // or leave it.
            ApplyNoteFilter();
        }
    } else if (source == DragSource::Notes && !mCat.Notes().IsEmpty()) {
        EnsureSelection();
        mCat.MoveSelectedNotes(target);
    }
    mHost.SaveCatalogue();
}

void CataloguePanel::EnsureSelection() {
    if (mCat.Notes().Selection().empty() && mCat.Notes().Current()) {
        mCat.Notes().SetSelected(mCat.Notes().Current(), true);
    }
}

void CataloguePanel::RenameNoteActionExecute() {
    mCat.Notes().ClearSelection();
    const NoteRecord* note = mCat.Notes().Current();
    if (!note || !mDescriptionForm ||
        !mDescriptionForm->AskEditDescription(QString::fromUtf8(note->Description))) {
        return;
    }
    mCat.SetNoteDescription(mDescriptionForm->DescriptionEdit->text());
    mHost.SaveCatalogue();
}

void CataloguePanel::MoveNoteActionExecute() {
    if (mCat.Notes().IsEmpty()) {
        return;
    }
    QStringList lines;
    std::vector<FolderNode*> folders;
    for (const auto& root : mCat.Folders().Roots()) {
        AddFolderLines(*root, QString(), lines, folders);
    }
    QInputDialog dialog(&mWindow);
    dialog.setObjectName(QStringLiteral("MoveNoteDialog"));
    dialog.setWindowTitle(TranslateText("Move to Folder"));
    dialog.setLabelText(TranslateText("Move the notes to the folder:"));
    dialog.setComboBoxItems(lines);
    dialog.setComboBoxEditable(false);
    if (auto* box = dialog.findChild<QComboBox*>()) {
        box->setObjectName(QStringLiteral("FolderComboBox"));
        const auto at = std::find(folders.begin(), folders.end(), mCat.SelectedFolder());
        box->setCurrentIndex(at == folders.end() ? 0 : static_cast<int>(at - folders.begin()));
    }
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    // Two folders may have the same names all the way down: the line's place tells them apart.
    const auto* box = dialog.findChild<QComboBox*>();
    const int chosen =
        box ? box->currentIndex() : static_cast<int>(lines.indexOf(dialog.textValue()));
    if (chosen < 0 || chosen >= static_cast<int>(folders.size())) {
        return;
    }
    EnsureSelection();
    mCat.MoveSelectedNotes(folders[static_cast<std::size_t>(chosen)]);
    mHost.SaveCatalogue();
}

void CataloguePanel::FilterTextActionExecute() {
    if (!mActions.FilterToolBarAction->isChecked()) {
        mActions.FilterToolBarAction->setChecked(true);
    }
    mFilterBar->setVisible(true);
    if (!mActions.FilterAction->isChecked()) {
        mActions.FilterAction->trigger(); // the text typed next filters the list
    }
    mFilterEdit->setFocus(Qt::ShortcutFocusReason);
    mFilterEdit->selectAll();
}

void CataloguePanel::DeleteNoteActionExecute() {
    EnsureSelection();
    const FolderNode* selected = mCat.SelectedFolder();
    if (selected != mCat.RecycleBinNode() && !mCat.IsInsideRecycleBin(selected)) {
        mCat.MoveSelectedNotes(mCat.RecycleBinNode());
        mHost.SaveCatalogue();
        return;
    }
    const std::size_t count = mCat.Notes().Selection().size();
    const QString question = count == 1
                                 ? TranslateText("Delete") + " " +
                                       QString::fromUtf8(mCat.Notes().Current()->Description) + "?"
                                 : TranslateText("Delete") + " " + QString::number(count) + " " +
                                       TranslateText("notes?");
    if (!AskConfirmation(&mWindow, question)) {
        return;
    }
    mCat.DeleteSelectedNotes();
    mHost.SaveCatalogue();
}

void CataloguePanel::RestoreNotesActionExecute() {
    // The header is read, never played: nothing is heard and the recorder's format stays as it
    // is, so a restore can run beside a recording.
    const RestoreResult result = RestoreNotes(mCat, ReadNoteWaveHeader);
    mTreeView->expand(mCat.Folders().IndexOf(mCat.NotesNode()));
    mHost.ShowSaveResult(result.SaveError);
    // One closing message: files passed over are information (the rest came back), only a
    // restore that could not run through is an error.
    const QString skipped = result.SkippedText();
    if (!result.Error.isEmpty()) {
        ShowErrorBox(&mWindow, skipped.isEmpty() ? result.Error : result.Error + "\n\n" + skipped);
    } else if (!skipped.isEmpty()) {
        ShowNotice(&mWindow, skipped, TranslateText("Restore Notes"));
    }
}

void CataloguePanel::RestoreBackupActionExecute() {
    const std::vector<CatalogueBackup> backups = ListCatalogueBackups(mCat.Files());
    if (backups.empty()) {
        ShowNotice(&mWindow, TranslateText("There is no backup of the catalogue yet."),
                   TranslateText("Restore Catalogue From Backup"));
        return;
    }
    QStringList items;
    std::vector<bool> readable;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const QLocale locale;
        for (const CatalogueBackup& backup : backups) {
            const std::optional<std::size_t> notes = mCat.NotesInIndexFile(backup.Path);
            readable.push_back(notes.has_value());
            QString count = TranslateText("damaged");
            if (notes) {
                count = *notes == 1 ? TranslateText("1 note")
                                    : TranslateText("%1 notes")
                                          .arg(locale.toString(static_cast<qulonglong>(*notes)));
            }
            QString item = locale.toString(backup.Saved, QLocale::ShortFormat) + "  " + count;
            if (backup.BeforeRestore) {
                item += "  " + TranslateText("(kept before a restore)");
            }
            items << item;
        }
        QApplication::restoreOverrideCursor();
    }
    QInputDialog dialog(&mWindow);
    dialog.setObjectName(QStringLiteral("BackupDialog"));
    dialog.setWindowTitle(TranslateText("Restore Catalogue From Backup"));
    dialog.setLabelText(TranslateText("Backups of the catalogue, newest first:"));
    dialog.setComboBoxItems(items);
    dialog.setComboBoxEditable(false);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const auto chosen = static_cast<std::size_t>(items.indexOf(dialog.textValue()));
    if (chosen >= backups.size()) {
        return;
    }
    const CatalogueBackup& backup = backups[chosen];
    if (!readable[chosen]) {
        ShowErrorBox(&mWindow, TranslateText("This backup cannot be read; choose another one."));
        return;
    }
    if (!AskConfirmation(&mWindow,
                         TranslateText("Replace the catalogue with the backup of %1? The "
                                       "catalogue as it is now is kept in the Backups "
                                       "folder.")
                             .arg(QLocale().toString(backup.Saved, QLocale::ShortFormat)))) {
        return;
    }
    if (const QString problem =
            KeepCatalogueBeforeRestore(mCat.Files(), mCat.FileSys(), QDateTime::currentDateTime());
        !problem.isEmpty()) {
        ShowErrorBox(&mWindow, problem);
        return;
    }
    if (const QString problem = mCat.RestoreFromBackup(backup.Path); !problem.isEmpty()) {
        ShowErrorBox(&mWindow, problem);
        return;
    }
    mHost.SaveCatalogue();
    ApplyNoteFilter();
    mTreeView->expand(mCat.Folders().IndexOf(mCat.NotesNode()));
    ShowNotice(&mWindow,
               TranslateText("The catalogue was restored. Notes recorded after the backup can "
                             "be brought back with Restore Notes."),
               TranslateText("Restore Catalogue From Backup"));
}

void CataloguePanel::TitleClick(int column) {
    mLastTitleClickTime = TickCount();
    const QString field = QString::fromLatin1(NoteListModel::FieldName(column));
    if (field.isEmpty()) {
        return;
    }
    mSortFields = AddSortField(mSortFields, field);
    SortNotes(mCat.Notes(), mSortFields);
}

} // namespace tellamo
