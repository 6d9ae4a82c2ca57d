#pragma once

#include <cstddef>
#include <optional>

#include <QObject>
#include <QString>
#include <QStringList>

#include "catalogue/FolderTree.h"
#include "catalogue/NoteTable.h"
#include "catalogue/Storage.h"

namespace tellamo {

class FileSystem;

// The catalogue: the note table, the folder tree with its two special roots (the Notes folder,
// ID 0, and the Recycle Bin, ID 13), the folder-ID counter and the selected folder, the storage
// folder, and the index file that holds them between runs. Every operation that changes the
// catalogue is followed, by its caller, by SaveCatalogue. Window thread only.
class Catalogue : public QObject {
    Q_OBJECT
public:
    static constexpr std::int32_t NotesFolderId = 0;
    static constexpr std::int32_t RecycleBinFolderId = 13;
    static constexpr std::int32_t MaxFolderId = 999'999; // six digits in the index file
    // Below this many numbered notes, the load finds shared file names by sorting the numbers.
    static constexpr std::size_t SortedNameCheckLimit = 20'000;

    // The folder names come through TranslateText when the data module is created.
    Catalogue(Storage storage, QString notesFolderName, QString recycleBinName,
              FileSystem& fileSystem);

    NoteTable& Notes() { return mTable; }
    const NoteTable& Notes() const { return mTable; }
    FolderTree& Folders() { return mTree; }
    const FolderTree& Folders() const { return mTree; }
    const Storage& Files() const { return mStorageFiles; }
    // The file system the storage folder is written through (a seam in tests); the recorder
    // writes the notes' sound through it too.
    FileSystem& FileSys() const { return mFs; }

    FolderNode* NotesNode() const { return mNotesNode; }
    FolderNode* RecycleBinNode() const { return mRecycleBinNode; }
    std::int32_t FolderIdCounter() const { return mCounter; }

    FolderNode* SelectedFolder() const { return mSelected; }
    void SelectFolder(FolderNode* folder);

    // Folder operations.
    static std::int32_t FolderIdOf(const FolderNode* node) { return node ? node->Id : -1; }
    // Returns the counter and adds one. Throws TellamoError when the next ID would not fit the
    // six digits of the index file.
    std::int32_t TakeFolderId();
    // A new last child of parent (a root without one), selected, with a new ID. Leading blanks
    // and line breaks are taken out of the name, which the index file could not keep.
    FolderNode* AddFolder(FolderNode* parent, const QString& name);
    // Why a name typed by the user cannot be a folder's name, or empty text when it can.
    static QString FolderNameProblem(const QString& name);
    // Renames a folder that is not a root; throws TellamoError with FolderNameProblem's words.
    void RenameFolder(FolderNode* folder, const QString& name);
    // Deletes every note under the selected folder, records and files, whatever the filter.
    void DeleteFolderNotes();
    bool IsInsideRecycleBin(const FolderNode* folder) const;
    // Makes a folder that is not a root the first child of target. A target that is the folder
    // itself or lies below it leaves the tree unchanged; returns whether it moved.
    bool MoveFolder(FolderNode* folder, FolderNode* target);
    // Deleting a folder outside the Recycle Bin: it becomes the Recycle Bin's first child.
    void MoveFolderToRecycleBin(FolderNode* folder);
    // Deleting a folder inside the Recycle Bin: its notes (with their files) and its subtree go;
    // its parent becomes the selected folder.
    void DeleteFolderForGood(FolderNode* folder);
    // Every note under the Recycle Bin with its files, and every folder inside it, go; the
    // Recycle Bin is selected.
    void ClearRecycleBin();

    // Note operations.
    NoteRecord* AddRecordedNote(FolderNode* folder, const QString& description,
                                std::uint16_t sampleRate, std::uint16_t bitRate);
    NoteRecord* AddFoundNote(FolderNode* folder, const std::string& fileName, LocalTimeMs start,
                             std::uint16_t sampleRate, std::uint16_t bitRate);
    void CompleteNote(std::int32_t fileSizeKB, std::int64_t durationMs);
    // The same for any note (a recording repaired after an interruption).
    void CompleteNote(NoteRecord* note, std::int32_t fileSizeKB, std::int64_t durationMs);
    void SetNoteDescription(const QString& text);
    void MoveSelectedNotes(FolderNode* folder);
    void DeleteSelectedNotes();
    void DeleteCurrentNote();
    bool FindNoteByFileName(const std::string& name) const;
    // The six-digit names a new note cannot take: those of the folder's files and of every
    // record (index = the number).
    std::vector<bool> TakenNoteNames() const;
    void LinkFolderNotes(FolderNode* folder);
    FolderNode* NoteFolder() const;

    // The current note's files; empty text without a current note or with an unsafe name.
    QString NoteWavPath() const;
    QString NoteGraphPath() const;

    // An empty catalogue: "Notes" (ID 0, selected) and "Recycle Bin" (ID 13), counter 14.
    void NewCatalogue();

    // Writes the index file safely (see IndexFile.h). Returns an empty text on success,
    // otherwise what went wrong, for the caller to tell the user; the catalogue in memory is
    // unchanged either way.
    QString SaveCatalogue();
    // Why no new file can be written in the storage folder now (a read-only or full file
    // system), or empty text when one can: a small file is written there and removed again.
    QString StorageWriteProblem() const;
    // Replaces the catalogue with the index file's content. Returns what the user should be told
    // about a catalogue that loaded (empty text when nothing). Throws TellamoError for a damaged
    // or unreadable file; the damaged file has then been moved aside (the message says where)
    // so that no later save replaces it, and the catalogue holds the previous generation
    // (Tellamo.old) when that reads cleanly, otherwise what could be read, with both special
    // folders and every note in a folder. Tellamo.old is then left alone until a save succeeds.
    // Without Tellamo.dat, a whole Tellamo.new (a save cut short between its renames) is put in
    // its place and loaded; otherwise Tellamo.old is used as above, and moved aside as the
    // damaged file when it does not read cleanly.
    QString LoadCatalogue();
    // Why the last save made no backup of the catalogue (see CatalogueBackups.h), or empty text.
    const QString& BackupProblem() const { return mBackupProblemText; }
    // How many notes the index file at path holds; nothing when it does not read cleanly.
    std::optional<std::size_t> NotesInIndexFile(const QString& path) const;
    // Replaces the catalogue with the index file at path (a backup), which must read cleanly;
    // returns its problem otherwise, and the catalogue is unchanged. The caller saves.
    QString RestoreFromBackup(const QString& path);

    // After a load: special folders in place as the two roots, every note linked to its folder
    // (notes whose folder is missing are filed in a new folder "Found" under Notes), a counter
    // above every ID in use and a selected folder. Returns the notice of file names that more
    // than one note uses, empty text when none.
    QString RepairAfterLoad();

    // Used by the index file reader.
    // Forgets every folder; notes keep their FolderID but lose their node until linked again.
    void ClearFoldersForLoad();
    void SetFolderIdCounter(std::int32_t value) { mCounter = value; }
    void SetSpecialNodes(FolderNode* notes, FolderNode* recycleBin);

signals:
    void SelectedFolderChanged();
    // A note's sound is complete (a recording stopped, a note restored): its file is whole.
    void NoteCompleted(const QString& fileName);
    // Notes deleted for good, their files gone with them.
    void NotesDeleted(const QStringList& fileNames);
    // A note's description was changed, whether or not the note is shown.
    void NoteDescriptionChanged(const tellamo::NoteRecord* note);

private:
    void DeleteNotesWhere(const std::function<bool(const NoteRecord&)>& doomed);
    static std::string CleanFolderName(const QString& name);

    Storage mStorageFiles;
    FileSystem& mFs;
    NoteTable mTable;
    FolderTree mTree;
    QString mNotesFolderName;
    QString mRecycleBinName;
    FolderNode* mNotesNode = nullptr;
    FolderNode* mRecycleBinNode = nullptr;
    FolderNode* mSelected = nullptr;
    // While an index file is read, a change of the selected folder is kept untold until
    // RepairAfterLoad has linked the notes.
    bool mLoading = false;
    bool mSelectionUntold = false;
    std::int32_t mCounter = 0;
    // Reads one index file into the catalogue; returns the problem, empty text when none.
    QString ReadIndexFile(const QString& path);
    // Copies an unreadable index file to a Tellamo-damaged-<stamp>.dat of its own and removes
    // it; the copy's path, or empty text when it could not be kept (the file then stays).
    QString KeepDamagedFile(const QString& damagedPath);
    // Set when a damaged index file could not be moved aside: saving would replace it.
    bool mSaveBlocked = false;
    // Set after a failed load: the next save must not replace Tellamo.old.
    bool mKeepPreviousGeneration = false;
    QString mBackupProblemText;
};

} // namespace tellamo
