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

// The catalogue keeps 127 bytes of UTF-8: the field takes no more than that, cutting what is typed
// or pasted (at the cursor) and never inside a character.
TEST_F(DescriptionForm, TheFieldTakesNoMoreThanTheCatalogueKeeps) {
    const QString a127(127, 'a');
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80"); // 4 bytes, two UTF-16 units
    const QString e = QString::fromUtf8("\xC3\xA9");             // 2 bytes
    const struct {
        const char* What;
        QString Before;
        int Cursor;
        QString Inserted;
        QString After;
    } cases[] = {
        {"a letter past the limit", a127, 127, "x", a127},
        {"a letter inside a full text", a127, 10, "Z", a127},
        {"two bytes where one is left", QString(126, 'a'), 126, e, QString(126, 'a')},
        {"two bytes where two are left", QString(125, 'a'), 125, e, QString(125, 'a') + e},
        {"four bytes where three are left", QString(124, 'a'), 124, smile, QString(124, 'a')},
        {"four bytes where four are left", QString(123, 'a'), 123, smile,
         QString(123, 'a') + smile},
        {"a long paste keeps its start", "", 0, QString(100, 'b') + e.repeated(50),
         QString(100, 'b') + e.repeated(13)},
        {"a paste in the middle", "startend", 5, smile.repeated(40),
         "start" + smile.repeated(29) + "end"},
    };
    for (const auto& c : cases) {
        Form.DescriptionEdit->setText(c.Before);
        Form.DescriptionEdit->setCursorPosition(c.Cursor);
        Form.DescriptionEdit->insert(c.Inserted);
        EXPECT_EQ(Form.DescriptionEdit->text(), c.After) << c.What;
        EXPECT_LE(Form.DescriptionEdit->text().toUtf8().size(), 127) << c.What;
    }
    // Typed key by key.
    Form.DescriptionEdit->setText(QString(120, 'a'));
    Form.DescriptionEdit->end(false);
    QTest::keyClicks(Form.DescriptionEdit, "0123456789");
    EXPECT_EQ(Form.DescriptionEdit->text(), QString(120, 'a') + "0123456");
}

} // namespace
} // namespace tellamo::test
