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
    QAction mAsk{"&Enter description before recording"};
    TDescriptionForm mForm{&mAsk, nullptr};
    int mExpected = 0; // answers prepared by WhenShown
    int mAnswered = 0; // answers given: a dialog that never opened leaves one unused

    DescriptionForm() {
        mAsk.setCheckable(true);
        mAsk.setChecked(true);
        mAsk.setToolTip("Enter description before recording");
    }
    void TearDown() override { EXPECT_EQ(mAnswered, mExpected) << "the dialog was never shown"; }

    // Runs answer() on the dialog once it is shown modally.
    void WhenShown(std::function<void()> answer) {
        ++mExpected;
        QTimer::singleShot(0, &mForm, [this, answer] {
            ++mAnswered;
            EXPECT_TRUE(mForm.isVisible());
            EXPECT_EQ(mForm.focusWidget(), mForm.DescriptionEdit)
                << "the edit is the active control";
            answer();
        });
    }
};

TEST_F(DescriptionForm, EnterConfirmsAndEscCancels) {
    WhenShown([&] {
        EXPECT_EQ(mForm.windowTitle(), "Enter Description");
        QTest::keyClicks(mForm.DescriptionEdit, "Call Bob");
        QTest::keyClick(mForm.DescriptionEdit, Qt::Key_Return);
    });
    EXPECT_TRUE(mForm.AskNewDescription());
    EXPECT_EQ(mForm.DescriptionEdit->text(), "Call Bob");

    WhenShown([&] {
        EXPECT_EQ(mForm.windowTitle(), "Edit Description");
        EXPECT_EQ(mForm.DescriptionEdit->text(), "Old text");
        QTest::keyClick(mForm.DescriptionEdit, Qt::Key_Escape);
    });
    EXPECT_FALSE(mForm.AskEditDescription("Old text"));
    EXPECT_EQ(mForm.DescriptionEdit->text(), "Old text") << "the text stays for the next reader";
}

TEST_F(DescriptionForm, ANewDescriptionStartsEmptyAndMayStayEmpty) {
    mForm.DescriptionEdit->setText("left over");
    WhenShown([&] {
        EXPECT_EQ(mForm.DescriptionEdit->text(), "");
        mForm.OKBitBtn->click();
    });
    EXPECT_TRUE(mForm.AskNewDescription());
    EXPECT_EQ(mForm.DescriptionEdit->text(), "");
}

TEST_F(DescriptionForm, TheCheckBoxIsTheMainWindowsOption) {
    EXPECT_EQ(mForm.AskDescriptionCheckBox->text(), "&Enter description before recording");
    EXPECT_TRUE(mForm.AskDescriptionCheckBox->isChecked());
    WhenShown([&] {
        QTest::mouseClick(mForm.AskDescriptionCheckBox, Qt::LeftButton);
        EXPECT_FALSE(mAsk.isChecked()) << "unchecking in the dialog switches the option at once";
        mForm.OKBitBtn->click();
    });
    EXPECT_TRUE(mForm.AskNewDescription());
    mAsk.setChecked(true);
    EXPECT_TRUE(mForm.AskDescriptionCheckBox->isChecked());
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
        mForm.DescriptionEdit->setText(c.Before);
        mForm.DescriptionEdit->setCursorPosition(c.Cursor);
        mForm.DescriptionEdit->insert(c.Inserted);
        EXPECT_EQ(mForm.DescriptionEdit->text(), c.After) << c.What;
        EXPECT_LE(mForm.DescriptionEdit->text().toUtf8().size(), 127) << c.What;
    }
    // Typed key by key.
    mForm.DescriptionEdit->setText(QString(120, 'a'));
    mForm.DescriptionEdit->end(false);
    QTest::keyClicks(mForm.DescriptionEdit, "0123456789");
    EXPECT_EQ(mForm.DescriptionEdit->text(), QString(120, 'a') + "0123456");
}

} // namespace
} // namespace tellamo::test
