#include "dialogs/TDescriptionForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace tellamo::test {
namespace {

// Runs answer() on the dialog once it is shown modally.
void WhenShown(TDescriptionForm& form, std::function<void()> answer) {
    QTimer::singleShot(0, &form, [&form, answer] {
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(form.focusWidget(), form.DescriptionEdit) << "the edit is the active control";
        answer();
    });
}

class DescriptionForm : public ::testing::Test {
protected:
    QAction Ask{"&Enter description before recording"};
    TDescriptionForm Form{&Ask, nullptr};
    DescriptionForm() {
        Ask.setCheckable(true);
        Ask.setChecked(true);
        Ask.setToolTip("Enter description before recording");
    }
};

TEST_F(DescriptionForm, EnterConfirmsAndEscCancels) {
    WhenShown(Form, [&] {
        EXPECT_EQ(Form.windowTitle(), "Enter Description");
        QTest::keyClicks(Form.DescriptionEdit, "Call Bob");
        QTest::keyClick(Form.DescriptionEdit, Qt::Key_Return);
    });
    EXPECT_TRUE(Form.AskNewDescription());
    EXPECT_EQ(Form.DescriptionEdit->text(), "Call Bob");

    WhenShown(Form, [&] {
        EXPECT_EQ(Form.windowTitle(), "Edit Description");
        EXPECT_EQ(Form.DescriptionEdit->text(), "Old text");
        QTest::keyClick(Form.DescriptionEdit, Qt::Key_Escape);
    });
    EXPECT_FALSE(Form.AskEditDescription("Old text"));
    EXPECT_EQ(Form.DescriptionEdit->text(), "Old text") << "the text stays for the next reader";
}

TEST_F(DescriptionForm, ANewDescriptionStartsEmptyAndMayStayEmpty) {
    Form.DescriptionEdit->setText("left over");
    WhenShown(Form, [&] {
        EXPECT_EQ(Form.DescriptionEdit->text(), "");
        Form.OKBitBtn->click();
    });
    EXPECT_TRUE(Form.AskNewDescription());
    EXPECT_EQ(Form.DescriptionEdit->text(), "");
}

TEST_F(DescriptionForm, TheCheckBoxIsTheMainWindowsOption) {
    EXPECT_EQ(Form.AskDescriptionCheckBox->text(), "&Enter description before recording");
    EXPECT_TRUE(Form.AskDescriptionCheckBox->isChecked());
    WhenShown(Form, [&] {
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
