#pragma once

#include "dictaphone/GraphSettings.h"
#include "dictaphone/RecordingOptions.h"

#include <QDialog>
#include <functional>
#include <memory>

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QKeySequenceEdit;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTabWidget;

namespace tellamo {

class FormStorage;

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
    QSpinBox* VelocityRxSpinEdit = nullptr;
    QComboBox* BackGroundColorComboBox = nullptr;
    QComboBox* VoiceColorComboBox = nullptr;
    QComboBox* SilenceColorComboBox = nullptr;
    QPushButton* DefaultGraphSpeedButton = nullptr;
    QSpinBox* SilenceRxSpinEdit = nullptr;
    QKeySequenceEdit* RecordHotKey = nullptr;
    QKeySequenceEdit* StopHotKey = nullptr;

    // "7.8 kb/sec": the data rate of the chosen quality.
    void UpdateDataRateLabel();
    // The two preset buttons.
    void DefaultQualitySpeedButtonClick(bool voiceQuality);
    void DefaultGraphSpeedButtonClick();

    // Register the global hotkeys from the fields (force: also when unchanged) and make the
    // start-up launch match its option. The hotkey and autostart services do not exist yet:
    // until they do, both do nothing and report nothing.
    void ApplyHotKeys(bool force);
    void SyncStartupShortcut();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BuildPages();
    void WriteThrough();
    static QComboBox* ColorList(const char* name, QWidget* parent);
    static ColorValue ColorOf(const QComboBox* list);
    static void SetColor(QComboBox* list, ColorValue color);

    OptionsBindings Bindings;
    std::unique_ptr<FormStorage> Storage;
    ColorValue ShownBackgroundColor = 0;
    ColorValue ShownVoiceColor = 0;
    bool Loading = false;
};

} // namespace tellamo
