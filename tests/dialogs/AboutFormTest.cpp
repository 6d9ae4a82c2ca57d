#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "common/IniFile.h"
#include "dialogs/TAboutForm.h"
#include "support/TempDir.h"

namespace tellamo::test {
namespace {

// Records the links the about box asks the desktop to open.
class LinkRecorder : public QObject {
    Q_OBJECT
public:
    QStringList Opened;
public slots:
    void Open(const QUrl& url) { Opened << url.toString(); }
};

TEST(AboutForm, ShowsNameVersionAndOpensItsLinks) {
    TempDir dir;
    LinkRecorder links;
    for (const char* scheme : {"mailto", "https", "file"}) {
        QDesktopServices::setUrlHandler(scheme, &links, "Open");
    }
    {
        TAboutForm form(QIcon(), "notes@example.org", "file:///usr/share/tellamo/tellamo.html",
                        QString::fromStdString(dir.File("tellamo.INI")));
        EXPECT_EQ(form.windowTitle(), "About");
        EXPECT_EQ(form.ProgramNameLabel->text(), "Tellamo");
        EXPECT_TRUE(form.ProgramNameLabel->font().bold());
        EXPECT_EQ(form.VersionLabel->text(), "Version 1.43");
        EXPECT_EQ(form.ContactUsLabel->text(), "Contact us:");
        EXPECT_TRUE(form.MailLabel->font().underline());
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        QTest::mouseClick(form.MailLabel, Qt::LeftButton);
        QTest::mouseClick(form.WebLabel, Qt::LeftButton);
        form.MailLabel->setText("https://example.org/support");
        form.MailLabelClick();
        EXPECT_EQ(links.Opened,
                  QStringList({"mailto:notes@example.org", "file:///usr/share/tellamo/tellamo.html",
                               "https://example.org/support"}));
        form.move(40, 50);
        form.OKBitBtn->click();
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.result(), QDialog::Accepted);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        form.setResult(QDialog::Rejected);
        QTest::keyClick(&form, Qt::Key_Escape);
        EXPECT_FALSE(form.isVisible()) << "Esc closes the box as its OK button does";
        EXPECT_EQ(form.result(), QDialog::Accepted);
    }
    for (const char* scheme : {"mailto", "https", "file"}) {
        QDesktopServices::unsetUrlHandler(scheme);
    }
    const IniFile ini = IniFile::Load(dir.File("tellamo.INI"));
    EXPECT_EQ(ini.ReadString("TAboutForm", "FormVersion", "missing"), "0") << "its place is kept";
    EXPECT_NE(ini.ReadString("TAboutForm", "NormPos", ""), "");
}

// A build without a contact address shows no contact line; the licence is always there, and the
// manual is shown by its path and opened as a file.
TEST(AboutForm, ShowsTheLicenceAndOnlyAddressesThatExist) {
    TempDir dir;
    LinkRecorder links;
    QDesktopServices::setUrlHandler("file", &links, "Open");
    {
        TAboutForm form(QIcon(), "", "/usr/share/tellamo/tellamo.html",
                        QString::fromStdString(dir.File("tellamo.INI")));
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        EXPECT_FALSE(form.ContactUsLabel->isVisible());
        EXPECT_FALSE(form.MailLabel->isVisible());
        ASSERT_NE(form.LicenceLabel, nullptr);
        EXPECT_TRUE(form.LicenceLabel->isVisible());
        EXPECT_TRUE(form.LicenceLabel->text().contains("GPL-3.0-or-later"))
            << form.LicenceLabel->text().toStdString();
        EXPECT_EQ(form.WebLabel->text(), "/usr/share/tellamo/tellamo.html");
        QTest::mouseClick(form.WebLabel, Qt::LeftButton);
        form.OKBitBtn->click();
    }
    {
        TAboutForm form(QIcon(), "notes@example.org", "",
                        QString::fromStdString(dir.File("tellamo.INI")));
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        EXPECT_TRUE(form.MailLabel->isVisible());
        EXPECT_FALSE(form.WebLabel->isVisible()) << "no manual found: no link to it";
        form.OKBitBtn->click();
    }
    QDesktopServices::unsetUrlHandler("file");
    EXPECT_EQ(links.Opened, QStringList({"file:///usr/share/tellamo/tellamo.html"}));
}

} // namespace
} // namespace tellamo::test

#include "AboutFormTest.moc"
