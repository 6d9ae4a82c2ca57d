#include "desktop/LangChanger.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLocale>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include "common/Errors.h"
#include "common/Translate.h"
#include "support/TempDir.h"

namespace tellamo::test {
namespace {

// A small window with one component of each kind the translation files address.
class TSampleForm : public QWidget {
    Q_OBJECT
public:
    TSampleForm() {
        setObjectName(QStringLiteral("SampleForm"));
        setWindowTitle(QStringLiteral("Sample"));
        auto* layout = new QVBoxLayout(this);
        TitleLabel = new QLabel(QStringLiteral("Title"), this);
        TitleLabel->setObjectName(QStringLiteral("TitleLabel"));
        layout->addWidget(TitleLabel);
        Kinds = new QComboBox(this);
        Kinds->setObjectName(QStringLiteral("KindComboBox"));
        Kinds->addItems({QStringLiteral("one"), QStringLiteral("two")});
        layout->addWidget(Kinds);
        Group = new QButtonGroup(this);
        Group->setObjectName(QStringLiteral("FormatRadioGroup"));
        for (int i = 0; i < 3; ++i) {
            auto* button = new QRadioButton(QStringLiteral("choice %1").arg(i), this);
            layout->addWidget(button);
            Group->addButton(button, i);
        }
        Count = new QSpinBox(this);
        Count->setObjectName(QStringLiteral("CountSpinEdit"));
        Count->setRange(0, 1000);
        layout->addWidget(Count);
        Factor = new QDoubleSpinBox(this);
        Factor->setObjectName(QStringLiteral("FactorSpinEdit"));
        layout->addWidget(Factor);
        Pages = new QTabWidget(this);
        Pages->setObjectName(QStringLiteral("PageControl"));
        FirstPage = new QWidget;
        FirstPage->setObjectName(QStringLiteral("FirstTabSheet"));
        Pages->addTab(FirstPage, QStringLiteral("First"));
        layout->addWidget(Pages);
        Grid = new QTableView(this);
        Grid->setObjectName(QStringLiteral("RxDBGrid"));
        Model.setHorizontalHeaderLabels({QStringLiteral("Start"), QStringLiteral("Duration")});
        Grid->setModel(&Model);
        layout->addWidget(Grid);
        Play = new QAction(QStringLiteral("&Play"), this);
        Play->setObjectName(QStringLiteral("PlayAction"));
    }
    QLabel* TitleLabel;
    QComboBox* Kinds;
    QButtonGroup* Group;
    QSpinBox* Count;
    QDoubleSpinBox* Factor;
    QTabWidget* Pages;
    QWidget* FirstPage;
    QTableView* Grid;
    QStandardItemModel Model;
    QAction* Play;
};

class LangChanger : public ::testing::Test {
protected:
    TempDir mDir;
    TLangChanger mChanger;
    TSampleForm mForm;

    void UseFile(const std::string& text) {
        static int generation = 0;
        // A new name each time: the changer notices a changed file by its time and size.
        const std::string path = mDir.File("lang" + std::to_string(++generation) + ".ini");
        WriteFileBytes(path, text);
        mChanger.SetLangFile(QString::fromStdString(path));
    }
    QStringList ComboLines() const {
        QStringList lines;
        for (int i = 0; i < mForm.Kinds->count(); ++i) {
            lines << mForm.Kinds->itemText(i);
        }
        return lines;
    }
};

TEST_F(LangChanger, NoFileLeavesEverythingAsDesigned) {
    EXPECT_EQ(mChanger.TranslateText("Save As"), "Save As");
    mForm.Count->setValue(5);
    mChanger.TranslateForm(&mForm);
    EXPECT_EQ(mForm.windowTitle(), "Sample");
    EXPECT_EQ(mForm.TitleLabel->text(), "Title");
    // A blank-only name is no file either, and a file that does not exist translates nothing.
    mChanger.SetLangFile("   ");
    EXPECT_TRUE(mChanger.LangFile().isEmpty());
    mChanger.SetLangFile(QString::fromStdString(mDir.File("missing.ini")) + "  ");
    EXPECT_EQ(mChanger.LangFile(), QString::fromStdString(mDir.File("missing.ini")));
    EXPECT_EQ(mChanger.TranslateText("Save As"), "Save As");
}

TEST_F(LangChanger, MessagesMatchWithoutRegardToCaseAndReachTheProgramOnceInstalled) {
    UseFile("[messages]\nsave AS = Speichern unter\nSize, kb=Größe, kB\n");
    EXPECT_EQ(mChanger.TranslateText("Save As"), "Speichern unter");
    EXPECT_EQ(mChanger.TranslateText("Size, kb"), "Größe, kB");
    EXPECT_EQ(mChanger.TranslateText("Start"), "Start");
    EXPECT_EQ(tellamo::TranslateText("Save As"), "Save As") << "not installed yet";
    {
        TLangChanger installed;
        installed.SetLangFile(mChanger.LangFile());
        installed.Install();
        EXPECT_EQ(tellamo::TranslateText("Save As"), "Speichern unter");
    }
    EXPECT_EQ(tellamo::TranslateText("Save As"), "Save As") << "gone with its changer";
}

TEST_F(LangChanger, ListsAreCutAtTheSeparator) {
    struct Case {
        QString Separator, Value;
        QStringList Lines;
    } cases[] = {
        {",", "a,,b", {"a", "", "b"}},
        {",", "a,b,", {"a", "b"}},
        {",", " a , b ", {"a", "b"}},
        {"; ", "a; b", {"a", "b"}},
        {"; ", "a;b", {"a;b"}},
        {"  ", "a,b", {"a", "b"}}, // a blank separator means the comma
    };
    for (const Case& c : cases) {
        mChanger.SetSeparator(c.Separator);
        EXPECT_EQ(mChanger.SplitList(c.Value), c.Lines)
            << c.Separator.toStdString() << " " << c.Value.toStdString();
    }
    UseFile("[Translations]\nSampleForm.KindComboBox.Items=a,,b\nSampleForm.FormatRadioGroup.Items="
            "PCM,TrueSpeech\n");
    mChanger.SetSeparator(",");
    mChanger.TranslateForm(&mForm);
    EXPECT_EQ(ComboLines(), QStringList({"a", "", "b"}));
    EXPECT_EQ(mForm.Group->button(0)->text(), "PCM");
    EXPECT_EQ(mForm.Group->button(1)->text(), "TrueSpeech");
    EXPECT_EQ(mForm.Group->button(2)->text(), "choice 2") << "a line the file does not give stays";
}

TEST_F(LangChanger, PropertiesAreSetByTheirKind) {
    UseFile("[Translations]\n"
            "SampleForm.Caption=Beispiel\n"
            "SampleForm.TitleLabel.Caption=Überschrift\n"
            "sampleform.titlelabel.hint=Ein Hinweis\n"
            "SampleForm.PlayAction.Caption=&Wiedergabe\n"
            "SampleForm.PlayAction.Hint=Spielt die Notiz ab\n"
            "SampleForm.FirstTabSheet.Caption=Erste\n"
            "SampleForm.RxDBGrid.Columns.1.Title.Caption=Dauer\n"
            "SampleForm.CountSpinEdit.Maximum=$10\n"
            "SampleForm.CountSpinEdit.SingleStep=abc\n"
            "OtherForm.TitleLabel.Caption=not for this form\n"
            "SampleForm.NoSuchLabel.Caption=nowhere\n"
            "SampleForm.TitleLabel.NoSuchProperty=nothing\n");
    mForm.Count->setSingleStep(3);
    mChanger.TranslateForm(&mForm);
    EXPECT_EQ(mForm.windowTitle(), "Beispiel");
    EXPECT_EQ(mForm.TitleLabel->text(), "Überschrift")
        << "the other form's entry and the missing component are skipped";
    EXPECT_EQ(mForm.TitleLabel->toolTip(), "Ein Hinweis");
    EXPECT_EQ(mForm.TitleLabel->statusTip(), "Ein Hinweis");
    EXPECT_EQ(mForm.Play->text(), "&Wiedergabe");
    EXPECT_EQ(mForm.Play->toolTip(), "Spielt die Notiz ab");
    EXPECT_EQ(mForm.Pages->tabText(0), "Erste");
    EXPECT_EQ(mForm.Model.headerData(1, Qt::Horizontal).toString(), "Dauer");
    EXPECT_EQ(mForm.Model.headerData(0, Qt::Horizontal).toString(), "Start");
    EXPECT_EQ(mForm.Count->maximum(), 16) << "$ makes the number hexadecimal";
    EXPECT_EQ(mForm.Count->singleStep(), 3) << "a number that does not convert is ignored";
}

TEST_F(LangChanger, FloatingPointIsWrittenWithADotAndReadWithTheDecimalComma) {
    UseFile("[Translations]\nSampleForm.FactorSpinEdit.Value=1.5\n");
    struct Case {
        QLocale::Language Language;
        QLocale::Territory Territory;
        double Expected;
    } cases[] = {{QLocale::German, QLocale::Germany, 1.5},
                 {QLocale::English, QLocale::UnitedStates, 0.25}};
    const QLocale saved;
    for (const Case& c : cases) {
        QLocale::setDefault(QLocale(c.Language, c.Territory));
        mForm.Factor->setValue(0.25);
        mChanger.TranslateForm(&mForm);
        EXPECT_DOUBLE_EQ(mForm.Factor->value(), c.Expected) << QLocale().name().toStdString();
    }
    QLocale::setDefault(saved);
}

TEST_F(LangChanger, AListForAPropertyThatCannotTakeOneIsAnErrorAndStopsTheForm) {
    UseFile("[Translations]\nSampleForm.TitleLabel.Caption=before\nSampleForm.Font=Serif,12\n"
            "SampleForm.Caption=after\n");
    const QFont font = mForm.font();
    EXPECT_THROW(mChanger.TranslateForm(&mForm), TellamoError);
    EXPECT_EQ(mForm.TitleLabel->text(), "before");
    EXPECT_EQ(mForm.windowTitle(), "Sample") << "the entries after the error are not applied";
    EXPECT_EQ(mForm.font(), font);
}

TEST(FindTranslationFile, CountryFirstThenLanguageInTheFirstFolderThatHasOne) {
    TempDir installed, buildTree;
    WriteFileBytes(installed.File("de.ini"), "");
    WriteFileBytes(buildTree.File("de_AT.ini"), "");
    const QStringList folders{QString::fromStdString(installed.Path()),
                              QString::fromStdString(buildTree.Path())};
    EXPECT_EQ(FindTranslationFile(folders, "de_AT.UTF-8"),
              QString::fromStdString(buildTree.File("de_AT.ini")));
    EXPECT_EQ(FindTranslationFile(folders, "de_DE"),
              QString::fromStdString(installed.File("de.ini")));
    EXPECT_EQ(FindTranslationFile(folders, "en_US"), QString());
    EXPECT_EQ(FindTranslationFile(folders, "C"), QString());
}

// Only a file named after a language picks the toolkit's translation; whatever else a settings
// file names (a path of the storage folder, a device) leaves its texts English.
TEST(ToolkitTranslation, TheLanguageComesFromTheFilesName) {
    const struct {
        const char* File;
        const char* Language;
    } cases[] = {
        {"/usr/share/tellamo/translations/de.ini", "de"},
        {"pt_BR.ini", "pt_BR"},
        {"fr.ini", "fr"},
        {"", ""},
        {"/dev/zero", ""},
        {"Deutsch.ini", ""},
        {"../../de.ini/x.ini", ""},
        {"zz.ini", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TranslationLanguage(c.File).toStdString(), c.Language) << c.File;
    }
}

} // namespace
} // namespace tellamo::test

#include "LangChangerTest.moc"
