#include "catalogue/Catalogue.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <unordered_map>
#include <utility>

#include <QStringList>

#include "catalogue/CatalogueBackups.h"
#include "catalogue/IndexFile.h"
#include "catalogue/NoteTexts.h"
#include "common/Errors.h"
#include "common/FileSystem.h"
#include "common/Translate.h"
#include "common/Utf8.h"

namespace tellamo {

namespace {
std::string Utf8WithoutNul(const QString& text) {
    std::string bytes = text.toStdString();
    std::erase(bytes, '\0');
    return bytes;
}
} // namespace

Catalogue::Catalogue(Storage storage, QString notesFolderName, QString recycleBinName,
                     FileSystem& fileSystem)
    : mStorageFiles(std::move(storage)), mFs(fileSystem),
      mNotesFolderName(std::move(notesFolderName)), mRecycleBinName(std::move(recycleBinName)) {}

void Catalogue::SelectFolder(FolderNode* folder) {
    if (folder == mSelected) {
        return;
    }
    mSelected = folder;
    if (mLoading) {
        // The views hear of it once the notes are linked to their folders: filtering them
        // before would be a pass over every note that shows nothing.
        mSelectionUntold = true;
        return;
    }
    emit SelectedFolderChanged();
}

void Catalogue::SetSpecialNodes(FolderNode* notes, FolderNode* recycleBin) {
    mNotesNode = notes;
    mRecycleBinNode = recycleBin;
}

// ---- folders ----

std::int32_t Catalogue::TakeFolderId() {
    if (mCounter > MaxFolderId || mCounter < 0) {
        throw TellamoError(
            TranslateText("No new folder can be made: the catalogue has used up its folder numbers")
                .toStdString());
    }
    return mCounter++;
}

std::string Catalogue::CleanFolderName(const QString& name) {
    std::string bytes = Utf8WithoutNul(name);
    for (char& c : bytes) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    bytes.erase(0, std::min(bytes.size(), bytes.find_first_not_of(" \t")));
    return bytes;
}

QString Catalogue::FolderNameProblem(const QString& name) {
    if (name.startsWith(QLatin1Char(' ')) || name.startsWith(QLatin1Char('\t'))) {
        return TranslateText("A folder name cannot begin with a space or a tab.");
    }
    if (name.contains(QLatin1Char('\r')) || name.contains(QLatin1Char('\n')) ||
        name.contains(QChar(0))) {
        return TranslateText("A folder name cannot hold a line break.");
    }
    return {};
}

FolderNode* Catalogue::AddFolder(FolderNode* parent, const QString& name) {
    const std::int32_t id = TakeFolderId();
    FolderNode* node = mTree.Append(parent, CleanFolderName(name), id);
    SelectFolder(node);
    return node;
}

void Catalogue::RenameFolder(FolderNode* folder, const QString& name) {
    if (!folder || folder->IsRoot()) {
        return;
    }
    const QString problem = FolderNameProblem(name);
    if (!problem.isEmpty()) {
        throw TellamoError(problem.toStdString());
    }
    mTree.SetName(folder, name.toStdString());
}

bool Catalogue::IsInsideRecycleBin(const FolderNode* folder) const {
    return folder && mRecycleBinNode && folder != mRecycleBinNode &&
           folder->IsWithin(mRecycleBinNode);
}

void Catalogue::DeleteFolderNotes() {
    const FolderNode* folder = mSelected;
    if (!folder) {
        return;
    }
    DeleteNotesWhere([folder](const NoteRecord& r) {
        return r.ParentPointer && r.ParentPointer->IsWithin(folder);
    });
}

bool Catalogue::MoveFolder(FolderNode* folder, FolderNode* target) {
    if (!folder || !target || folder->IsRoot() || target->IsWithin(folder)) {
        return false;
    }
    mTree.Move(folder, target, 0);
    return true;
}

void Catalogue::MoveFolderToRecycleBin(FolderNode* folder) {
    MoveFolder(folder, mRecycleBinNode);
}

void Catalogue::DeleteFolderForGood(FolderNode* folder) {
    if (!folder || folder->IsRoot()) {
        return;
    }
    DeleteNotesWhere([folder](const NoteRecord& r) {
        return r.ParentPointer && r.ParentPointer->IsWithin(folder);
    });
    FolderNode* parent = folder->Parent;
    if (mSelected && mSelected->IsWithin(folder)) {
        mSelected = nullptr; // the node is about to go; SelectFolder below tells the views
    }
    mTree.Remove(folder);
    SelectFolder(parent);
}

void Catalogue::ClearRecycleBin() {
    if (!mRecycleBinNode) {
        return;
    }
    SelectFolder(mRecycleBinNode);
    DeleteFolderNotes();
    mTree.RemoveChildren(mRecycleBinNode);
}

// ---- notes ----

NoteRecord* Catalogue::AddRecordedNote(FolderNode* folder, const QString& description,
                                       std::uint16_t sampleRate, std::uint16_t bitRate) {
    // A note is never filed under no folder, where nobody could see it.
    if (!folder) {
        folder = mNotesNode;
    }
    auto record = std::make_unique<NoteRecord>();
    record->Start = CurrentLocalTime();
    record->FolderID = FolderIdOf(folder);
    record->ParentPointer = folder;
    record->Description = CutUtf8(Utf8WithoutNul(description), NoteRecord::DescriptionBytes);
    record->FileName = Storage::DrawFreeName(TakenNoteNames());
    record->SampleRate = sampleRate;
    record->BitRate = bitRate;
    return mTable.Append(std::move(record));
}

NoteRecord* Catalogue::AddFoundNote(FolderNode* folder, const std::string& fileName,
                                    LocalTimeMs start, std::uint16_t sampleRate,
                                    std::uint16_t bitRate) {
    auto record = std::make_unique<NoteRecord>();
    record->Start = start;
    record->FolderID = FolderIdOf(folder);
    record->ParentPointer = folder;
    record->FileName = CutUtf8(fileName, NoteRecord::FileNameBytes);
    record->SampleRate = sampleRate;
    record->BitRate = bitRate;
    return mTable.Append(std::move(record));
}

void Catalogue::CompleteNote(std::int32_t fileSizeKB, std::int64_t durationMs) {
    CompleteNote(mTable.LastAddedNote(), fileSizeKB, durationMs);
}

void Catalogue::CompleteNote(NoteRecord* note, std::int32_t fileSizeKB, std::int64_t durationMs) {
    if (!note) {
        return;
    }
    note->Duration = WrapDuration(durationMs);
    note->FileSizeKB = fileSizeKB;
    mTable.RecordChanged(note);
    emit NoteCompleted(QString::fromStdString(note->FileName));
}

void Catalogue::SetNoteDescription(const QString& text) {
    NoteRecord* note = mTable.Current();
    if (!note) {
        return;
    }
    note->Description = CutUtf8(Utf8WithoutNul(text), NoteRecord::DescriptionBytes);
    mTable.RecordChanged(note);
    emit NoteDescriptionChanged(note);
}

void Catalogue::MoveSelectedNotes(FolderNode* folder) {
    for (NoteRecord* note : mTable.Selection()) {
        note->FolderID = FolderIdOf(folder);
        note->ParentPointer = folder;
    }
    mTable.ClearSelection();
    mTable.Refresh();
}

void Catalogue::DeleteSelectedNotes() {
    DeleteNotesWhere([](const NoteRecord& r) { return r.Selected; });
    mTable.ClearSelection();
}

void Catalogue::DeleteCurrentNote() {
    const NoteRecord* current = mTable.Current();
    if (current) {
        DeleteNotesWhere([current](const NoteRecord& r) { return &r == current; });
    }
}

void Catalogue::DeleteNotesWhere(const std::function<bool(const NoteRecord&)>& doomed) {
    std::vector<std::string> names;
    std::vector<std::string> namesInUse;
    for (const auto& record : mTable.All()) {
        (doomed(*record) ? names : namesInUse).push_back(record->FileName);
    }
    if (names.empty()) {
        return;
    }
    // A damaged catalogue or a restore can give two notes one file name: the files stay while
    // any note that is kept still names them.
    mStorageFiles.DeleteNoteFiles(names, namesInUse);
    mTable.RemoveIf(doomed);
    QStringList deleted;
    for (const std::string& name : names) {
        if (std::find(namesInUse.begin(), namesInUse.end(), name) == namesInUse.end()) {
            deleted << QString::fromStdString(name);
        }
    }
    emit NotesDeleted(deleted);
}

namespace {
// One sentence naming the file names that more than one note uses, from the program's own names'
// numbers (put in order here) and the other names' counts; empty when none.
QString SharedNamesNotice(std::vector<int>& numbers, const std::map<std::string, int>& others) {
    // Runs at every load, over the names the load's pass over the notes gathered: the program's
    // own six-digit names by their number, which a few are sorted and a lifetime of them marked
    // in two bit tables indexed by the number (seen, and already named as shared), so that it
    // costs no allocation per note; names the program did not make (a damaged or hand-made
    // catalogue) counted in a map.
    std::vector<int> sharedNumbers;
    if (numbers.size() < Catalogue::SortedNameCheckLimit) {
        std::sort(numbers.begin(), numbers.end());
        for (std::size_t i = 1; i < numbers.size(); ++i) {
            if (numbers[i] == numbers[i - 1] &&
                (sharedNumbers.empty() || sharedNumbers.back() != numbers[i])) {
                sharedNumbers.push_back(numbers[i]);
            }
        }
    } else {
        std::vector<bool> seen(Storage::NameCount, false);
        std::vector<bool> named(Storage::NameCount, false);
        for (const int number : numbers) {
            const auto index = static_cast<std::size_t>(number);
            if (!seen[index]) {
                seen[index] = true;
            } else if (!named[index]) {
                named[index] = true;
                sharedNumbers.push_back(number);
            }
        }
    }
    std::vector<std::string> names;
    for (const int number : sharedNumbers) {
        char name[8];
        std::snprintf(name, sizeof name, "%06d", number);
        names.emplace_back(name);
    }
    for (const auto& [name, count] : others) {
        if (count > 1) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    QStringList shared;
    for (const std::string& name : names) {
        shared << QString::fromStdString(name);
    }
    if (shared.isEmpty()) {
        return {};
    }
    return TranslateText(
               "Some notes of the catalogue share their sound file with another note: %1. "
               "They are all kept, and deleting one of them keeps the file while another still "
               "uses it.")
        .arg(shared.join(", "));
}
} // namespace

std::vector<bool> Catalogue::TakenNoteNames() const {
    // A record whose files have gone still names them: a new note that took such a name would
    // share its files with that record.
    std::vector<bool> taken = mStorageFiles.TakenNames();
    for (const auto& record : mTable.All()) {
        if (const int number = Storage::NoteNumber(record->FileName); number >= 0) {
            taken[static_cast<std::size_t>(number)] = true;
        }
    }
    return taken;
}

bool Catalogue::FindNoteByFileName(const std::string& name) const {
    const QString wanted = QString::fromStdString(name);
    return std::any_of(mTable.All().begin(), mTable.All().end(), [&](const auto& record) {
        return QString::fromStdString(record->FileName).compare(wanted, Qt::CaseInsensitive) == 0;
    });
}

void Catalogue::LinkFolderNotes(FolderNode* folder) {
    const std::int32_t id = FolderIdOf(folder);
    for (const auto& record : mTable.All()) {
        if (record->FolderID == id) {
            record->ParentPointer = folder;
        }
    }
}

FolderNode* Catalogue::NoteFolder() const {
    return mTable.Current() ? mTable.Current()->ParentPointer : nullptr;
}

QString Catalogue::NoteWavPath() const {
    return mTable.Current() ? mStorageFiles.NoteWavPath(mTable.Current()->FileName) : QString();
}

QString Catalogue::NoteGraphPath() const {
    return mTable.Current() ? mStorageFiles.NoteGraphPath(mTable.Current()->FileName) : QString();
}

// ---- whole catalogue ----

void Catalogue::ClearFoldersForLoad() {
    // Without folders no note can point at one: the index file reader calls this after reading
    // the notes, and a pass over a lifetime of them would find nothing to do.
    if (!mTree.Roots().empty()) {
        for (const auto& record : mTable.All()) {
            record->ParentPointer = nullptr;
        }
    }
    mNotesNode = nullptr;
    mRecycleBinNode = nullptr;
    SelectFolder(nullptr);
    mTree.Clear();
}

void Catalogue::NewCatalogue() {
    ClearFoldersForLoad();
    mCounter = 0;
    mNotesNode = AddFolder(nullptr, mNotesFolderName);
    mCounter = RecycleBinFolderId;
    mRecycleBinNode = AddFolder(nullptr, mRecycleBinName);
    SelectFolder(mNotesNode);
    LinkFolderNotes(mNotesNode);
    LinkFolderNotes(mRecycleBinNode);
    mTable.Refresh();
}

QString Catalogue::RepairAfterLoad() {
    // The two special folders exist and are the only roots, Notes first; other roots (which a
    // damaged file can hold) are kept below Notes.
    if (!mNotesNode) {
        mNotesNode = mTree.FindById(NotesFolderId);
    }
    if (!mRecycleBinNode || mRecycleBinNode == mNotesNode) {
        mRecycleBinNode = mTree.FindById(RecycleBinFolderId);
    }
    if (!mNotesNode) {
        mNotesNode = mTree.Append(nullptr, mNotesFolderName.toStdString(), NotesFolderId);
    }
    if (!mRecycleBinNode) {
        mRecycleBinNode = mTree.Append(nullptr, mRecycleBinName.toStdString(), RecycleBinFolderId);
    }
    mTree.Move(mNotesNode, nullptr, 0);
    mTree.Move(mRecycleBinNode, nullptr, 1);
    mTree.MoveRootsBelow(mNotesNode, 2);

    // Never hand out an ID that is in use.
    std::unordered_map<std::int32_t, FolderNode*> byId;
    std::int32_t highest = RecycleBinFolderId;
    mTree.ForEachPreOrder([&](FolderNode& node) {
        byId[node.Id] = &node; // a later folder with the same ID wins, as linking in order does
        highest = std::max(highest, node.Id);
    });
    byId[NotesFolderId] = mNotesNode;
    byId[RecycleBinFolderId] = mRecycleBinNode;
    if (mCounter <= highest) {
        mCounter = highest == INT32_MAX ? highest : highest + 1;
    }
    // A damaged file can give two folders one ID. The one that won keeps it; the others get IDs
    // of their own, or the next load would pick another winner (for the special folders, another
    // Notes folder) and rearrange the tree at every start.
    // With the counter used up (a damaged counter can be past the last ID), the lowest ID that
    // no folder uses serves instead.
    std::int32_t searchFrom = 1;
    auto freeId = [&]() -> std::optional<std::int32_t> {
        if (mCounter <= MaxFolderId) {
            return TakeFolderId();
        }
        for (; searchFrom <= MaxFolderId; ++searchFrom) {
            if (searchFrom != RecycleBinFolderId && !byId.count(searchFrom)) {
                return searchFrom++;
            }
        }
        return std::nullopt;
    };
    mTree.ForEachPreOrder([&](FolderNode& node) {
        if (byId[node.Id] != &node) {
            if (const std::optional<std::int32_t> id = freeId()) {
                node.Id = *id;
                byId[node.Id] = &node;
            }
        }
    });

    // The one pass over the notes links each to its folder and gathers the file names for the
    // check of names that two notes share.
    std::vector<NoteRecord*> orphans;
    std::vector<int> numbers;
    numbers.reserve(mTable.All().size());
    std::map<std::string, int> otherNames;
    std::int32_t highestId = 0;
    for (const auto& entry : byId) {
        highestId = std::max(highestId, entry.first);
    }
    // The folders by ID in a table indexed by it, while the IDs are small enough for one, as
    // the program's own are: a lookup per note in the hash map cost more than the rest of the
    // pass.
    std::vector<FolderNode*> folderAt;
    if (std::all_of(byId.begin(), byId.end(), [](const auto& entry) {
            constexpr std::int32_t TableIdLimit = 1 << 16;
            return entry.first >= 0 && entry.first < TableIdLimit;
        })) {
        folderAt.resize(static_cast<std::size_t>(highestId) + 1);
        for (const auto& [id, node] : byId) {
            folderAt[static_cast<std::size_t>(id)] = node;
        }
    }
    const auto folderWithId = [&](std::int32_t id) -> FolderNode* {
        if (!folderAt.empty()) {
            return id >= 0 && static_cast<std::size_t>(id) < folderAt.size()
                       ? folderAt[static_cast<std::size_t>(id)]
                       : nullptr;
        }
        const auto it = byId.find(id);
        return it == byId.end() ? nullptr : it->second;
    };
    for (const auto& record : mTable.All()) {
        record->ParentPointer = folderWithId(record->FolderID);
        if (!record->ParentPointer) {
            orphans.push_back(record.get());
        }
        if (const int number = Storage::NoteNumber(record->FileName); number >= 0) {
            numbers.push_back(number);
        } else {
            ++otherNames[record->FileName];
        }
    }
    if (!orphans.empty() && mCounter <= MaxFolderId) {
        // Notes whose folder is gone would never be shown again; file them where the user sees.
        FolderNode* found =
            mTree.Append(mNotesNode, CleanFolderName(TranslateText("Found")), TakeFolderId());
        for (NoteRecord* note : orphans) {
            note->FolderID = found->Id;
            note->ParentPointer = found;
        }
    }
    if (!mSelected) {
        mSelected = mNotesNode;
        mSelectionUntold = true;
    }
    // The views refilter, and so refresh the table, when they hear of the selected folder; the
    // table is refreshed here only when nobody did.
    const std::uint64_t rebuilds = mTable.RebuildCount();
    if (std::exchange(mSelectionUntold, false)) {
        emit SelectedFolderChanged();
    }
    if (mTable.RebuildCount() == rebuilds) {
        mTable.Refresh();
    }
    return SharedNamesNotice(numbers, otherNames);
}

QString Catalogue::StorageWriteProblem() const {
    const std::string probe = mStorageFiles.IndexFileSibling(".tmp").toStdString();
    mFs.Remove(probe); // never write through a link planted in its place
    int fd = -1;
    int error = mFs.CreateFile(probe, fd);
    if (error == 0) {
        // As much as a note's header: a full disk may still let an empty file be made.
        const char header[44] = {};
        std::size_t written = 0;
        error = mFs.Write(fd, header, sizeof header, written);
        if (error == 0 && written != sizeof header) {
            error = ENOSPC;
        }
        const int closeError = mFs.Close(fd);
        error = error != 0 ? error : closeError;
        mFs.Remove(probe);
    }
    if (error == 0) {
        return {};
    }
    return QString::fromStdString(SystemErrorText(error));
}

QString Catalogue::SaveCatalogue() {
    if (mSaveBlocked) {
        return TranslateText(
            "The catalogue is not saved, so that the damaged index file is not replaced.");
    }
    try {
        const std::string bytes = SerializeCatalogue(*this);
        ReplaceFileDurably(mFs, mStorageFiles.IndexFilePath().toStdString(), bytes,
                           mStorageFiles.IndexFileSibling(".new").toStdString(),
                           mKeepPreviousGeneration
                               ? std::string()
                               : mStorageFiles.IndexFileSibling(".old").toStdString());
        mKeepPreviousGeneration = false;
        mBackupProblemText = KeepCatalogueBackup(mStorageFiles, mFs, bytes, QDate::currentDate());
        return {};
    } catch (const TellamoError& e) {
        mTable.ClearSelection();
        return TranslateText("The catalogue could not be saved:") + " " +
               QString::fromStdString(e.what());
    }
}

} // namespace tellamo
