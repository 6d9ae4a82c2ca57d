#include "mainwindow/TellamoMainForm.h"

#include <algorithm>
#include <utility>

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QSlider>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "audio/Audio.h"
#include "catalogue/Catalogue.h"
#include "catalogue/NoteFilter.h"
#include "catalogue/RestoreNotes.h"
#include "common/Errors.h"
#include "common/Translate.h"
#include "desktop/DesktopLaunch.h"
#include "desktop/TrayIcon.h"
#include "dialogs/FormStorage.h"
#include "dialogs/TOptionsForm.h"
#include "dictaphone/MediaPlayer.h"
#include "mainwindow/FolderIcons.h"
#include "mainwindow/Glyphs.h"
#include "mainwindow/GraphWidgets.h"
#include "mainwindow/MainKeys.h"
#include "mainwindow/MenuAccessKeys.h"
#include "mainwindow/Messages.h"
#include "mainwindow/NoteListModel.h"
#include "mainwindow/NoteRowDelegate.h"
#include "mainwindow/TranscriptPane.h"

namespace tellamo {

namespace {
// Design sizes of the window's parts at 96 dots per inch; Qt scales them for the screen.
constexpr int ClientWidth = 637;
constexpr int ClientHeight = 446;
constexpr int GraphPanelHeight = 41;
constexpr int TranscriptPaneHeight = 60;
constexpr int TreeWidth = 169;

// Space presses the toolbar button that has the focus, as on any button, rather than reaching
// the window's own Space key.
class ButtonSpaceKey : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
                event->accept();
            }
        }
        return false;
    }
};
} // namespace

TTellamoMainForm::TTellamoMainForm(Catalogue& catalogue, const AudioServices& audio,
                                   QWidget* parent)
    : QMainWindow(parent), mCat(catalogue) {
    setObjectName(QStringLiteral("TellamoMainForm"));
    setWindowIcon(ApplicationIcon());
    mActions.Create(this);
    mPlainGlyphs = std::make_unique<GlyphSet>(false);
    mBorderGlyphs = std::make_unique<GlyphSet>(true);
    CreateToolBars();
    mDictaphone = std::make_unique<DictaphonePanel>(*this, *mDictaphoneToolBar, mCat, mActions,
                                                    audio, static_cast<DictaphoneHost&>(*this));
    mCatalogue = std::make_unique<CataloguePanel>(*this, *mFilterToolBar, mCat, mActions,
                                                  static_cast<CatalogueHost&>(*this));
    CreatePanels();
    CreateMenus();
    ApplyWindowKeyMap(mActions, *this, *mCatalogue->NoteGrid(), *mCatalogue->Tree());
    SetTabOrder();

    setWindowTitle(TranslateText("Tellamo"));
    setMinimumSize(160, 37);
    resize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        // At twice the scale a small screen cannot hold the design's size: the window fits it
        // rather than hang over its edge.
        resize(size().boundedTo(screen->availableGeometry().size()));
        move(screen->availableGeometry().center() - rect().center());
    }

    CreateSettingsStore();
    ConnectExport();
    CreateTrayIcon();

    ConnectCommand(mActions.ExitAction, this, [this] { close(); });
    ConnectCommand(mActions.TopicsAction, this, [] { OpenHelp(); });
    for (const auto& [action, tools] :
         {std::pair{mActions.AudioSettingsAction, &AudioSettingsTools},
          std::pair{mActions.VolumeControlAction, &VolumeControlTools}}) {
        ConnectCommand(action, this, [this, tools = tools] {
            if (!StartFirstTool(tools(CurrentDesktop()))) {
                ShowNotice(this, NoSoundToolText(tools(CurrentDesktop())),
                           TranslateText("Tellamo"));
            }
        });
    }
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &TTellamoMainForm::ActionListUpdate);
    ConnectCommand(mActions.OptionsAction, this, [this] {
        if (mOptionsForm) {
            mOptionsForm->exec();
            mOptionsForm->ApplyHotKeys(false);
        }
    });
    mCatalogue->Tree()->setFocus();
    KeepFocusAfterDialogs();
}

void TTellamoMainForm::SetTabOrder() {
    // Tab walks the window as it reads, top to bottom and left to right: the toolbars' buttons
    // too (the toggles can be reached and read only that way), then the position strip above
    // the graph, then the tree and the list. The list hands Tab on instead of moving between
    // its cells, whose row is one note.
    auto* spaceForButtons = new ButtonSpaceKey(this);
    for (QToolBar* bar : {mDictaphoneToolBar, mFilterToolBar}) {
        for (QToolButton* button : bar->findChildren<QToolButton*>()) {
            if (button->defaultAction()) {
                button->setFocusPolicy(Qt::TabFocus);
                button->installEventFilter(spaceForButtons);
            }
        }
    }
    QWidget* filterEdit = findChild<QWidget*>(QStringLiteral("FilterEdit"));
    QWidget* position = findChild<QWidget*>(QStringLiteral("PositionRxSlider"));
    // The transcript under the graph comes between the position strip and the tree.
    QWidget* transcript = findChild<QWidget*>(QStringLiteral("TranscriptPane"));
    if (filterEdit && position) {
        setTabOrder(filterEdit, position);
        setTabOrder(position, transcript ? transcript : mCatalogue->Tree());
    }
    if (transcript) {
        setTabOrder(transcript, mCatalogue->Tree());
    }
    setTabOrder(mCatalogue->Tree(), mCatalogue->NoteGrid());
    mCatalogue->NoteGrid()->setTabKeyNavigation(false);
}

void TTellamoMainForm::KeepFocusAfterDialogs() {
    qApp->installEventFilter(this);
}

bool TTellamoMainForm::eventFilter(QObject* watched, QEvent* event) {
    // Most of the program's dialogs are windows of their own, without this one as their parent:
    // when the active one closes, nothing gives the focus back, and the keyboard would reach no
    // window at all until the mouse chose one. Here it comes back to this window, to the control
    // that had it. A window left for another program's is left as the user left it.
    if (event->type() == QEvent::Hide && watched != this) {
        auto* closing = qobject_cast<QDialog*>(watched);
        const QWidget* active = QApplication::activeWindow();
        // (By the time a window hears of its hiding, it may have lost the focus already.)
        if (closing && closing->isWindow() && (!active || active == closing)) {
            QTimer::singleShot(0, this, [this] {
                const QWidget* active = QApplication::activeWindow();
                if ((active && active->isVisible()) || !isVisible() || isMinimized() ||
                    QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
                    return;
                }
                // Another dialog opened meanwhile takes the focus itself.
                for (const QWidget* window : QApplication::topLevelWidgets()) {
                    if (window != this && window->isVisible() &&
                        qobject_cast<const QDialog*>(window)) {
                        return;
                    }
                }
                activateWindow();
            });
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

TTellamoMainForm::~TTellamoMainForm() {
    // The parts go first, while the widgets they show their state in are still there; the
    // dictaphone first of all, so that no device thread is left to call into the window.
    mDictaphone.reset();
    mCatalogue.reset();
}

void TTellamoMainForm::CreatePanels() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    layout->addWidget(mDictaphone->BottomPanel());

    mTopPanel = new QSplitter(Qt::Vertical, central);
    mTopPanel->setObjectName(QStringLiteral("TopPanel"));
    mTopPanel->setMinimumHeight(50);
    mTopPanel->setHandleWidth(3);
    mTopPanel->setChildrenCollapsible(false);
    mTopPanel->setOpaqueResize(true);

    mMainSplitter = new QSplitter(Qt::Horizontal, mTopPanel);
    mMainSplitter->setObjectName(QStringLiteral("MainSplitter"));
    mMainSplitter->setHandleWidth(3);
    mMainSplitter->setChildrenCollapsible(false);
    mMainSplitter->setOpaqueResize(true);
    mMainSplitter->setMinimumHeight(40);

    mMainSplitter->addWidget(mCatalogue->Tree());
    mMainSplitter->addWidget(mCatalogue->NoteGrid());

    // The pane shares the lower part with the tree and the list, so that the graph panel's
    // stored height keeps its meaning.
    mTranscriptSplitter = new QSplitter(Qt::Vertical, mTopPanel);
    mTranscriptSplitter->setObjectName(QStringLiteral("TranscriptSplitter"));
    mTranscriptSplitter->setHandleWidth(3);
    mTranscriptSplitter->setChildrenCollapsible(false);
    mTranscriptPane = new TranscriptPane(*mActions.CopyTranscriptAction, mTranscriptSplitter);
    mTranscriptSplitter->addWidget(mTranscriptPane);
    mTranscriptSplitter->addWidget(mMainSplitter);
    mTranscriptSplitter->setStretchFactor(1, 1);
    mTranscriptSplitter->setSizes({TranscriptPaneHeight, ClientHeight});

    mTopPanel->addWidget(mDictaphone->GraphPanel());
    mTopPanel->addWidget(mTranscriptSplitter);
    mTopPanel->setStretchFactor(1, 1);
    mTopPanel->setSizes({GraphPanelHeight, ClientHeight});
    mMainSplitter->setStretchFactor(1, 1);
    // Wide enough for the folders the catalogue starts with in the desktop's text size, so that
    // large text does not cut "Recycle Bin" short.
    const QTreeView* tree = mCatalogue->Tree();
    int treeWidth = TreeWidth;
    for (const QString& name : {TranslateText("Notes"), TranslateText("Recycle Bin")}) {
        treeWidth =
            std::max(treeWidth, tree->fontMetrics().horizontalAdvance(name) +
                                    2 * tree->indentation() + tree->iconSize().width() + 24);
    }
    mMainSplitter->setSizes({treeWidth, ClientWidth - treeWidth});
    layout->addWidget(mTopPanel, 1);
    setCentralWidget(central);
    ConnectTranscriptPane();
}

void TTellamoMainForm::ConnectTranscriptPane() {
    TranscriptPane* pane = mTranscriptPane;
    const auto showCurrent = [this, pane] { pane->ShowNote(mCat.NoteWavPath().toStdString()); };
    connect(&mCat.Notes(), &NoteTable::CurrentChanged, pane, showCurrent);
    connect(&mCat.Notes(), &NoteTable::ShownChanged, pane, showCurrent);
    connect(mDictaphone.get(), &DictaphonePanel::PlaybackPosition, pane,
            &TranscriptPane::SetPlaybackPosition);
    connect(pane, &TranscriptPane::PlayFrom, this, [this](std::int64_t ms) {
        RunCommand(this, [this, ms] { mDictaphone->PlayFrom(static_cast<std::uint32_t>(ms)); });
    });
    connect(mCatalogue.get(), &CataloguePanel::FilterChanged, pane,
            [this, pane] { pane->SetFilterWords(mCatalogue->FilterWords()); });
    connect(mActions.TranscriptPaneAction, &QAction::toggled, pane, &QWidget::setVisible);
    pane->setVisible(mActions.TranscriptPaneAction->isChecked());
    showCurrent();
}

void TTellamoMainForm::CreateMenus() {
    const MainActions& a = mActions;
    QMenu* file = menuBar()->addMenu(TranslateText("&File"));
    file->addActions({a.SaveAsFileAction, a.SendByEMailAction});
    file->addSeparator();
    file->addAction(a.ExitAction);

    mFolderMenu = menuBar()->addMenu(TranslateText("&Folder"));
    mFolderMenu->setObjectName(QStringLiteral("FolderMenu"));
    FillFolderMenu(*mFolderMenu, a);
    mNoteMenu = menuBar()->addMenu(TranslateText("&Note"));
    mNoteMenu->setObjectName(QStringLiteral("NoteMenu"));
    FillNoteMenu(*mNoteMenu, a);

    QMenu* view = menuBar()->addMenu(TranslateText("&View"));
    QMenu* toolbars = view->addMenu(TranslateText("&Toolbars"));
    toolbars->addActions({a.DictaphoneToolBarAction, a.FilterToolBarAction});
    view->addSeparator();
    QMenu* columns = view->addMenu(TranslateText("&Columns"));
    columns->addActions({a.DescriptionColumnAction, a.StartColumnAction, a.DurationColumnAction,
                         a.BitsColumnAction, a.HertzColumnAction, a.SizeColumnAction});
    view->addSeparator();
    QMenu* menus = view->addMenu(TranslateText("&Menu"));
    menus->addActions({a.MenuFolderAction, a.MenuNoteAction});
    view->addSeparator();
    view->addAction(a.BorderAction);
    view->addSeparator();
    view->addActions({a.GraphPanelAction, a.BiDirectionalAction, a.TranscriptPaneAction});
    view->addSeparator();
    view->addActions({a.AffiliateAction, a.SpokenWordsAction});
    view->addAction(a.FilterTextAction);

    QMenu* tools = menuBar()->addMenu(TranslateText("&Tools"));
    tools->addAction(a.OptionsAction);
    tools->addSeparator();
    tools->addActions({a.AudioSettingsAction, a.VolumeControlAction});
    tools->addSeparator();
    tools->addActions({a.RestoreNotesAction, a.RestoreBackupAction});

    QMenu* help = menuBar()->addMenu(TranslateText("&Help"));
    help->addAction(a.TopicsAction);
    help->addSeparator();
    help->addAction(a.AboutAction);

    auto* accessKeys = new MenuAccessKeys(this);
    for (QMenu* menu : findChildren<QMenu*>()) {
        accessKeys->Watch(menu);
    }
    accessKeys->WatchBar(menuBar());
}

void TTellamoMainForm::CreateToolBars() {
    auto makeToolBar = [this](const char* name, const QString& title) {
        auto* bar = new QToolBar(title, this);
        bar->setObjectName(QString::fromLatin1(name));
        bar->setMovable(true);
        bar->setFloatable(false);
        bar->setAllowedAreas(Qt::TopToolBarArea);
        bar->setIconSize(QSize(24, 24));
        bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
        bar->toggleViewAction()->setVisible(false); // the View menu's own actions show them
        addToolBar(Qt::TopToolBarArea, bar);
        // The button that shows the buttons a narrow window (or large text) leaves no room for.
        if (auto* more = bar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"))) {
            more->setAccessibleName(TranslateText("More buttons"));
        }
        return bar;
    };

    // The dictaphone part fills its bar.
    mDictaphoneToolBar = makeToolBar("DictaphoneToolBar", TranslateText("Dictaphone"));
    addToolBarBreak(Qt::TopToolBarArea);
    mFilterToolBar = makeToolBar("FilterToolBar", TranslateText("Filter"));
    // The catalogue part fills the filter bar.
}

void TTellamoMainForm::LoadOrNewCatalogue() {
    // Without Tellamo.dat, an earlier generation still holds the user's catalogue.
    const Storage& files = mCat.Files();
    if (QFileInfo::exists(files.IndexFilePath()) ||
        QFileInfo::exists(files.IndexFileSibling(".old")) ||
        QFileInfo::exists(files.IndexFileSibling(".new"))) {
        if (const QString notice = mCat.LoadCatalogue(); !notice.isEmpty()) {
            ShowErrorBox(this, notice);
        }
    } else {
        mCat.NewCatalogue();
        mFoundRecordings = CountRestorableWavFiles(files.StorageFolder());
    }
}

void TTellamoMainForm::OfferToRestoreFoundRecordings() {
    // Recordings with no catalogue at all: a catalogue deleted by hand, or a folder copied
    // without it. An empty list alone would tell the user nothing of them.
    const int found = std::exchange(mFoundRecordings, 0);
    if (found > 0 &&
        AskConfirmation(this, TranslateText("No catalogue was found, but the storage folder "
                                            "holds %1 recordings. Restore them as notes now?")
                                  .arg(found))) {
        mCatalogue->RestoreNotesActionExecute();
    }
}

void TTellamoMainForm::SaveCatalogue() {
    ShowSaveResult(mCat.SaveCatalogue());
}

bool TTellamoMainForm::SaveCatalogueChecked() {
    const QString error = mCat.SaveCatalogue();
    ShowSaveResult(error);
    return error.isEmpty();
}

void TTellamoMainForm::ShowSaveResult(const QString& error) {
    if (error.isEmpty()) {
        mSaveFailureShown = false;
        // The save itself stands; the user hears once a run that the backups have stopped.
        if (const QString& problem = mCat.BackupProblem();
            !problem.isEmpty() && !mBackupFailureShown) {
            mBackupFailureShown = true;
            ShowErrorBox(this, problem);
        }
        return;
    }
    // A full disk would otherwise raise the same box after every change; the catalogue stays in
    // memory and the next change tries again.
    if (!mSaveFailureShown) {
        mSaveFailureShown = true;
        ShowErrorBox(
            this,
            error + "\n\n" +
                TranslateText("Your changes are kept and will be saved with the next change."));
    }
}

void TTellamoMainForm::ActionListUpdate() {
    const MainActions& a = mActions;
    const bool idle = Mode() == TDictaphoneMode::mdIdle;
    const bool notRecording = Mode() != TDictaphoneMode::mdRecording;
    const bool hasNote = !mCat.Notes().IsEmpty();
    const FolderNode* selected = mCat.SelectedFolder();
    const bool canTakeFolders =
        selected && selected != mCat.RecycleBinNode() && !mCat.IsInsideRecycleBin(selected);
    const bool hasParent = selected && !selected->IsRoot();

    mDictaphoneToolBar->setVisible(a.DictaphoneToolBarAction->isChecked());
    mFilterToolBar->setVisible(a.FilterToolBarAction->isChecked());
    mFolderMenu->menuAction()->setVisible(a.MenuFolderAction->isChecked());
    mNoteMenu->menuAction()->setVisible(a.MenuNoteAction->isChecked());

    UpdateGlyphs();
    mTray->SetShown(a.MinimizeToTrayAction->isChecked());

    a.SaveAsFileAction->setEnabled(hasNote);
    a.SendByEMailAction->setEnabled(hasNote);
    for (QAction* action : {a.OptionsAction, a.AudioSettingsAction, a.RecycleRecordAction,
                            a.AffiliateAction, a.FilterAction, a.CaseInSensitiveAction,
                            a.ClearTrashAction, a.RecordAction, a.RestoreBackupAction}) {
        action->setEnabled(idle);
    }
    a.AddFolderAction->setEnabled(canTakeFolders && notRecording);
    a.DeleteFolderAction->setEnabled(hasParent && idle);
    a.RenameFolderAction->setEnabled(hasParent && notRecording);
    a.PlayAction->setEnabled(idle && hasNote && QFileInfo::exists(mCat.NoteWavPath()));
    a.PauseAction->setEnabled(!idle);
    a.StopAction->setEnabled(!idle);
    a.RenameNoteAction->setEnabled(hasNote && notRecording);
    a.DeleteNoteAction->setEnabled(hasNote && idle);
    a.ParentFolderAction->setEnabled(hasNote && idle && a.AffiliateAction->isChecked());
    const bool playing = Mode() == TDictaphoneMode::mdPlaying;
    a.PlayPauseAction->setEnabled(playing || a.PlayAction->isEnabled());
    a.SkipBackAction->setEnabled(playing);
    a.SkipForwardAction->setEnabled(playing);
    const int speed = mDictaphone->SpeedTenths();
    a.SlowerAction->setEnabled(speed > MediaPlayer::MinSpeedTenths);
    a.FasterAction->setEnabled(speed < MediaPlayer::MaxSpeedTenths);
    a.NormalSpeedAction->setEnabled(speed != MediaPlayer::NormalSpeedTenths);
    a.MoveNoteAction->setEnabled(hasNote && idle);
    a.FilterTextAction->setEnabled(idle);
    mCatalogue->UpdateStates(idle);
    mDictaphone->UpdateStates();
    emit StatesUpdated();
}

void TTellamoMainForm::CreateTrayIcon() {
    const MainActions& a = mActions;
    mTray = new TrayIcon(this, ApplicationIcon(), TranslateText("Tellamo"),
                         TranslateText("Show Tellamo"),
                         {a.PlayAction, a.RecordAction, a.PauseAction, a.StopAction, nullptr,
                          a.OptionsAction, nullptr, a.ExitAction});
    connect(a.MinimizeToTrayAction, &QAction::triggered, this,
            &TTellamoMainForm::MinimizeToTrayActionExecute);
}

void TTellamoMainForm::BringToFront() {
    mTray->RestoreWindow();
}

void TTellamoMainForm::MinimizeToTrayActionExecute() {
    // Unchecked while the window hides in the tray: nothing else would bring it back.
    if (isMinimized() || mTray->HoldsWindow()) {
        mTray->RestoreWindow();
    }
}

void TTellamoMainForm::UpdateGlyphs() {
    const MainActions& a = mActions;
    const bool bordered = a.BorderAction->isChecked();
    const GlyphSet& set = bordered ? *mBorderGlyphs : *mPlainGlyphs;
    // Play, Pause, Stop and Record always show their own picture; the toggle buttons show the
    // picture of their state.
    const std::pair<QAction*, int> glyphs[] = {
        {a.PlayAction, 0},
        {a.PauseAction, 1},
        {a.StopAction, 2},
        {a.RecordAction, 3},
        {a.SkipBackAction, 14},
        {a.SkipForwardAction, 15},
        {a.AffiliateAction, a.AffiliateAction->isChecked() ? 4 : 11},
        {a.FilterAction, a.FilterAction->isChecked() ? 5 : 13},
        {a.CaseInSensitiveAction, a.CaseInSensitiveAction->isChecked() ? 6 : 12},
        {a.MuteAction, a.MuteAction->isChecked() ? 8 : 7},
        {a.SilenceAction, a.SilenceAction->isChecked() ? 9 : 10},
    };
    mShownGlyphs.resize(std::size(glyphs), {-1, false});
    for (std::size_t i = 0; i < std::size(glyphs); ++i) {
        const std::pair<int, bool> wanted{glyphs[i].second, bordered};
        if (mShownGlyphs[i] != wanted) {
            mShownGlyphs[i] = wanted;
            glyphs[i].first->setIcon(set.Icon(glyphs[i].second));
        }
    }
}

bool TTellamoMainForm::FormCloseQuery() {
    if (mActions.StopAction->isEnabled()) {
        RunCommand(this, [this] { mDictaphone->StopActionExecute(); });
    }
    // No later change will retry a save that fails here, so the error is shown as it is.
    if (const QString error = mCat.SaveCatalogue(); !error.isEmpty()) {
        ShowErrorBox(this, error);
    }
    return true; // the close is never refused
}

void TTellamoMainForm::closeEvent(QCloseEvent* event) {
    FormCloseQuery();
    SaveSettings();
    event->accept();
    mTray->WindowClosed();
}

} // namespace tellamo
