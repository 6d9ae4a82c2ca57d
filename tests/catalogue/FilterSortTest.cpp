#include <QCollator>
#include <QLocale>

#include "CatalogueFixture.h"
#include "catalogue/NoteFilter.h"
#include "catalogue/NoteSort.h"
#include "catalogue/NoteTexts.h"

namespace tellamo::test {
namespace {

QString PlainSpaces(QString text) {
    for (QChar& c : text) {
        if (c.isSpace()) {
            c = u' ';
        }
    }
    return text;
}

class FilterAndSort : public CatalogueFixture {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        Cat->NewCatalogue();
        Work = Cat->AddFolder(Cat->NotesNode(), "Work");
        Sub = Cat->AddFolder(Work, "Sub");
        Deep = Cat->AddFolder(Sub, "Deep");
        Other = Cat->AddFolder(Cat->NotesNode(), "Other");
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    NoteRecord* Note(FolderNode* folder, const std::string& name, const char* description, int rate,
                     int bits, int durationMs, LocalTimeMs start) {
        NoteRecord* note = Cat->AddFoundNote(folder, name, start, static_cast<std::uint16_t>(rate),
                                             static_cast<std::uint16_t>(bits));
        Cat->CompleteNote(42, durationMs);
        note->Description = description;
        note->FieldsChanged();
        return note;
    }
    std::vector<std::string> Shown(const NoteFilterSettings& settings) {
        Cat->Notes().SetFilter(NoteFilter(settings));
        std::vector<std::string> names;
        for (const NoteRecord* note : Cat->Notes().Shown()) {
            names.push_back(note->FileName);
        }
        return names;
    }

    FolderNode *Work = nullptr, *Sub = nullptr, *Deep = nullptr, *Other = nullptr;
};

TEST_F(FilterAndSort, TextsOfANote) {
    EXPECT_EQ(StartText(At(2005, 12, 25, 14, 30, 5)), "25.12.2005 14:30:05");
    EXPECT_EQ(ShortStartText(At(2005, 12, 25, 14, 30, 5)), "25.12.05 14:30");
    // The day period's name and the space before it come from Qt's locale data, which changes
    // with its version (a narrow no-break space since CLDR 42); the order and the digits do not.
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    QLocale::setDefault(us);
    EXPECT_EQ(PlainSpaces(StartText(At(2005, 12, 25, 14, 30, 5))),
              "12/25/2005 2:30:05 " + us.pmText());
    EXPECT_EQ(PlainSpaces(ShortStartText(At(2005, 12, 25, 14, 30, 5))),
              "12/25/05 2:30 " + us.pmText());
    const QLocale japan(QLocale::Japanese, QLocale::Japan);
    QLocale::setDefault(japan);
    ASSERT_TRUE(japan.timeFormat(QLocale::LongFormat).startsWith(u"H時mm分ss秒"))
        << "this Qt's Japanese time format is new to the test: "
        << japan.timeFormat(QLocale::LongFormat).toStdString();
    EXPECT_EQ(ShortStartText(At(2005, 12, 25, 14, 30, 5)).toStdString(), "2005/12/25 14時30");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(DurationText(65'000), "0:01:05");
    EXPECT_EQ(DurationText(36'000'000 + 83'999), "10:01:23");
    EXPECT_EQ(DurationText(std::nullopt), "");
}

TEST_F(FilterAndSort, FilterCases) {
    Note(Work, "w16", "Call Bob", 11025, 16, 65'000, At(2004, 3, 15, 14, 30, 0));
    Note(Work, "w08", "Memo to Alice", 11025, 8, 5'000, At(2005, 1, 2, 9, 0, 0));
    Note(Work, "w22", "Shopping", 22050, 16, 5'000, At(2005, 6, 7, 8, 0, 0));
    Note(Sub, "sub", "In a sub-folder", 8000, 8, 1'000, At(2004, 1, 1, 0, 0, 0));
    Note(Deep, "deep", "Deep down", 8000, 8, 1'000, At(2004, 1, 1, 0, 0, 0));
    Note(Other, "oth", "Elsewhere 11025", 8000, 8, 1'000, At(2004, 1, 1, 0, 0, 0));

    const struct {
        const char* what;
        bool affiliate, text, caseless;
        const char* filter;
        std::vector<std::string> shown;
    } cases[] = {
        {"folder only", false, false, false, "", {"w16", "w08", "w22"}},
        {"affiliated, any depth", true, false, false, "", {"w16", "w08", "w22", "sub", "deep"}},
        {"text off ignores the text", false, false, false, "Bob", {"w16", "w08", "w22"}},
        {"empty text shows all", false, true, false, "", {"w16", "w08", "w22"}},
        {"sample rate of 8- and 16-bit notes", false, true, false, "11025", {"w16", "w08"}},
        {"description end + rate start", false, true, false, "Bob11", {}},
        {"case counts", false, true, false, "memo", {}},
        {"case insensitive", false, true, true, "memo", {"w08"}},
        {"the year of the full date", false, true, false, "2005", {"w08", "w22"}},
        {"duration text", false, true, false, "0:01:05", {"w16"}},
        {"affiliated and text", true, true, true, "DEEP", {"deep"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Shown({Work, c.affiliate, c.text, c.caseless, QString::fromUtf8(c.filter)}),
                  c.shown);
    }
    // No folder selected: only notes without a folder could show.
    EXPECT_EQ(Shown({nullptr, true, false, false, ""}), std::vector<std::string>{});
}

// Letters outside ASCII, in and out of their case: a match is one of whole characters.
TEST_F(FilterAndSort, FilterTextsBeyondAscii) {
    Note(Other, "umlaut", "Ärger über Straße", 8000, 8, 1'000, At(2004, 1, 1, 0, 0, 0));
    Note(Other, "plain", "Arger uber Strasse", 8000, 8, 1'000, At(2004, 1, 1, 0, 0, 0));
    const struct {
        const char* Filter;
        bool Caseless;
        std::vector<std::string> Shown;
    } cases[] = {
        {"ärger", true, {"umlaut"}},
        {"ÜBER", true, {"umlaut"}},
        {"über", false, {"umlaut"}},
        {"Über", false, {}},
        {"ber Str", false, {"umlaut", "plain"}},
        {"ße", false, {"umlaut"}},
        {"\xC3", false, {}}, // a stray byte matches no half of "Ä" (C3 84)
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Filter);
        EXPECT_EQ(Shown({Other, false, true, c.Caseless, QString::fromUtf8(c.Filter)}), c.Shown);
    }
}

TEST_F(FilterAndSort, ChangedFieldsAreSearchedAfresh) {
    NoteRecord* note = Note(Work, "n1", "before", 8000, 8, 1000, At(2004, 1, 1, 0, 0, 0));
    EXPECT_EQ(Shown({Work, false, true, false, "after"}), std::vector<std::string>{});
    EXPECT_EQ(Shown({Work, false, true, false, "before"}), std::vector<std::string>{"n1"});
    Cat->Notes().SetCurrent(note);
    Cat->SetNoteDescription("after");
    EXPECT_EQ(Shown({Work, false, true, false, "before"}), std::vector<std::string>{});
    EXPECT_EQ(Shown({Work, false, true, false, "after"}), std::vector<std::string>{"n1"});
}

TEST_F(FilterAndSort, SortFieldsKeepTheLastClickFirst) {
    QString fields;
    for (const char* click : {"Start", "Duration", "Start"}) {
        fields = AddSortField(fields, click);
    }
    EXPECT_EQ(fields, "Start;Duration;Start;");
    // Longer than 64 characters: exactly the oldest key goes, once per click.
    QString longFields = "Description;Description;Description;Description;Duration;";
    ASSERT_EQ(longFields.size(), 57);
    EXPECT_EQ(AddSortField(longFields, "SampleRate"),
              "SampleRate;Description;Description;Description;Description;");
    EXPECT_EQ(AddSortField("Start;", "Duration"), "Duration;Start;");
}

TEST_F(FilterAndSort, SortingByStartThenDurationKeepsCreationOrderForTies) {
    const LocalTimeMs t1 = At(2004, 1, 1, 10, 0, 0), t2 = At(2004, 1, 1, 11, 0, 0);
    Note(Work, "a", "b", 8000, 8, 3000, t2);
    Note(Work, "b", "B", 8000, 8, 1000, t2);
    NoteRecord* c = Note(Work, "c", "", 8000, 8, 2000, t1);
    Note(Work, "d", "a", 8000, 8, 1000, t2);
    Cat->Notes().SetFilter(NoteFilter({Work, false, false, false, ""}));
    Cat->Notes().SetCurrent(c);
    auto order = [&] {
        std::string names;
        for (const NoteRecord* note : Cat->Notes().Shown()) {
            names += note->FileName;
        }
        return names;
    };
    SortNotes(Cat->Notes(), "Start;Duration;Start;");
    EXPECT_EQ(order(), "cbda");
    EXPECT_EQ(Cat->Notes().Current(), c);
    SortNotes(Cat->Notes(), "Start;");
    EXPECT_EQ(order(), "cabd") << "ties keep the order of creation";
    // Without ICU, Qt's collation falls back to comparing character codes (every capital before
    // every small letter): the locale's order cannot be had, and saying so beats a wrong order.
    ASSERT_LT(QCollator(QLocale()).compare("a", "B"), 0)
        << "this Qt collates without ICU; the note list's sort needs a Qt built with ICU";
    SortNotes(Cat->Notes(), "Description;");
    EXPECT_EQ(order(), "cdab") << "empty first, then the locale's case-sensitive order";
    // A note being recorded (no duration yet) sorts before every completed one.
    NoteRecord* recording = Cat->AddRecordedNote(Work, "rec", 8000, 8);
    SortNotes(Cat->Notes(), "Duration;");
    EXPECT_EQ(Cat->Notes().Shown().front(), recording);
}

// Ties of the first key go to the next one, and the order of creation decides last; an empty
// value sorts before every other.
TEST_F(FilterAndSort, LaterKeysDecideTies) {
    const LocalTimeMs t = At(2004, 1, 1, 10, 0, 0);
    Note(Work, "1", "x", 8000, 8, 3000, t);
    Note(Work, "2", "x", 8000, 8, 1000, t);
    Note(Work, "3", "", 8000, 8, 2000, t);
    Note(Work, "4", "y", 8000, 8, 1000, t);
    NoteRecord* recording = Note(Work, "5", "x", 8000, 8, 0, t);
    recording->Duration.reset();
    recording->FileSizeKB.reset();
    Cat->Notes().SetFilter(NoteFilter({Work, false, false, false, ""}));
    const struct {
        const char* Fields;
        std::string Order;
    } cases[] = {
        {"Description;Duration;", "35214"},
        {"Duration;Description;", "52431"},
        {"FileSizeKB;", "51234"},
        {"SampleRate;BitRate;", "12345"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Fields);
        SortNotes(Cat->Notes(), c.Fields);
        std::string names;
        for (const NoteRecord* note : Cat->Notes().Shown()) {
            names += note->FileName;
        }
        EXPECT_EQ(names, c.Order);
    }
}

} // namespace
} // namespace tellamo::test
