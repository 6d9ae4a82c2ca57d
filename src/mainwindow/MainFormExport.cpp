// Saving the current note as a file of the user's choice and handing it to the mail program.

#include <optional>

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "catalogue/Catalogue.h"
#include "common/Translate.h"
#include "export/MailCopy.h"
#include "export/MailSender.h"
#include "export/forms/TSaveFormatForm.h"
#include "mainwindow/Messages.h"
#include "mainwindow/TellamoMainForm.h"

namespace tellamo {

namespace {
const QString WavSuffix = QStringLiteral("wav");
const QString OpusSuffix = QStringLiteral("opus");

bool EndsWithSuffix(const QString& path, const QString& suffix) {
    return path.endsWith("." + suffix, Qt::CaseInsensitive);
}

// The target with the extension of the chosen format: the file dialog asked before the format
// was known, and a WAV file named .opus (or the reverse) would mislead every program that opens
// it.
QString WithFormatSuffix(QString path, bool opus) {
    const QString wanted = opus ? OpusSuffix : WavSuffix;
    const QString other = opus ? WavSuffix : OpusSuffix;
    if (EndsWithSuffix(path, wanted)) {
        return path;
    }
    if (EndsWithSuffix(path, other)) {
        path.chop(other.size());
        return path + wanted;
    }
    return path + "." + wanted;
}

QString CanonicalFolder(const QString& folder) {
    return QFileInfo(folder).canonicalFilePath();
}
} // namespace

void TTellamoMainForm::ConnectExport() {
    ConnectCommand(mActions.SaveAsFileAction, this, [this] { SaveAsFileActionExecute(); });
    ConnectCommand(mActions.SendByEMailAction, this, [this] { SendByEMailActionExecute(); });
}

QString TTellamoMainForm::ReplaceBadChars(QString text) {
    for (const QChar bad : {u'<', u'>', u'"', u'[', u']', u'|', u'\\'}) {
        text.replace(bad, u'_');
    }
    return text;
}

bool TTellamoMainForm::RefuseNoteBeingRecorded(const NoteRecord* note) {
    // The recorder completes the header only now and then, so a copy taken now would declare
    // less sound than it holds, and the size in the format question would read 0.
    if (!mDictaphone->IsBeingRecorded(note)) {
        return false;
    }
    ShowErrorBox(this, TranslateText("This note is still being recorded. Stop the recording "
                                     "first, then pass the note on."));
    return true;
}

void TTellamoMainForm::SaveAsFileActionExecute() {
    const NoteRecord* note = mCat.Notes().Current();
    if (!note || !mSaveFormatForm || RefuseNoteBeingRecorded(note)) {
        return;
    }
    const double days = note->Duration.value_or(0) / 86400000.0;
    const QString sizeText = QString::number(note->FileSizeKB.value_or(0));

    // The format is known before the file dialog when the user will not be asked: the dialog
    // then offers the right extension from the start.
    const bool opusKnown = !mSaveFormatForm->WillAsk() && mSaveFormatForm->OpusChosen();
    QFileDialog dialog(this, TranslateText("Save As"), mLastSaveDir);
    dialog.setObjectName(QStringLiteral("SaveDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(opusKnown ? TranslateText("Ogg Opus files (*.opus)")
                                   : TranslateText("Wav files (*.wav)"));
    dialog.setDefaultSuffix(opusKnown ? OpusSuffix : WavSuffix);
    dialog.selectFile(ReplaceBadChars(QString::fromUtf8(note->Description)));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    QString target = dialog.selectedFiles().constFirst();

    // A file of the storage folder (the note's own sound, its graph, the catalogue) must never
    // be replaced by a saved copy.
    const QString folder = CanonicalFolder(QFileInfo(target).absolutePath());
    const QString storage = CanonicalFolder(mCat.Files().StorageFolder());
    if (!storage.isEmpty() && (folder == storage || folder.startsWith(storage + "/"))) {
        ShowErrorBox(
            this, TranslateText("The storage folder holds the notes themselves; save the note into "
                                "another folder."));
        return;
    }

    if (!mSaveFormatForm->AskFormat(TranslateText("Save As"), sizeText, days)) {
        return;
    }
    const QString corrected = WithFormatSuffix(target, mSaveFormatForm->OpusChosen());
    if (corrected != target) {
        target = corrected;
        if (QFileInfo::exists(target) &&
            !AskConfirmation(this,
                             "\"" + QFileInfo(target).fileName() + "\" " +
                                 TranslateText("already exists. Do you want to replace it?"))) {
            return;
        }
    }
    mLastSaveDir = QFileInfo(target).absolutePath() + "/";
    SaveNoteAs(target);
}

bool TTellamoMainForm::SaveNoteAs(const QString& target) {
    const NoteRecord* note = mCat.Notes().Current();
    if (!note || !mSaveFormatForm) {
        return false;
    }
    const QString source = mCat.Files().NoteWavPath(note->FileName);
    // Each way writes beside the target and renames over it only when complete: a missing note
    // or a full disk leaves an existing target as it was, and the error is shown.
    if (mSaveFormatForm->TrueSpeechChosen() || mSaveFormatForm->OpusChosen()) {
        return mSaveFormatForm->ConvertFile(source, target);
    }
    return mSaveFormatForm->CopyFile(source, target);
}

void TTellamoMainForm::SendByEMailActionExecute() {
    const NoteRecord* note = mCat.Notes().Current();
    if (!note || !mSaveFormatForm || RefuseNoteBeingRecorded(note)) {
        return;
    }
    const QString wav = mCat.Files().NoteWavPath(note->FileName);
    if (wav.isEmpty()) {
        return;
    }
    // Copies are made only once the format is chosen, and only of that format: a question
    // cancelled or answered with another format leaves nothing behind.
    if (!mSaveFormatForm->AskFormat(TranslateText("Send By E-Mail"),
                                    QString::number(note->FileSizeKB.value_or(0)),
                                    note->Duration.value_or(0) / 86400000.0)) {
        return;
    }
    QString attachment = wav;
    std::optional<MailCopyKind> kind;
    if (mSaveFormatForm->TrueSpeechChosen()) {
        kind = MailCopyKind::TrueSpeech;
    } else if (mSaveFormatForm->OpusChosen()) {
        kind = MailCopyKind::Opus;
    }
    if (kind) {
        attachment = MailCopyPath(wav, *kind);
        // A copy standing in the folder is reused only when this program made it from the
        // note's current sound; the converter writes a new one beside it and renames it over
        // whatever stands at the name, a planted link included.
        if (!IsCurrentMailCopy(attachment, wav, *kind) &&
            !mSaveFormatForm->ConvertFile(wav, attachment)) {
            return;
        }
    }
    if (mMail) {
        mMail->SendMail({}, QString::fromUtf8(note->Description), QString(), {attachment});
    }
}

} // namespace tellamo
