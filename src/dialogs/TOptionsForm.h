#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QDialog>

#include "desktop/ShortCut.h"
#include "dictaphone/GraphSettings.h"
#include "dictaphone/RecordingOptions.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTabWidget;

namespace tellamo {

class FormStorage;
class THotKeyEdit;
class THotKeyManager;

// What the options dialog is bound to in the main window: the values it writes, the two
// toolbar sliders it mirrors, the check actions its boxes show, and the redraw of the graphs.
struct OptionsBindings {
    RecordingOptions& Recording;
    GraphSettings& Graph;
    QSlider* SilenceSlider;
    QSlider* VolumeSlider;
    QAction* AffiliateAction;
    QAction* SoundNotificationAction;
    QAction* AskDescriptionAction;
    QAction* AskFormatAction;
    QAction* MinimizeToTrayAction;
    QAction* AutoLaunchAction;
    QAction* RecycleRecordAction;
    QAction* AudioSettingsAction;
    QAction* MuteAction;
    QAction* VolumeControlAction;
    QAction* BiDirectionalAction;
    QAction* RedrawGraphesAction;
    QAction* SilenceAction;
    QAction* RecordHotkeyAction;
    QAction* StopHotkeyAction;
    std::function<void()> RedrawAllGraphs;
    QString SettingsFile;
    // The player's skip step and rewind on resume, in milliseconds; called whenever they change.
    std::function<void(std::uint32_t skipStepMs, std::uint32_t rewindOnResumeMs)> PlaybackSteps;
};

// The Options dialog: recording quality, the look and speed of the level graph, the noise level
// and the hotkeys. Created once at start-up; its stored values are loaded then, before anything
// reads them, and read again from the settings file each time it is shown; every closing writes
// them. Its controls write through to the bound values at once.
class TOptionsForm : public QDialog {
    Q_OBJECT
public:
    explicit TOptionsForm(const OptionsBindings& bindings, QWidget* parent = nullptr);
    ~TOptionsForm() override;

    QTabWidget* OptionsPageControl = nullptr;
    QButtonGroup* BitsPerSampleRadioGroup = nullptr;
    QSlider* SampleRateRxSlider = nullptr;
    QSpinBox* SampleRateCurrencyEdit = nullptr;
    QLabel* KBSLabel = nullptr;
    QPushButton* DefaultQualitySpeedButton = nullptr;
    QPushButton* VoiceQualitySpeedButton = nullptr;
    QSpinBox* VolumeRxSpinEdit = nullptr;
    QSpinBox* SkipStepSpinEdit = nullptr;       // seconds
    QSpinBox* RewindOnResumeSpinEdit = nullptr; // seconds, 0: off
    QSpinBox* VelocityRxSpinEdit = nullptr;
    QComboBox* BackGroundColorComboBox = nullptr;
    QComboBox* VoiceColorComboBox = nullptr;
    QComboBox* SilenceColorComboBox = nullptr;
    QPushButton* DefaultGraphSpeedButton = nullptr;
    QSpinBox* SilenceRxSpinEdit = nullptr;
    THotKeyEdit* RecordHotKey = nullptr;
    THotKeyEdit* StopHotKey = nullptr;
    QCheckBox* RecordHotKeyCheckBox = nullptr;
    QCheckBox* StopHotKeyCheckBox = nullptr;
    // One line on the HotKeys page when the desktop offers no system-wide hotkeys.
    QLabel* HotKeyNoteLabel = nullptr;
    // A warning on the HotKeys page while a hotkey field holds one of the window's own keys.
    QLabel* HotKeyClashLabel = nullptr;
    // "Transcribe notes (English)" on the Record page, and why it cannot be chosen (if so).
    QCheckBox* TranscribeCheckBox = nullptr;
    QLabel* TranscribeNoteLabel = nullptr;
    // The shortcuts that counted as in force when the dialog was last shown (0 when unchecked).
    ShortCut OldRecordHotKey = 0;
    ShortCut OldStopHotKey = 0;

    // "7.8 kb/sec": the data rate of the chosen quality.
    void UpdateDataRateLabel();
    // The two preset buttons.
    void DefaultQualitySpeedButtonClick(bool voiceQuality);
    void DefaultGraphSpeedButtonClick();

    // Binds the transcription check box to the window's option. unavailable: why notes cannot
    // be transcribed here (the box is then greyed and the reason shown); empty when they can.
    void SetTranscription(QAction* transcribeAction, const QString& unavailable);
    // The main window's own keys (Ctrl+R, Delete, Space, ...): a hotkey field that holds one
    // shows the warning of HotKeyClashLabel, since a system-wide hotkey takes its key from every
    // program, the window included.
    void SetWindowKeys(std::vector<ShortCut> keys);
    // The manager the hotkeys are registered with; without one nothing is registered.
    void SetHotKeyManager(THotKeyManager* manager);
    // Brings one hotkey's registration in line with its field and check box: unregisters the
    // old shortcut when it changed or was switched off, registers the new one when it changed
    // (or force) and is on. A refused registration shows the conflict message; returns false then.
    bool ApplyHotKey(ShortCut oldKey, ShortCut newKey, bool force, const QCheckBox* checkBox);
    // The record hotkey, then the stop hotkey; while one is refused the dialog is shown again on
    // its "Reaction" page for the user to change it.
    void ApplyHotKeys(bool force);
    // Makes the start-at-login entry match its option: created when checked and missing,
    // deleted when unchecked, an existing one never rewritten.
    void SyncStartupShortcut();
    // How the conflict message is shown; a plain error box unless the program sets its own.
    std::function<void(const QString& text)> ShowError;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ShowHotKeyClash();
    std::vector<ShortCut> mWindowKeys;
    void BuildPages();
    void WriteThrough();
    void ApplyPlaybackSteps();
    void TakeOldHotKeys();
    bool ApplyOneHotKey(ShortCut oldKey, ShortCut newKey, bool force, const QCheckBox* checkBox,
                        bool oldRegistered);
    static QComboBox* ColorList(const char* name, QWidget* parent);
    static ColorValue ColorOf(const QComboBox* list);
    static void SetColor(QComboBox* list, ColorValue color);

    OptionsBindings mBindings;
    std::unique_ptr<FormStorage> mStorage;
    ColorValue mShownBackgroundColor = 0;
    ColorValue mShownVoiceColor = 0;
    bool mLoading = false;
    // The section was written since the dialog was last shown (its showing at creation counts);
    // when not, destroying the dialog writes it, so a first run's exit leaves the section too.
    bool mSavedSinceShown = false;
    THotKeyManager* mHotKeys = nullptr;
};

} // namespace tellamo
