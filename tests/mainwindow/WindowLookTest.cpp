#include <cstdlib>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QHeaderView>
#include <QMenu>
#include <QPalette>
#include <QScrollBar>
#include <QSplitter>
#include <QStyleFactory>
#include <QTableView>
#include <QTest>

#include "MainWindowFixture.h"
#include "dictaphone/GraphSurface.h"
#include "mainwindow/GraphWidgets.h"
#include "mainwindow/NoteListModel.h"

namespace tellamo::test {
namespace {

// The main window as the user sees it: shown, over a fresh storage folder.
class WindowLook : public MainWindowFixture {
protected:
    WindowLook() {
        mForm.Actions().AskDescriptionAction->setChecked(false);
        mForm.Options().SampleRate = 8000;
        mForm.Options().SixteenBit = false;
        mForm.resize(640, 480);
        mForm.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&mForm));
        mForm.ActionListUpdate();
    }
};

TEST_F(WindowLook, AnEmptyListShowsTheBackgroundColourFromTheStart) {
    ASSERT_TRUE(mCat.Notes().IsEmpty());
    const QImage panel = NamedChild<GraphImage>(mForm, "GraphImage").grab().toImage();
    ASSERT_FALSE(panel.isNull());
    EXPECT_EQ(panel.pixel(panel.width() / 2, panel.height() / 2),
              ColorToQRgb(mForm.GraphOptions().BackgroundColor));
}

// The filler column takes the room the other columns leave, never more: an empty list at the
// first start, or one narrowed by the splitter, shows no horizontal scroll bar.
TEST_F(WindowLook, TheListScrollsSidewaysOnlyWhenItsColumnsDoNotFit) {
    QScrollBar* bar = NamedChild<QTableView>(mForm, "RxDBGrid").horizontalScrollBar();
    QTest::qWait(50);
    EXPECT_FALSE(bar->isVisible())
        << "columns " << NamedChild<QTableView>(mForm, "RxDBGrid").horizontalHeader()->length()
        << " in " << NamedChild<QTableView>(mForm, "RxDBGrid").viewport()->width();
    NamedChild<QSplitter>(mForm, "MainSplitter").setSizes({400, 240});
    QTest::qWait(50);
    EXPECT_TRUE(bar->isVisible()) << "the three columns are wider than the list";
    NamedChild<QSplitter>(mForm, "MainSplitter").setSizes({150, 490});
    QTest::qWait(50);
    EXPECT_FALSE(bar->isVisible())
        << "columns " << NamedChild<QTableView>(mForm, "RxDBGrid").horizontalHeader()->length()
        << " in " << NamedChild<QTableView>(mForm, "RxDBGrid").viewport()->width();
}

// "&Record" and "&Rename" share the Note menu's R. With Rename disabled, R chooses Record; with
// both enabled it only moves between them, the toolkit's way for a shared key.
TEST_F(WindowLook, AnAccessKeySharedWithADisabledEntryChoosesTheEnabledOne) {
    mForm.Actions().MenuNoteAction->setChecked(true);
    mForm.ActionListUpdate();
    ASSERT_FALSE(mForm.Actions().RenameNoteAction->isEnabled());
    ASSERT_TRUE(mForm.Actions().RecordAction->isEnabled());
    for (QMenu* menu :
         {&NamedChild<QMenu>(mForm, "NoteMenu"), &NamedChild<QMenu>(mForm, "NotePopupMenu")}) {
        SCOPED_TRACE(menu->objectName().toStdString());
        menu->popup(mForm.mapToGlobal(QPoint(20, 20)));
        QTRY_VERIFY(menu->isVisible());
        QTest::keyClick(menu, Qt::Key_R);
        EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdRecording);
        EXPECT_FALSE(menu->isVisible());
        mForm.DictaphonePart().StopActionExecute();
        mCat.Notes().SetFilter([](const NoteRecord&) { return false; }); // Rename disabled again
        mForm.ActionListUpdate();
    }
    mCat.Notes().SetFilter({});
    mForm.ActionListUpdate();

    ASSERT_TRUE(mForm.Actions().RenameNoteAction->isEnabled()) << "the recorded notes are listed";
    NamedChild<QMenu>(mForm, "NoteMenu").popup(mForm.mapToGlobal(QPoint(20, 20)));
    QTRY_VERIFY(NamedChild<QMenu>(mForm, "NoteMenu").isVisible());
    QTest::keyClick(&NamedChild<QMenu>(mForm, "NoteMenu"), Qt::Key_R);
    EXPECT_EQ(NamedChild<QMenu>(mForm, "NoteMenu").activeAction(), mForm.Actions().RecordAction);
    QTest::keyClick(&NamedChild<QMenu>(mForm, "NoteMenu"), Qt::Key_R);
    EXPECT_EQ(NamedChild<QMenu>(mForm, "NoteMenu").activeAction(),
              mForm.Actions().RenameNoteAction);
    EXPECT_TRUE(NamedChild<QMenu>(mForm, "NoteMenu").isVisible());
    EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdIdle);
    NamedChild<QMenu>(mForm, "NoteMenu").hide();
}

// The menu bar's access keys: Alt+letter opens the shown menu with that key every time; a hidden
// menu (Folder and Note are hidden at first) never takes its key. "&File" and "&Folder" share F
// once the Folder menu is shown: Alt+F opens File, and F in the open one (none of their entries
// has it) opens the other.
TEST_F(WindowLook, TheMenuBarsAccessKeysOpenTheShownMenus) {
    struct Step {
        Qt::Key Key;
        Qt::KeyboardModifiers Modifiers;
        const char* Open; // the menu open afterwards, "" for none
    };
    constexpr Qt::KeyboardModifiers Alt = Qt::AltModifier;
    constexpr Qt::KeyboardModifiers None = Qt::NoModifier;
    const Step close = {Qt::Key_Escape, None, ""};
    struct Case {
        const char* Name;
        bool FolderShown;
        bool NoteShown;
        std::vector<Step> Steps;
    };
    const Case cases[] = {
        {"Folder and Note hidden",
         false,
         false,
         {{Qt::Key_F, Alt, "&File"},
          close,
          {Qt::Key_F, Alt, "&File"},
          close,
          {Qt::Key_F, Alt, "&File"},
          {Qt::Key_F, None, "&File"},
          close,
          {Qt::Key_N, Alt, ""},
          {Qt::Key_V, Alt, "&View"},
          close,
          {Qt::Key_T, Alt, "&Tools"},
          close,
          {Qt::Key_H, Alt, "&Help"},
          close}},
        {"Folder shown",
         true,
         false,
         {{Qt::Key_F, Alt, "&File"},
          {Qt::Key_F, None, "&Folder"},
          {Qt::Key_F, None, "&File"},
          {Qt::Key_F, None, "&Folder"},
          close,
          {Qt::Key_F, Alt, "&File"},
          {Qt::Key_V, Alt, "&View"},
          close,
          {Qt::Key_F, Alt, "&File"},
          close}},
        {"Note shown",
         false,
         true,
         {{Qt::Key_N, Alt, "&Note"},
          close,
          {Qt::Key_N, Alt, "&Note"},
          {Qt::Key_F, Alt, "&File"},
          close}},
    };
    const auto openMenu = [] {
        const auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        return menu ? menu->title() : QString();
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        mForm.Actions().MenuFolderAction->setChecked(c.FolderShown);
        mForm.Actions().MenuNoteAction->setChecked(c.NoteShown);
        mForm.ActionListUpdate();
        mForm.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&mForm));
        int n = 0;
        for (const Step& step : c.Steps) {
            SCOPED_TRACE(++n);
            QWidget* target = QApplication::activePopupWidget();
            QTest::keyClick(target ? target : &mForm, step.Key, step.Modifiers);
            QApplication::processEvents();
            EXPECT_EQ(openMenu().toStdString(), step.Open);
        }
        while (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
        }
    }
}

// A menu opened by its key in the bar has its first entry that can be chosen highlighted, so
// that Enter chooses it: Note > Record while no note can be played.
TEST_F(WindowLook, AMenuOpenedByItsKeyChoosesItsFirstEntryWithEnter) {
    mForm.Actions().MenuNoteAction->setChecked(true);
    mForm.ActionListUpdate();
    ASSERT_FALSE(mForm.Actions().PlayAction->isEnabled());
    QApplication::setActiveWindow(&mForm);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&mForm));
    QTest::keyClick(&mForm, Qt::Key_N, Qt::AltModifier);
    QTRY_VERIFY(NamedChild<QMenu>(mForm, "NoteMenu").isVisible());
    EXPECT_EQ(NamedChild<QMenu>(mForm, "NoteMenu").activeAction(), mForm.Actions().RecordAction);
    QTest::keyClick(&NamedChild<QMenu>(mForm, "NoteMenu"), Qt::Key_Return);
    EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdRecording);
    mForm.DictaphonePart().StopActionExecute();
}

// How far apart two colours are to the eye, roughly: the largest difference of a channel.
int Distance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

QPalette DarkPalette() {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(45, 45, 45));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::AlternateBase, QColor(45, 45, 45));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::Button, QColor(45, 45, 45));
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    dark.setColor(QPalette::HighlightedText, Qt::black);
    return dark;
}

// Three notes: the current one, one more of the multi-selection, and one not selected. Each row
// is sampled in the filler column, where no text is drawn.
TEST_F(WindowLook, TheCurrentRowAndTheOtherSelectedRowsLookDifferent) {
    for (const char* name : {"300001", "300002", "300003"}) {
        mCat.AddFoundNote(mCat.NotesNode(), name, 0, 8000, 8);
    }
    mCat.Notes().SetFilter({});
    mForm.ActionListUpdate();
    // Click the second row, then Ctrl+click the first: the first is current, both are selected.
    QWidget* rows = NamedChild<QTableView>(mForm, "RxDBGrid").viewport();
    const auto rowCentre = [&](int r) {
        return QPoint(20, NamedChild<QTableView>(mForm, "RxDBGrid").rowViewportPosition(r) +
                              NamedChild<QTableView>(mForm, "RxDBGrid").rowHeight(r) / 2);
    };
    QTest::mouseClick(rows, Qt::LeftButton, Qt::NoModifier, rowCentre(1));
    QTest::mouseClick(rows, Qt::LeftButton, Qt::ControlModifier, rowCentre(0));
    ASSERT_EQ(mCat.Notes().CurrentRow(), 0);
    ASSERT_EQ(mCat.Notes().Selection().size(), 2u);
    mForm.ActionListUpdate();

    struct Look {
        const char* Name;
        QPalette Palette;
    };
    const Look looks[] = {{"default", NamedChild<QTableView>(mForm, "RxDBGrid").palette()},
                          {"dark", DarkPalette()}};
    for (const Look& look : looks) {
        SCOPED_TRACE(look.Name);
        NamedChild<QTableView>(mForm, "RxDBGrid").setPalette(look.Palette);
        const QImage shot = NamedChild<QTableView>(mForm, "RxDBGrid").viewport()->grab().toImage();
        QHeaderView* header = NamedChild<QTableView>(mForm, "RxDBGrid").horizontalHeader();
        const int x = header->sectionViewportPosition(NoteListModel::FillerColumn) + 20;
        ASSERT_LT(x, shot.width());
        QRgb row[3];
        for (int r = 0; r < 3; ++r) {
            const int y = NamedChild<QTableView>(mForm, "RxDBGrid").rowViewportPosition(r) +
                          NamedChild<QTableView>(mForm, "RxDBGrid").rowHeight(r) / 2;
            row[r] = shot.pixel(x, y);
        }
        const QRgb base = look.Palette.color(QPalette::Base).rgb();
        EXPECT_GE(Distance(row[0], row[1]), 40) << "current against selected";
        EXPECT_GE(Distance(row[1], row[2]), 40) << "selected against plain";
        EXPECT_GE(Distance(row[0], row[2]), 40) << "current against plain";
        EXPECT_LE(Distance(row[2], base), 16) << "a plain row shows the list's base colour";
    }
}

} // namespace
} // namespace tellamo::test
