#include <functional>

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "dialogs/TDescriptionForm.h"

namespace tellamo::test {
namespace {

class DescriptionForm : public ::testing::Test {
protected:
    QAction Ask{"&Enter description before recording"};
    TDescriptionForm Form{&Ask, nullptr};
    int Expected = 0; // answers prepared by WhenShown
    int Answered = 0; // answers given: a dialog that never opened leaves one unused

    DescriptionForm() {
        Ask.setCheckable(true);
        Ask.setChecked(true);
        Ask.setToolTip("Enter description before recording");
    }
    void TearDown() override { EXPECT_EQ(Answered, Expected) << "the dialog was never shown"; }

    // Runs answer() on the dialog once it is shown modally.
    void WhenShown(std::function<void()> answer) {
        ++Expected;
        QTimer::singleShot(0, &Form, [this, answer] {
            ++Answered;
            EXPECT_TRUE(Form.isVisible());
            EXPECT_EQ(Form.focusWidget(), Form.DescriptionEdit) << "the edit is the active control";
            answer();
        });
    }
};

TEST_F(DescriptionForm, EnterConfirmsAndEscCancels) {
    WhenShown([&] {
        EXPECT_EQ(Form.windowTitle(), "Enter Description");
        QTest::keyClicks(Form.DescriptionEdit, "Call Bob");
        QTest::keyClick(Form.DescriptionEdit, Qt::Key_Return);
    });
    EXPECT_TRUE(Form.AskNewDescription());
    EXPECT_EQ(Form.DescriptionEdit->text(), "Call Bob");

    WhenShown([&] {
        EXPECT_EQ(Form.windowTitle(), "Edit Description");
        EXPECT_EQ(Form.DescriptionEdit->text(), "Old text");
        QTest::keyClick(Form.DescriptionEdit, Qt::Key_Escape);
    });
    EXPECT_FALSE(Form.AskEditDescription("Old text"));
    EXPECT_EQ(Form.DescriptionEdit->text(), "Old text") << "the text stays for the next reader";
}

TEST_F(DescriptionForm, ANewDescriptionStartsEmptyAndMayStayEmpty) {
    Form.DescriptionEdit->setText("left over");
    WhenShown([&] {
        EXPECT_EQ(Form.DescriptionEdit->text(), "");
        Form.OKBitBtn->click();
    });
    EXPECT_TRUE(Form.AskNewDescription());
    EXPECT_EQ(Form.DescriptionEdit->text(), "");
}

TEST_F(DescriptionForm, TheCheckBoxIsTheMainWindowsOption) {
    EXPECT_EQ(Form.AskDescriptionCheckBox->text(), "&Enter description before recording");
    EXPECT_TRUE(Form.AskDescriptionCheckBox->isChecked());
    WhenShown([&] {
        QTest::mouseClick(Form.AskDescriptionCheckBox, Qt::LeftButton);
        EXPECT_FALSE(Ask.isChecked()) << "unchecking in the dialog switches the option at once";
        Form.OKBitBtn->click();
    });
    EXPECT_TRUE(Form.AskNewDescription());
    Ask.setChecked(true);
    EXPECT_TRUE(Form.AskDescriptionCheckBox->isChecked());
}

} // namespace
} // namespace tellamo::test
