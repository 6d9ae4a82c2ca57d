// The folder tree's and the note list's commands of the main window.

#include <optional>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QTableView>
#include <QTreeView>

#include "audio/WavFormat.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueBackups.h"
#include "catalogue/NoteSort.h"
#include "catalogue/RestoreNotes.h"
#include "common/Errors.h"
#include "common/Translate.h"
#include "dialogs/TDescriptionForm.h"
#include "dialogs/TOptionsForm.h"
#include "mainwindow/Messages.h"
#include "mainwindow/NoteListModel.h"
#include "mainwindow/TellamoMainForm.h"

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
    NoteListKeys(QObject* parent, const MainActions& actions) : QObject(parent), Actions(actions) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        QAction* action = nullptr;
        switch (key->key()) {
        case Qt::Key_Delete:
            action = Actions.DeleteNoteAction;
            break;
        case Qt::Key_F2:
            action = Actions.RenameNoteAction;
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            action = Actions.PlayAction;
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
    const MainActions& Actions;
};

// A right-button press on a folder selects it first, so that its menu acts on it.
class TreeRightClick : public QObject {
public:
    TreeRightClick(QTreeView* tree) : QObject(tree), Tree(tree) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::RightButton) {
                const QModelIndex index = Tree->indexAt(mouse->position().toPoint());
                if (index.isValid()) {
                    Tree->setCurrentIndex(index);
                }
            }
        }
        return false;
    }

private:
    QTreeView* Tree;
};
} // namespace

void TTellamoMainForm::ConnectFoldersAndNotes() {
    const MainActions& a = Actions;
    ConnectCommand(a.AddFolderAction, this, [this] { AddFolderActionExecute(); });
    ConnectCommand(a.RenameFolderAction, this, [this] { RenameFolderActionExecute(); });
    ConnectCommand(a.DeleteFolderAction, this, [this] { DeleteFolderActionExecute(); });
    ConnectCommand(a.ClearTrashAction, this, [this] { ClearTrashActionExecute(); });
    ConnectCommand(a.ParentFolderAction, this, [this] { ParentFolderActionExecute(); });
    ConnectCommand(a.RenameNoteAction, this, [this] { RenameNoteActionExecute(); });
    ConnectCommand(a.DeleteNoteAction, this, [this] { DeleteNoteActionExecute(); });
    ConnectCommand(a.RestoreNotesAction, this, [this] { RestoreNotesActionExecute(); });
    ConnectCommand(a.RestoreBackupAction, this, [this] { RestoreBackupActionExecute(); });
    ConnectCommand(a.OptionsAction, this, [this] {
        if (OptionsForm) {
            OptionsForm->exec();
            OptionsForm->ApplyHotKeys(false);
        }
    });

    TreeView->DragOver = [this](DragSource source, FolderNode* dragged, FolderNode* target) {
        return TreeViewDragOver(source, dragged, target);
    };
    TreeView->DragDrop = [this](DragSource source, FolderNode* dragged, FolderNode* target,
                                bool onLabel) {
        RunCommand(this, [=, this] { TreeViewDragDrop(source, dragged, target, onLabel); });
    };
    Cat.Folders().RenameHandler = [this](FolderNode* folder, const QString& name) {
        return TreeViewEdited(folder, name);
    };
    TreeView->viewport()->installEventFilter(new TreeRightClick(TreeView));
    RxDBGrid->installEventFilter(new NoteListKeys(RxDBGrid, Actions));

    // The list's row selection is the note table's multi-selection.
    connect(RxDBGrid->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (SyncingSelection) {
            return;
        }
        SyncingSelection = true;
        Cat.Notes().ClearSelection();
        for (const QModelIndex& row : RxDBGrid->selectionModel()->selectedRows()) {
            Cat.Notes().SetSelected(NoteList()->RecordAt(row.row()), true);
        }
        SyncingSelection = false;
    });
    connect(&Cat.Notes(), &NoteTable::SelectionChanged, this, [this] {
        if (SyncingSelection) {
            return;
        }
        SyncingSelection = true;
        QItemSelection selection;
        for (const NoteRecord* note : Cat.Notes().Selection()) {
            if (note->ShownRow >= 0) {
                selection.select(NoteList()->index(note->ShownRow, 0),
                                 NoteList()->index(note->ShownRow, NoteListModel::ColumnCount - 1));
            }
        }
        RxDBGrid->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
        SyncingSelection = false;
    });

    RxDBGrid->horizontalHeader()->setSectionsClickable(true);
    connect(RxDBGrid->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int logical) { RunCommand(this, [this, logical] { TitleClick(logical); }); });
    connect(RxDBGrid, &QAbstractItemView::doubleClicked, this, [this] {
        if (Actions.PlayAction->isEnabled() && TickCount() > LastTitleClickTime + 500) {
            Actions.PlayAction->trigger();
        }
    });
    // The filler column stays last: a move from or onto its place is moved straight back.
    connect(RxDBGrid->horizontalHeader(), &QHeaderView::sectionMoved, this,
            [this](int, int from, int to) {
                const int fillerPlace = NoteListModel::FillerColumn;
                if (SyncingSelection || (from != fillerPlace && to != fillerPlace)) {
                    return;
                }
                SyncingSelection = true;
                RxDBGrid->horizontalHeader()->moveSection(to, from);
                SyncingSelection = false;
            });
}

bool TTellamoMainForm::TreeViewEdited(FolderNode* folder, const QString& name) {
    const QString problem = Catalogue::FolderNameProblem(name);
    if (!problem.isEmpty()) {
        ShowErrorBox(this, problem);
        return false;
    }
    Cat.RenameFolder(folder, name);
    SaveCatalogue();
    return true;
}

void TTellamoMainForm::AddFolderActionExecute() {
    FolderNode* selected = Cat.SelectedFolder();
    if (!selected) {
        return;
    }
    FolderNode* added = Cat.AddFolder(selected, TranslateText("Folder"));
    const QModelIndex index = Cat.Folders().IndexOf(added);
    TreeView->expand(index.parent());
    TreeView->setCurrentIndex(index);
    SaveCatalogue();
    TreeView->edit(index);
}

void TTellamoMainForm::RenameFolderActionExecute() {
    if (Cat.SelectedFolder()) {
        TreeView->edit(Cat.Folders().IndexOf(Cat.SelectedFolder()));
        SaveCatalogue();
    }
}

void TTellamoMainForm::DeleteFolderActionExecute() {
    FolderNode* folder = Cat.SelectedFolder();
    if (!folder || folder->IsRoot()) {
        return;
    }
    if (Cat.IsInsideRecycleBin(folder)) {
        const QString question = TranslateText("Delete") + " " + QString::fromUtf8(folder->Name) +
                                 " " + TranslateText("with all contents?");
        if (!AskConfirmation(this, question)) {
            return;
        }
        Cat.DeleteFolderForGood(folder);
    } else {
        Cat.MoveFolderToRecycleBin(folder);
        TreeView->expand(Cat.Folders().IndexOf(Cat.RecycleBinNode()));
    }
    SaveCatalogue();
}

void TTellamoMainForm::ClearTrashActionExecute() {
    if (!AskConfirmation(this, TranslateText("Clear Recycle Bin?"))) {
        return;
    }
    Cat.ClearRecycleBin();
    SaveCatalogue();
}

void TTellamoMainForm::ParentFolderActionExecute() {
    if (FolderNode* folder = Cat.NoteFolder()) {
        Cat.SelectFolder(folder);
    }
}

bool TTellamoMainForm::TreeViewDragOver(DragSource source, FolderNode* dragged,
                                        FolderNode* target) const {
    switch (source) {
    case DragSource::Folder:
        return target && dragged && !dragged->IsRoot() && target != dragged;
    case DragSource::Notes:
        return !Cat.Notes().IsEmpty();
    default:
        return false;
    }
}

void TTellamoMainForm::TreeViewDragDrop(DragSource source, FolderNode* dragged, FolderNode* target,
                                        bool onLabel) {
    if (!target) {
        return;
    }
    if (source == DragSource::Folder && dragged && onLabel) {
        // A target that is the folder itself or lies below it leaves the tree as it is.
        if (Cat.MoveFolder(dragged, target)) {
            TreeView->expand(Cat.Folders().IndexOf(target));
        }
    } else if (source == DragSource::Notes && !Cat.Notes().IsEmpty()) {
        EnsureSelection();
        Cat.MoveSelectedNotes(target);
    }
    SaveCatalogue();
}

void TTellamoMainForm::EnsureSelection() {
    if (Cat.Notes().Selection().empty() && Cat.Notes().Current()) {
        Cat.Notes().SetSelected(Cat.Notes().Current(), true);
    }
}

void TTellamoMainForm::RenameNoteActionExecute() {
    Cat.Notes().ClearSelection();
    const NoteRecord* note = Cat.Notes().Current();
    if (!note || !DescriptionForm ||
        !DescriptionForm->AskEditDescription(QString::fromUtf8(note->Description))) {
        return;
    }
    Cat.SetNoteDescription(DescriptionForm->DescriptionEdit->text());
    SaveCatalogue();
}

void TTellamoMainForm::DeleteNoteActionExecute() {
    EnsureSelection();
    const FolderNode* selected = Cat.SelectedFolder();
    if (selected != Cat.RecycleBinNode() && !Cat.IsInsideRecycleBin(selected)) {
        Cat.MoveSelectedNotes(Cat.RecycleBinNode());
        SaveCatalogue();
        return;
    }
    const std::size_t count = Cat.Notes().Selection().size();
    const QString question = count == 1
                                 ? TranslateText("Delete") + " " +
                                       QString::fromUtf8(Cat.Notes().Current()->Description) + "?"
                                 : TranslateText("Delete") + " " + QString::number(count) + " " +
                                       TranslateText("notes?");
    if (!AskConfirmation(this, question)) {
        return;
    }
    Cat.DeleteSelectedNotes();
    SaveCatalogue();
}

void TTellamoMainForm::RestoreNotesActionExecute() {
    // The header is read, never played: nothing is heard and the recorder's format stays as it
    // is, so a restore can run beside a recording.
    const RestoreResult result = RestoreNotes(Cat, [](const std::string& path) {
        const WaveInfo info = ReadWaveHeader(path);
        if (info.SampleRate > 0xFFFF) {
            // The catalogue keeps a note's rate in 16 bits.
            throw TellamoError("\"" + path + "\": a sample rate of " +
                               std::to_string(info.SampleRate) +
                               " Hz cannot be kept in the catalogue");
        }
        return FoundWave{static_cast<std::uint16_t>(info.SampleRate),
                         info.SixteenBit(),
                         static_cast<std::uint16_t>(info.Stereo() ? 2 : 1),
                         info.DataStart,
                         info.DataSize,
                         info.FileSize};
    });
    TreeView->expand(Cat.Folders().IndexOf(Cat.NotesNode()));
    ShowSaveResult(result.SaveError);
    // One closing message: files passed over are information (the rest came back), only a
    // restore that could not run through is an error.
    const QString skipped = result.SkippedText();
    if (!result.Error.isEmpty()) {
        ShowErrorBox(this, skipped.isEmpty() ? result.Error : result.Error + "\n\n" + skipped);
    } else if (!skipped.isEmpty()) {
        ShowNotice(this, skipped, TranslateText("Restore Notes"));
    }
}

void TTellamoMainForm::RestoreBackupActionExecute() {
    const std::vector<CatalogueBackup> backups = ListCatalogueBackups(Cat.Files());
    if (backups.empty()) {
        ShowNotice(this, TranslateText("There is no backup of the catalogue yet."),
                   TranslateText("Restore Catalogue From Backup"));
        return;
    }
    QStringList items;
    std::vector<bool> readable;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const QLocale locale;
        for (const CatalogueBackup& backup : backups) {
            const std::optional<std::size_t> notes = Cat.NotesInIndexFile(backup.Path);
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
    QInputDialog dialog(this);
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
        ShowErrorBox(this, TranslateText("This backup cannot be read; choose another one."));
        return;
    }
    if (!AskConfirmation(this, TranslateText("Replace the catalogue with the backup of %1? The "
                                             "catalogue as it is now is kept in the Backups "
                                             "folder.")
                                   .arg(QLocale().toString(backup.Saved, QLocale::ShortFormat)))) {
        return;
    }
    if (const QString problem =
            KeepCatalogueBeforeRestore(Cat.Files(), Cat.FileSys(), QDateTime::currentDateTime());
        !problem.isEmpty()) {
        ShowErrorBox(this, problem);
        return;
    }
    if (const QString problem = Cat.RestoreFromBackup(backup.Path); !problem.isEmpty()) {
        ShowErrorBox(this, problem);
        return;
    }
    SaveCatalogue();
    ApplyNoteFilter();
    TreeView->expand(Cat.Folders().IndexOf(Cat.NotesNode()));
    ShowNotice(this,
               TranslateText("The catalogue was restored. Notes recorded after the backup can "
                             "be brought back with Restore Notes."),
               TranslateText("Restore Catalogue From Backup"));
}

void TTellamoMainForm::TitleClick(int column) {
    LastTitleClickTime = TickCount();
    const QString field = QString::fromLatin1(NoteListModel::FieldName(column));
    if (field.isEmpty()) {
        return;
    }
    SortFields = AddSortField(SortFields, field);
    SortNotes(Cat.Notes(), SortFields);
}

} // namespace tellamo
