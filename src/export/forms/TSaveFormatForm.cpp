#include "export/forms/TSaveFormatForm.h"

#include <cmath>

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include "common/Rounding.h"
#include "common/Translate.h"
#include "dialogs/ActionBinding.h"
#include "dialogs/DialogButtons.h"
#include "dialogs/FormStorage.h"
#include "export/forms/ConvertProgress.h"

namespace tellamo {

TSaveFormatForm::TSaveFormatForm(QAction* askFormatAction, const QString& settingsFile,
                                 std::unique_ptr<ConvertCtrl> converter, QWidget* parent)
    : QDialog(parent), mAskFormatAction(askFormatAction),
      mConvertCtrl(converter ? std::move(converter) : std::make_unique<ConvertCtrl>()) {
    setObjectName(QStringLiteral("SaveFormatForm"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);

    FileFormatRadioGroup = new QGroupBox(TranslateText("File format"), this);
    FileFormatRadioGroup->setObjectName(QStringLiteral("FileFormatRadioGroup"));
    auto* group = new QButtonGroup(FileFormatRadioGroup);
    auto* items = new QVBoxLayout(FileFormatRadioGroup);
    for (int i = 0; i < 3; ++i) {
        auto* item = new QRadioButton(FileFormatRadioGroup);
        item->setObjectName(QStringLiteral("FileFormatItem%1").arg(i));
        group->addButton(item, i);
        items->addWidget(item);
        FileFormatItems << item;
    }
    SetItemIndex(TrueSpeechIndex);

    AskFormatCheckBox = new QCheckBox(this);
    AskFormatCheckBox->setObjectName(QStringLiteral("AskFormatCheckBox"));
    BindCheckBox(AskFormatCheckBox, askFormatAction);

    QDialogButtonBox* buttons = MakeOkCancelButtons(this, OKBitBtn, CancelBitBtn);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FileFormatRadioGroup);
    layout->addWidget(AskFormatCheckBox);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    mStorage = std::make_unique<FormStorage>(this, QStringLiteral("TSaveFormatForm"), settingsFile);
}

TSaveFormatForm::~TSaveFormatForm() {
    if (mStorage->Restored()) {
        mStorage->Save(true);
    }
}

void TSaveFormatForm::showEvent(QShowEvent* event) {
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    mStorage->Restore(); // a stored position wins over the centre
    QDialog::showEvent(event);
    // The arrow keys then change the format at once, and Enter confirms it.
    if (const int index = ItemIndex(); index >= 0) {
        FileFormatItems[index]->setFocus();
    }
}

void TSaveFormatForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    mStorage->Save();
}

int TSaveFormatForm::ItemIndex() const {
    for (int i = 0; i < FileFormatItems.size(); ++i) {
        if (FileFormatItems[i]->isChecked()) {
            return i;
        }
    }
    return -1;
}

void TSaveFormatForm::SetItemIndex(int index) {
    if (index >= 0 && index < FileFormatItems.size()) {
        FileFormatItems[index]->setChecked(true);
    }
}

bool TSaveFormatForm::ContainsText(const QString& text, const QString& part) {
    const QLocale locale;
    return locale.toUpper(text).contains(locale.toUpper(part));
}

qint64 TSaveFormatForm::WholeSeconds(double durationDays) {
    // Through whole milliseconds first, so that a duration of 3.5 s is exactly 3.5 and its half
    // goes to the even neighbour as intended.
    const double ms = std::round(durationDays * 24 * 60 * 60 * 1000);
    return RoundHalfEven(ms / 1000);
}

bool TSaveFormatForm::FindCompressor(bool (*matches)(const QString& name)) {
    CompressorList& list = mConvertCtrl->AudioCompressors();
    for (int i = 0; i < list.Count(); ++i) {
        if (matches(list.Item(i).Name())) {
            list.SetSelection(i);
            return true;
        }
    }
    return false;
}

bool TSaveFormatForm::FindTrueSpeech() {
    return FindCompressor([](const QString& name) {
        return ContainsText(name, QStringLiteral("dsp")) &&
               ContainsText(name, QStringLiteral("truespeech"));
    });
}

bool TSaveFormatForm::FindOpus() {
    return FindCompressor(
        [](const QString& name) { return ContainsText(name, QStringLiteral("opus")); });
}

bool TSaveFormatForm::TrueSpeechChosen() {
    return FindTrueSpeech() && ItemIndex() == TrueSpeechIndex;
}

bool TSaveFormatForm::OpusChosen() {
    return FindOpus() && ItemIndex() == OpusIndex;
}

bool TSaveFormatForm::WillAsk() {
    const bool trueSpeech = FindTrueSpeech();
    const bool opus = FindOpus();
    return (trueSpeech || opus) && mAskFormatAction->isChecked();
}

bool TSaveFormatForm::AskFormat(const QString& caption, const QString& pcmSizeText,
                                double durationDays) {
    setWindowTitle(caption);
    const qint64 seconds = WholeSeconds(durationDays);
    FileFormatItems[PcmIndex]->setText(TranslateText("PCM (as is):") + " " + pcmSizeText + " " +
                                       TranslateText("kb"));
    // The codecs' names are not translated.
    FileFormatItems[TrueSpeechIndex]->setText("DSP Group TrueSpeech: " + QString::number(seconds) +
                                              " " + TranslateText("kb"));
    FileFormatItems[OpusIndex]->setText("Ogg Opus: " + QString::number(2 * seconds) + " " +
                                        TranslateText("kb"));
    const bool trueSpeech = FindTrueSpeech();
    const bool opus = FindOpus();
    FileFormatItems[TrueSpeechIndex]->setEnabled(trueSpeech);
    FileFormatItems[OpusIndex]->setEnabled(opus);
    if (!trueSpeech && !opus) {
        return true; // the caller writes PCM
    }
    if (!mAskFormatAction->isChecked()) {
        return true; // the present choice applies
    }
    return exec() == QDialog::Accepted;
}

bool TSaveFormatForm::RunConversion(const QString& source, const QString& target, bool copyOnly) {
    const QString text = TranslateText("Writing") + " " + QFileInfo(target).fileName();
    ConvertCtrl& converter = *mConvertCtrl;
    return RunWithProgress(
        parentWidget() ? parentWidget() : QApplication::activeWindow(), windowTitle(), text,
        [&converter, source, target, copyOnly](const WorkProgress& progress) {
            if (copyOnly) {
                CopyFileStaged(RealFileSystem(), QFile::encodeName(source).toStdString(),
                               QFile::encodeName(target).toStdString(), progress);
                return;
            }
            converter.SetProgress(progress);
            try {
                converter.StartConvert();
            } catch (...) {
                converter.SetProgress({});
                throw;
            }
            converter.SetProgress({});
        });
}

bool TSaveFormatForm::ConvertFile(const QString& source, const QString& target) {
    ConvertCtrl& converter = *mConvertCtrl;
    converter.SetSourceFile(source);
    converter.SetTargetFile(target);
    const CompressorList& list = converter.AudioCompressors();
    const bool opus =
        list.Selection() >= 0 && list.Item(list.Selection()).Name() == ConvertCtrl::OpusName;
    converter.SetTargetFormat(opus ? ConvertCtrl::TargetFormatOgg : ConvertCtrl::TargetFormatWav);
    return RunConversion(source, target, false);
}

bool TSaveFormatForm::CopyFile(const QString& source, const QString& target) {
    return RunConversion(source, target, true);
}

} // namespace tellamo
