#pragma once

#include <QString>

namespace tellamo {

// The compressed copies of a note that Send by e-mail attaches. They stay beside the note's WAV
// (NNNNNNp.wav for TrueSpeech, NNNNNNo.opus for Ogg Opus) so that mailing the same note again
// needs no second conversion, and go with the note when it is deleted for good.
enum class MailCopyKind { TrueSpeech, Opus };

// The copy's path for the note whose sound is noteWav (a path ending in ".wav").
QString MailCopyPath(const QString& noteWav, MailCopyKind kind);

// Whether the file at copyPath may be attached as it stands: a regular file (a link at the name
// is never followed), changed after the note's WAV (so made from the note's current sound, not
// left behind by a deleted note that had the same number or by a recording since) and beginning
// as the program writes that format. Anything else is to be made again.
bool IsCurrentMailCopy(const QString& copyPath, const QString& noteWav, MailCopyKind kind);

} // namespace tellamo
