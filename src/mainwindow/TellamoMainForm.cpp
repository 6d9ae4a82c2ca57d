#include "mainwindow/TellamoMainForm.h"

#include <utility>

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QSlider>
#include <QSplitter>
#include <QTableView>
#include <QToolBar>
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
#include "dictaphone/MediaPlayer.h"
#include "mainwindow/FolderIcons.h"
#include "mainwindow/Glyphs.h"
#include "mainwindow/GraphWidgets.h"
#include "mainwindow/MenuAccessKeys.h"
#include "mainwindow/Messages.h"
#include "mainwindow/NoteListModel.h"
#include "mainwindow/NoteRowDelegate.h"

namespace tellamo {

namespace {
// Design sizes of the window's parts at 96 dots per inch; Qt scales them for the screen.
constexpr int ClientWidth = 637;
constexpr int ClientHeight = 446;
constexpr int GraphPanelHeight = 41;
constexpr int TreeWidth = 169;
} // namespace

TTellamoMainForm::TTellamoMainForm(Catalogue& catalogue, const AudioServices& audio,
                                   QWidget* parent)
    : QMainWindow(parent), Cat(catalogue) {
    setObjectName(QStringLiteral("TellamoMainForm"));
    setWindowIcon(ApplicationIcon());
    Actions.Create(this);
    PlainGlyphs = std::make_unique<GlyphSet>(false);
    BorderGlyphs = std::make_unique<GlyphSet>(true);
    CreateToolBars();
    mDictaphone = std::make_unique<DictaphonePanel>(*this, *DictaphoneToolBar, Cat, Actions, audio,
                                                    static_cast<DictaphoneHost&>(*this));
    CreatePanels();
    CreateMenus();

    setWindowTitle(TranslateText("Tellamo"));
    setMinimumSize(160, 37);
    resize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }

    NoteModel->SetTitles({TranslateText("Description"), TranslateText("Start"),
                          TranslateText("Duration"), TranslateText("Bits"), TranslateText("Hz"),
                          TranslateText("Size, kb"), QString()});
    FitColumns();
    ConnectCatalogue();
    ConnectFoldersAndNotes();
    CreateSettingsStore();
    ConnectExport();
    CreateTrayIcon();

    ConnectCommand(Actions.ExitAction, this, [this] { close(); });
    ConnectCommand(Actions.TopicsAction, this, [] { OpenHelp(); });
    for (const auto& [action, tools] :
         {std::pair{Actions.AudioSettingsAction, &AudioSettingsTools},
          std::pair{Actions.VolumeControlAction, &VolumeControlTools}}) {
        ConnectCommand(action, this, [this, tools = tools] {
            if (!StartFirstTool(tools(CurrentDesktop()))) {
                ShowNotice(this, NoSoundToolText(tools(CurrentDesktop())),
                           TranslateText("Tellamo"));
            }
        });
    }
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &TTellamoMainForm::ActionListUpdate);
    TreeView->setFocus();
}

TTellamoMainForm::~TTellamoMainForm() {
    // The dictaphone goes first, while the widgets it shows its state in are still there.
    mDictaphone.reset();
}

void TTellamoMainForm::CreatePanels() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    layout->addWidget(mDictaphone->BottomPanel());

    TopPanel = new QSplitter(Qt::Vertical, central);
    TopPanel->setObjectName(QStringLiteral("TopPanel"));
    TopPanel->setMinimumHeight(50);
    TopPanel->setHandleWidth(3);
    TopPanel->setChildrenCollapsible(false);
    TopPanel->setOpaqueResize(true);

    MainSplitter = new QSplitter(Qt::Horizontal, TopPanel);
    MainSplitter->setObjectName(QStringLiteral("MainSplitter"));
    MainSplitter->setHandleWidth(3);
    MainSplitter->setChildrenCollapsible(false);
    MainSplitter->setOpaqueResize(true);
    MainSplitter->setMinimumHeight(40);

    TreeView = new FolderTreeView(MainSplitter);
    TreeView->setObjectName(QStringLiteral("TreeView"));
    TreeView->setHeaderHidden(true);
    TreeView->setIndentation(19);
    TreeView->setMinimumWidth(40);
    TreeView->setEditTriggers(QAbstractItemView::EditKeyPressed |
                              QAbstractItemView::SelectedClicked);
    TreeView->setModel(&Cat.Folders());
    TreeView->setIconSize(QSize(16, 16));
    TreeView->setItemDelegate(new FolderIconDelegate(Cat, *Actions.AffiliateAction, TreeView));

    NoteModel = new NoteListModel(Cat.Notes(), this);
    RxDBGrid = new QTableView(MainSplitter);
    RxDBGrid->setObjectName(QStringLiteral("RxDBGrid"));
    RxDBGrid->setModel(NoteModel);
    RxDBGrid->setItemDelegate(new NoteRowDelegate(RxDBGrid, *NoteModel));
    RxDBGrid->setMinimumWidth(40);
    RxDBGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    RxDBGrid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    RxDBGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    RxDBGrid->setWordWrap(false);
    RxDBGrid->setDragEnabled(true); // rows onto a folder, after the system's drag distance
    RxDBGrid->setDragDropMode(QAbstractItemView::DragOnly);
    RxDBGrid->verticalHeader()->hide();
    RxDBGrid->verticalHeader()->setDefaultSectionSize(RxDBGrid->fontMetrics().height() + 4);
    RxDBGrid->horizontalHeader()->setSectionsMovable(true);
    RxDBGrid->horizontalHeader()->setHighlightSections(false);
    RxDBGrid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The filler column takes whatever width is left, so no scroll bar appears for it. (A
    // stretched last section never shrinks below the width it had before it was stretched, and
    // that alone made an empty list scroll sideways.)
    RxDBGrid->horizontalHeader()->setSectionResizeMode(NoteListModel::FillerColumn,
                                                       QHeaderView::Stretch);

    TopPanel->addWidget(mDictaphone->GraphPanel());
    TopPanel->addWidget(MainSplitter);
    TopPanel->setStretchFactor(1, 1);
    TopPanel->setSizes({GraphPanelHeight, ClientHeight});
    MainSplitter->setStretchFactor(1, 1);
    MainSplitter->setSizes({TreeWidth, ClientWidth - TreeWidth});
    layout->addWidget(TopPanel, 1);
    setCentralWidget(central);
}

void TTellamoMainForm::CreateMenus() {
    const MainActions& a = Actions;
    QMenu* file = menuBar()->addMenu(TranslateText("&File"));
    file->addActions({a.SaveAsFileAction, a.SendByEMailAction});
    file->addSeparator();
    file->addAction(a.ExitAction);

    auto fillFolderMenu = [&a](QMenu* menu) {
        menu->addActions({a.AddFolderAction, a.RenameFolderAction});
        menu->addSeparator();
        menu->addAction(a.DeleteFolderAction);
        menu->addSeparator();
        menu->addAction(a.ClearTrashAction);
    };
    auto fillNoteMenu = [&a](QMenu* menu) {
        menu->addActions({a.PlayAction, a.PauseAction, a.StopAction, a.RecordAction});
        menu->addSeparator();
        menu->addAction(a.RenameNoteAction);
        menu->addSeparator();
        menu->addAction(a.ParentFolderAction);
        menu->addSeparator();
        menu->addAction(a.DeleteNoteAction);
    };
    FolderMenu = menuBar()->addMenu(TranslateText("&Folder"));
    FolderMenu->setObjectName(QStringLiteral("FolderMenu"));
    fillFolderMenu(FolderMenu);
    NoteMenu = menuBar()->addMenu(TranslateText("&Note"));
    NoteMenu->setObjectName(QStringLiteral("NoteMenu"));
    fillNoteMenu(NoteMenu);

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
    view->addActions({a.GraphPanelAction, a.BiDirectionalAction});
    view->addSeparator();
    view->addAction(a.AffiliateAction);

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

    FolderPopupMenu = new QMenu(this);
    FolderPopupMenu->setObjectName(QStringLiteral("FolderPopupMenu"));
    fillFolderMenu(FolderPopupMenu);
    NotePopupMenu = new QMenu(this);
    NotePopupMenu->setObjectName(QStringLiteral("NotePopupMenu"));
    NotePopupMenu->addActions({a.PlayAction, a.PauseAction, a.StopAction, a.RecordAction});
    NotePopupMenu->addSeparator();
    NotePopupMenu->addAction(a.RenameNoteAction);
    NotePopupMenu->addSeparator();
    NotePopupMenu->addAction(a.ParentFolderAction);
    NotePopupMenu->addSeparator();
    NotePopupMenu->addAction(a.DeleteNoteAction);

    auto* accessKeys = new MenuAccessKeys(this);
    for (QMenu* menu : findChildren<QMenu*>()) {
        accessKeys->Watch(menu);
    }
    accessKeys->WatchBar(menuBar());

    TreeView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(TreeView, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        FolderPopupMenu->popup(TreeView->viewport()->mapToGlobal(at));
    });
    RxDBGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(RxDBGrid, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        NotePopupMenu->popup(RxDBGrid->viewport()->mapToGlobal(at));
    });
}

void TTellamoMainForm::CreateToolBars() {
    const MainActions& a = Actions;
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
        return bar;
    };

    // The dictaphone part fills its bar.
    DictaphoneToolBar = makeToolBar("DictaphoneToolBar", TranslateText("Dictaphone"));
    addToolBarBreak(Qt::TopToolBarArea);
    FilterToolBar = makeToolBar("FilterToolBar", TranslateText("Filter"));
    FilterToolBar->addAction(a.AffiliateAction);
    FilterToolBar->addSeparator();
    FilterToolBar->addActions({a.FilterAction, a.CaseInSensitiveAction});
    FilterToolBar->addSeparator();
    FilterEdit = new QLineEdit(FilterToolBar);
    FilterEdit->setObjectName(QStringLiteral("FilterEdit"));
    FilterEdit->setToolTip(TranslateText("Text of the filter"));
    FilterEdit->setFixedWidth(156);
    FilterToolBar->addWidget(FilterEdit);
}

void TTellamoMainForm::ConnectCatalogue() {
    // The tree's current folder and the catalogue's selected folder are one and the same.
    connect(TreeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { Cat.SelectFolder(FolderTree::NodeAt(current)); });
    connect(&Cat, &Catalogue::SelectedFolderChanged, this, [this] {
        const QModelIndex index = Cat.Folders().IndexOf(Cat.SelectedFolder());
        if (TreeView->currentIndex() != index) {
            TreeView->setCurrentIndex(index);
        }
        if (index.isValid()) {
            TreeView->scrollTo(index);
        }
        TreeView->viewport()->update(); // the selected folder's picture changes
        Cat.Notes().ClearSelection();
        ApplyNoteFilter();
    });
    for (QAction* option :
         {Actions.AffiliateAction, Actions.FilterAction, Actions.CaseInSensitiveAction}) {
        connect(option, &QAction::triggered, this, [this] {
            Cat.Notes().ClearSelection();
            ApplyNoteFilter();
            TreeView->viewport()->update();
        });
    }
    connect(FilterEdit, &QLineEdit::textChanged, this, [this] {
        if (Actions.FilterAction->isChecked()) {
            Cat.Notes().ClearSelection();
            ApplyNoteFilter();
        }
    });

    // The note list's current row and the table's current note follow each other.
    auto showCurrent = [this] {
        RxDBGrid->viewport()->update();
        const int row = Cat.Notes().CurrentRow();
        const QModelIndex index = row >= 0 ? NoteModel->index(row, 0) : QModelIndex();
        if (RxDBGrid->currentIndex().row() != row) {
            RxDBGrid->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        }
        if (index.isValid()) {
            RxDBGrid->scrollTo(index);
        }
    };
    connect(&Cat.Notes(), &NoteTable::CurrentChanged, this, showCurrent);
    connect(NoteModel, &QAbstractItemModel::modelReset, this, showCurrent);
    connect(RxDBGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { Cat.Notes().SetCurrentRow(current.row()); });
    ApplyNoteFilter();
}

void TTellamoMainForm::ApplyNoteFilter() {
    // The filter's inputs are read here, once per refresh; every change of one refreshes.
    Cat.Notes().SetFilter(
        NoteFilter({Cat.SelectedFolder(), Actions.AffiliateAction->isChecked(),
                    Actions.FilterAction->isChecked(), Actions.CaseInSensitiveAction->isChecked(),
                    FilterEdit->text()}));
}

void TTellamoMainForm::LoadOrNewCatalogue() {
    // Without Tellamo.dat, an earlier generation still holds the user's catalogue.
    const Storage& files = Cat.Files();
    if (QFileInfo::exists(files.IndexFilePath()) ||
        QFileInfo::exists(files.IndexFileSibling(".old")) ||
        QFileInfo::exists(files.IndexFileSibling(".new"))) {
        if (const QString notice = Cat.LoadCatalogue(); !notice.isEmpty()) {
            ShowErrorBox(this, notice);
        }
    } else {
        Cat.NewCatalogue();
        FoundRecordings = CountRestorableWavFiles(files.StorageFolder());
    }
}

void TTellamoMainForm::OfferToRestoreFoundRecordings() {
    // Recordings with no catalogue at all: a catalogue deleted by hand, or a folder copied
    // without it. An empty list alone would tell the user nothing of them.
    const int found = std::exchange(FoundRecordings, 0);
    if (found > 0 &&
        AskConfirmation(this, TranslateText("No catalogue was found, but the storage folder "
                                            "holds %1 recordings. Restore them as notes now?")
                                  .arg(found))) {
        RestoreNotesActionExecute();
    }
}

void TTellamoMainForm::SaveCatalogue() {
    ShowSaveResult(Cat.SaveCatalogue());
}

void TTellamoMainForm::ShowSaveResult(const QString& error) {
    if (error.isEmpty()) {
        SaveFailureShown = false;
        // The save itself stands; the user hears once a run that the backups have stopped.
        if (const QString& problem = Cat.BackupProblem();
            !problem.isEmpty() && !BackupFailureShown) {
            BackupFailureShown = true;
            ShowErrorBox(this, problem);
        }
        return;
    }
    // A full disk would otherwise raise the same box after every change; the catalogue stays in
    // memory and the next change tries again.
    if (!SaveFailureShown) {
        SaveFailureShown = true;
        ShowErrorBox(
            this,
            error + "\n\n" +
                TranslateText("Your changes are kept and will be saved with the next change."));
    }
}

void TTellamoMainForm::ActionListUpdate() {
    const MainActions& a = Actions;
    const bool idle = Mode() == TDictaphoneMode::mdIdle;
    const bool notRecording = Mode() != TDictaphoneMode::mdRecording;
    const bool hasNote = !Cat.Notes().IsEmpty();
    const FolderNode* selected = Cat.SelectedFolder();
    const bool canTakeFolders =
        selected && selected != Cat.RecycleBinNode() && !Cat.IsInsideRecycleBin(selected);
    const bool hasParent = selected && !selected->IsRoot();

    DictaphoneToolBar->setVisible(a.DictaphoneToolBarAction->isChecked());
    FilterToolBar->setVisible(a.FilterToolBarAction->isChecked());
    FolderMenu->menuAction()->setVisible(a.MenuFolderAction->isChecked());
    NoteMenu->menuAction()->setVisible(a.MenuNoteAction->isChecked());

    UpdateGlyphs();
    mTray->SetShown(a.MinimizeToTrayAction->isChecked());

    const QAction* columnActions[] = {a.DescriptionColumnAction, a.StartColumnAction,
                                      a.DurationColumnAction,    a.BitsColumnAction,
                                      a.HertzColumnAction,       a.SizeColumnAction};
    for (int column = 0; column < NoteListModel::FillerColumn; ++column) {
        RxDBGrid->setColumnHidden(column, !columnActions[column]->isChecked());
    }

    a.SaveAsFileAction->setEnabled(hasNote);
    a.SendByEMailAction->setEnabled(hasNote);
    for (QAction* action : {a.OptionsAction, a.AudioSettingsAction, a.RecycleRecordAction,
                            a.AffiliateAction, a.FilterAction, a.CaseInSensitiveAction,
                            a.ClearTrashAction, a.RecordAction, a.RestoreBackupAction}) {
        action->setEnabled(idle);
    }
    FilterEdit->setEnabled(idle);
    a.AddFolderAction->setEnabled(canTakeFolders && notRecording);
    a.DeleteFolderAction->setEnabled(hasParent && idle);
    a.RenameFolderAction->setEnabled(hasParent && notRecording);
    a.PlayAction->setEnabled(idle && hasNote && QFileInfo::exists(Cat.NoteWavPath()));
    a.PauseAction->setEnabled(!idle);
    a.StopAction->setEnabled(!idle);
    a.RenameNoteAction->setEnabled(hasNote && notRecording);
    a.DeleteNoteAction->setEnabled(hasNote && idle);
    a.ParentFolderAction->setEnabled(hasNote && idle && a.AffiliateAction->isChecked());
    RxDBGrid->setEnabled(idle);
    TreeView->setEnabled(idle);
    mDictaphone->UpdateStates();
}

void TTellamoMainForm::CreateTrayIcon() {
    const MainActions& a = Actions;
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
    const MainActions& a = Actions;
    const bool bordered = a.BorderAction->isChecked();
    const GlyphSet& set = bordered ? *BorderGlyphs : *PlainGlyphs;
    // Play, Pause, Stop and Record always show their own picture; the toggle buttons show the
    // picture of their state.
    const std::pair<QAction*, int> glyphs[] = {
        {a.PlayAction, 0},
        {a.PauseAction, 1},
        {a.StopAction, 2},
        {a.RecordAction, 3},
        {a.AffiliateAction, a.AffiliateAction->isChecked() ? 4 : 11},
        {a.FilterAction, a.FilterAction->isChecked() ? 5 : 13},
        {a.CaseInSensitiveAction, a.CaseInSensitiveAction->isChecked() ? 6 : 12},
        {a.MuteAction, a.MuteAction->isChecked() ? 8 : 7},
        {a.SilenceAction, a.SilenceAction->isChecked() ? 9 : 10},
    };
    ShownGlyphs.resize(std::size(glyphs), {-1, false});
    for (std::size_t i = 0; i < std::size(glyphs); ++i) {
        const std::pair<int, bool> wanted{glyphs[i].second, bordered};
        if (ShownGlyphs[i] != wanted) {
            ShownGlyphs[i] = wanted;
            glyphs[i].first->setIcon(set.Icon(glyphs[i].second));
        }
    }
}

bool TTellamoMainForm::FormCloseQuery() {
    if (Actions.StopAction->isEnabled()) {
        RunCommand(this, [this] { mDictaphone->StopActionExecute(); });
    }
    // No later change will retry a save that fails here, so the error is shown as it is.
    if (const QString error = Cat.SaveCatalogue(); !error.isEmpty()) {
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
