#pragma once

#include <memory>

#include <QDialog>
#include <QList>

#include "export/ConvertCtrl.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace tellamo {

class FormStorage;

// The question of the format in which a note leaves the program (Save As, Send by e-mail), and
// the converter that writes the chosen format. One instance lives for the whole run; the choice
// stays between uses within a run and is TrueSpeech again at the next start. Its settings
// section holds only its placement.
class TSaveFormatForm : public QDialog {
    Q_OBJECT
public:
    // Items of FileFormatRadioGroup; 0 and 1 keep their meaning for stored habits and
    // translations.
    enum FormatIndex { PcmIndex = 0, TrueSpeechIndex = 1, OpusIndex = 2 };

    // askFormatAction: the main window's option, shown as the dialog's check box. converter:
    // the converter to use (a default one when none is given).
    TSaveFormatForm(QAction* askFormatAction, const QString& settingsFile,
                    std::unique_ptr<ConvertCtrl> converter = nullptr, QWidget* parent = nullptr);
    ~TSaveFormatForm() override;

    // Fills the items' texts (size of the note's WAV in kB as text, duration in days) and, when
    // the option asks for it and a compressor is there, asks the user. True when the caller may
    // go on.
    bool AskFormat(const QString& caption, const QString& pcmSizeText, double durationDays);
    // Whether the user will be asked (the option is on and a compressor is there); otherwise the
    // format is known before AskFormat.
    bool WillAsk();
    // Whether the converter offers the compressor; selects it in the converter. Looked up anew
    // at every call.
    bool FindTrueSpeech();
    bool FindOpus();
    // The compressor is there and the radio group stands for it.
    bool TrueSpeechChosen();
    bool OpusChosen();
    // Converts source into target with the compressor the last Find selected, on a worker
    // thread under a progress dialog. True when target is complete, false when the user
    // cancelled (target is then as before). Throws TellamoError on failure.
    bool ConvertFile(const QString& source, const QString& target);
    // Copies source to target byte for byte in the same way.
    bool CopyFile(const QString& source, const QString& target);

    // Substring test without regard to case, by the user's locale's upper-casing.
    static bool ContainsText(const QString& text, const QString& part);
    // The size estimate in kB of each compressed format for a duration in days: TrueSpeech one
    // kB per second, Ogg Opus two.
    static qint64 WholeSeconds(double durationDays);

    int ItemIndex() const;
    void SetItemIndex(int index);

    QGroupBox* FileFormatRadioGroup = nullptr;
    QList<QRadioButton*> FileFormatItems;
    QCheckBox* AskFormatCheckBox = nullptr;
    QPushButton* OKBitBtn = nullptr;
    QPushButton* CancelBitBtn = nullptr;

    ConvertCtrl& Converter() { return *mConvertCtrl; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool FindCompressor(bool (*matches)(const QString& name));
    bool RunConversion(const QString& source, const QString& target, bool copyOnly);
    QAction* mAskFormatAction;
    std::unique_ptr<ConvertCtrl> mConvertCtrl;
    std::unique_ptr<FormStorage> mStorage;
};

} // namespace tellamo
