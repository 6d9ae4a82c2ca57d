// The main window's section of the settings file, and the note list's columns.

#include "catalogue/Catalogue.h"
#include "common/IniFile.h"
#include "dialogs/FormStorage.h"
#include "mainwindow/Messages.h"
#include "mainwindow/NoteListModel.h"
#include "mainwindow/TellamoMainForm.h"

#include <QAction>
#include <QFrame>
#include <QHeaderView>
#include <QSplitter>
#include <QTableView>
#include <QToolBar>
#include <algorithm>

namespace tellamo {

namespace {
constexpr int ToolBarRowHeight = 34;
const char* const ColumnSection = "TTellamoMainFormRxDBGrid";
} // namespace

void TTellamoMainForm::CreateSettingsStore() {
    Settings = std::make_unique<FormStorage>(this, QStringLiteral("TTellamoMainForm"), Cat.Files().SettingsFilePath());
    FormStorage& store = *Settings;
    const MainActions& a = Actions;
    // Toolbars are stored as rows of 34 pixels and places within them.
    auto toolBarTop = [this](QToolBar* bar) {
        const int row = bar == FilterToolBar && toolBarBreak(FilterToolBar) ? 1 : 0;
        return 2 + ToolBarRowHeight * row;
    };
    auto panelSize = [](QSplitter* splitter) { return splitter->sizes().value(0); };
    auto setPanelSize = [](QSplitter* splitter, int size) {
        QList<int> sizes = splitter->sizes();
        const int total = std::max(0, sizes.value(0) + sizes.value(1));
        splitter->setSizes({size, std::max(1, total - size)});
    };
    auto storeToolBar = [&](QToolBar* bar, const QString& name, int& top, int& left) {
        store.AddInt(name + "_Top", [=] { return toolBarTop(bar); }, [&top](int v) { top = v; });
        store.AddInt(name + "_Left", [bar] { return bar->x() + 11; }, [&left](int v) { left = v; });
    };

    store.AddChecked(a.BiDirectionalAction);
    store.AddChecked(a.AskDescriptionAction);
    store.AddChecked(a.AffiliateAction);
    store.AddChecked(a.SilenceAction);
    store.AddChecked(a.SoundNotificationAction);
    store.AddInt("GraphPanel_Height", [=, this] { return panelSize(TopPanel); },
                 [=, this](int v) { setPanelSize(TopPanel, std::max(40, v)); });
    store.AddInt("TreeView_Width", [=, this] { return panelSize(MainSplitter); },
                 [=, this](int v) { setPanelSize(MainSplitter, std::max(40, v)); });
    store.AddChecked(a.DictaphoneToolBarAction);
    storeToolBar(DictaphoneToolBar, "DictaphoneToolBar", StoredDictaphoneTop, StoredDictaphoneLeft);
    store.AddChecked(a.GraphPanelAction);
    store.AddChecked(a.DurationColumnAction);
    store.AddChecked(a.HertzColumnAction);
    store.AddChecked(a.BitsColumnAction);
    store.AddChecked(a.SizeColumnAction);
    store.AddChecked(a.StartColumnAction);
    store.AddChecked(a.DescriptionColumnAction);
    store.Add("LastSaveDirLabel_Caption", [this] { return LastSaveDir; },
              [this](const QString& text) { LastSaveDir = text == "LastSaveDirLabel" ? QString() : text; });
    storeToolBar(FilterToolBar, "FilterToolBar", StoredFilterTop, StoredFilterLeft);
    for (QAction* action : {a.FilterAction, a.CaseInSensitiveAction, a.FilterToolBarAction, a.BorderAction,
                            a.MenuFolderAction, a.MenuNoteAction, a.RedrawGraphesAction, a.MinimizeToTrayAction,
                            a.RecordHotkeyAction, a.StopHotkeyAction, a.AutoLaunchAction, a.AskFormatAction,
                            a.RecycleRecordAction}) {
        store.AddChecked(action);
    }

    // The note list's columns: erased and written anew each time, one key per column in the
    // columns' present order, "index,width".
    QHeaderView* columns = RxDBGrid->horizontalHeader();
    ColumnWidths.clear();
    for (int logical = 0; logical < NoteListModel::FillerColumn; ++logical) {
        ColumnWidths.push_back(columns->sectionSize(logical));
    }
    ColumnWidths.push_back(1600); // the filler stretches over the rest; this is its design width
    connect(columns, &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
        if (size > 0 && logical >= 0 && logical < NoteListModel::FillerColumn) {
            ColumnWidths[static_cast<std::size_t>(logical)] = size;
        }
    });
    store.SaveExtra = [this](IniFile& ini) {
        ini.EraseSection(ColumnSection);
        QHeaderView* header = RxDBGrid->horizontalHeader();
        for (int visual = 0; visual < NoteListModel::ColumnCount; ++visual) {
            const int logical = header->logicalIndex(visual);
            ini.Write(ColumnSection, std::string("RxDBGrid.") + NoteListModel::FieldName(logical),
                      std::to_string(visual) + "," + std::to_string(ColumnWidths[static_cast<std::size_t>(logical)]));
        }
    };
    store.RestoreExtra = [this](const IniFile& ini) {
        QHeaderView* header = RxDBGrid->horizontalHeader();
        std::vector<std::pair<int, int>> places; // stored index, logical column
        for (int logical = 0; logical < NoteListModel::ColumnCount; ++logical) {
            int index = header->visualIndex(logical);
            if (const auto text = ini.Read(ColumnSection, std::string("RxDBGrid.") + NoteListModel::FieldName(logical))) {
                const QStringList parts = QString::fromStdString(*text).split(',');
                bool indexOk = false, widthOk = false;
                const int storedIndex = parts.value(0).trimmed().toInt(&indexOk);
                const int width = parts.value(1).trimmed().toInt(&widthOk);
                if (indexOk && widthOk && parts.size() == 2) {
                    index = storedIndex;
                    if (logical != NoteListModel::FillerColumn && width > 0) {
                        header->resizeSection(logical, width);
                        ColumnWidths[static_cast<std::size_t>(logical)] = width;
                    }
                }
            }
            places.emplace_back(index, logical);
        }
        std::stable_sort(places.begin(), places.end());
        SyncingSelection = true; // the filler guard stays out of these moves
        for (int visual = 0; visual < static_cast<int>(places.size()); ++visual) {
            header->moveSection(header->visualIndex(places[visual].second), visual);
        }
        // Whatever the file says, the filler stays last.
        header->moveSection(header->visualIndex(NoteListModel::FillerColumn), NoteListModel::ColumnCount - 1);
        SyncingSelection = false;
    };
}

bool TTellamoMainForm::RestoreSettings() {
    StoredDictaphoneTop = 2;
    StoredFilterTop = 36;
    StoredDictaphoneLeft = StoredFilterLeft = 11;
    const bool minimized = Settings->Restore();
    // The toolbars in their stored rows and order.
    const bool sameRow = StoredDictaphoneTop / ToolBarRowHeight == StoredFilterTop / ToolBarRowHeight;
    const bool dictaphoneFirst = StoredDictaphoneTop < StoredFilterTop ||
                                 (sameRow && StoredDictaphoneLeft <= StoredFilterLeft);
    QToolBar* first = dictaphoneFirst ? DictaphoneToolBar : FilterToolBar;
    QToolBar* second = dictaphoneFirst ? FilterToolBar : DictaphoneToolBar;
    removeToolBarBreak(FilterToolBar);
    removeToolBarBreak(DictaphoneToolBar);
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
    Settings->Save();
}

} // namespace tellamo
