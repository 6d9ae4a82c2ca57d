#include "desktop/LangChanger.h"

#include <algorithm>
#include <memory>
#include <optional>

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QToolBar>
#include <QTranslator>

#include "common/Errors.h"
#include "common/IniFile.h"
#include "common/Translate.h"

namespace tellamo {

namespace {

const QString MessagesSection = QStringLiteral("Messages");
const QString TranslationsSection = QStringLiteral("Translations");

std::string Utf8(const QString& text) {
    return text.toStdString();
}

// The translation file as last read. It is read again whenever it changed on disk, so that an
// edited file shows at the next call, as if it were read at every call.
struct CachedFile {
    QString Path;
    QDateTime Modified;
    qint64 Size = -1;
    IniFile Content;
};

const IniFile& TranslationFile(const QString& path) {
    static CachedFile cache;
    const QFileInfo info(path);
    const QDateTime modified = info.exists() ? info.lastModified() : QDateTime();
    const qint64 size = info.exists() ? info.size() : -1;
    if (cache.Path != path || cache.Modified != modified || cache.Size != size) {
        cache.Path = path;
        cache.Modified = modified;
        cache.Size = size;
        cache.Content = IniFile::Load(QFile::encodeName(path).toStdString());
    }
    return cache.Content;
}

QString ClassNameWithoutNamespace(const QObject* object) {
    const QString name = QString::fromLatin1(object->metaObject()->className());
    const qsizetype colon = name.lastIndexOf(QLatin1Char(':'));
    return colon < 0 ? name : name.mid(colon + 1);
}

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The object's Qt property of that name, found without regard to case; invalid when none.
QMetaProperty FindProperty(const QObject* object, const QString& name) {
    const QMetaObject* meta = object->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        if (SameName(QString::fromLatin1(meta->property(i).name()), name)) {
            return meta->property(i);
        }
    }
    return {};
}

// Where a path has arrived: an object, or one of the note list's columns (the grid has no
// column objects of its own, so "Columns.N.Title" is walked by hand).
struct Target {
    enum class Kind { Object, Columns, Column, ColumnTitle };
    QObject* Object = nullptr;
    Kind What = Kind::Object;
    int Column = -1;
};

[[noreturn]] void ListNotTaken(const QString& name) {
    throw TellamoError(
        QStringLiteral("The translation gives a list to \"%1\", which cannot take one")
            .arg(name)
            .toStdString());
}

std::optional<qlonglong> ToInteger(const QString& value) {
    const QString text = value.trimmed();
    bool ok = false;
    const qlonglong number = text.startsWith(QLatin1Char('$')) ? text.mid(1).toLongLong(&ok, 16)
                                                               : text.toLongLong(&ok, 10);
    return ok ? std::optional<qlonglong>(number) : std::nullopt;
}

std::optional<double> ToFloat(QString value) {
    // Translation files write floating point with a dot; the user's locale reads it, as the
    // files were made for a comma.
    value.replace(QLatin1Char('.'), QLatin1Char(','));
    bool ok = false;
    const double number = QLocale().toDouble(value.trimmed(), &ok);
    return ok ? std::optional<double>(number) : std::nullopt;
}

QTabWidget* TabWidgetOf(QWidget* page) {
    for (QWidget* w = page->parentWidget(); w; w = w->parentWidget()) {
        if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
            return tabs->indexOf(page) >= 0 ? tabs : nullptr;
        }
    }
    return nullptr;
}

void SetLines(QObject* object, const QStringList& lines) {
    if (auto* group = qobject_cast<QButtonGroup*>(object)) {
        // A radio group's lines are its buttons' captions, in the order of their ids.
        QList<QAbstractButton*> buttons = group->buttons();
        std::sort(buttons.begin(), buttons.end(), [group](QAbstractButton* a, QAbstractButton* b) {
            return group->id(a) < group->id(b);
        });
        for (qsizetype i = 0; i < buttons.size() && i < lines.size(); ++i) {
            buttons[i]->setText(lines[i]);
        }
    } else if (auto* combo = qobject_cast<QComboBox*>(object)) {
        const int current = combo->currentIndex();
        combo->clear();
        combo->addItems(lines);
        combo->setCurrentIndex(std::min<int>(current, combo->count() - 1));
    } else if (auto* list = qobject_cast<QListWidget*>(object)) {
        list->clear();
        list->addItems(lines);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(object)) {
        plain->setPlainText(lines.join(QLatin1Char('\n')));
    } else if (auto* text = qobject_cast<QTextEdit*>(object)) {
        text->setPlainText(lines.join(QLatin1Char('\n')));
    }
}

// The names of the translation files that mean the same on every kind of object; true when
// the name was one of them (whether or not the object had such a text).
bool SetMappedProperty(QObject* object, const QString& name, const QString& value,
                       const QStringList& lines) {
    if (SameName(name, QStringLiteral("Caption"))) {
        if (auto* action = qobject_cast<QAction*>(object)) {
            action->setText(value);
        } else if (auto* menu = qobject_cast<QMenu*>(object)) {
            menu->setTitle(value);
        } else if (auto* button = qobject_cast<QAbstractButton*>(object)) {
            button->setText(value);
        } else if (auto* label = qobject_cast<QLabel*>(object)) {
            label->setText(value);
        } else if (auto* group = qobject_cast<QGroupBox*>(object)) {
            group->setTitle(value);
        } else if (auto* widget = qobject_cast<QWidget*>(object)) {
            if (QTabWidget* tabs = TabWidgetOf(widget)) {
                tabs->setTabText(tabs->indexOf(widget), value);
            } else if (widget->isWindow() || qobject_cast<QToolBar*>(widget) ||
                       qobject_cast<QDockWidget*>(widget)) {
                widget->setWindowTitle(value);
            }
        }
        return true;
    }
    if (SameName(name, QStringLiteral("Hint"))) {
        if (auto* action = qobject_cast<QAction*>(object)) {
            action->setToolTip(value);
            action->setStatusTip(value);
        } else if (auto* widget = qobject_cast<QWidget*>(object)) {
            widget->setToolTip(value);
            widget->setStatusTip(value);
        }
        return true;
    }
    if (SameName(name, QStringLiteral("Items")) || SameName(name, QStringLiteral("Lines"))) {
        SetLines(object, lines);
        return true;
    }
    if (SameName(name, QStringLiteral("Text"))) {
        if (auto* edit = qobject_cast<QLineEdit*>(object)) {
            edit->setText(value);
        } else if (auto* label = qobject_cast<QLabel*>(object)) {
            label->setText(value);
        } else if (auto* button = qobject_cast<QAbstractButton*>(object)) {
            button->setText(value);
        } else if (auto* plain = qobject_cast<QPlainTextEdit*>(object)) {
            plain->setPlainText(value);
        }
        return true;
    }
    return false;
}

bool IsObjectKind(const QMetaProperty& property) {
    switch (property.metaType().id()) {
    case QMetaType::QFont:
    case QMetaType::QPalette:
    case QMetaType::QIcon:
    case QMetaType::QPixmap:
    case QMetaType::QImage:
    case QMetaType::QCursor:
    case QMetaType::QBitmap:
    case QMetaType::QBrush:
        return true;
    default:
        return (property.metaType().flags() & QMetaType::PointerToQObject) != 0;
    }
}

// Any other name: the object's own Qt property of that name, applied by its kind.
void SetQtProperty(QObject* object, const QString& name, const QString& value,
                   const QStringList& lines) {
    const QMetaProperty property = FindProperty(object, name);
    if (!property.isValid() || !property.isWritable()) {
        return;
    }
    switch (property.metaType().id()) {
    case QMetaType::QString:
        property.write(object, value);
        return;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        if (const auto number = ToInteger(value)) {
            property.write(object, QVariant(*number));
        }
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        if (const auto number = ToFloat(value)) {
            property.write(object, QVariant(*number));
        }
        return;
    case QMetaType::QStringList:
        property.write(object, lines);
        return;
    default:
        if (IsObjectKind(property)) {
            ListNotTaken(QString::fromLatin1(property.name()));
        }
        return; // enumerations, flags, sizes and the like are left as they are
    }
}

void SetColumnProperty(const Target& target, const QString& name, const QString& value) {
    auto* view = qobject_cast<QTableView*>(target.Object);
    if (!view || !view->model() || target.Column < 0 ||
        target.Column >= view->model()->columnCount()) {
        return;
    }
    if (target.What == Target::Kind::ColumnTitle && SameName(name, QStringLiteral("Caption"))) {
        view->model()->setHeaderData(target.Column, Qt::Horizontal, value, Qt::DisplayRole);
    } else if (target.What == Target::Kind::Column && SameName(name, QStringLiteral("Width"))) {
        if (const auto width = ToInteger(value); width && *width >= 0) {
            view->setColumnWidth(target.Column, static_cast<int>(*width));
        }
    }
}

} // namespace

TLangChanger::TLangChanger(QObject* owner) : QObject(owner) {
    setObjectName(QStringLiteral("LangChanger"));
}

TLangChanger::~TLangChanger() {
    if (mInstalled) {
        SetTranslator({});
    }
}

void TLangChanger::SetLangFile(const QString& path) {
    mLangFile = path.trimmed();
}

void TLangChanger::SetSeparator(const QString& separator) {
    mSeparator = separator.trimmed().isEmpty() ? QStringLiteral(",") : separator;
}

void TLangChanger::Install() {
    mInstalled = true;
    SetTranslator([this](const QString& literal) { return TranslateText(literal); });
}

QString TLangChanger::TranslateText(const QString& literal) const {
    if (mLangFile.isEmpty()) {
        return literal;
    }
    const std::optional<std::string> text =
        TranslationFile(mLangFile).Read(Utf8(MessagesSection), Utf8(literal));
    return text ? QString::fromStdString(*text) : literal;
}

QStringList TLangChanger::SplitList(const QString& value) const {
    QStringList pieces = value.split(mSeparator);
    QStringList lines;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const QString piece = pieces[i].trimmed();
        if (i + 1 < pieces.size() || !piece.isEmpty()) {
            lines << piece;
        }
    }
    return lines;
}

void TLangChanger::TranslateForm(QWidget* form) const {
    if (mLangFile.isEmpty() || !form) {
        return;
    }
    const IniFile& file = TranslationFile(mLangFile);
    const QString className = ClassNameWithoutNamespace(form);
    const std::string section = Utf8(TranslationsSection);
    for (const std::string& key : file.Keys(section)) {
        const QString path = QString::fromStdString(key);
        const qsizetype dot = path.indexOf(QLatin1Char('.'));
        if (dot < 0 || !SameName(QLatin1Char('T') + path.left(dot), className)) {
            continue;
        }
        const QString value =
            QString::fromStdString(file.ReadString(section, key, "<-- Error -->"));
        SetPropertyByPath(form, path.mid(dot + 1), value);
    }
}

void TLangChanger::SetPropertyByPath(QObject* form, const QString& path,
                                     const QString& value) const {
    QStringList parts = path.split(QLatin1Char('.'));
    Target target{form};
    if (parts.size() > 1) {
        const QList<QObject*> owned = form->findChildren<QObject*>();
        for (QObject* component : owned) {
            if (SameName(component->objectName(), parts.front())) {
                target.Object = component;
                parts.removeFirst();
                break;
            }
        }
    }
    const QString name = parts.takeLast();
    for (const QString& part : parts) {
        if (target.What == Target::Kind::Object && SameName(part, QStringLiteral("Columns")) &&
            qobject_cast<QTableView*>(target.Object)) {
            target.What = Target::Kind::Columns;
        } else if (target.What == Target::Kind::Columns) {
            const auto index = ToInteger(part);
            if (!index) {
                return;
            }
            target.What = Target::Kind::Column;
            target.Column = static_cast<int>(*index);
        } else if (target.What == Target::Kind::Column && SameName(part, QStringLiteral("Title"))) {
            target.What = Target::Kind::ColumnTitle;
        } else if (target.What == Target::Kind::Object) {
            const QMetaProperty property = FindProperty(target.Object, part);
            QObject* next =
                property.isValid() ? property.read(target.Object).value<QObject*>() : nullptr;
            if (!next) {
                return;
            }
            target.Object = next;
        } else {
            return;
        }
    }
    if (target.What != Target::Kind::Object) {
        SetColumnProperty(target, name, value);
        return;
    }
    const QStringList lines = SplitList(value);
    if (!SetMappedProperty(target.Object, name, value, lines)) {
        SetQtProperty(target.Object, name, value, lines);
    }
}

QString FindTranslationFile(const QStringList& folders, const QString& localeName) {
    QStringList names;
    const QString full = localeName.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    if (!full.isEmpty()) {
        names << full + QStringLiteral(".ini");
    }
    const QString language = full.section(QLatin1Char('_'), 0, 0);
    if (!language.isEmpty() && language != full) {
        names << language + QStringLiteral(".ini");
    }
    for (const QString& name : names) {
        for (const QString& folder : folders) {
            const QString path = QDir(folder).filePath(name);
            if (QFileInfo(path).isFile()) {
                return path;
            }
        }
    }
    return {};
}

QString TranslationLanguage(const QString& langFile) {
    if (langFile.isEmpty()) {
        return {};
    }
    const QString name = QFileInfo(langFile).completeBaseName();
    static const QRegularExpression localeName(QStringLiteral("^[a-z]{2,3}(_[A-Z]{2})?$"));
    if (!localeName.match(name).hasMatch() || QLocale(name).language() == QLocale::C) {
        return {};
    }
    return name;
}

bool InstallToolkitTranslation(const QString& language, const QString& folder) {
    static QTranslator* installed = nullptr;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    if (language.isEmpty()) {
        return false;
    }
    auto translator = std::make_unique<QTranslator>();
    const QString from =
        folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    if (!translator->load(QLocale(language), QStringLiteral("qtbase"), QStringLiteral("_"), from)) {
        return false;
    }
    installed = translator.release();
    QCoreApplication::installTranslator(installed);
    return true;
}

} // namespace tellamo
