// The main window's section of the settings file, and the note list's columns.

#include <algorithm>

#include <QAction>
#include <QDateTime>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QToolBar>

#include "catalogue/Catalogue.h"
#include "catalogue/NoteTexts.h"
#include "common/IniFile.h"
#include "dialogs/FormStorage.h"
#include "mainwindow/Messages.h"
#include "mainwindow/NoteListModel.h"
#include "mainwindow/TellamoMainForm.h"

namespace tellamo {

namespace {
constexpr int ToolBarRowHeight = 34;
} // namespace

void TTellamoMainForm::CreateSettingsStore() {
    mSettings = std::make_unique<FormStorage>(this, QStringLiteral("TTellamoMainForm"),
                                              mCat.Files().SettingsFilePath());
    FormStorage& store = *mSettings;
    const MainActions& a = mActions;
    // Toolbars are stored as rows of 34 pixels and places within them.
    auto toolBarTop = [this](QToolBar* bar) {
        const int row = bar == mFilterToolBar && toolBarBreak(mFilterToolBar) ? 1 : 0;
        return 2 + ToolBarRowHeight * row;
    };
    auto panelSize = [](QSplitter* splitter) { return splitter->sizes().value(0); };
    auto setPanelSize = [](QSplitter* splitter, int size) {
        QList<int> sizes = splitter->sizes();
        const int total = std::max(0, sizes.value(0) + sizes.value(1));
        splitter->setSizes({size, std::max(1, total - size)});
    };
    auto storeToolBar = [&](QToolBar* bar, const QString& name, int& top, int& left) {
        store.AddInt(
            name + "_Top", [=] { return toolBarTop(bar); }, [&top](int v) { top = v; });
        store.AddInt(
            name + "_Left", [bar] { return bar->x() + 11; }, [&left](int v) { left = v; });
    };

    store.AddChecked(a.BiDirectionalAction);
    store.AddChecked(a.AskDescriptionAction);
    store.AddChecked(a.AffiliateAction);
    store.AddChecked(a.SilenceAction);
    store.AddChecked(a.SoundNotificationAction);
    store.AddInt(
        "GraphPanel_Height", [=, this] { return panelSize(mTopPanel); },
        [=, this](int v) { setPanelSize(mTopPanel, std::max(40, v)); });
    store.AddInt(
        "TreeView_Width", [=, this] { return panelSize(mMainSplitter); },
        [=, this](int v) { setPanelSize(mMainSplitter, std::max(40, v)); });
    store.AddChecked(a.DictaphoneToolBarAction);
    storeToolBar(mDictaphoneToolBar, "DictaphoneToolBar", mStoredDictaphoneTop,
                 mStoredDictaphoneLeft);
    store.AddChecked(a.GraphPanelAction);
    store.AddChecked(a.DurationColumnAction);
    store.AddChecked(a.HertzColumnAction);
    store.AddChecked(a.BitsColumnAction);
    store.AddChecked(a.SizeColumnAction);
    store.AddChecked(a.StartColumnAction);
    store.AddChecked(a.DescriptionColumnAction);
    store.Add(
        "LastSaveDirLabel_Caption", [this] { return mLastSaveDir; },
        [this](const QString& text) {
            mLastSaveDir = text == "LastSaveDirLabel" ? QString() : text;
        });
    storeToolBar(mFilterToolBar, "FilterToolBar", mStoredFilterTop, mStoredFilterLeft);
    for (QAction* action :
         {a.FilterAction, a.CaseInSensitiveAction, a.FilterToolBarAction, a.BorderAction,
          a.MenuFolderAction, a.MenuNoteAction, a.RedrawGraphesAction, a.MinimizeToTrayAction,
          a.RecordHotkeyAction, a.StopHotkeyAction, a.AutoLaunchAction, a.AskFormatAction,
          a.RecycleRecordAction, a.SpokenWordsAction, a.TranscriptPaneAction, a.TranscribeAction}) {
        store.AddChecked(action);
    }
    store.AddInt(
        "SpeedSpinBox_Tenths", [this] { return mDictaphone->SpeedTenths(); },
        [this](int v) { mDictaphone->SetSpeedTenths(v); });
    mCatalogue->AddColumnSettings(store);
}

bool TTellamoMainForm::RestoreSettings() {
    mStoredDictaphoneTop = 2;
    mStoredFilterTop = 36;
    mStoredDictaphoneLeft = mStoredFilterLeft = 11;
    const bool minimized = mSettings->Restore();
    // The toolbars in their stored rows and order.
    const bool sameRow =
        mStoredDictaphoneTop / ToolBarRowHeight == mStoredFilterTop / ToolBarRowHeight;
    const bool dictaphoneFirst = mStoredDictaphoneTop < mStoredFilterTop ||
                                 (sameRow && mStoredDictaphoneLeft <= mStoredFilterLeft);
    QToolBar* first = dictaphoneFirst ? mDictaphoneToolBar : mFilterToolBar;
    QToolBar* second = dictaphoneFirst ? mFilterToolBar : mDictaphoneToolBar;
    removeToolBarBreak(mFilterToolBar);
    removeToolBarBreak(mDictaphoneToolBar);
    removeToolBar(first);
    removeToolBar(second);
    addToolBar(Qt::TopToolBarArea, first);
    if (!sameRow) {
        addToolBarBreak(Qt::TopToolBarArea);
    }
    addToolBar(Qt::TopToolBarArea, second);
    ActionListUpdate(); // the toolbars' visibility follows the restored check marks
    return minimized;
}

void TTellamoMainForm::SaveSettings() {
    // A settings file that cannot be written costs only the layout, not the user's notes.
    mSettings->Save();
}

} // namespace tellamo
