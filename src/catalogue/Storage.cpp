#include "catalogue/Storage.h"

#include <algorithm>
#include <cerrno>
#include <random>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include "common/Errors.h"
#include "common/FileSystem.h"
#include "common/Translate.h"

namespace tellamo {

namespace {

// Names of the program's own files, compared without regard to case.
bool IsProgramFile(const std::string& entry, const QString& readMe) {
    static const char* const reserved[] = {"tellamo.dat", "tellamo.new", "tellamo.old",
                                           "tellamo.ini", "readme.txt"};
    const QString lower = QString::fromUtf8(entry).toLower();
    if (lower == readMe.toLower()) {
        return true;
    }
    for (const char* name : reserved) {
        if (lower == QLatin1String(name)) {
            return true;
        }
    }
    return lower.startsWith(QLatin1String("tellamo-damaged-"));
}

// The read-me's name comes from a translation, which may sit in the storage folder itself and so
// comes from anyone who can write there: only a plain name of the folder's own level, that is no
// other file of the program's and no note's, is taken; anything else gives the built-in name.
QString PlainReadMeName(const QString& translated) {
    static const QString builtIn = QStringLiteral("ReadMe.txt");
    const QByteArray bytes = translated.toUtf8();
    if (bytes.isEmpty() || bytes.size() > 255 || bytes.startsWith('.')) {
        return builtIn;
    }
    for (const char c : bytes) {
        if (c == '/' || c == '\\' || (static_cast<unsigned char>(c) < 0x20) || c == 0x7f) {
            return builtIn;
        }
    }
    // A name that begins with six digits may be a note's file or one of its copies.
    const std::string name = bytes.toStdString();
    if (IsProgramFile(name, builtIn) || Storage::NoteNumber(name.substr(0, 6)) >= 0) {
        return builtIn;
    }
    return translated;
}

// Calls visit(name, isFolder) for each entry of the folder.
template <typename Visit> void ListFolder(const QString& folder, Visit visit) {
    const QByteArray path = QFile::encodeName(folder);
    DIR* dir = ::opendir(path.constData());
    if (!dir) {
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            isFolder = ::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        visit(name, isFolder);
    }
    ::closedir(dir);
}

// The note name a file entry belongs to: the part before the first ".", or the whole name.
std::string_view BaseName(std::string_view entry) {
    const std::size_t dot = entry.find('.');
    return dot == std::string_view::npos ? entry : entry.substr(0, dot);
}
} // namespace

Storage::Storage(QString documentsFolder, QString storageFolderName, QString readMeName)
    : mDocuments(std::move(documentsFolder)), mFolderName(std::move(storageFolderName)),
      mReadMe(PlainReadMeName(readMeName)) {}

QString Storage::StorageFolder() const {
    QString documents = mDocuments;
    while (documents.endsWith(QLatin1Char('/'))) {
        documents.chop(1);
    }
    return documents + QLatin1Char('/') + mFolderName + QLatin1Char('/');
}

QString Storage::IndexFilePath() const {
    return IndexFileSibling(".dat");
}

QString Storage::IndexFileSibling(const char* extension) const {
    return StorageFolder() + QLatin1String("Tellamo") + QLatin1String(extension);
}

QString Storage::SettingsFilePath() const {
    return StorageFolder() + QLatin1String("tellamo.INI");
}

QString Storage::ReadMePath() const {
    return StorageFolder() + mReadMe;
}

QString Storage::NoteWavPath(const std::string& fileName) const {
    return IsSafeNoteFileName(fileName) ? StorageFolder() + QString::fromUtf8(fileName) + ".wav"
                                        : QString();
}

QString Storage::NoteGraphPath(const std::string& fileName) const {
    return IsSafeNoteFileName(fileName) ? StorageFolder() + QString::fromUtf8(fileName) + ".bmp"
                                        : QString();
}

QString Storage::AllGraphsPattern() const {
    return StorageFolder() + QLatin1String("*.bmp");
}

bool Storage::IsSafeNoteFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::string Storage::DrawFreeName(const std::vector<bool>& taken) {
    std::size_t free = 0;
    for (bool t : taken) {
        free += t ? 0 : 1;
    }
    if (free == 0) {
        throw TellamoError(
            TranslateText("The storage folder has no free name for a new note").toStdString());
    }
    static thread_local std::mt19937 generator{std::random_device{}()};
    int number = 0;
    if (free * 8 >= taken.size()) {
        // Drawing until a free name turns up takes a handful of tries at most.
        std::uniform_int_distribution<int> draw(0, NameCount - 1);
        do {
            number = draw(generator);
        } while (taken[number]);
    } else {
        // A nearly full folder: pick the k-th free name instead of drawing for ever.
        std::uniform_int_distribution<std::size_t> draw(0, free - 1);
        std::size_t k = draw(generator);
        for (number = 0; taken[number] || k-- > 0; ++number) {
        }
    }
    char text[8];
    std::snprintf(text, sizeof text, "%06d", number);
    return text;
}

std::string Storage::NewNoteFileName() const {
    return DrawFreeName(TakenNames());
}

int Storage::NoteNumber(std::string_view name) {
    if (name.size() != 6) {
        return -1;
    }
    int number = 0;
    for (char c : name) {
        if (c < '0' || c > '9') {
            return -1;
        }
        number = number * 10 + (c - '0');
    }
    return number;
}

std::vector<bool> Storage::TakenNames() const {
    std::vector<bool> taken(NameCount, false);
    ListFolder(StorageFolder(), [&](const std::string& name, bool isFolder) {
        const int number = NoteNumber(BaseName(name));
        if (!isFolder && number >= 0) {
            taken[static_cast<std::size_t>(number)] = true;
        }
    });
    return taken;
}

void Storage::DeleteNoteFiles(const std::vector<std::string>& fileNames,
                              const std::vector<std::string>& namesInUse) const {
    std::vector<std::string> names;
    for (const std::string& name : fileNames) {
        if (IsSafeNoteFileName(name)) {
            names.push_back(name);
        }
    }
    if (names.empty()) {
        return;
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> kept(namesInUse);
    std::sort(kept.begin(), kept.end());
    const QString folder = StorageFolder();
    std::vector<std::string> doomed;
    ListFolder(folder, [&](const std::string& entry, bool isFolder) {
        if (isFolder || IsProgramFile(entry, mReadMe)) {
            return;
        }
        // The file belongs to a note when it is the name itself or the name plus "." and an
        // extension; a note name may itself contain dots, so every dot is a candidate cut.
        bool belongsToDoomed = false;
        for (std::size_t cut = entry.find('.');; cut = entry.find('.', cut + 1)) {
            const std::string base = entry.substr(0, cut);
            if (std::binary_search(kept.begin(), kept.end(), base)) {
                return;
            }
            belongsToDoomed =
                belongsToDoomed || std::binary_search(names.begin(), names.end(), base);
            if (cut == std::string::npos) {
                break;
            }
        }
        // The e-mail copies (NNNNNNp.wav, NNNNNNo.opus) were made from the note's sound: left
        // behind, a later note that draws the same number could be sent with them.
        for (const char* const copySuffixText : {"p.wav", "o.opus"}) {
            const std::string_view copySuffix(copySuffixText);
            if (!belongsToDoomed && entry.size() > copySuffix.size() &&
                entry.compare(entry.size() - copySuffix.size(), std::string::npos, copySuffix) ==
                    0) {
                const std::string base = entry.substr(0, entry.size() - copySuffix.size());
                belongsToDoomed = std::binary_search(names.begin(), names.end(), base) &&
                                  !std::binary_search(kept.begin(), kept.end(), base);
            }
        }
        if (belongsToDoomed) {
            doomed.push_back(entry);
        }
    });
    for (const std::string& entry : doomed) {
        QFile::remove(folder + QString::fromUtf8(entry));
    }
}

bool Storage::EnsureStorageFolder(const ErrorReporter& showError) const {
    return EnsureStorageFolder(showError, RealFileSystem());
}

bool Storage::EnsureStorageFolder(const ErrorReporter& showError, FileSystem& fs) const {
    const QString folder = StorageFolder();
    // The XDG documents folder may not exist yet on a fresh account, so the whole path is made.
    if (!QDir().mkpath(folder)) {
        showError(TranslateText("Can't create folder for storing Voice Notes"),
                  TranslateText("Error"));
        return false;
    }
    const QString readMe = ReadMePath();
    const QString text =
        TranslateText("This folder was created by the") + " " + TranslateText("Tellamo") + " " +
        TranslateText("program for") + "\r\n" +
        TranslateText("storage of your voice notes. Please, do not change its contents.") + "\r\n";
    // Written only where nothing stands at its name: a read-me the user edited stays as it is,
    // and a link planted there (even one pointing nowhere) is never written through.
    const std::string path = QFile::encodeName(readMe).toStdString();
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (::stat(path.c_str(), &st) == 0 || errno != ENOENT) {
            return true;
        }
        throw TellamoError("Cannot write \"" + path +
                           "\": a link to a missing file stands in its place");
    }
    const QByteArray bytes = text.toUtf8();
    // A half read-me would be taken for a whole one at the next start: none is left.
    const int error = WriteNewFileDurably(
        fs, path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (error != 0) {
        throw TellamoError(QString("Cannot write \"%1\": ").arg(readMe).toStdString() +
                           SystemErrorText(error));
    }
    fs.SyncDirectory(QFile::encodeName(folder).toStdString());
    return true;
}

} // namespace tellamo
