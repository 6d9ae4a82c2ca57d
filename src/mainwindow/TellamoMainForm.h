#pragma once

#include "mainwindow/MainActions.h"

#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QSlider;
class QSplitter;
class QTableView;
class QToolBar;
class QTreeView;

namespace tellamo {

class Catalogue;
class GlyphSet;
class NoteListModel;
class TAudio;
class WavePort;
class WindowPoster;

// The sound services the composition root hands the main window: the wave-audio port (ALSA, or
// a fake in tests), the poster that brings device notifications to the window thread, and the
// player's play file.
struct AudioServices {
    WavePort& Port;
    WindowPoster& Poster;
    std::string PlayFilePath;
};

// What the window is doing; read by the action states, switched only by SetMode.
enum class TDictaphoneMode { mdIdle = 0, mdPlaying = 1, mdRecording = 2 };

// The main window: the toolbars, the position strip, the graph panel, the folder tree and the
// note list, and every command of the program as an action. It receives the catalogue (and the
// platform services) from the composition root and never picks an implementation itself.
class TTellamoMainForm : public QMainWindow {
    Q_OBJECT
public:
    TTellamoMainForm(Catalogue& catalogue, const AudioServices& audio, QWidget* parent = nullptr);
    ~TTellamoMainForm() override;

    // The last creation step: loads the index file when there is one, otherwise makes a new
    // catalogue. Throws TellamoError for a damaged file; the catalogue is usable afterwards.
    void LoadOrNewCatalogue();
    // Saves the catalogue after a change; a failure is shown, once until a save succeeds again.
    void SaveCatalogue();

    // Recomputes what is enabled and shown; runs at every idle moment.
    void ActionListUpdate();

    TDictaphoneMode Mode() const { return CurrentMode; }

    MainActions Actions;

    // Components, named as the settings and translation files address them.
    QToolBar* DictaphoneToolBar = nullptr;
    QToolBar* FilterToolBar = nullptr;
    QLabel* TimeLabel = nullptr;
    QSlider* VolumeRxSlider = nullptr;
    QSlider* SilenceRxSlider = nullptr;
    QLineEdit* FilterEdit = nullptr;
    QWidget* BottomPanel = nullptr;
    QSlider* PositionRxSlider = nullptr;
    QSplitter* TopPanel = nullptr;
    QFrame* GraphPanel = nullptr;
    QSplitter* MainSplitter = nullptr;
    QTreeView* TreeView = nullptr;
    QTableView* RxDBGrid = nullptr;
    QMenu* FolderMenu = nullptr;
    QMenu* NoteMenu = nullptr;
    QMenu* FolderPopupMenu = nullptr;
    QMenu* NotePopupMenu = nullptr;

    NoteListModel* NoteList() const { return NoteModel; }

    // The audio component; the window owns it and destroys it with itself.
    std::unique_ptr<TAudio> Audio;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateMenus();
    void CreateToolBars();
    void CreatePanels();
    void ConnectCatalogue();
    void ApplyNoteFilter();
    void UpdateGlyphs();
    bool FormCloseQuery();

    Catalogue& Cat;
    NoteListModel* NoteModel = nullptr;
    TDictaphoneMode CurrentMode = TDictaphoneMode::mdIdle;
    bool SaveFailureShown = false;
    std::unique_ptr<GlyphSet> PlainGlyphs;
    std::unique_ptr<GlyphSet> BorderGlyphs;
    // The picture each toolbar action shows now: glyph index and whether from the bordered set.
    std::vector<std::pair<int, bool>> ShownGlyphs;
};

} // namespace tellamo
