// Tab walks each dialog of the program in reading order: for each one, the order in which Tab
// visits its controls equals the table here, and Shift+Tab walks it backwards.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QTabWidget>
#include <QTest>

#include "app/TellamoProgram.h"
#include "audio/WindowPoster.h"
#include "common/FileSystem.h"
#include "dialogs/TAboutForm.h"
#include "dialogs/TDescriptionForm.h"
#include "dialogs/TOptionsForm.h"
#include "export/forms/TSaveFormatForm.h"
#include "mainwindow/Messages.h"
#include "support/FakeWavePort.h"
#include "support/TempDir.h"

namespace tellamo::test {
namespace {

// A control as the table names it: its object name, else its text.
std::string ControlName(const QWidget* widget) {
    if (!widget) {
        return "(nothing)";
    }
    if (!widget->objectName().isEmpty() && !widget->objectName().startsWith("qt_")) {
        return widget->objectName().toStdString();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return QString(button->text()).remove('&').trimmed().toStdString();
    }
    if (widget->objectName() == "qt_tabwidget_tabbar") {
        return "(tabs)";
    }
    return std::string("(") + widget->metaObject()->className() + ")";
}

std::vector<std::string> Walk(QDialog& dialog, bool backwards) {
    std::vector<std::string> visited;
    QWidget* start = QApplication::focusWidget();
    visited.push_back(ControlName(start));
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(QApplication::focusWidget(), backwards ? Qt::Key_Backtab : Qt::Key_Tab,
                        backwards ? Qt::ShiftModifier : Qt::NoModifier);
        if (QApplication::focusWidget() == start ||
            !dialog.isAncestorOf(QApplication::focusWidget())) {
            break;
        }
        visited.push_back(ControlName(QApplication::focusWidget()));
    }
    return visited;
}

class DialogTabOrder : public ::testing::Test {
protected:
    DialogTabOrder() {
        SetMessageHandler([](MessageKind, const QString&, const QString&) { return true; });
        EXPECT_TRUE(mProgram.Start());
    }
    ~DialogTabOrder() override { SetMessageHandler({}); }

    // Shows the dialog without its own loop and walks it both ways, once for each of orders
    // (for a dialog with pages, one order for each page, with its tab focused), then hides it.
    void Check(QDialog& dialog, const std::vector<std::vector<std::string>>& orders) {
        SCOPED_TRACE(dialog.objectName().toStdString());
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        auto* tabs = dialog.findChild<QTabWidget*>();
        for (std::size_t page = 0; page < orders.size(); ++page) {
            SCOPED_TRACE("page " + std::to_string(page));
            const std::vector<std::string>& order = orders[page];
            if (tabs) {
                tabs->setCurrentIndex(static_cast<int>(page));
                tabs->findChild<QWidget*>("qt_tabwidget_tabbar")->setFocus(Qt::TabFocusReason);
            }
            ASSERT_TRUE(dialog.isAncestorOf(QApplication::focusWidget()));
            EXPECT_EQ(Walk(dialog, false), order);
            std::vector<std::string> back(order.rbegin(), order.rend() - 1);
            back.insert(back.begin(), order.front());
            EXPECT_EQ(Walk(dialog, true), back) << "Shift+Tab walks it backwards";
        }
        dialog.hide();
    }

    TempDir mDocuments;
    FakeWavePort mPort;
    EventFdPoster mPoster;
    TellamoProgram mProgram{QString::fromStdString(mDocuments.Path()), RealFileSystem(), mPort,
                            mPoster, mDocuments.File("PLAY.TMP")};
};

TEST_F(DialogTabOrder, EachDialogIsWalkedInReadingOrder) {
    // The hotkeys' page: without a hotkey service (this platform has none) its fields are off.
    Check(mProgram.Options(),
          {{"(tabs)", "AffiliateCheckBox", "SoundNotificationCheckBox", "AskDescriptionCheckBox",
            "Ask about format before Send/Save", "MinimizeToTrayCheckBox", "Launch at login",
            "Recycle Bin record confirmation", "AudioSettingsSpeedButton", "Close"},
           {"(tabs)", "8", "SampleRateRxSlider", "SampleRateCurrencyEdit",
            "DefaultQualitySpeedButton", "VoiceQualitySpeedButton", "Close"},
           {"(tabs)", "MuteCheckBox", "VolumeRxSpinEdit", "Volume Control", "SkipStepSpinEdit",
            "RewindOnResumeSpinEdit", "Close"},
           {"(tabs)", "BiDirectionalCheckBox", "VelocityRxSpinEdit", "BackGroundColorComboBox",
            "VoiceColorComboBox", "SilenceColorComboBox", "DefaultGraphSpeedButton",
            "ReDrawCheckBox", "Close"},
           {"(tabs)", "SilenceCheckBox", "SilenceRxSpinEdit", "Close"},
           {"(tabs)", "Close"}});
    Check(mProgram.About(), {{"OKBitBtn"}});
    Check(mProgram.Description(),
          {{"DescriptionEdit", "AskDescriptionCheckBox", "OKBitBtn", "CancelBitBtn"}});
    Check(mProgram.SaveFormat(),
          {{"FileFormatItem1", "AskFormatCheckBox", "OKBitBtn", "CancelBitBtn"}});
}

} // namespace
} // namespace tellamo::test
