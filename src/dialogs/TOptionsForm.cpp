#include "dialogs/TOptionsForm.h"

#include <algorithm>

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>

#include "common/Translate.h"
#include "desktop/DesktopLaunch.h"
#include "desktop/HotKeyService.h"
#include "desktop/THotKeyEdit.h"
#include "desktop/THotKeyManager.h"
#include "dialogs/ActionBinding.h"
#include "dialogs/FormStorage.h"
#include "dictaphone/GraphSurface.h"

namespace tellamo {

namespace {
const char* const ColorNames[16] = {
    Translatable("Black"),  Translatable("Maroon"),  Translatable("Green"), Translatable("Olive"),
    Translatable("Navy"),   Translatable("Purple"),  Translatable("Teal"),  Translatable("Gray"),
    Translatable("Silver"), Translatable("Red"),     Translatable("Lime"),  Translatable("Yellow"),
    Translatable("Blue"),   Translatable("Fuchsia"), Translatable("Aqua"),  Translatable("White")};

QCheckBox* BoundBox(const char* name, QAction* action, QWidget* parent) {
    auto* box = new QCheckBox(parent);
    if (*name) {
        box->setObjectName(QString::fromLatin1(name));
    }
    BindCheckBox(box, action);
    return box;
}

// A number typed past the range is taken whole and brought to the nearest end of the range when
// the field is left, instead of losing the keys that would carry it past (44100 becoming 4410).
class ClampingSpinBox final : public QSpinBox {
public:
    using QSpinBox::QSpinBox;

    QValidator::State validate(QString& text, int& pos) const override {
        const QValidator::State state = QSpinBox::validate(text, pos);
        if (state != QValidator::Invalid) {
            return state;
        }
        bool ok = false;
        const qint64 typed = Typed(text, &ok);
        return ok && (typed < minimum() || typed > maximum()) ? QValidator::Intermediate : state;
    }

    void fixup(QString& text) const override {
        bool ok = false;
        const qint64 typed = Typed(text, &ok);
        if (ok) {
            text = textFromValue(static_cast<int>(std::clamp<qint64>(typed, minimum(), maximum())));
        } else {
            QSpinBox::fixup(text);
        }
    }

private:
    // Plain digits (the locale's group separators allowed), no more than a few past the range's.
    qint64 Typed(const QString& text, bool* ok) const {
        QString digits = text.trimmed();
        digits.remove(locale().groupSeparator());
        *ok = !digits.isEmpty() && digits.size() <= 12 &&
              std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); });
        return *ok ? digits.toLongLong(ok) : 0;
    }
};

QSpinBox* SpinEdit(const char* name, int minimum, int maximum, int value, QWidget* parent) {
    auto* edit = new ClampingSpinBox(parent);
    edit->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setRange(minimum, maximum);
    edit->setValue(value);
    return edit;
}

QToolButton* ActionButton(QAction* action, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return button;
}
} // namespace

QComboBox* TOptionsForm::ColorList(const char* name, QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QString::fromLatin1(name));
    for (int i = 0; i < 16; ++i) {
        QPixmap swatch(16, 12);
        swatch.fill(QColor(ColorToQRgb(StandardColors[static_cast<std::size_t>(i)])));
        QPainter(&swatch).drawRect(0, 0, 15, 11);
        list->addItem(QIcon(swatch), TranslateText(ColorNames[i]));
    }
    return list;
}

ColorValue TOptionsForm::ColorOf(const QComboBox* list) {
    return StandardColors[static_cast<std::size_t>(std::clamp(list->currentIndex(), 0, 15))];
}

void TOptionsForm::SetColor(QComboBox* list, ColorValue color) {
    list->setCurrentIndex(StandardColorIndex(color));
}

TOptionsForm::TOptionsForm(const OptionsBindings& bindings, QWidget* parent)
    : QDialog(parent), mBindings(bindings) {
    setObjectName(QStringLiteral("OptionsForm"));
    setWindowTitle(TranslateText("Options"));
    BuildPages();

    mStorage =
        std::make_unique<FormStorage>(this, QStringLiteral("TOptionsForm"), mBindings.SettingsFile);
    FormStorage& store = *mStorage;
    store.Add(
        "OptionsPageControl_ActivePage",
        [this] { return OptionsPageControl->currentWidget()->objectName(); },
        [this](const QString& name) {
            if (auto* page = OptionsPageControl->findChild<QWidget*>(name)) {
                OptionsPageControl->setCurrentWidget(page);
            }
        });
    store.AddInt(
        "SampleRateCurrencyEdit_Value", [this] { return SampleRateCurrencyEdit->value(); },
        [this](int v) { SampleRateCurrencyEdit->setValue(v); });
    store.AddInt(
        "VelocityRxSpinEdit_Value", [this] { return VelocityRxSpinEdit->value(); },
        [this](int v) { VelocityRxSpinEdit->setValue(v); });
    for (QComboBox* list : {BackGroundColorComboBox, VoiceColorComboBox, SilenceColorComboBox}) {
        store.AddInt(
            list->objectName() + "_ColorValue", [list] { return static_cast<int>(ColorOf(list)); },
            [list](int v) { SetColor(list, static_cast<ColorValue>(v)); });
    }
    store.AddInt(
        "BitsPerSampleRadioGroup_ItemIndex",
        [this] { return BitsPerSampleRadioGroup->checkedId(); },
        [this](int v) {
            if (auto* item = BitsPerSampleRadioGroup->button(v)) {
                item->setChecked(true);
            }
        });
    store.AddInt(
        "SilenceRxSpinEdit_Value", [this] { return SilenceRxSpinEdit->value(); },
        [this](int v) { SilenceRxSpinEdit->setValue(v); });
    for (QSpinBox* edit : {SkipStepSpinEdit, RewindOnResumeSpinEdit}) {
        store.AddInt(
            edit->objectName() + "_Value", [edit] { return edit->value(); },
            [edit](int v) { edit->setValue(v); });
    }
    for (THotKeyEdit* edit : {RecordHotKey, StopHotKey}) {
        store.AddInt(
            edit->objectName() + "_HotKey", [edit] { return static_cast<int>(edit->HotKey()); },
            [edit](int v) { edit->SetHotKey(static_cast<ShortCut>(v)); });
    }

    // Loading at creation: the values are in force before anything records or draws.
    mLoading = true;
    mStorage->Restore();
    mLoading = false;
    mSavedSinceShown = false;
    TakeOldHotKeys();
    SampleRateRxSlider->setValue(SampleRateCurrencyEdit->value());
    mBindings.SilenceSlider->setValue(SilenceRxSpinEdit->value());
    VolumeRxSpinEdit->setValue(mBindings.VolumeSlider->value());
    UpdateDataRateLabel();
    WriteThrough();
    ApplyPlaybackSteps();
    // AutoLaunchActionExecute: the check mark has flipped; the entry follows it at once.
    connect(mBindings.AutoLaunchAction, &QAction::triggered, this,
            &TOptionsForm::SyncStartupShortcut);
}

TOptionsForm::~TOptionsForm() {
    if (!mSavedSinceShown) {
        mStorage->Save(true);
    }
}

void TOptionsForm::BuildPages() {
    OptionsPageControl = new QTabWidget(this);
    OptionsPageControl->setObjectName(QStringLiteral("OptionsPageControl"));
    auto page = [this](const char* name, const char* caption) {
        auto* widget = new QWidget(OptionsPageControl);
        widget->setObjectName(QString::fromLatin1(name));
        OptionsPageControl->addTab(widget, TranslateText(caption));
        return widget;
    };
    const OptionsBindings& b = mBindings;

    QWidget* behavior = page("BehaviorTabSheet", Translatable("Reaction"));
    auto* behaviorLayout = new QVBoxLayout(behavior);
    behaviorLayout->addWidget(BoundBox("AffiliateCheckBox", b.AffiliateAction, behavior));
    behaviorLayout->addWidget(
        BoundBox("SoundNotificationCheckBox", b.SoundNotificationAction, behavior));
    behaviorLayout->addWidget(BoundBox("AskDescriptionCheckBox", b.AskDescriptionAction, behavior));
    behaviorLayout->addWidget(BoundBox("", b.AskFormatAction, behavior));
    behaviorLayout->addWidget(BoundBox("MinimizeToTrayCheckBox", b.MinimizeToTrayAction, behavior));
    behaviorLayout->addWidget(BoundBox("", b.AutoLaunchAction, behavior));
    behaviorLayout->addWidget(BoundBox("", b.RecycleRecordAction, behavior));
    QToolButton* audioSettings = ActionButton(b.AudioSettingsAction, behavior);
    audioSettings->setObjectName(QStringLiteral("AudioSettingsSpeedButton"));
    behaviorLayout->addWidget(audioSettings);
    behaviorLayout->addStretch();

    QWidget* record = page("RecordQualityTabSheet", Translatable("Record"));
    auto* recordLayout = new QVBoxLayout(record);
    auto* bits = new QGroupBox(TranslateText("Bits Per Sample"), record);
    auto* bitsLayout = new QHBoxLayout(bits);
    BitsPerSampleRadioGroup = new QButtonGroup(this);
    BitsPerSampleRadioGroup->setObjectName(QStringLiteral("BitsPerSampleRadioGroup"));
    auto* eight = new QRadioButton(QStringLiteral("  8"), bits);
    auto* sixteen = new QRadioButton(QStringLiteral("16"), bits);
    BitsPerSampleRadioGroup->addButton(eight, 0);
    BitsPerSampleRadioGroup->addButton(sixteen, 1);
    sixteen->setChecked(true);
    bitsLayout->addWidget(eight);
    bitsLayout->addWidget(sixteen);
    recordLayout->addWidget(bits);
    auto* rate = new QGroupBox(TranslateText("Sample Rate"), record);
    auto* rateLayout = new QGridLayout(rate);
    SampleRateRxSlider = new QSlider(Qt::Horizontal, rate);
    SampleRateRxSlider->setObjectName(QStringLiteral("SampleRateRxSlider"));
    SampleRateRxSlider->setRange(4000, 22050);
    SampleRateRxSlider->setValue(11025);
    rateLayout->addWidget(new QLabel(TranslateText("(Smaller"), rate), 0, 0);
    rateLayout->addWidget(SampleRateRxSlider, 0, 1);
    rateLayout->addWidget(new QLabel(TranslateText("Better)"), rate), 0, 2);
    SampleRateCurrencyEdit = SpinEdit("SampleRateCurrencyEdit", 4000, 22050, 11025, rate);
    SampleRateCurrencyEdit->setGroupSeparatorShown(true);
    SampleRateCurrencyEdit->setToolTip(TranslateText("Sample rate"));
    auto* samplesLabel = new QLabel(TranslateText("Samples/sec:"), rate);
    samplesLabel->setBuddy(SampleRateCurrencyEdit);
    rateLayout->addWidget(samplesLabel, 1, 0);
    SampleRateRxSlider->setAccessibleName(TranslateText("Sample Rate"));
    rateLayout->addWidget(SampleRateCurrencyEdit, 1, 1);
    KBSLabel = new QLabel(QStringLiteral("0,0 kb/sec"), rate);
    KBSLabel->setObjectName(QStringLiteral("KBSLabel"));
    rateLayout->addWidget(KBSLabel, 1, 2);
    // The recogniser hears 16 kHz; slower notes lose words (measured: a quarter fewer at 8 kHz).
    auto* rateHint = new QLabel(TranslateText("16,000 Hz or more transcribes best"), rate);
    rateHint->setObjectName(QStringLiteral("TranscribeRateLabel"));
    rateLayout->addWidget(rateHint, 2, 1, 1, 2);
    recordLayout->addWidget(rate);
    // Bound to the window's option by SetTranscription; until then it cannot be chosen.
    TranscribeCheckBox = new QCheckBox(TranslateText("Transcribe notes (English)"), record);
    TranscribeCheckBox->setObjectName(QStringLiteral("TranscribeCheckBox"));
    TranscribeCheckBox->setEnabled(false);
    recordLayout->addWidget(TranscribeCheckBox);
    TranscribeNoteLabel = new QLabel(record);
    TranscribeNoteLabel->setObjectName(QStringLiteral("TranscribeNoteLabel"));
    TranscribeNoteLabel->setWordWrap(true);
    TranscribeNoteLabel->hide();
    recordLayout->addWidget(TranscribeNoteLabel);
    auto* presets = new QHBoxLayout;
    DefaultQualitySpeedButton = new QPushButton(TranslateText("Default Quality"), record);
    DefaultQualitySpeedButton->setObjectName(QStringLiteral("DefaultQualitySpeedButton"));
    VoiceQualitySpeedButton = new QPushButton(TranslateText("Voice Quality"), record);
    VoiceQualitySpeedButton->setObjectName(QStringLiteral("VoiceQualitySpeedButton"));
    presets->addWidget(DefaultQualitySpeedButton);
    presets->addWidget(VoiceQualitySpeedButton);
    recordLayout->addLayout(presets);
    recordLayout->addStretch();

    QWidget* playback = page("PlaybackTabSheet", Translatable("Playback"));
    auto* playbackLayout = new QFormLayout(playback);
    playbackLayout->addRow(BoundBox("MuteCheckBox", b.MuteAction, playback));
    VolumeRxSpinEdit = SpinEdit("VolumeRxSpinEdit", 0, 100, 50, playback);
    playbackLayout->addRow(TranslateText("Volume, %"), VolumeRxSpinEdit);
    playbackLayout->addRow(ActionButton(b.VolumeControlAction, playback));
    SkipStepSpinEdit = SpinEdit("SkipStepSpinEdit", 1, 60, 5, playback);
    SkipStepSpinEdit->setToolTip(TranslateText("Seconds"));
    playbackLayout->addRow(TranslateText("Skip step"), SkipStepSpinEdit);
    RewindOnResumeSpinEdit = SpinEdit("RewindOnResumeSpinEdit", 0, 30, 1, playback);
    RewindOnResumeSpinEdit->setSpecialValueText(TranslateText("Off"));
    RewindOnResumeSpinEdit->setToolTip(TranslateText("Seconds"));
    playbackLayout->addRow(TranslateText("Rewind on resume"), RewindOnResumeSpinEdit);

    QWidget* graph = page("GraphTabSheet", Translatable("Graph"));
    auto* graphLayout = new QFormLayout(graph);
    graphLayout->addRow(BoundBox("BiDirectionalCheckBox", b.BiDirectionalAction, graph));
    VelocityRxSpinEdit = SpinEdit("VelocityRxSpinEdit", 1, 100, 20, graph);
    graphLayout->addRow(TranslateText("Velocity, pixels/sec"), VelocityRxSpinEdit);
    BackGroundColorComboBox = ColorList("BackGroundColorComboBox", graph);
    VoiceColorComboBox = ColorList("VoiceColorComboBox", graph);
    SilenceColorComboBox = ColorList("SilenceColorComboBox", graph);
    SetColor(BackGroundColorComboBox, ColorNavy);
    SetColor(VoiceColorComboBox, ColorYellow);
    SetColor(SilenceColorComboBox, ColorAqua);
    graphLayout->addRow(TranslateText("Background"), BackGroundColorComboBox);
    graphLayout->addRow(TranslateText("Voice"), VoiceColorComboBox);
    graphLayout->addRow(TranslateText("Noise Level"), SilenceColorComboBox);
    DefaultGraphSpeedButton = new QPushButton(TranslateText("Default Colors"), graph);
    DefaultGraphSpeedButton->setObjectName(QStringLiteral("DefaultGraphSpeedButton"));
    graphLayout->addRow(DefaultGraphSpeedButton);
    graphLayout->addRow(BoundBox("ReDrawCheckBox", b.RedrawGraphesAction, graph));

    QWidget* quiet = page("QuietTabSheet", Translatable("Quiet"));
    auto* quietLayout = new QFormLayout(quiet);
    quietLayout->addRow(BoundBox("SilenceCheckBox", b.SilenceAction, quiet));
    SilenceRxSpinEdit = SpinEdit("SilenceRxSpinEdit", 0, 30, 10, quiet);
    quietLayout->addRow(TranslateText("Noise Level, %"), SilenceRxSpinEdit);

    QWidget* hotKeys = page("HotKeyTabSheet", Translatable("HotKeys"));
    auto* hotKeyLayout = new QFormLayout(hotKeys);
    RecordHotKey = new THotKeyEdit(hotKeys);
    RecordHotKey->setObjectName(QStringLiteral("RecordHotKey"));
    StopHotKey = new THotKeyEdit(hotKeys);
    StopHotKey->setObjectName(QStringLiteral("StopHotKey"));
    // Their check boxes stand where labels would; a screen reader needs the fields' own names.
    RecordHotKey->setAccessibleName(TranslateText("Record Hotkey"));
    StopHotKey->setAccessibleName(TranslateText("Stop Hotkey"));
    RecordHotKeyCheckBox = BoundBox("RecordHotKeyCheckBox", b.RecordHotkeyAction, hotKeys);
    StopHotKeyCheckBox = BoundBox("StopHotKeyCheckBox", b.StopHotkeyAction, hotKeys);
    hotKeyLayout->addRow(RecordHotKeyCheckBox, RecordHotKey);
    hotKeyLayout->addRow(StopHotKeyCheckBox, StopHotKey);
    HotKeyNoteLabel = new QLabel(hotKeys);
    HotKeyNoteLabel->setObjectName(QStringLiteral("HotKeyNoteLabel"));
    HotKeyNoteLabel->setWordWrap(true);
    HotKeyNoteLabel->hide();
    hotKeyLayout->addRow(HotKeyNoteLabel);
    HotKeyClashLabel = new QLabel(hotKeys);
    HotKeyClashLabel->setObjectName(QStringLiteral("HotKeyClashLabel"));
    HotKeyClashLabel->setWordWrap(true);
    HotKeyClashLabel->hide();
    hotKeyLayout->addRow(HotKeyClashLabel);
    for (THotKeyEdit* edit : {RecordHotKey, StopHotKey}) {
        connect(edit, &THotKeyEdit::HotKeyChanged, this, [this] { ShowHotKeyClash(); });
    }
    // Each hotkey field is enabled exactly while its option is on.
    for (auto [edit, action] : {std::pair{RecordHotKey, b.RecordHotkeyAction},
                                std::pair{StopHotKey, b.StopHotkeyAction}}) {
        edit->setEnabled(action->isChecked());
        connect(action, &QAction::toggled, edit, &QWidget::setEnabled);
    }
    OptionsPageControl->setCurrentWidget(hotKeys); // the first run opens on the hotkeys
    // Every page's tab in view at once.
    OptionsPageControl->setMinimumWidth(OptionsPageControl->tabBar()->sizeHint().width() + 24);

    auto* close = new QDialogButtonBox(this);
    close->addButton(TranslateText("&Close"), QDialogButtonBox::AcceptRole);
    connect(close, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(OptionsPageControl);
    layout->addWidget(close);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // The sample rate's edit and slider follow each other when the user moves one of them.
    connect(SampleRateCurrencyEdit, &QSpinBox::valueChanged, this, [this](int value) {
        if (SampleRateCurrencyEdit->hasFocus()) {
            SampleRateRxSlider->setValue(value);
        }
        UpdateDataRateLabel();
        WriteThrough();
    });
    connect(SampleRateRxSlider, &QSlider::valueChanged, this, [this](int value) {
        if (SampleRateRxSlider->hasFocus()) {
            SampleRateCurrencyEdit->setValue(value);
        }
        UpdateDataRateLabel();
        WriteThrough();
    });
    connect(BitsPerSampleRadioGroup, &QButtonGroup::idClicked, this, [this] {
        UpdateDataRateLabel();
        WriteThrough();
    });
    connect(DefaultQualitySpeedButton, &QPushButton::clicked, this,
            [this] { DefaultQualitySpeedButtonClick(false); });
    connect(VoiceQualitySpeedButton, &QPushButton::clicked, this,
            [this] { DefaultQualitySpeedButtonClick(true); });
    connect(DefaultGraphSpeedButton, &QPushButton::clicked, this,
            [this] { DefaultGraphSpeedButtonClick(); });
    connect(SilenceRxSpinEdit, &QSpinBox::valueChanged, this, [this](int value) {
        if (SilenceRxSpinEdit->hasFocus()) {
            mBindings.SilenceSlider->setValue(value);
        }
        WriteThrough();
    });
    connect(VolumeRxSpinEdit, &QSpinBox::valueChanged, this, [this](int value) {
        if (VolumeRxSpinEdit->hasFocus()) {
            mBindings.VolumeSlider->setValue(value);
        }
    });
    connect(VelocityRxSpinEdit, &QSpinBox::valueChanged, this, [this] { WriteThrough(); });
    for (QSpinBox* edit : {SkipStepSpinEdit, RewindOnResumeSpinEdit}) {
        connect(edit, &QSpinBox::valueChanged, this, [this] { ApplyPlaybackSteps(); });
    }
    for (QComboBox* list : {BackGroundColorComboBox, VoiceColorComboBox, SilenceColorComboBox}) {
        connect(list, &QComboBox::currentIndexChanged, this, [this] { WriteThrough(); });
    }
}

void TOptionsForm::WriteThrough() {
    if (!SilenceRxSpinEdit || !SilenceColorComboBox || !VelocityRxSpinEdit) {
        return; // still building the pages
    }
    mBindings.Recording.SampleRate = static_cast<std::uint16_t>(SampleRateCurrencyEdit->value());
    mBindings.Recording.SixteenBit = BitsPerSampleRadioGroup->checkedId() == 1;
    mBindings.Recording.NoiseLevelPercent = SilenceRxSpinEdit->value();
    mBindings.Graph.Velocity = VelocityRxSpinEdit->value();
    mBindings.Graph.BackgroundColor = ColorOf(BackGroundColorComboBox);
    mBindings.Graph.VoiceColor = ColorOf(VoiceColorComboBox);
    mBindings.Graph.NoiseLevelColor = ColorOf(SilenceColorComboBox);
}

void TOptionsForm::ApplyPlaybackSteps() {
    if (mBindings.PlaybackSteps && SkipStepSpinEdit && RewindOnResumeSpinEdit) {
        mBindings.PlaybackSteps(static_cast<std::uint32_t>(SkipStepSpinEdit->value()) * 1000,
                                static_cast<std::uint32_t>(RewindOnResumeSpinEdit->value()) * 1000);
    }
}

void TOptionsForm::UpdateDataRateLabel() {
    double rate = SampleRateRxSlider->value() / 1024.0;
    if (BitsPerSampleRadioGroup->checkedId() == 1) {
        rate *= 2;
    }
    KBSLabel->setText(QLocale().toString(rate, 'f', 1) + " " + TranslateText("kb/sec"));
}

void TOptionsForm::DefaultQualitySpeedButtonClick(bool voiceQuality) {
    const int rate = voiceQuality ? 8000 : 11025;
    SampleRateRxSlider->setValue(rate);
    SampleRateCurrencyEdit->setValue(rate);
    BitsPerSampleRadioGroup->button(voiceQuality ? 0 : 1)->setChecked(true);
    UpdateDataRateLabel();
    WriteThrough();
}

void TOptionsForm::DefaultGraphSpeedButtonClick() {
    SetColor(BackGroundColorComboBox, ColorBlack);
    SetColor(VoiceColorComboBox, ColorLime);
    SetColor(SilenceColorComboBox, ColorYellow);
}

void TOptionsForm::SetWindowKeys(std::vector<ShortCut> keys) {
    mWindowKeys = std::move(keys);
    ShowHotKeyClash();
}

void TOptionsForm::ShowHotKeyClash() {
    QStringList clashes;
    for (const THotKeyEdit* edit : {RecordHotKey, StopHotKey}) {
        const ShortCut key = edit->HotKey();
        if (key != 0 &&
            std::find(mWindowKeys.begin(), mWindowKeys.end(), key) != mWindowKeys.end()) {
            clashes << TranslateText("%1 is also one of the window's own keys: as a system-wide "
                                     "hotkey it is taken from every program, this window too.")
                           .arg(ShortCutToText(key));
        }
    }
    HotKeyClashLabel->setText(clashes.join('\n'));
    HotKeyClashLabel->setVisible(!clashes.isEmpty());
}

void TOptionsForm::TakeOldHotKeys() {
    OldRecordHotKey = RecordHotKeyCheckBox->isChecked() ? RecordHotKey->HotKey() : ShortCut(0);
    OldStopHotKey = StopHotKeyCheckBox->isChecked() ? StopHotKey->HotKey() : ShortCut(0);
}

void TOptionsForm::SetTranscription(QAction* transcribeAction, const QString& unavailable) {
    BindCheckBox(TranscribeCheckBox, transcribeAction);
    TranscribeCheckBox->setEnabled(unavailable.isEmpty());
    TranscribeNoteLabel->setText(unavailable);
    TranscribeNoteLabel->setVisible(!unavailable.isEmpty());
}

void TOptionsForm::SetHotKeyManager(THotKeyManager* manager) {
    mHotKeys = manager;
    const bool available = manager && manager->Service().Available();
    HotKeyNoteLabel->setVisible(!available);
    HotKeyNoteLabel->setText(
        available ? QString()
        : manager ? TranslateText(manager->Service().UnavailableReason())
                  : TranslateText("System-wide hotkeys are not available on this desktop."));
    RecordHotKeyCheckBox->setEnabled(available);
    StopHotKeyCheckBox->setEnabled(available);
}

bool TOptionsForm::ApplyHotKey(ShortCut oldKey, ShortCut newKey, bool force,
                               const QCheckBox* checkBox) {
    return ApplyOneHotKey(oldKey, newKey, force, checkBox, true);
}

bool TOptionsForm::ApplyOneHotKey(ShortCut oldKey, ShortCut newKey, bool force,
                                  const QCheckBox* checkBox, bool oldRegistered) {
    if (!mHotKeys) {
        return true;
    }
    bool result = true;
    const bool checked = checkBox->isChecked();
    if (oldRegistered && oldKey != 0 && (oldKey != newKey || !checked)) {
        mHotKeys->RemoveShortCut(oldKey);
    }
    if (newKey != 0 && checked && (oldKey != newKey || force)) {
        result = mHotKeys->AddShortCut(newKey) != 0;
        if (!result) {
            // The fixed part of the text is not translated.
            const QString text = "\"" + ShortCutToText(newKey) +
                                 "\" have already been registered by another hot key.";
            if (ShowError) {
                ShowError(text);
            } else {
                QMessageBox::critical(this, TranslateText("Error"), text);
            }
        }
    }
    return result;
}

void TOptionsForm::ApplyHotKeys(bool force) {
    // Closing the re-opened dialog without a change makes the refused shortcut the old one: the
    // next attempt registers nothing and shows no second message, even when the first was forced.
    // That old shortcut was never registered for this hotkey, so it is not unregistered either:
    // the other hotkey may hold the same combination. Re-opening the dialog refreshes both old
    // values, but the stop hotkey's registration has not been brought in line yet, so its old
    // value stays the one from before.
    const ShortCut stopOld = OldStopHotKey;
    auto apply = [this, force](ShortCut& oldKey, const THotKeyEdit* edit, const QCheckBox* box) {
        bool retry = false;
        while (!ApplyOneHotKey(oldKey, edit->HotKey(), force && !retry, box, !retry)) {
            OptionsPageControl->setCurrentWidget(
                OptionsPageControl->findChild<QWidget*>("BehaviorTabSheet"));
            exec();
            retry = true;
        }
    };
    apply(OldRecordHotKey, RecordHotKey, RecordHotKeyCheckBox);
    OldStopHotKey = stopOld;
    apply(OldStopHotKey, StopHotKey, StopHotKeyCheckBox);
}

void TOptionsForm::SyncStartupShortcut() {
    SyncAutostartEntry(mBindings.AutoLaunchAction->isChecked(),
                       QCoreApplication::applicationFilePath());
}

void TOptionsForm::showEvent(QShowEvent* event) {
    if (!mLoading) {
        mStorage->Restore(); // each showing reads back what the last closing wrote
        mSavedSinceShown = false;
        TakeOldHotKeys();
        ShowHotKeyClash();
        SampleRateRxSlider->setValue(SampleRateCurrencyEdit->value());
        SilenceRxSpinEdit->setValue(mBindings.SilenceSlider->value());
        VolumeRxSpinEdit->setValue(mBindings.VolumeSlider->value());
        mShownBackgroundColor = ColorOf(BackGroundColorComboBox);
        mShownVoiceColor = ColorOf(VoiceColorComboBox);
        UpdateDataRateLabel();
        WriteThrough();
    }
    QDialog::showEvent(event);
}

void TOptionsForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (mLoading) {
        return;
    }
    mStorage->Save();
    mSavedSinceShown = true;
    // Stored graphs hold the background and voice colours only; the noise-level colour alone
    // never redraws them.
    const bool recoloured = ColorOf(BackGroundColorComboBox) != mShownBackgroundColor ||
                            ColorOf(VoiceColorComboBox) != mShownVoiceColor;
    if (recoloured && mBindings.RedrawGraphesAction->isChecked() && mBindings.RedrawAllGraphs) {
        mBindings.RedrawAllGraphs();
    }
}

} // namespace tellamo
