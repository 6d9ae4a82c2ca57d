#include "catalogue/RestoreNotes.h"

#include <algorithm>
#include <cerrno>

#include <dirent.h>
#include <sys/stat.h>

#include <QDateTime>
#include <QFile>

#include "catalogue/Catalogue.h"
#include "common/Errors.h"
#include "common/Rounding.h"
#include "common/Translate.h"

namespace tellamo {

namespace {

bool EndsWithWav(const std::string& name) {
    if (name.size() < 4) {
        return false;
    }
    std::string tail = name.substr(name.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return tail == ".wav";
}

// The names the program gives a note's sound: six digits and ".wav", nothing else.
bool IsNoteWavName(const std::string& name) {
    return name.size() == 10 && name.compare(6, 4, ".wav") == 0 &&
           std::all_of(name.begin(), name.begin() + 6, [](char c) { return c >= '0' && c <= '9'; });
}

// The TrueSpeech copy Send by e-mail keeps beside a note: six digits and "p.wav".
bool IsMailCopyName(const std::string& name) {
    return name.size() == 11 && name.compare(6, 5, "p.wav") == 0 &&
           std::all_of(name.begin(), name.begin() + 6, [](char c) { return c >= '0' && c <= '9'; });
}

// How many reasons of unreadable files the closing message names; the rest are counted.
constexpr int ReasonsShown = 3;

// The names of the folder's entries that end in ".wav" in any letter case, sorted, so that a
// restore that stops at a bad file stops at the same place every time.
std::vector<std::string> ListWavEntries(const QString& folder) {
    std::vector<std::string> names;
    const QByteArray path = QFile::encodeName(folder);
    DIR* dir = ::opendir(path.constData());
    if (!dir) {
        throw TellamoError("Cannot list \"" + folder.toStdString() +
                           "\": " + SystemErrorText(errno));
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (EndsWithWav(entry->d_name)) {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

int CountRestorableWavFiles(const QString& storageFolder) {
    std::vector<std::string> names;
    try {
        names = ListWavEntries(storageFolder);
    } catch (const TellamoError&) {
        return 0; // a folder that cannot be listed holds nothing to offer
    }
    const QByteArray folder = QFile::encodeName(storageFolder);
    int count = 0;
    for (const std::string& name : names) {
        struct stat st {};
        if (IsNoteWavName(name) && ::lstat((folder + name.c_str()).constData(), &st) == 0 &&
            S_ISREG(st.st_mode)) {
            ++count;
        }
    }
    return count;
}

std::int64_t FoundWaveDurationMs(const FoundWave& wave) {
    if (wave.SampleRate == 0) {
        return 0;
    }
    const std::uint64_t available =
        wave.FileSize > wave.DataStart ? wave.FileSize - wave.DataStart : 0;
    const std::uint64_t bytes = std::min(wave.DataSize, available);
    const std::uint64_t frameBytes =
        static_cast<std::uint64_t>(wave.SixteenBit ? 2 : 1) * (wave.Channels == 2 ? 2 : 1);
    const std::uint64_t frames = bytes / frameBytes;
    return RoundHalfEven(static_cast<double>(frames) * 1000.0 / wave.SampleRate);
}

QString RestoreResult::SkippedText() const {
    QStringList parts;
    if (BadNames > 0) {
        parts << TranslateText("%1 WAV files were not restored as notes, because their names are "
                               "not six digits "
                               "followed by \".wav\" as the names of note files are (an e-mail "
                               "copy, for instance).")
                     .arg(BadNames);
    }
    if (NotFiles > 0) {
        parts << TranslateText("%1 entries named like WAV files were not restored, because they "
                               "are folders or links, "
                               "not files.")
                     .arg(NotFiles);
    }
    if (Unreadable > 0) {
        QString text = TranslateText("%1 WAV files were not restored, because they cannot be "
                                     "read:")
                           .arg(Unreadable);
        for (const QString& reason : UnreadableReasons) {
            text += "\n" + reason;
        }
        if (Unreadable > UnreadableReasons.size()) {
            text +=
                "\n" + TranslateText("(and %1 more)").arg(Unreadable - UnreadableReasons.size());
        }
        parts << text;
    }
    return parts.join("\n\n");
}

RestoreResult RestoreNotes(Catalogue& catalogue, const WaveHeaderReader& readHeader) {
    RestoreResult result;
    // A recording that runs meanwhile completes its own note when it stops, not a restored one.
    NoteRecord* recording = catalogue.Notes().LastAddedNote();

    catalogue.SelectFolder(catalogue.NotesNode());
    result.Found = catalogue.AddFolder(catalogue.NotesNode(), TranslateText("Found"));
    const QString folder = catalogue.Files().StorageFolder();
    try {
        // Every entry is sorted out first, so that the count of those passed over is complete
        // even when a bad file ends the restore.
        std::vector<std::pair<std::string, QString>> candidates;
        for (const std::string& entry : ListWavEntries(folder)) {
            const QString path = folder + QString::fromStdString(entry);
            struct stat st {};
            if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
                ++result.NotFiles;
            } else if (IsMailCopyName(entry)) {
                continue;
            } else if (!IsNoteWavName(entry)) {
                ++result.BadNames;
            } else {
                candidates.emplace_back(entry.substr(0, 6), path);
            }
        }
        for (const auto& [name, path] : candidates) {
            if (catalogue.FindNoteByFileName(name)) {
                continue;
            }
            const QByteArray encoded = QFile::encodeName(path);
            struct stat st {};
            FoundWave wave;
            try {
                if (::lstat(encoded.constData(), &st) != 0) {
                    throw TellamoError("Cannot read \"" + path.toStdString() +
                                       "\": " + SystemErrorText(errno));
                }
                wave = readHeader(encoded.toStdString());
                if (wave.SampleRate == 0) {
                    throw TellamoError("\"" + path.toStdString() + "\" gives no sample rate");
                }
            } catch (const TellamoError& e) {
                // One bad file must not keep the others from coming back.
                if (++result.Unreadable <= ReasonsShown) {
                    result.UnreadableReasons << QString::fromStdString(e.what());
                }
                continue;
            }
            const QDateTime modified = QDateTime::fromMSecsSinceEpoch(
                static_cast<qint64>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1'000'000);
            NoteRecord* note =
                catalogue.AddFoundNote(result.Found, name, LocalTimeFromDateTime(modified),
                                       wave.SampleRate, wave.SixteenBit ? 16 : 8);
            catalogue.CompleteNote(RoundHalfEven32(static_cast<double>(st.st_size) / 1024.0),
                                   FoundWaveDurationMs(wave));
            result.Restored.push_back(note);
        }
    } catch (const TellamoError& e) {
        result.Error = QString::fromStdString(e.what());
    }
    catalogue.Notes().SetLastAddedNote(recording);
    result.SaveError = catalogue.SaveCatalogue();
    return result;
}

} // namespace tellamo
