#include "export/MailCopy.h"

#include <cstring>

#include <sys/stat.h>

#include <QFile>

#include "common/Errors.h"
#include "common/Files.h"

namespace tellamo {

namespace {
bool NewerThan(const struct stat& a, const struct stat& b) {
    return a.st_mtim.tv_sec > b.st_mtim.tv_sec ||
           (a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec > b.st_mtim.tv_nsec);
}

bool StartsAsWritten(const std::string& bytes, MailCopyKind kind) {
    if (kind == MailCopyKind::Opus) {
        // The first Ogg page carries the Opus identification header.
        return bytes.size() >= 36 && bytes.compare(0, 4, "OggS") == 0 &&
               bytes.compare(28, 8, "OpusHead") == 0;
    }
    // A WAV whose format chunk comes first and names TrueSpeech (format tag 0x0022).
    return bytes.size() >= 22 && bytes.compare(0, 4, "RIFF") == 0 &&
           bytes.compare(8, 4, "WAVE") == 0 && bytes.compare(12, 4, "fmt ") == 0 &&
           static_cast<unsigned char>(bytes[20]) == 0x22 && bytes[21] == 0;
}
} // namespace

QString MailCopyPath(const QString& noteWav, MailCopyKind kind) {
    const QString stem = noteWav.left(noteWav.size() - 4); // without ".wav"
    return stem +
           (kind == MailCopyKind::TrueSpeech ? QStringLiteral("p.wav") : QStringLiteral("o.opus"));
}

bool IsCurrentMailCopy(const QString& copyPath, const QString& noteWav, MailCopyKind kind) {
    const QByteArray copy = QFile::encodeName(copyPath);
    struct stat copyStat {};
    struct stat wavStat {};
    if (::lstat(copy.constData(), &copyStat) != 0 || !S_ISREG(copyStat.st_mode) ||
        ::stat(QFile::encodeName(noteWav).constData(), &wavStat) != 0 ||
        !NewerThan(copyStat, wavStat)) {
        return false;
    }
    try {
        return StartsAsWritten(ReadFilePrefix(copy.toStdString(), 64).Bytes, kind);
    } catch (const TellamoError&) {
        return false;
    }
}

} // namespace tellamo
