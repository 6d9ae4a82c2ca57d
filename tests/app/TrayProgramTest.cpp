// The tray icon of the whole program on a real X display (tests/support/with-xvfb.sh), with a
// real tray: trayer, started and stopped by the tests. What is checked is what the X server
// shows: whether the icon window sits embedded in the tray, and whether the main window is
// mapped.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QTimer>

#include "app/TDM.h"
#include "app/TellamoProgram.h"
#include "audio/WindowPoster.h"
#include "catalogue/Catalogue.h"
#include "common/FileSystem.h"
#include "desktop/TrayIcon.h"
#include "dialogs/TOptionsForm.h"
#include "mainwindow/Messages.h"
#include "mainwindow/TellamoMainForm.h"
#include "support/FakeWavePort.h"
#include "support/NamedChild.h"
#include "support/TempDir.h"

namespace tellamo::test {
namespace {

void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until condition holds; false when it has not within ten seconds.
template <typename Condition> bool RunUntil(Condition condition) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > 10000) {
            return false;
        }
        RunFor(20);
    }
    return true;
}

QString Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// "IsViewable", "IsUnMapped" or "IsUnviewable", as the X server has it.
QString MapState(WId window) {
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("Map State: (\\w+)"))
            .match(Run("xwininfo", {"-id", QString::number(window)}));
    return match.hasMatch() ? match.captured(1) : QStringLiteral("none");
}

// The id of our icon's window embedded in trayer's panel; 0 when there is none.
WId EmbeddedIcon() {
    int panelIndent = -1;
    for (const QString& line : Run("xwininfo", {"-root", "-tree"}).split('\n')) {
        const int indent = static_cast<int>(line.indexOf(QRegularExpression("\\S")));
        if (line.contains("(\"panel\" \"trayer\")")) {
            panelIndent = indent;
        } else if (panelIndent >= 0 && indent <= panelIndent) {
            panelIndent = -1;
        } else if (panelIndent >= 0 && line.contains(QStringLiteral("\"%1\"").arg(
                                           QCoreApplication::applicationName()))) {
            return line.trimmed().section(' ', 0, 0).toULongLong(nullptr, 16);
        }
    }
    return 0;
}

// Clicks the embedded icon: button 1 or 3, once or twice.
void ClickIcon(WId icon, int button, int count) {
    const QString geometry = Run("xwininfo", {"-id", QString::number(icon)});
    const auto value = [&geometry](const char* name) {
        return QRegularExpression(QString::fromLatin1(name) + ":\\s+(-?\\d+)")
            .match(geometry)
            .captured(1)
            .toInt();
    };
    const int x = value("Absolute upper-left X") + value("Width") / 2;
    const int y = value("Absolute upper-left Y") + value("Height") / 2;
    Run("xdotool", {"mousemove", QString::number(x), QString::number(y), "click", "--repeat",
                    QString::number(count), "--delay", "80", QString::number(button)});
}

// The whole program in-process with the fake audio port, on the X display, with or without a
// tray running.
class TrayProgram : public ::testing::Test {
protected:
    void Start(bool withTray) {
        SetMessageHandler([this](MessageKind, const QString& text, const QString& caption) {
            mMessages << caption + ": " + text;
            return true;
        });
        if (withTray) {
            ASSERT_NO_FATAL_FAILURE(StartTray());
        } else {
            // (The tray of an earlier test may take a moment to be gone.)
            ASSERT_TRUE(RunUntil([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }));
        }
        mProgram = std::make_unique<TellamoProgram>(QString::fromStdString(mDocuments.Path()),
                                                    RealFileSystem(), mPort, mPoster,
                                                    mDocuments.File("PLAY.TMP"));
        ASSERT_TRUE(mProgram->Start());
        Form().Actions().AskDescriptionAction->setChecked(false);
        mProgram->Show();
        ASSERT_TRUE(RunUntil([this] { return mProgram->FirstIdleDone() && Shown(); }));
    }
    ~TrayProgram() override {
        mProgram.reset();
        StopTray();
        SetMessageHandler({});
    }
    void StartTray() {
        mTray.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request",
                               "--height", "24"});
        ASSERT_TRUE(mTray.waitForStarted());
        ASSERT_TRUE(RunUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }));
    }
    void StopTray() {
        if (mTray.state() != QProcess::NotRunning) {
            mTray.terminate();
            mTray.waitForFinished(5000);
        }
    }
    TTellamoMainForm& Form() { return mProgram->MainForm(); }
    // The window as the user sees it: mapped, not minimized.
    bool Shown() {
        return Form().isVisible() && !Form().isMinimized() &&
               MapState(Form().winId()) == "IsViewable";
    }
    bool HiddenInTray() { return !Form().isVisible() && MapState(Form().winId()) == "IsUnMapped"; }
    // The option as the user sets it, through its check box on the Options dialog.
    void ClickTrayCheckBox() {
        auto* box =
            mProgram->Options().findChild<QCheckBox*>(QStringLiteral("MinimizeToTrayCheckBox"));
        ASSERT_NE(box, nullptr);
        box->click();
    }
    // Call through ASSERT_NO_FATAL_FAILURE.
    void CheckAndMinimizeIntoTray() {
        ClickTrayCheckBox();
        ASSERT_TRUE(Form().Actions().MinimizeToTrayAction->isChecked());
        ASSERT_TRUE(RunUntil([] { return EmbeddedIcon() != 0; })) << "the icon is in the tray";
        Form().showMinimized(); // what the window manager's minimize button does
        ASSERT_TRUE(RunUntil([this] { return HiddenInTray(); }));
    }

    TempDir mDocuments;
    FakeWavePort mPort;
    EventFdPoster mPoster;
    QStringList mMessages;
    QProcess mTray;
    std::unique_ptr<TellamoProgram> mProgram;
};

TEST_F(TrayProgram, TheIconFollowsTheOptionAndTheWindowHidesThereUntilTheIconIsDoubleClicked) {
    ASSERT_NO_FATAL_FAILURE(Start(true));
    RunFor(300);
    EXPECT_EQ(EmbeddedIcon(), 0u) << "no icon while the option is off";
    EXPECT_FALSE(NamedChild<TrayIcon>(Form(), "TrayIcon").Icon()->isVisible());

    ASSERT_NO_FATAL_FAILURE(CheckAndMinimizeIntoTray());
    const WId icon = EmbeddedIcon();
    ASSERT_NE(icon, 0u) << "the icon stays while the window hides";
    EXPECT_EQ(NamedChild<TrayIcon>(Form(), "TrayIcon").Icon()->toolTip(), "Tellamo");

    ClickIcon(icon, 1, 2);
    ASSERT_TRUE(RunUntil([this] { return Shown(); })) << MapState(Form().winId()).toStdString();
    RunFor(200);
    EXPECT_NE(EmbeddedIcon(), 0u) << "the icon stays while the window is shown";
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join('\n').toStdString();

    ClickTrayCheckBox();
    ASSERT_TRUE(RunUntil([] { return EmbeddedIcon() == 0; })) << "unchecked: the icon goes";
    Form().showMinimized();
    RunFor(300);
    EXPECT_TRUE(Form().isVisible()) << "without the option minimizing does not hide the window";
    EXPECT_NE(MapState(Form().winId()), "IsUnMapped");
}

TEST_F(TrayProgram, UncheckingTheOptionWhileTheWindowHidesBringsItBackAndRemovesTheIcon) {
    ASSERT_NO_FATAL_FAILURE(Start(true));
    ASSERT_NO_FATAL_FAILURE(CheckAndMinimizeIntoTray());
    ClickTrayCheckBox();
    EXPECT_FALSE(Form().Actions().MinimizeToTrayAction->isChecked());
    ASSERT_TRUE(RunUntil([this] { return Shown(); })) << MapState(Form().winId()).toStdString();
    EXPECT_TRUE(RunUntil([] { return EmbeddedIcon() == 0; }));
    EXPECT_FALSE(NamedChild<TrayIcon>(Form(), "TrayIcon").Icon()->isVisible());
}

TEST_F(TrayProgram, ASecondCopyBringsTheWindowOutOfTheTray) {
    ASSERT_NO_FATAL_FAILURE(Start(true));
    ASSERT_NO_FATAL_FAILURE(CheckAndMinimizeIntoTray());
    mProgram->BringToFront(); // what the running copy does when another one starts
    EXPECT_TRUE(RunUntil([this] { return Shown(); })) << MapState(Form().winId()).toStdString();
    EXPECT_NE(EmbeddedIcon(), 0u);
}

TEST_F(TrayProgram, TheWindowComesBackWhenTheTrayGoesAway) {
    ASSERT_NO_FATAL_FAILURE(Start(true));
    ASSERT_NO_FATAL_FAILURE(CheckAndMinimizeIntoTray());
    StopTray();
    EXPECT_TRUE(RunUntil([this] { return Shown(); })) << MapState(Form().winId()).toStdString();
}

TEST_F(TrayProgram, TheMenuHoldsTheWindowsOwnActionsWithTheirStatesAndTheHintSaysWhatRuns) {
    ASSERT_NO_FATAL_FAILURE(Start(true));
    ClickTrayCheckBox();
    ASSERT_TRUE(RunUntil([] { return EmbeddedIcon() != 0; }));
    const MainActions& a = Form().Actions();
    QMenu* menu = NamedChild<TrayIcon>(Form(), "TrayIcon").Menu();
    EXPECT_EQ(menu->objectName(), "TrayPopupMenu");
    const QList<QAction*> items = menu->actions();
    ASSERT_EQ(items.size(), 10);
    EXPECT_EQ(items[0]->text(), "Show Tellamo");
    const QAction* expected[] = {nullptr,         a.PlayAction, a.RecordAction,
                                 a.PauseAction,   a.StopAction, nullptr,
                                 a.OptionsAction, nullptr,      a.ExitAction};
    for (int i = 0; i < 9; ++i) {
        if (expected[i]) {
            EXPECT_EQ(items[i + 1], expected[i]) << "item " << i + 1;
        } else {
            EXPECT_TRUE(items[i + 1]->isSeparator()) << "item " << i + 1;
        }
    }
    // (enabled: Play, Record, Pause, Stop, Options, Exit)
    using States = std::vector<bool>;
    const auto states = [&] {
        States s;
        for (int i : {2, 3, 4, 5, 7, 9}) {
            s.push_back(items[i]->isEnabled());
        }
        return s;
    };
    const auto hint = [this] {
        return NamedChild<TrayIcon>(Form(), "TrayIcon").Icon()->toolTip().toStdString();
    };
    EXPECT_EQ(states(), (States{false, true, false, false, true, true})) << "idle, no note";
    EXPECT_EQ(hint(), "Tellamo");

    // A right click shows the menu at the icon.
    ClickIcon(EmbeddedIcon(), 3, 1);
    ASSERT_TRUE(RunUntil([menu] { return menu->isVisible(); }));
    menu->close();

    items[3]->trigger(); // Record, from the tray menu
    RunFor(100);
    ASSERT_EQ(Form().Mode(), TDictaphoneMode::mdRecording) << mMessages.join('\n').toStdString();
    EXPECT_EQ(states(), (States{false, false, true, true, false, true})) << "recording";
    EXPECT_EQ(hint(), "Tellamo: Recording 0:00:00");
    items[4]->trigger(); // Pause
    EXPECT_EQ(hint(), "Tellamo: Paused 0:00:00");
    items[5]->trigger(); // Stop
    RunFor(100);
    EXPECT_EQ(Form().Mode(), TDictaphoneMode::mdIdle);
    EXPECT_EQ(mProgram->DM().Cat().Notes().All().size(), 1u);
    EXPECT_EQ(states(), (States{true, true, false, false, true, true})) << "idle with a note";
    EXPECT_EQ(hint(), "Tellamo");
}

// Some notification areas give every click on the icon to its menu: the menu's first item is
// then the only way back to the window.
TEST_F(TrayProgram, TheMenusFirstItemBringsTheWindowBack) {
    ASSERT_NO_FATAL_FAILURE(Start(true));
    ASSERT_NO_FATAL_FAILURE(CheckAndMinimizeIntoTray());
    NamedChild<TrayIcon>(Form(), "TrayIcon").Menu()->actions().constFirst()->trigger();
    EXPECT_TRUE(RunUntil([this] { return Shown(); })) << MapState(Form().winId()).toStdString();
    EXPECT_NE(EmbeddedIcon(), 0u);
}

TEST_F(TrayProgram, ATrayThatStartsLaterGetsTheIcon) {
    ASSERT_NO_FATAL_FAILURE(Start(false));
    ClickTrayCheckBox();
    RunFor(100);
    StartTray(); // a panel that comes up after the program
    EXPECT_TRUE(RunUntil([] { return EmbeddedIcon() != 0; }));
}

TEST_F(TrayProgram, WithoutATrayMinimizingLeavesTheWindowWhereTheTaskbarFindsIt) {
    ASSERT_NO_FATAL_FAILURE(Start(false));
    ClickTrayCheckBox();
    ASSERT_TRUE(Form().Actions().MinimizeToTrayAction->isChecked());
    RunFor(100);
    Form().showMinimized();
    RunFor(500);
    EXPECT_TRUE(Form().isVisible());
    EXPECT_TRUE(Form().isMinimized()) << "minimized, not hidden and shown again";
    EXPECT_NE(MapState(Form().winId()), "IsUnMapped");
    EXPECT_FALSE(NamedChild<TrayIcon>(Form(), "TrayIcon").HoldsWindow());
}

} // namespace
} // namespace tellamo::test
