#include "mainwindow/CataloguePanel.h"

#include <algorithm>
#include <memory>
#include <optional>

#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QStyle>
#include <QTableView>
#include <QToolBar>

#include "catalogue/Catalogue.h"
#include "catalogue/NoteFilter.h"
#include "catalogue/NoteTexts.h"
#include "common/IniFile.h"
#include "common/Translate.h"
#include "dialogs/FormStorage.h"
#include "mainwindow/FolderIcons.h"
#include "mainwindow/MainActions.h"
#include "mainwindow/NoteListModel.h"
#include "mainwindow/NoteRowDelegate.h"
#include "transcript/SearchIndex.h"

namespace tellamo {

namespace {
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
// A quick test before the description's words are made: an ASCII description (where case
// folding is ASCII's lower case) can hold a word beginning with each wanted word only if it holds
// each as text. Other descriptions are always looked at word by word.
bool DescriptionMayHold(const std::string& description, const std::vector<std::string>& wanted) {
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    if (std::any_of(description.begin(), description.end(),
                    [](unsigned char c) { return c >= 0x80; })) {
        return true;
    }
    return std::all_of(wanted.begin(), wanted.end(), [&](const std::string& word) {
        return std::search(description.begin(), description.end(), word.begin(), word.end(),
                           [&](char a, char b) {
                               return lower(static_cast<unsigned char>(a)) ==
                                      static_cast<unsigned char>(b);
                           }) != description.end();
    });
}

// Whether every wanted word begins a word of an ASCII description (one that passed the quick
// test), decided without making its
// words: in ASCII, SearchTokens' words are the runs of letters and digits, lowered, and a wanted
// word (letters and digits only) can begin one only where such a run starts. nullopt for other
// descriptions, which are looked at word by word.
std::optional<bool> AsciiDescriptionHolds(const std::string& description,
                                          const std::vector<std::string>& wanted) {
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    const auto wordChar = [](unsigned char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    };
    if (std::any_of(description.begin(), description.end(),
                    [](unsigned char c) { return c >= 0x80; })) {
        return std::nullopt;
    }
    const std::size_t size = description.size();
    return std::all_of(wanted.begin(), wanted.end(), [&](const std::string& word) {
        for (std::size_t at = 0; at + word.size() <= size; ++at) {
            if (at > 0 && wordChar(static_cast<unsigned char>(description[at - 1]))) {
                continue;
            }
            if (std::equal(word.begin(), word.end(), description.begin() + at, [&](char w, char d) {
                    return lower(static_cast<unsigned char>(d)) == static_cast<unsigned char>(w);
                })) {
                return true;
            }
        }
        return false;
    });
}

} // namespace

CataloguePanel::CataloguePanel(QWidget& window, QToolBar& filterBar, Catalogue& catalogue,
                               MainActions& actions, CatalogueHost& host)
    : QObject(&window), mWindow(window), mCat(catalogue), mActions(actions), mHost(host),
      mFilterBar(&filterBar) {
    const MainActions& a = mActions;
    filterBar.addAction(a.AffiliateAction);
    filterBar.addSeparator();
    filterBar.addActions({a.FilterAction, a.CaseInSensitiveAction, a.SpokenWordsAction});
    filterBar.addSeparator();
    mFilterEdit = new QLineEdit(&filterBar);
    mFilterEdit->setObjectName(QStringLiteral("FilterEdit"));
    mFilterEdit->setToolTip(TranslateText("Text of the filter"));
    // Some twenty characters of the desktop's text, however large it is.
    mFilterEdit->setFixedWidth(
        std::max(156, QFontMetrics(mFilterEdit->font()).averageCharWidth() * 20));
    mFilterEdit->setAccessibleName(TranslateText("Text of the filter"));
    filterBar.addWidget(mFilterEdit);

    CreateViews();
    CreatePopupMenus();
    mNoteModel->SetTitles({TranslateText("Description"), TranslateText("Start"),
                           TranslateText("Duration"), TranslateText("Bits"), TranslateText("Hz"),
                           TranslateText("Size, kb"), QString()});
    FitColumns();
    ConnectSelection();
    ConnectCommands();
}

CataloguePanel::~CataloguePanel() {
    // The catalogue outlives the window: a folder edit after this would call into a part that
    // is gone. Without a handler the tree refuses the edit.
    mCat.Folders().RenameHandler = nullptr;
}

void CataloguePanel::CreateViews() {
    mTreeView = new FolderTreeView(&mWindow);
    mTreeView->setObjectName(QStringLiteral("TreeView"));
    mTreeView->setHeaderHidden(true);
    mTreeView->setIndentation(19);
    mTreeView->setMinimumWidth(40);
    mTreeView->setEditTriggers(QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::SelectedClicked);
    mTreeView->setModel(&mCat.Folders());
    mTreeView->setIconSize(QSize(16, 16));
    mTreeView->setItemDelegate(new FolderIconDelegate(mCat, *mActions.AffiliateAction, mTreeView));
    mTreeView->setAccessibleName(TranslateText("Folders"));

    mNoteModel = new NoteListModel(mCat.Notes(), this);
    mRxDBGrid = new QTableView(&mWindow);
    mRxDBGrid->setObjectName(QStringLiteral("RxDBGrid"));
    mRxDBGrid->setModel(mNoteModel);
    mRxDBGrid->setItemDelegate(new NoteRowDelegate(mRxDBGrid, *mNoteModel));
    mRxDBGrid->setMinimumWidth(40);
    mRxDBGrid->setAccessibleName(TranslateText("Notes"));
    mRxDBGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    mRxDBGrid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    mRxDBGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mRxDBGrid->setWordWrap(false);
    mRxDBGrid->setDragEnabled(true); // rows onto a folder, after the system's drag distance
    mRxDBGrid->setDragDropMode(QAbstractItemView::DragOnly);
    mRxDBGrid->verticalHeader()->hide();
    mRxDBGrid->verticalHeader()->setDefaultSectionSize(mRxDBGrid->fontMetrics().height() + 4);
    mRxDBGrid->horizontalHeader()->setSectionsMovable(true);
    mRxDBGrid->horizontalHeader()->setHighlightSections(false);
    mRxDBGrid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The filler column takes whatever width is left, so no scroll bar appears for it. (A
    // stretched last section never shrinks below the width it had before it was stretched, and
    // that alone made an empty list scroll sideways.)
    mRxDBGrid->horizontalHeader()->setSectionResizeMode(NoteListModel::FillerColumn,
                                                        QHeaderView::Stretch);
}

void CataloguePanel::CreatePopupMenus() {
    mFolderPopupMenu = new QMenu(&mWindow);
    mFolderPopupMenu->setObjectName(QStringLiteral("FolderPopupMenu"));
    FillFolderMenu(*mFolderPopupMenu, mActions);
    mNotePopupMenu = new QMenu(&mWindow);
    mNotePopupMenu->setObjectName(QStringLiteral("NotePopupMenu"));
    FillNoteMenu(*mNotePopupMenu, mActions);

    mTreeView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(mTreeView, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        mFolderPopupMenu->popup(mTreeView->viewport()->mapToGlobal(at));
    });
    mRxDBGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(mRxDBGrid, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        mNotePopupMenu->popup(mRxDBGrid->viewport()->mapToGlobal(at));
    });
}

void CataloguePanel::ConnectSelection() {
    // The tree's current folder and the catalogue's selected folder are one and the same.
    connect(mTreeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { mCat.SelectFolder(FolderTree::NodeAt(current)); });
    connect(&mCat, &Catalogue::SelectedFolderChanged, this, [this] {
        const QModelIndex index = mCat.Folders().IndexOf(mCat.SelectedFolder());
        if (mTreeView->currentIndex() != index) {
            mTreeView->setCurrentIndex(index);
        }
        if (index.isValid()) {
            mTreeView->scrollTo(index);
        }
        RepaintFolders(); // the selected folder's picture changes
        mCat.Notes().ClearSelection();
        ApplyNoteFilter();
    });
    for (QAction* option : {mActions.AffiliateAction, mActions.FilterAction,
                            mActions.CaseInSensitiveAction, mActions.SpokenWordsAction}) {
        connect(option, &QAction::triggered, this, [this] {
            mCat.Notes().ClearSelection();
            ApplyNoteFilter();
            RepaintFolders();
        });
    }
    connect(mFilterEdit, &QLineEdit::textChanged, this, [this] {
        if (mActions.FilterAction->isChecked()) {
            mCat.Notes().ClearSelection();
            RefilterNotes(true);
        }
    });

    // The note list's current row and the table's current note follow each other.
    auto showCurrent = [this] {
        mRxDBGrid->viewport()->update();
        const int row = mCat.Notes().CurrentRow();
        const QModelIndex index = row >= 0 ? mNoteModel->index(row, 0) : QModelIndex();
        if (mRxDBGrid->currentIndex().row() != row) {
            mRxDBGrid->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        }
        if (index.isValid()) {
            mRxDBGrid->scrollTo(index);
        }
    };
    connect(&mCat.Notes(), &NoteTable::CurrentChanged, this, showCurrent);
    connect(mNoteModel, &QAbstractItemModel::modelReset, this, showCurrent);
    connect(mRxDBGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { mCat.Notes().SetCurrentRow(current.row()); });
    ApplyNoteFilter();
}

void CataloguePanel::ApplyNoteFilter() {
    RefilterNotes(false);
}

void CataloguePanel::RefilterNotes(bool typedFurther) {
    // The filter's inputs are read here, once per refresh; every change of one refreshes.
    NoteFilterSettings settings{mCat.SelectedFolder(),
                                mActions.AffiliateAction->isChecked(),
                                mActions.FilterAction->isChecked(),
                                mActions.CaseInSensitiveAction->isChecked(),
                                mFilterEdit->text(),
                                {}};
    std::optional<SpokenSearch> search;
    if (settings.TextFilter && mActions.SpokenWordsAction->isChecked()) {
        settings.TextMatch = SpokenWordsMatch(settings.Text, search);
        if (search) {
            search->Folder = settings.SelectedFolder;
            search->Affiliate = settings.Affiliate;
        }
    }
    // A first letter shows nearly every note; each further letter then asks only those.
    const bool narrower =
        typedFurther && search && mShownSpokenSearch && search->Narrows(*mShownSpokenSearch);
    mShownSpokenSearch = std::move(search);
    if (narrower) {
        mCat.Notes().NarrowFilter(NoteFilter(std::move(settings)));
    } else {
        mCat.Notes().SetFilter(NoteFilter(std::move(settings)));
    }
    emit FilterChanged();
}

bool CataloguePanel::SpokenSearch::Narrows(const SpokenSearch& before) const {
    if (Folder != before.Folder || Affiliate != before.Affiliate ||
        IndexOpening != before.IndexOpening || !IndexVersion ||
        IndexVersion != before.IndexVersion) {
        return false;
    }
    // A note whose words begin with "budg" also has words that begin with "bu".
    return std::all_of(before.Wanted.begin(), before.Wanted.end(), [&](const std::string& old) {
        return std::any_of(Wanted.begin(), Wanted.end(), [&](const std::string& word) {
            return word.compare(0, old.size(), old) == 0;
        });
    });
}

QString CataloguePanel::FilterWords() const {
    return mActions.FilterAction->isChecked() ? mFilterEdit->text() : QString();
}

void CataloguePanel::SetSearchIndexPath(std::string path) {
    mIndex.reset();
    mIndexPath = std::move(path);
}

void CataloguePanel::SearchIndexChanged() {
    if (mActions.FilterAction->isChecked() && mActions.SpokenWordsAction->isChecked() &&
        !mFilterEdit->text().trimmed().isEmpty()) {
        ApplyNoteFilter();
    }
}

SearchIndex* CataloguePanel::OpenSearchIndex() {
    // The worker makes the index; the window only reads one that is there, and follows it when
    // the worker has made it anew (another file under the same name).
    struct stat st {};
    if (mIndexPath.empty() || ::stat(mIndexPath.c_str(), &st) != 0 || st.st_size == 0) {
        mIndex.reset();
        return nullptr;
    }
    if (mIndex && (st.st_dev != mIndexDevice || st.st_ino != mIndexInode)) {
        mIndex.reset();
    }
    if (!mIndex) {
        try {
            mIndex = std::make_unique<SearchIndex>(mIndexPath);
            ++mIndexOpenings;
            mIndexDevice = st.st_dev;
            mIndexInode = st.st_ino;
        } catch (const TellamoError&) {
            // Being made or mended by the worker: the next keystroke tries again.
            return nullptr;
        }
    }
    return mIndex.get();
}

std::function<bool(const NoteRecord&)>
CataloguePanel::SpokenWordsMatch(const QString& typed, std::optional<SpokenSearch>& search) {
    const std::string text = typed.toStdString();
    auto wanted = std::make_shared<std::vector<std::string>>(SearchTokens(text));
    if (wanted->empty()) {
        search.reset();
        return {}; // nothing typed: the filter lets every note through, as without spoken words
    }
    search = SpokenSearch{*wanted, nullptr, false, 0, std::int64_t{0}};
    // One query of the index per refresh; the filter then only looks notes up in its answer.
    FoundNotes hits;
    if (SearchIndex* index = OpenSearchIndex()) {
        try {
            const std::int64_t before = index->DataVersion();
            hits = index->FindNotes(text);
            search->IndexOpening = mIndexOpenings;
            search->IndexVersion = index->DataVersion();
            if (search->IndexVersion != before) {
                search->IndexVersion.reset();
            }
        } catch (const TellamoError&) {
            mIndex.reset(); // damaged: the worker mends it and says so with IndexChanged
            search->IndexVersion.reset();
        }
    }
    auto found = std::make_shared<const FoundNotes>(std::move(hits));
    // The description is also searched here, so that a note the index does not know yet (a
    // new one, or all of them before the worker's first look) is found by it all the same.
    return [wanted, found](const NoteRecord& note) {
        if (found->Contains(note.FileName)) {
            return true;
        }
        if (!DescriptionMayHold(note.Description, *wanted)) {
            return false;
        }
        if (const std::optional<bool> holds = AsciiDescriptionHolds(note.Description, *wanted)) {
            return *holds;
        }
        const std::vector<std::string> words = SearchTokens(note.Description);
        return std::all_of(wanted->begin(), wanted->end(), [&](const std::string& prefix) {
            return std::any_of(words.begin(), words.end(), [&](const std::string& word) {
                return word.compare(0, prefix.size(), prefix) == 0;
            });
        });
    };
}

void CataloguePanel::RepaintFolders() {
    mTreeView->viewport()->update();
}

void CataloguePanel::UpdateStates(bool idle) {
    const MainActions& a = mActions;
    const QAction* columnActions[] = {a.DescriptionColumnAction, a.StartColumnAction,
                                      a.DurationColumnAction,    a.BitsColumnAction,
                                      a.HertzColumnAction,       a.SizeColumnAction};
    for (int column = 0; column < NoteListModel::FillerColumn; ++column) {
        mRxDBGrid->setColumnHidden(column, !columnActions[column]->isChecked());
    }
    mFilterEdit->setEnabled(idle);
    SetBrowsingEnabled(idle);
}

void CataloguePanel::SetBrowsingEnabled(bool enabled) {
    if (!enabled) {
        KeepFocusWhileDisabled();
    }
    mRxDBGrid->setEnabled(enabled);
    mTreeView->setEnabled(enabled);
    if (enabled) {
        RestoreFocusAfterDisabled();
    }
}

void CataloguePanel::SetNoteListBusy(bool busy) {
    if (busy) {
        KeepFocusWhileDisabled();
    }
    mRxDBGrid->setEnabled(!busy);
    if (busy) {
        mRxDBGrid->repaint();
    } else if (mTreeView->isEnabled()) {
        RestoreFocusAfterDisabled();
    }
}

void CataloguePanel::KeepFocusWhileDisabled() {
    // Disabling the focused list would hand the focus to the next control, which a later state
    // change may disable in turn: the focus would wander over the toolbar. It waits on the
    // window itself instead (its keys still work), and comes back once the list is enabled,
    // unless the user has put it somewhere else meanwhile, so that Return plays the current
    // note again.
    QWidget* focused = mWindow.focusWidget();
    if (focused && (focused == mRxDBGrid || focused == mTreeView)) {
        mFocusBeforeDisabled = focused;
        mWindow.setFocus(Qt::OtherFocusReason);
    }
}

void CataloguePanel::RestoreFocusAfterDisabled() {
    if (mFocusBeforeDisabled && mFocusBeforeDisabled->isEnabled()) {
        QWidget* focused = mWindow.focusWidget();
        if (!focused || focused == &mWindow) {
            mFocusBeforeDisabled->setFocus(Qt::OtherFocusReason);
        }
    }
    mFocusBeforeDisabled = nullptr;
}

void CataloguePanel::FitColumns() {
    // The design widths fitted each column's longest text in the original font; Linux's fonts
    // are wider, so a column gets at least the width of its longest text and its title in the
    // window's font.
    QHeaderView* header = mRxDBGrid->horizontalHeader();
    const QFontMetrics metrics(mRxDBGrid->font());
    const int margin =
        2 * (mRxDBGrid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, mRxDBGrid) +
             1) +
        (mRxDBGrid->showGrid() ? 1 : 0);
    mFittedColumnWidths.clear();
    for (int column = 0; column < NoteListModel::FillerColumn; ++column) {
        int width = std::max(DesignColumnWidths[column], header->sectionSizeHint(column));
        for (const QString& text : LongestTexts(column)) {
            width = std::max(width, metrics.horizontalAdvance(text) + margin);
        }
        mFittedColumnWidths.push_back(width);
        mRxDBGrid->setColumnWidth(column, width);
    }
}

void CataloguePanel::AddColumnSettings(FormStorage& store) {
    // The note list's columns: erased and written anew each time, one key per column in the
    // columns' present order, "index,width".
    QHeaderView* columns = mRxDBGrid->horizontalHeader();
    mColumnWidths.clear();
    for (int logical = 0; logical < NoteListModel::FillerColumn; ++logical) {
        mColumnWidths.push_back(columns->sectionSize(logical));
    }
    mColumnWidths.push_back(1600); // the filler stretches over the rest; this is its design width
    connect(columns, &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
        if (size > 0 && logical >= 0 && logical < NoteListModel::FillerColumn) {
            mColumnWidths[static_cast<std::size_t>(logical)] = size;
        }
    });
    // A column the user has not resized keeps its design width in the file, and a design width
    // read back means "fitted to the font": the file's first-run values stay the design's while
    // the list never cuts its texts, and every width the user chose comes back to the pixel.
    store.SaveExtra = [this](IniFile& ini) {
        ini.EraseSection(ColumnSection);
        QHeaderView* header = mRxDBGrid->horizontalHeader();
        for (int visual = 0; visual < NoteListModel::ColumnCount; ++visual) {
            const int logical = header->logicalIndex(visual);
            int width = mColumnWidths[static_cast<std::size_t>(logical)];
            if (logical < NoteListModel::FillerColumn &&
                width == mFittedColumnWidths[static_cast<std::size_t>(logical)]) {
                width = DesignColumnWidths[logical];
            }
            ini.Write(ColumnSection, std::string("RxDBGrid.") + NoteListModel::FieldName(logical),
                      std::to_string(visual) + "," + std::to_string(width));
        }
    };
    store.RestoreExtra = [this](const IniFile& ini) {
        QHeaderView* header = mRxDBGrid->horizontalHeader();
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
                                ? mFittedColumnWidths[static_cast<std::size_t>(logical)]
                                : width;
                        header->resizeSection(logical, shown);
                        mColumnWidths[static_cast<std::size_t>(logical)] = shown;
                    }
                }
            }
            places.emplace_back(index, logical);
        }
        std::stable_sort(places.begin(), places.end());
        mSyncingSelection = true; // the filler guard stays out of these moves
        for (int visual = 0; visual < static_cast<int>(places.size()); ++visual) {
            header->moveSection(header->visualIndex(places[visual].second), visual);
        }
        // Whatever the file says, the filler stays last.
        header->moveSection(header->visualIndex(NoteListModel::FillerColumn),
                            NoteListModel::ColumnCount - 1);
        mSyncingSelection = false;
    };
}

} // namespace tellamo
