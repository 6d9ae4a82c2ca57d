// Reading the index file: the load with its fall-backs for a damaged or missing file, the
// keeping aside of a damaged one, and the restore of a backup.
#include <cerrno>
#include <optional>
#include <vector>

#include <sys/mman.h>
#include <sys/stat.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include "catalogue/Catalogue.h"
#include "catalogue/IndexFile.h"
#include "catalogue/NoteTexts.h"
#include "common/Errors.h"
#include "common/FileSystem.h"
#include "common/Translate.h"

namespace tellamo {

namespace {
// Memory for a file's bytes: anonymous pages of its own for a large file, which go back to the
// system when it goes, and the heap for a small one, where a mapping would cost more than the
// hole it leaves. Null Data() when no pages could be had.
class ReadBuffer {
public:
    explicit ReadBuffer(std::size_t size) : mSize(size) {
        constexpr std::size_t PagesFrom = 1 << 20;
        if (size < PagesFrom) {
            mSmall.resize(size);
            mData = mSmall.data();
            return;
        }
        // Every page is written by the read that follows: made in one go, they cost one call
        // instead of a fault each.
        void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        mData = p == MAP_FAILED ? nullptr : static_cast<char*>(p);
        mMapped = mData != nullptr;
    }
    ~ReadBuffer() {
        if (mMapped) {
            ::munmap(mData, mSize);
        }
    }
    ReadBuffer(const ReadBuffer&) = delete;
    ReadBuffer& operator=(const ReadBuffer&) = delete;
    char* Data() const { return mData; }
    std::size_t Size() const { return mData ? mSize : 0; }

private:
    std::size_t mSize;
    std::string mSmall;
    char* mData = nullptr;
    bool mMapped = false;
};
} // namespace

std::optional<std::size_t> Catalogue::NotesInIndexFile(const QString& path) const {
    Catalogue scratch(mStorageFiles, mNotesFolderName, mRecycleBinName, mFs);
    if (!scratch.ReadIndexFile(path).isEmpty()) {
        return std::nullopt;
    }
    return scratch.Notes().All().size();
}

QString Catalogue::RestoreFromBackup(const QString& path) {
    // Read into a scratch catalogue first: a backup that does not read leaves this one as it is.
    Catalogue scratch(mStorageFiles, mNotesFolderName, mRecycleBinName, mFs);
    if (QString problem = scratch.ReadIndexFile(path); !problem.isEmpty()) {
        return problem;
    }
    ReadIndexFile(path);
    RepairAfterLoad();
    // The file a failed load kept aside, and the previous generation, are both as they were;
    // the restored catalogue is what the user chose to have.
    mSaveBlocked = false;
    mKeepPreviousGeneration = false;
    return {};
}

namespace {
// Something stands at path that is not a file: a FIFO, a device, a folder. A path that cannot be
// looked at is left to the open, which says why.
bool IsOtherThanAFile(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode);
}
} // namespace

QString Catalogue::ReadIndexFile(const QString& path) {
    // Each attempt starts from nothing, so that a file that fails early leaves nothing of an
    // earlier attempt behind.
    mTable.Clear();
    mLoading = true;
    const auto loaded = qScopeGuard([this] { mLoading = false; });
    ClearFoldersForLoad();
    mCounter = 0;
    // A FIFO or a device planted at the name would block the start-up or never end.
    if (IsOtherThanAFile(path)) {
        return QString("Cannot read \"%1\": it is not a regular file").arg(path);
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QString("Cannot open \"%1\": %2").arg(path, file.errorString());
    }
    // A lifetime of notes makes an index file of megabytes. Read into the heap, its buffer would
    // be freed below the notes made from it and stay resident as a hole.
    const qint64 expected = file.size();
    ReadBuffer pages(expected > 0 ? static_cast<std::size_t>(expected) : 0);
    if (expected > 0 && !pages.Data()) {
        return QString("Cannot read \"%1\": %2")
            .arg(path, QString::fromStdString(SystemErrorText(errno)));
    }
    std::size_t length = 0;
    while (length < pages.Size()) {
        const qint64 got =
            file.read(pages.Data() + length, static_cast<qint64>(pages.Size() - length));
        if (got <= 0) {
            break;
        }
        length += static_cast<std::size_t>(got);
    }
    if (file.error() != QFileDevice::NoError) {
        return QString("Cannot read \"%1\": %2").arg(path, file.errorString());
    }
    try {
        ParseCatalogue(std::string_view(pages.Data(), length), *this);
    } catch (const TellamoError& e) {
        return QString::fromStdString(e.what());
    }
    return {};
}

QString Catalogue::KeepDamagedFile(const QString& damagedPath) {
    // The kept copy is written as a new file like every other name the program writes: a link
    // planted at the name (the folder may be shared) is replaced, never written through.
    QFile damaged(damagedPath);
    if (IsOtherThanAFile(damagedPath) || !damaged.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = damaged.readAll();
    if (damaged.error() != QFileDevice::NoError) {
        return {};
    }
    damaged.close();
    const QString stamp = QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss");
    QString kept = mStorageFiles.StorageFolder() + "Tellamo-damaged-" + stamp + ".dat";
    // An earlier damaged file kept in the same second stays; whatever else stands at the name
    // (a link, a folder) is no kept file.
    for (int n = 2;; ++n) {
        struct stat st {};
        if (::lstat(QFile::encodeName(kept).constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
            break;
        }
        kept = mStorageFiles.StorageFolder() + "Tellamo-damaged-" + stamp + "-" +
               QString::number(n) + ".dat";
    }
    const std::string keptPath = QFile::encodeName(kept).toStdString();
    if (WriteNewFileDurably(
            mFs, keptPath,
            std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))) != 0) {
        return {};
    }
    // The damaged file goes only once its copy is on the disk, so that the next save cannot
    // make it the previous generation in place of a good one.
    mFs.Remove(QFile::encodeName(damagedPath).toStdString());
    mFs.SyncDirectory(QFile::encodeName(mStorageFiles.StorageFolder()).toStdString());
    return kept;
}

QString Catalogue::LoadCatalogue() {
    const QString path = mStorageFiles.IndexFilePath();
    // A missing Tellamo.dat beside an earlier generation is a save cut short where the file
    // system has no hard links (between its two renames), or a file deleted by hand.
    const bool missing = !QFileInfo::exists(path);
    if (missing) {
        // Between those renames Tellamo.new is whole on the disk and the newest catalogue: the
        // save is finished here, before the next save would write a new Tellamo.new over it.
        const QString newPath = mStorageFiles.IndexFileSibling(".new");
        if (QFileInfo(newPath).isFile() && ReadIndexFile(newPath).isEmpty() &&
            mFs.Rename(QFile::encodeName(newPath).toStdString(),
                       QFile::encodeName(path).toStdString()) == 0) {
            mFs.SyncDirectory(QFile::encodeName(mStorageFiles.StorageFolder()).toStdString());
            return RepairAfterLoad();
        }
    }
    QString problem = missing ? TranslateText("The catalogue file \"%1\" is missing.").arg(path)
                              : ReadIndexFile(path);
    if (problem.isEmpty()) {
        return RepairAfterLoad();
    }

    // The previous generation is the last catalogue known to be whole; it is used when it reads
    // cleanly, otherwise the catalogue keeps what could be read of the damaged file (of the
    // previous generation when Tellamo.dat is missing).
    const QString previousPath = mStorageFiles.IndexFileSibling(".old");
    const QFileInfo previous(previousPath);
    QString damagedPath = missing ? QString() : path;
    QString fallback;
    if (previous.isFile() && ReadIndexFile(previousPath).isEmpty()) {
        fallback = TranslateText("The previous catalogue, saved on %1, was loaded instead.")
                       .arg(StartText(LocalTimeFromDateTime(previous.lastModified())));
    } else if (!missing) {
        ReadIndexFile(path);
        if (previous.isFile()) {
            fallback = TranslateText("The previous catalogue \"%1\" could not be read either; "
                                     "it is kept as it is.")
                           .arg(previousPath);
        }
    } else if (previous.isFile()) {
        // The only copy there is: what can be read of it is used, and it is kept aside whole.
        ReadIndexFile(previousPath);
        damagedPath = previousPath;
    } else {
        mTable.Clear();
        NewCatalogue();
    }
    const QString duplicates = RepairAfterLoad();
    // Until a save has succeeded, Tellamo.old may be the only good copy there is.
    mKeepPreviousGeneration = true;

    // Keep the unreadable file beside the catalogue under a name of its own, so that the next
    // save cannot replace it and nothing in it is lost.
    if (!damagedPath.isEmpty()) {
        const QString kept = KeepDamagedFile(damagedPath);
        if (!kept.isEmpty()) {
            problem +=
                "\n\n" + TranslateText("The damaged index file was kept as") + " \"" + kept + "\".";
        } else {
            mSaveBlocked = true;
            problem +=
                "\n\n" + TranslateText("The damaged index file could not be kept under another "
                                       "name, so the catalogue will not be saved over it.");
        }
    }
    if (!fallback.isEmpty()) {
        problem += "\n\n" + fallback;
    }
    if (!duplicates.isEmpty()) {
        problem += "\n\n" + duplicates;
    }
    throw TellamoError(problem.toStdString());
}

} // namespace tellamo
