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
const char* const ColumnSection = "TTellamoMainFormRxDBGrid";
// The note list's columns as designed, at 96 dots per inch with the design's font: the settings
// file's first-run values.
constexpr int DesignColumnWidths[NoteListModel::FillerColumn] = {212, 81, 67, 34, 47, 63};

// The longest texts each column shows (the description has no such text: its width is a
// choice of the design, not a fit).
QStringList LongestTexts(int column) {
    QStringList texts;
    switch (column) {
    case NoteListModel::StartColumn:
        // Every month's name and both halves of the day, with two-digit days and hours.
        for (int month = 1; month <= 12; ++month) {
            for (int hour : {10, 22}) {
                texts << ShortStartText(
                    LocalTimeFromDateTime(QDateTime(QDate(2026, month, 28), QTime(hour, 58))));
            }
        }
        break;
    case NoteListModel::DurationColumn:
        texts << DurationText(((9 * 60 + 59) * 60 + 59) * 1000);
        break;
    case NoteListModel::BitRateColumn:
        texts << QStringLiteral("16");
        break;
    case NoteListModel::SampleRateColumn:
        texts << QStringLiteral("44100");
        break;
    case NoteListModel::FileSizeColumn:
        texts << QStringLiteral("999999");
        break;
    default:
        break;
    }
    return texts;
}
} // namespace

void TTellamoMainForm::FitColumns() {
    // The design widths fitted each column's longest text in the original font; Linux's fonts
    // are wider, so a column gets at least the width of its longest text and its title in the
    // window's font.
    QHeaderView* header = RxDBGrid->horizontalHeader();
    const QFontMetrics metrics(RxDBGrid->font());
    const int margin =
        2 * (RxDBGrid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, RxDBGrid) + 1) +
        (RxDBGrid->showGrid() ? 1 : 0);
    FittedColumnWidths.clear();
    for (int column = 0; column < NoteListModel::FillerColumn; ++column) {
        int width = std::max(DesignColumnWidths[column], header->sectionSizeHint(column));
        for (const QString& text : LongestTexts(column)) {
            width = std::max(width, metrics.horizontalAdvance(text) + margin);
        }
        FittedColumnWidths.push_back(width);
        RxDBGrid->setColumnWidth(column, width);
    }
}

void TTellamoMainForm::CreateSettingsStore() {
    Settings = std::make_unique<FormStorage>(this, QStringLiteral("TTellamoMainForm"),
                                             Cat.Files().SettingsFilePath());
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
        "GraphPanel_Height", [=, this] { return panelSize(TopPanel); },
        [=, this](int v) { setPanelSize(TopPanel, std::max(40, v)); });
    store.AddInt(
        "TreeView_Width", [=, this] { return panelSize(MainSplitter); },
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
    store.Add(
        "LastSaveDirLabel_Caption", [this] { return LastSaveDir; },
        [this](const QString& text) {
            LastSaveDir = text == "LastSaveDirLabel" ? QString() : text;
        });
    storeToolBar(FilterToolBar, "FilterToolBar", StoredFilterTop, StoredFilterLeft);
    for (QAction* action :
         {a.FilterAction, a.CaseInSensitiveAction, a.FilterToolBarAction, a.BorderAction,
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
    // A column the user has not resized keeps its design width in the file, and a design width
    // read back means "fitted to the font": the file's first-run values stay the design's while
    // the list never cuts its texts, and every width the user chose comes back to the pixel.
    store.SaveExtra = [this](IniFile& ini) {
        ini.EraseSection(ColumnSection);
        QHeaderView* header = RxDBGrid->horizontalHeader();
        for (int visual = 0; visual < NoteListModel::ColumnCount; ++visual) {
            const int logical = header->logicalIndex(visual);
            int width = ColumnWidths[static_cast<std::size_t>(logical)];
            if (logical < NoteListModel::FillerColumn &&
                width == FittedColumnWidths[static_cast<std::size_t>(logical)]) {
                width = DesignColumnWidths[logical];
            }
            ini.Write(ColumnSection, std::string("RxDBGrid.") + NoteListModel::FieldName(logical),
                      std::to_string(visual) + "," + std::to_string(width));
        }
    };
    store.RestoreExtra = [this](const IniFile& ini) {
        QHeaderView* header = RxDBGrid->horizontalHeader();
        std::vector<std::pair<int, int>> places; // stored index, logical column
        for (int logical = 0; logical < NoteListModel::ColumnCount; ++logical) {
            int index = header->visualIndex(logical);
            if (const auto text = ini.Read(ColumnSection, std::string("RxDBGrid.") +
                                                              NoteListModel::FieldName(logical))) {
                const QStringList parts = QString::fromStdString(*text).split(',');
                bool indexOk = false, widthOk = false;
                const int storedIndex = parts.value(0).trimmed().toInt(&indexOk);
                const int width = parts.value(1).trimmed().toInt(&widthOk);
                if (indexOk && widthOk && parts.size() == 2) {
                    index = storedIndex;
                    if (logical != NoteListModel::FillerColumn && width > 0) {
                        const int shown =
                            width == DesignColumnWidths[logical]
                                ? FittedColumnWidths[static_cast<std::size_t>(logical)]
                                : width;
                        header->resizeSection(logical, shown);
                        ColumnWidths[static_cast<std::size_t>(logical)] = shown;
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
        header->moveSection(header->visualIndex(NoteListModel::FillerColumn),
                            NoteListModel::ColumnCount - 1);
        SyncingSelection = false;
    };
}

bool TTellamoMainForm::RestoreSettings() {
    StoredDictaphoneTop = 2;
    StoredFilterTop = 36;
    StoredDictaphoneLeft = StoredFilterLeft = 11;
    const bool minimized = Settings->Restore();
    // The toolbars in their stored rows and order.
    const bool sameRow =
        StoredDictaphoneTop / ToolBarRowHeight == StoredFilterTop / ToolBarRowHeight;
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
