#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <QString>

namespace tellamo {

class FileSystem;

// The storage folder and the names of the files in it. Everything the user has lives here: the
// index file and its save siblings, one WAV and one graph bitmap per note, the settings file and
// a read-me. Paths are built anew each time; only the folder names given at construction are
// kept. Folder paths end with "/".
class Storage {
public:
    // documentsFolder is the user's documents folder (may be empty: the storage folder then sits
    // at the root of the file system, as a last resort); the names come through TranslateText.
    // A read-me name that is not a plain file name of the folder (a path, a hidden name, the name
    // of another of the program's files or of a note) gives "ReadMe.txt" instead.
    Storage(QString documentsFolder, QString storageFolderName, QString readMeName);

    QString StorageFolder() const;
    QString IndexFilePath() const;                         // Tellamo.dat
    QString IndexFileSibling(const char* extension) const; // ".new", ".old"
    QString SettingsFilePath() const;                      // tellamo.INI
    QString ReadMePath() const;
    // The note's files; empty text when the name is not a safe file name (see below).
    QString NoteWavPath(const std::string& fileName) const;
    QString NoteGraphPath(const std::string& fileName) const;
    QString AllGraphsPattern() const;

    // A six-digit name that no file in the storage folder uses yet, as name or as name plus an
    // extension. Folders do not count. Throws TellamoError when every one of the million names
    // is taken.
    std::string NewNoteFileName() const;

    // Deletes every file of each named note (name + "." + any extension, and its e-mail copies
    // name + "p.wav" and name + "o.opus") with one listing of the
    // folder. Unsafe names are skipped, and the program's own files (the index file and its
    // siblings, the settings file, the read-me) are never deleted, whatever a damaged index file
    // names. A file that also belongs to a name of namesInUse (the notes that stay) is kept. A
    // file that cannot be deleted stays without a message.
    void DeleteNoteFiles(const std::vector<std::string>& fileNames,
                         const std::vector<std::string>& namesInUse = {}) const;

    // Creates the storage folder when it is missing and writes the read-me when it is missing.
    // Returns false when the folder cannot be created: showError has then been called with the
    // message and its caption, and the program must end. Throws TellamoError when the read-me
    // cannot be written (start-up reports that and goes on). A new read-me is on the disk when
    // this returns, before any index file can name the folder.
    using ErrorReporter = std::function<void(const QString& text, const QString& caption)>;
    bool EnsureStorageFolder(const ErrorReporter& showError) const;
    bool EnsureStorageFolder(const ErrorReporter& showError, FileSystem& fs) const;

    // Whether a note's file name may be used to build paths: not empty, not "." or "..", and
    // without "/" or NUL, so that no name read from an index file can reach outside the folder.
    static bool IsSafeNoteFileName(std::string_view name);

    // How many six-digit names there are.
    static constexpr int NameCount = 1'000'000;
    // The number of a six-digit name ("000007" is 7); -1 for any other name.
    static int NoteNumber(std::string_view name);
    // Which of the million six-digit names files of the folder use (index = the number).
    std::vector<bool> TakenNames() const;
    // Picks a free six-digit name at random given the names already taken.
    static std::string DrawFreeName(const std::vector<bool>& taken);

private:
    QString mDocuments;
    QString mFolderName;
    QString mReadMe;
};

} // namespace tellamo
