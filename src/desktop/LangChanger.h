#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

namespace tellamo {

// Shows the interface in another language from a translation file: an INI file whose section
// "Messages" maps run-time literals (English, as the program writes them) to the texts to show,
// and whose section "Translations" maps property paths of the windows ("OptionsForm.Caption",
// "AboutForm.OKBitBtn.Caption", "TellamoMainForm.RxDBGrid.Columns.0.Title.Caption") to values.
//
// Paths address Qt objects by the object names the windows carry. The property names of the
// translation files are mapped onto Qt's in one table (Caption, Hint, Items, Lines, Text, the
// pages of a tab widget, the column titles of the note list); any other name is looked up among
// the object's Qt properties without regard to case and applied by its kind: strings as they
// are, integers in decimal or "$" hexadecimal, floating point with "." read as the decimal comma
// in the user's locale, lists cut at Separator. A list given to a property that holds another
// kind of object (a font, a palette) is an error; everything else that does not fit is skipped.
//
// While LangFile is empty, which is the program's state unless a translation was chosen, both
// operations leave everything as it is. Window thread only.
class TLangChanger : public QObject {
    Q_OBJECT
public:
    explicit TLangChanger(QObject* owner = nullptr);

    QString LangFile() const { return mLangFile; }
    // Stored without leading and trailing blanks; an empty value switches translation off.
    void SetLangFile(const QString& path);
    QString Separator() const { return mSeparator; }
    // A value that is empty after removing blanks sets ","; any other is kept exactly.
    void SetSeparator(const QString& separator);

    QString TranslateText(const QString& literal) const;
    // Applies every entry of "Translations" whose form name is the form's class name without its
    // "T". Throws TellamoError when an entry gives a list to a property that cannot take one; the
    // entries after it are not applied.
    void TranslateForm(QWidget* form) const;
    // Sets one property path of the form (a component name first, when the form owns one of
    // that name) from a text value.
    void SetPropertyByPath(QObject* form, const QString& path, const QString& value) const;

    // The pieces of a list value: cut at every Separator and trimmed; every piece before the
    // last separator is kept even when empty, the rest only when it is not empty.
    QStringList SplitList(const QString& value) const;

    // Makes this changer the program's TranslateText for as long as it lives.
    void Install();
    ~TLangChanger() override;

private:
    QString mLangFile;
    QString mSeparator = QStringLiteral(",");
    bool mInstalled = false;
};

// The translation file for the desktop's language: "<language>_<COUNTRY>.ini", then
// "<language>.ini", in the first of the folders given that has one; empty when none has (English
// needs no file).
QString FindTranslationFile(const QStringList& folders, const QString& localeName);

// The language a translation file is for, by its name ("de.ini", "pt_BR.ini"); empty for a file
// not named after a language, whose texts the toolkit cannot match.
QString TranslationLanguage(const QString& langFile);
// Puts the toolkit's own texts (standard buttons, file dialogs) into that language as well, from
// Qt's translations in `folder` (Qt's own folder when empty), in place of any installed before;
// an empty language or a missing file leaves them English. True when a translation was loaded.
bool InstallToolkitTranslation(const QString& language, const QString& folder = {});

} // namespace tellamo
