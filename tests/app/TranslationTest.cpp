// The translations shipped with the program: every text the program shows can be reached by
// them, each shipped file translates all of it, and no menu of a translated window has two entries
// with one access key. Also the choice of the file: the desktop's language, or the settings file.

#include <map>
#include <set>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>

#include "app/TDM.h"
#include "app/TellamoProgram.h"
#include "audio/WindowPoster.h"
#include "common/FileSystem.h"
#include "common/IniFile.h"
#include "common/Translate.h"
#include "desktop/LangChanger.h"
#include "dialogs/TAboutForm.h"
#include "dialogs/TDescriptionForm.h"
#include "dialogs/TOptionsForm.h"
#include "export/forms/TSaveFormatForm.h"
#include "mainwindow/Messages.h"
#include "mainwindow/TellamoMainForm.h"
#include "support/FakeWavePort.h"
#include "support/TempDir.h"

namespace tellamo::test {
namespace {

const QString SourceDir = QStringLiteral(TELLAMO_SOURCE_DIR);

// Every literal the sources hand to TranslateText, or mark as reaching it through a table.
std::set<QString> SourceLiterals() {
    // A long text is written as adjacent literals over several lines; the compiler joins them.
    static const QRegularExpression call(QStringLiteral(
        R"re(\b(?:TranslateText|Translatable)\(\s*((?:"(?:[^"\\]|\\.)*"\s*)+)\))re"));
    static const QRegularExpression piece(QStringLiteral(R"re("((?:[^"\\]|\\.)*)")re"));
    std::set<QString> literals;
    QDirIterator files(SourceDir + QStringLiteral("/src"),
                       {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
        const QString text = QString::fromUtf8(file.readAll());
        for (auto it = call.globalMatch(text); it.hasNext();) {
            const QString pieces = it.next().captured(1);
            QString literal;
            for (auto p = piece.globalMatch(pieces); p.hasNext();) {
                literal += p.next().captured(1);
            }
            literal.replace(QStringLiteral("\\\""), QStringLiteral("\""))
                .replace(QStringLiteral("\\n"), QStringLiteral("\n"));
            literal.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
            literals.insert(literal);
        }
    }
    return literals;
}

QStringList ShippedTranslations() {
    QStringList files;
    for (const QString& name : QDir(SourceDir + QStringLiteral("/data/translations"))
                                   .entryList({QStringLiteral("*.ini")})) {
        files << SourceDir + QStringLiteral("/data/translations/") + name;
    }
    return files;
}

bool HasLetters(const QString& text) {
    for (const QChar c : text) {
        if (c.isLetter()) {
            return true;
        }
    }
    return false;
}

// One text a window shows, with the path a translation file would use to set it.
struct ShownText {
    QString Path; // Form.Component.Property
    QString Text;
};

QString FormName(const QObject* form) {
    QString name =
        QString::fromLatin1(form->metaObject()->className()).section(QStringLiteral("::"), -1);
    return name.mid(1);
}

std::vector<ShownText> TextsOf(QWidget* form) {
    std::vector<ShownText> texts;
    const QString formName = FormName(form);
    int unnamed = 0;
    auto add = [&](const QObject* object, const char* property, const QString& text) {
        if (!HasLetters(text)) {
            return;
        }
        QString component = object == form ? QString() : object->objectName() + ".";
        if (component == ".") {
            component = QStringLiteral("(unnamed %1 %2).")
                            .arg(object->metaObject()->className())
                            .arg(++unnamed);
        }
        texts.push_back({formName + "." + component + property, text});
    };
    add(form, "Caption", form->windowTitle());
    for (QObject* object : form->findChildren<QObject*>()) {
        // Dialogs owned by this window are windows of their own, checked on their own.
        if (auto* widget = qobject_cast<QWidget*>(object); widget && widget->window() != form) {
            continue;
        }
        if (auto* action = qobject_cast<QAction*>(object); action && !action->isSeparator()) {
            if (!action->menu()) {
                add(action, "Caption", action->text());
                add(action, "Hint", action->toolTip());
            }
        } else if (auto* menu = qobject_cast<QMenu*>(object)) {
            add(menu, "Caption", menu->title());
        } else if (auto* button = qobject_cast<QAbstractButton*>(object)) {
            add(button, "Caption", button->text());
        } else if (auto* label = qobject_cast<QLabel*>(object)) {
            add(label, "Caption", label->text());
        } else if (auto* group = qobject_cast<QGroupBox*>(object)) {
            add(group, "Caption", group->title());
        } else if (auto* tabs = qobject_cast<QTabWidget*>(object)) {
            for (int i = 0; i < tabs->count(); ++i) {
                add(tabs->widget(i), "Caption", tabs->tabText(i));
            }
        } else if (auto* view = qobject_cast<QTableView*>(object); view && view->model()) {
            for (int c = 0; c < view->model()->columnCount(); ++c) {
                add(view, qPrintable(QStringLiteral("Columns.%1.Title.Caption").arg(c)),
                    view->model()->headerData(c, Qt::Horizontal).toString());
            }
        }
        if (auto* widget = qobject_cast<QWidget*>(object);
            widget && !qobject_cast<QAbstractButton*>(object)) {
            add(widget, "Hint", widget->toolTip());
        }
    }
    return texts;
}

class Translations : public ::testing::Test {
protected:
    Translations() {
        SetMessageHandler([this](MessageKind, const QString& text, const QString&) {
            mMessages << text;
            return true;
        });
    }
    ~Translations() override { SetMessageHandler({}); }

    std::unique_ptr<TellamoProgram> Start(const QStringList& folders = {}) {
        auto program = std::make_unique<TellamoProgram>(QString::fromStdString(mDocuments.Path()),
                                                        RealFileSystem(), mPort, mPoster,
                                                        mDocuments.File("PLAY.TMP"));
        program->TranslationFolders = folders;
        EXPECT_TRUE(program->Start());
        return program;
    }
    std::vector<QWidget*> Forms(TellamoProgram& program) {
        return {&program.MainForm(), &program.Options(), &program.Description(), &program.About(),
                &program.SaveFormat()};
    }
    // The texts of every window of a program started with this translation file ("" for none).
    std::vector<ShownText> ShownTexts(const QString& langFile) {
        QDir(QString::fromStdString(mDocuments.Path())).removeRecursively();
        QDir().mkpath(QString::fromStdString(mDocuments.Path() + "/My Voice Notes"));
        WriteFileBytes(mDocuments.File("My Voice Notes/tellamo.INI"),
                       "[TTellamoMainForm]\nLangFile=" + langFile.toStdString() + "\n");
        auto program = Start();
        std::vector<ShownText> shown;
        for (QWidget* form : Forms(*program)) {
            const auto texts = TextsOf(form);
            shown.insert(shown.end(), texts.begin(), texts.end());
        }
        return shown;
    }

    TempDir mDocuments;
    FakeWavePort mPort;
    EventFdPoster mPoster;
    QStringList mMessages;
};

TEST_F(Translations, EveryShippedFileTranslatesEveryTextTheProgramShows) {
    const QStringList files = ShippedTranslations();
    ASSERT_GE(files.size(), 2) << "German and one more language are shipped";
    const std::set<QString> literals = SourceLiterals();
    ASSERT_GT(literals.size(), 50u)
        << "the sources' literals were not found under " << SourceDir.toStdString();
    for (const QString& path : files) {
        SCOPED_TRACE(path.toStdString());
        const IniFile file = IniFile::Load(path.toStdString());
        for (const QString& literal : literals) {
            EXPECT_TRUE(file.Read("Messages", literal.toStdString()).has_value())
                << "no [Messages] entry for \"" << literal.toStdString() << "\"";
        }
    }

    // Every text of every window, in English and translated: a text that stays the same must be
    // one the file gives as its own translation (a name, a unit), never one it cannot reach.
    const std::vector<ShownText> english = ShownTexts("");
    ASSERT_GT(english.size(), 100u);
    std::map<QString, QString> englishByPath;
    for (const ShownText& e : english) {
        englishByPath.emplace(e.Path, e.Text);
    }
    for (const QString& path : files) {
        SCOPED_TRACE(path.toStdString());
        const IniFile file = IniFile::Load(path.toStdString());
        const std::vector<ShownText> translated = ShownTexts(path);
        // Texts the file gives as their own translation (compared without access keys and
        // ellipses, since a button may show an action's caption without them): a name, a unit,
        // a word that is the same in both languages.
        const auto bare = [](QString text) {
            return text.remove('&').remove(QStringLiteral("..."));
        };
        std::set<QString> given;
        for (const std::string& key : file.Keys("Messages")) {
            const QString value =
                bare(QString::fromStdString(file.ReadString("Messages", key, "")));
            if (value == bare(QString::fromStdString(key))) {
                given.insert(value);
            }
        }
        for (const std::string& key : file.Keys("Translations")) {
            const QString value =
                bare(QString::fromStdString(file.ReadString("Translations", key, "")));
            const auto original = englishByPath.find(QString::fromStdString(key));
            if (original != englishByPath.end() && bare(original->second) == value) {
                given.insert(value);
            }
        }
        // A text made of such words and numbers ("Version 1.43"), or an address, needs nothing
        // more.
        const auto madeOfGivenWords = [&given](const QString& text) {
            if (text.contains('@') || text.contains(QStringLiteral("://"))) {
                return true;
            }
            for (const QString& word : text.split(' ', Qt::SkipEmptyParts)) {
                if (HasLetters(word) && given.count(word) == 0) {
                    return false;
                }
            }
            return true;
        };
        ASSERT_EQ(translated.size(), english.size()) << "the translated windows have other parts";
        for (std::size_t i = 0; i < english.size(); ++i) {
            const ShownText& e = english[i];
            if (translated[i].Text != e.Text) {
                continue;
            }
            const auto message = file.Read("Messages", e.Text.toStdString());
            const auto entry = file.Read("Translations", e.Path.toStdString());
            EXPECT_TRUE((message && QString::fromStdString(*message) == e.Text) ||
                        (entry && QString::fromStdString(*entry) == e.Text) ||
                        given.count(e.Text) > 0 || madeOfGivenWords(e.Text))
                << "\"" << e.Text.toStdString() << "\" (" << e.Path.toStdString()
                << ") is not translated";
        }
    }
}

// The access key of a caption: the character after a single "&".
QChar AccessKey(const QString& caption) {
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] == '&') {
            if (caption[i + 1] != '&') {
                return caption[i + 1].toLower();
            }
            ++i;
        }
    }
    return {};
}

TEST_F(Translations, NoMenuOfATranslatedWindowHasTwoEntriesWithOneAccessKey) {
    for (const QString& path : ShippedTranslations()) {
        SCOPED_TRACE(path.toStdString());
        QDir().mkpath(QString::fromStdString(mDocuments.Path() + "/My Voice Notes"));
        WriteFileBytes(mDocuments.File("My Voice Notes/tellamo.INI"),
                       "[TTellamoMainForm]\nLangFile=" + path.toStdString() + "\n");
        auto program = Start();
        std::vector<QList<QAction*>> menus{program->MainForm().menuBar()->actions()};
        for (QMenu* menu : program->MainForm().findChildren<QMenu*>()) {
            menus.push_back(menu->actions());
        }
        for (const QList<QAction*>& entries : menus) {
            std::map<QChar, QString> seen;
            for (QAction* entry : entries) {
                const QChar key = AccessKey(entry->text());
                if (key.isNull()) {
                    continue;
                }
                const auto [it, fresh] = seen.emplace(key, entry->text());
                EXPECT_TRUE(fresh) << "\"" << it->second.toStdString() << "\" and \""
                                   << entry->text().toStdString() << "\" share the access key "
                                   << QString(key).toStdString();
            }
        }
        EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join('\n').toStdString();
    }
}

TEST_F(Translations, TheDesktopLanguageChoosesTheFileAndTheSettingsFileCanOverrideIt) {
    TempDir folder;
    WriteFileBytes(folder.File("de.ini"),
                   "[Messages]\n&File=&Datei\n[Translations]\nOptionsForm.Caption=Optionen\n");
    WriteFileBytes(folder.File("fr.ini"), "[Messages]\n&File=&Fichier\n");
    const QStringList folders{QString::fromStdString(folder.Path())};
    const QLocale saved;
    struct Case {
        const char* Locale;
        std::string Settings;
        const char* FileMenu;
        const char* OptionsTitle;
        // The toolkit's own texts follow the same choice (its translations for that language).
        const char* Yes;
        const char* No;
    } cases[] = {
        {"de_DE", "", "&Datei", "Optionen", "&Ja", "&Nein"},
        {"de_AT", "", "&Datei", "Optionen", "&Ja", "&Nein"},
        {"en_US", "", "&File", "Options", "&Yes", "&No"},
        {"de_DE", "[TTellamoMainForm]\nLangFile=\n", "&File", "Options", "&Yes", "&No"},
        {"en_US", "[TTellamoMainForm]\nLangFile=fr.ini\n", "&Fichier", "Options", "&Oui", "&Non"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Locale) + " " + c.Settings);
        QLocale::setDefault(QLocale(QString::fromLatin1(c.Locale)));
        QDir(QString::fromStdString(mDocuments.Path())).removeRecursively();
        QDir().mkpath(QString::fromStdString(mDocuments.Path() + "/My Voice Notes"));
        WriteFileBytes(mDocuments.File("My Voice Notes/tellamo.INI"), c.Settings);
        auto program = Start(folders);
        EXPECT_EQ(program->MainForm().menuBar()->actions().front()->text(), c.FileMenu);
        EXPECT_EQ(program->Options().windowTitle(), c.OptionsTitle);
        EXPECT_TRUE(QDir(QString::fromStdString(mDocuments.Path() + "/My Voice Notes")).exists())
            << "the storage folder keeps its name in every language";
        // A real confirmation box, answered No through its button.
        SetMessageHandler({});
        QStringList buttons;
        QTimer::singleShot(0, [&buttons] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            buttons << box->button(QMessageBox::Yes)->text()
                    << box->button(QMessageBox::No)->text();
            box->button(QMessageBox::No)->click();
        });
        EXPECT_FALSE(AskConfirmation(&program->MainForm(), "Sure?"));
        EXPECT_EQ(buttons, QStringList({c.Yes, c.No}));
        SetMessageHandler([this](MessageKind, const QString& text, const QString&) {
            mMessages << text;
            return true;
        });
    }
    QLocale::setDefault(saved);
}

} // namespace
} // namespace tellamo::test
