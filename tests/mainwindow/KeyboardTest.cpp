// The window by the keyboard: the key map reaches its actions where it should and clashes with
// nothing, the menus show the keys, and the focus comes back to the list after playback, a
// recording and a dialog.

#include <map>
#include <set>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "MainWindowFixture.h"
#include "audio/WavFormat.h"
#include "common/ByteIO.h"
#include "mainwindow/MainKeys.h"

namespace tellamo::test {
namespace {

QAction* ActionNamed(TTellamoMainForm& form, const QString& name) {
    for (QAction* action : form.Actions().All()) {
        if (action->objectName() == name) {
            return action;
        }
    }
    return nullptr;
}

// What Tab reaches, as a name: a toolbar button by its action, anything else by its own name.
std::string FocusName() {
    QWidget* focused = QApplication::focusWidget();
    if (!focused) {
        return "(nothing)";
    }
    if (auto* button = qobject_cast<QToolButton*>(focused); button && button->defaultAction()) {
        return button->defaultAction()->objectName().toStdString();
    }
    return focused->objectName().toStdString();
}

// The window shown and active, with two loud notes of a second in the Notes folder and a
// folder "Work" beside them.
class Keyboard : public MainWindowFixture {
protected:
    Keyboard() {
        mForm.Actions().AskDescriptionAction->setChecked(false);
        mForm.Options().SampleRate = 8000;
        mForm.Options().SixteenBit = false;
        mWork = mCat.AddFolder(mCat.NotesNode(), "Work");
        for (const char* name : {"first", "second"}) {
            const auto header = MakeWaveHeader(1, 8000, 8);
            std::string wav(reinterpret_cast<const char*>(header.data()), header.size());
            wav += std::string(8000, '\xF0');
            PutU32(reinterpret_cast<unsigned char*>(wav.data() + 40), 8000);
            WriteFileBytes(Folder() + name + ".wav", wav);
            mCat.AddFoundNote(mCat.NotesNode(), name, 8, 8000, 8);
            mCat.CompleteNote(8, 1000);
        }
        mCat.SelectFolder(mCat.NotesNode());
        mForm.resize(640, 480);
        mForm.show();
        mForm.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&mForm));
        mForm.ActionListUpdate();
        List().setFocus();
        List().setCurrentIndex(List().model()->index(0, 0));
        mForm.ActionListUpdate();
    }
    QTableView& List() { return NamedChild<QTableView>(mForm, "RxDBGrid"); }
    QTreeView& Tree() { return NamedChild<QTreeView>(mForm, "TreeView"); }
    QLineEdit& FilterEdit() { return NamedChild<QLineEdit>(mForm, "FilterEdit"); }
    // Runs the window's idle work, as the event loop does before it waits.
    void Idle() {
        QApplication::processEvents();
        mForm.ActionListUpdate();
    }
    // Plays the recorded buffers back until the player reports the end.
    void PlayToTheEnd() {
        while (mForm.Mode() == TDictaphoneMode::mdPlaying && mPort.CompleteOutput()) {
            mPoster.ProcessPending();
        }
        for (int i = 0; i < 500 && mForm.Mode() != TDictaphoneMode::mdIdle; ++i) {
            QTest::qWait(10);
        }
        Idle();
    }

    FolderNode* mWork = nullptr;
};

TEST_F(Keyboard, EveryKeyOfTheMapIsShownInAMenuAndClashesWithNothing) {
    std::set<QChar> barKeys; // Alt+letter of the menu bar
    for (QAction* menu : mForm.menuBar()->actions()) {
        const QKeySequence mnemonic = QKeySequence::mnemonic(menu->text());
        if (!mnemonic.isEmpty()) {
            barKeys.insert(QChar(mnemonic[0].key()).toUpper());
        }
    }
    ASSERT_GE(barKeys.size(), 5u);
    // Every action with a key, however it got it (the map, or a part of the window).
    std::map<QString, std::vector<QAction*>> byKey;
    for (QAction* action : mForm.findChildren<QAction*>()) {
        for (const QKeySequence& keys : action->shortcuts()) {
            byKey[keys.toString(QKeySequence::PortableText)].push_back(action);
            ASSERT_EQ(keys.count(), 1) << keys.toString().toStdString();
            const QKeyCombination key = keys[0];
            if (key.keyboardModifiers() == Qt::AltModifier) {
                EXPECT_EQ(barKeys.count(QChar(key.key()).toUpper()), 0u)
                    << action->objectName().toStdString() << " takes a menu's access key";
            }
        }
    }
    for (const auto& [keys, actions] : byKey) {
        // One key for two actions only where each works in a widget of its own.
        for (std::size_t i = 0; i < actions.size(); ++i) {
            for (std::size_t j = i + 1; j < actions.size(); ++j) {
                const bool apart = actions[i]->shortcutContext() == Qt::WidgetShortcut &&
                                   actions[j]->shortcutContext() == Qt::WidgetShortcut &&
                                   actions[i]->associatedObjects().size() > 0;
                bool shared = false;
                for (QObject* a : actions[i]->associatedObjects()) {
                    auto* widget = qobject_cast<QWidget*>(a);
                    shared = shared || (widget && !qobject_cast<QMenu*>(widget) &&
                                        actions[j]->associatedObjects().contains(a));
                }
                EXPECT_TRUE(apart && !shared)
                    << keys.toStdString() << ": " << actions[i]->objectName().toStdString()
                    << " and " << actions[j]->objectName().toStdString();
            }
        }
    }
    for (const KeyBinding& binding : WindowKeyMap()) {
        SCOPED_TRACE(binding.Action);
        QAction* action = ActionNamed(mForm, QString::fromLatin1(binding.Action));
        ASSERT_NE(action, nullptr);
        EXPECT_TRUE(action->shortcuts().contains(binding.Keys));
        EXPECT_TRUE(action->isShortcutVisibleInContextMenu());
        bool inMenu = false;
        for (QObject* owner : action->associatedObjects()) {
            inMenu = inMenu || qobject_cast<QMenu*>(owner);
        }
        EXPECT_TRUE(inMenu) << "the key is shown beside a menu entry";
    }
}

// Key, where the focus is, what the program is doing: the action the key triggers (none: the
// key triggers no action of the map).
TEST_F(Keyboard, EachKeyReachesItsActionWhereItWorks) {
    enum Focus { InList, InTree, InFilter, OnMuteButton };
    struct Case {
        Focus Where;
        QKeyCombination Key;
        bool Recording;
        const char* Action; // "" for none
    };
    const Case cases[] = {
        {InList, Qt::Key_Delete, false, "DeleteNoteAction"},
        {InTree, Qt::Key_Delete, false, "DeleteFolderAction"},
        {InList, Qt::Key_F2, false, "RenameNoteAction"},
        {InTree, Qt::Key_F2, false, "RenameFolderAction"},
        {InList, Qt::CTRL | Qt::Key_R, false, "RecordAction"},
        {InTree, Qt::CTRL | Qt::Key_R, false, "RecordAction"},
        {InList, Qt::CTRL | Qt::Key_R, true, ""}, // already recording
        {InList, Qt::CTRL | Qt::Key_Period, true, "StopAction"},
        {InList, Qt::CTRL | Qt::Key_Period, false, ""}, // nothing to stop
        {InList, Qt::Key_F1, false, "TopicsAction"},
        {InFilter, Qt::Key_F1, false, "TopicsAction"},
        {InList, Qt::CTRL | Qt::Key_Q, false, "ExitAction"},
        {InList, Qt::CTRL | Qt::SHIFT | Qt::Key_S, false, "SaveAsFileAction"},
        {InList, Qt::CTRL | Qt::Key_F, false, "FilterTextAction"},
        {InFilter, Qt::Key_Delete, false, ""}, // the text's own key
        {InFilter, Qt::Key_F2, false, ""},
        // The dictaphone player's keys: single keys that a text field takes as text.
        {InList, Qt::Key_Space, false, "PlayPauseAction"},
        {InList, Qt::Key_BracketLeft, false, "SlowerAction"},
        {InList, Qt::Key_BracketRight, false, "FasterAction"},
        {InList, Qt::Key_Backspace, false, ""}, // already at 1.0x
        {InFilter, Qt::Key_Space, false, ""},
        {InFilter, Qt::Key_BracketLeft, false, ""},
        {InFilter, Qt::Key_BracketRight, false, ""},
        {InFilter, Qt::Key_Backspace, false, ""},
        // Space presses the focused toolbar button, as on any button.
        {OnMuteButton, Qt::Key_Space, false, "MuteAction"},
    };
    // The handlers are other tests' business: here only which action a key reaches counts.
    std::map<QAction*, int> triggered;
    for (QAction* action : mForm.findChildren<QAction*>()) {
        if (!action->shortcuts().isEmpty() || action == mForm.Actions().MuteAction) {
            QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
            QObject::connect(action, &QAction::triggered, &mForm,
                             [&, action] { ++triggered[action]; });
        }
    }
    mForm.Actions().FilterToolBarAction->setChecked(true);
    Idle();
    for (const Case& c : cases) {
        SCOPED_TRACE(QKeySequence(c.Key).toString().toStdString() + " in " +
                     std::to_string(c.Where) + (c.Recording ? " recording" : ""));
        if (c.Recording) {
            mForm.DictaphonePart().RecordActionExecute();
            ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdRecording);
        }
        Idle();
        QWidget* muteButton = NamedChild<QToolBar>(mForm, "DictaphoneToolBar")
                                  .widgetForAction(mForm.Actions().MuteAction);
        QWidget* target = c.Where == InList     ? static_cast<QWidget*>(&List())
                          : c.Where == InTree   ? static_cast<QWidget*>(&Tree())
                          : c.Where == InFilter ? static_cast<QWidget*>(&FilterEdit())
                                                : muteButton;
        mCat.SelectFolder(c.Where == InTree ? mWork : mCat.NotesNode()); // a folder that can go
        Idle();
        if (target->isEnabled()) {
            target->setFocus();
        }
        triggered.clear();
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &mForm,
                        c.Key.key(), c.Key.keyboardModifiers());
        std::vector<std::string> reached;
        for (const auto& [action, count] : triggered) {
            reached.push_back(action->objectName().toStdString());
        }
        EXPECT_EQ(reached,
                  *c.Action ? std::vector<std::string>{c.Action} : std::vector<std::string>{});
        if (c.Recording) {
            mForm.DictaphonePart().StopActionExecute();
        }
    }
}

TEST_F(Keyboard, CtrlFGoesToTheFilterAndEscapeLeavesIt) {
    ASSERT_FALSE(mForm.Actions().FilterToolBarAction->isChecked());
    QTest::keyClick(&List(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(FilterEdit().hasFocus());
    EXPECT_TRUE(NamedChild<QToolBar>(mForm, "FilterToolBar").isVisible());
    EXPECT_TRUE(mForm.Actions().FilterAction->isChecked()) << "what is typed next filters";
    QTest::keyClicks(&FilterEdit(), "zzz");
    EXPECT_EQ(mCat.Notes().Shown().size(), 0u);
    QTest::keyClick(&FilterEdit(), Qt::Key_Escape);
    EXPECT_EQ(FilterEdit().text(), "");
    EXPECT_TRUE(List().hasFocus());
    EXPECT_EQ(mCat.Notes().Shown().size(), 2u);
    QTest::keyClick(&List(), Qt::Key_Return);
    EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdPlaying) << "Return plays at once";
}

// After playback ends, after a recording stops and after a dialog closes, Return plays the
// current note again: the list has the focus back.
TEST_F(Keyboard, TheFocusComesBackToTheListOnTheCurrentNote) {
    QTest::keyClick(&List(), Qt::Key_Down);
    const NoteRecord* current = mCat.Notes().Current();
    ASSERT_NE(current, nullptr);
    QTest::keyClick(&List(), Qt::Key_Return);
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdPlaying);
    Idle();
    EXPECT_FALSE(List().isEnabled());
    PlayToTheEnd();
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdIdle);
    EXPECT_TRUE(List().hasFocus()) << "after playback";
    EXPECT_EQ(mCat.Notes().Current(), current);

    QTest::keyClick(&List(), Qt::Key_R, Qt::ControlModifier);
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdRecording);
    Idle();
    const std::string loud(800, '\xF0');
    ASSERT_TRUE(mPort.CompleteInput(loud.data(), loud.size()));
    mPoster.ProcessPending();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Period, Qt::ControlModifier);
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdIdle);
    Idle();
    EXPECT_TRUE(List().hasFocus()) << "after recording";

    // F2 opens the description prompt; Escape closes it.
    QTimer::singleShot(0, &mDescription, [&] {
        EXPECT_TRUE(QTest::qWaitFor([&] { return mDescription.DescriptionEdit->hasFocus(); }, 2000))
            << "the prompt's field has the focus";
        QTest::keyClick(mDescription.DescriptionEdit, Qt::Key_Escape);
    });
    QTest::keyClick(&List(), Qt::Key_F2);
    EXPECT_FALSE(mDescription.isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return mForm.isActiveWindow(); }, 2000));
    Idle();
    EXPECT_TRUE(List().hasFocus()) << "after a dialog";
    QTest::keyClick(&List(), Qt::Key_Return);
    EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdPlaying);
}

// A focus moved on by the user while the list is disabled stays where the user put it.
TEST_F(Keyboard, AFocusMovedDuringPlaybackStaysWhereItWasPut) {
    QTest::keyClick(&List(), Qt::Key_Return);
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdPlaying);
    Idle();
    EXPECT_EQ(FocusName(), "PositionRxSlider")
        << "the focus waits on the position strip, where the player's keys work";
    QTest::keyClick(&mForm, Qt::Key_Tab);
    for (int i = 0; i < 10 && FocusName() != "VolumeRxSlider"; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QWidget* chosen = QApplication::focusWidget();
    ASSERT_EQ(FocusName(), "VolumeRxSlider") << "Tab reaches it while the note plays";
    PlayToTheEnd();
    EXPECT_EQ(QApplication::focusWidget(), chosen) << FocusName();
}

TEST_F(Keyboard, MoveToFolderMovesTheSelectedNotesToTheChosenFolder) {
    QTest::keyClick(&List(), Qt::Key_Down, Qt::ShiftModifier); // both notes
    ASSERT_EQ(mCat.Notes().Selection().size(), 2u);
    QTimer::singleShot(0, &mForm, [&] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto& folders = NamedChild<QComboBox>(*dialog, "FolderComboBox");
        EXPECT_EQ(folders.currentText(), "Notes") << "the folder the notes are in";
        const int work = folders.findText("Notes / Work");
        ASSERT_GE(work, 0);
        folders.setCurrentIndex(work);
        dialog->accept();
    });
    mForm.Actions().MoveNoteAction->trigger();
    mCat.SelectFolder(mWork);
    EXPECT_EQ(mCat.Notes().Shown().size(), 2u);
    mCat.SelectFolder(mCat.NotesNode());
    EXPECT_EQ(mCat.Notes().Shown().size(), 0u);
    EXPECT_NE(Saved().find("Work"), std::string::npos);
}

// The names Tab visits from start on, until it comes back to start (at most 40).
std::vector<std::string> TabWalk(QWidget& start, bool backwards = false) {
    start.setFocus(Qt::TabFocusReason);
    std::vector<std::string> visited{FocusName()};
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(QApplication::focusWidget(), backwards ? Qt::Key_Backtab : Qt::Key_Tab,
                        backwards ? Qt::ShiftModifier : Qt::NoModifier);
        if (QApplication::focusWidget() == &start) {
            break;
        }
        visited.push_back(FocusName());
    }
    return visited;
}

TEST_F(Keyboard, TabWalksTheWindowInReadingOrder) {
    mForm.Actions().FilterToolBarAction->setChecked(true);
    Idle();
    const std::vector<std::string> idle = {
        "TreeView",          "RxDBGrid",        "PlayAction",     "RecordAction",
        "SpeedSpinBox",      "MuteAction",      "VolumeRxSlider", "SilenceAction",
        "SilenceRxSlider",   "AffiliateAction", "FilterAction",   "CaseInSensitiveAction",
        "SpokenWordsAction", "FilterEdit",      "TranscriptPane"};
    EXPECT_EQ(TabWalk(Tree()), idle);
    std::vector<std::string> back(idle.rbegin(), idle.rend() - 1);
    back.insert(back.begin(), "TreeView");
    EXPECT_EQ(TabWalk(Tree(), true), back) << "Shift+Tab walks it backwards";

    // While a note plays: the list and tree wait, the position strip comes between the filter
    // and them.
    QTest::keyClick(&List(), Qt::Key_Return);
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdPlaying);
    Idle();
    EXPECT_EQ(TabWalk(NamedChild<QWidget>(mForm, "VolumeRxSlider")),
              (std::vector<std::string>{"VolumeRxSlider", "SilenceAction", "SilenceRxSlider",
                                        "SpokenWordsAction", "PositionRxSlider", "TranscriptPane",
                                        "PauseAction", "StopAction", "SkipBackAction",
                                        "SkipForwardAction", "SpeedSpinBox", "MuteAction"}));
}

// The dialogs' fields in reading order.
TEST_F(Keyboard, TabWalksTheDescriptionPromptInReadingOrder) {
    mDescription.setWindowTitle("Enter Description");
    mDescription.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&mDescription));
    mDescription.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&mDescription));
    EXPECT_EQ(TabWalk(*mDescription.DescriptionEdit),
              (std::vector<std::string>{"DescriptionEdit", "AskDescriptionCheckBox", "OKBitBtn",
                                        "CancelBitBtn"}));
    mDescription.hide();
}

} // namespace
} // namespace tellamo::test
