#include <cstdio>

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
        mCat->NewCatalogue();
        mWork = mCat->AddFolder(mCat->NotesNode(), "Work");
        mSub = mCat->AddFolder(mWork, "Sub");
        mDeep = mCat->AddFolder(mSub, "Deep");
        mOther = mCat->AddFolder(mCat->NotesNode(), "Other");
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    NoteRecord* Note(FolderNode* folder, const std::string& name, const char* description, int rate,
                     int bits, int durationMs, LocalTimeMs start) {
        NoteRecord* note = mCat->AddFoundNote(folder, name, start, static_cast<std::uint16_t>(rate),
                                              static_cast<std::uint16_t>(bits));
        mCat->CompleteNote(42, durationMs);
        note->Description = description;
        note->FieldsChanged();
        return note;
    }
    std::vector<std::string> Shown(const NoteFilterSettings& settings) {
        mCat->Notes().SetFilter(NoteFilter(settings));
        std::vector<std::string> names;
        for (const NoteRecord* note : mCat->Notes().Shown()) {
            names.push_back(note->FileName);
        }
        return names;
    }

    FolderNode *mWork = nullptr, *mSub = nullptr, *mDeep = nullptr, *mOther = nullptr;
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
    Note(mWork, "w16", "Call Bob", 11025, 16, 65'000, At(2004, 3, 15, 14, 30, 0));
    Note(mWork, "w08", "Memo to Alice", 11025, 8, 5'000, At(2005, 1, 2, 9, 0, 0));
    Note(mWork, "w22", "Shopping", 22050, 16, 5'000, At(2005, 6, 7, 8, 0, 0));
    Note(mSub, "sub", "In a sub-folder", 8000, 8, 1'000, At(2004, 1, 1, 0, 0, 0));
    Note(mDeep, "deep", "Deep down", 8000, 8, 1'000, At(2004, 1, 1, 0, 0, 0));
    Note(mOther, "oth", "Elsewhere 11025", 8000, 8, 1'000, At(2004, 1, 1, 0, 0, 0));

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
        EXPECT_EQ(Shown({mWork, c.affiliate, c.text, c.caseless, QString::fromUtf8(c.filter)}),
                  c.shown);
    }
    // No folder selected: only notes without a folder could show.
    EXPECT_EQ(Shown({nullptr, true, false, false, ""}), std::vector<std::string>{});
}

// Letters outside ASCII, in and out of their case: a match is one of whole characters.
TEST_F(FilterAndSort, FilterTextsBeyondAscii) {
    Note(mOther, "umlaut", "Ärger über Straße", 8000, 8, 1'000, At(2004, 1, 1, 0, 0, 0));
    Note(mOther, "plain", "Arger uber Strasse", 8000, 8, 1'000, At(2004, 1, 1, 0, 0, 0));
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
        EXPECT_EQ(Shown({mOther, false, true, c.Caseless, QString::fromUtf8(c.Filter)}), c.Shown);
    }
}

TEST_F(FilterAndSort, ChangedFieldsAreSearchedAfresh) {
    NoteRecord* note = Note(mWork, "n1", "before", 8000, 8, 1000, At(2004, 1, 1, 0, 0, 0));
    EXPECT_EQ(Shown({mWork, false, true, false, "after"}), std::vector<std::string>{});
    EXPECT_EQ(Shown({mWork, false, true, false, "before"}), std::vector<std::string>{"n1"});
    mCat->Notes().SetCurrent(note);
    mCat->SetNoteDescription("after");
    EXPECT_EQ(Shown({mWork, false, true, false, "before"}), std::vector<std::string>{});
    EXPECT_EQ(Shown({mWork, false, true, false, "after"}), std::vector<std::string>{"n1"});
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
    Note(mWork, "a", "b", 8000, 8, 3000, t2);
    Note(mWork, "b", "B", 8000, 8, 1000, t2);
    NoteRecord* c = Note(mWork, "c", "", 8000, 8, 2000, t1);
    Note(mWork, "d", "a", 8000, 8, 1000, t2);
    mCat->Notes().SetFilter(NoteFilter({mWork, false, false, false, ""}));
    mCat->Notes().SetCurrent(c);
    auto order = [&] {
        std::string names;
        for (const NoteRecord* note : mCat->Notes().Shown()) {
            names += note->FileName;
        }
        return names;
    };
    SortNotes(mCat->Notes(), "Start;Duration;Start;");
    EXPECT_EQ(order(), "cbda");
    EXPECT_EQ(mCat->Notes().Current(), c);
    SortNotes(mCat->Notes(), "Start;");
    EXPECT_EQ(order(), "cabd") << "ties keep the order of creation";
    // Without ICU, Qt's collation falls back to comparing character codes (every capital before
    // every small letter): the locale's order cannot be had, and saying so beats a wrong order.
    ASSERT_LT(QCollator(QLocale()).compare("a", "B"), 0)
        << "this Qt collates without ICU; the note list's sort needs a Qt built with ICU";
    SortNotes(mCat->Notes(), "Description;");
    EXPECT_EQ(order(), "cdab") << "empty first, then the locale's case-sensitive order";
    // A note being recorded (no duration yet) sorts before every completed one.
    NoteRecord* recording = mCat->AddRecordedNote(mWork, "rec", 8000, 8);
    SortNotes(mCat->Notes(), "Duration;");
    EXPECT_EQ(mCat->Notes().Shown().front(), recording);
}

// Notes read from the index file keep its order as the last key of every sort, and a note made
// after the load comes after all of them. Enough notes that the sort is no insertion sort, which
// would keep ties in place by itself.
TEST_F(FilterAndSort, TiesKeepTheIndexFileOrderAfterALoad) {
    const LocalTimeMs early = At(2004, 1, 1, 10, 0, 0), late = At(2004, 1, 1, 11, 0, 0);
    constexpr int Count = 40;
    for (int i = 0; i < Count; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "%06d", i);
        Note(mWork, name, "", 8000, 8, 1000, i % 3 == 0 ? early : late);
    }
    ASSERT_EQ(mCat->SaveCatalogue(), "");
    Reopen();
    ASSERT_EQ(mCat->LoadCatalogue(), "");
    mCat->Notes().SetFilter({});
    NoteRecord* added = mCat->AddFoundNote(mCat->NotesNode(), "000099", early, 8000, 8);
    SortNotes(mCat->Notes(), "Start;");
    std::vector<std::string> expected;
    for (const LocalTimeMs start : {early, late}) {
        for (int i = 0; i < Count; ++i) {
            if ((i % 3 == 0 ? early : late) == start) {
                char name[8];
                std::snprintf(name, sizeof name, "%06d", i);
                expected.emplace_back(name);
            }
        }
        if (start == early) {
            expected.push_back(added->FileName);
        }
    }
    std::vector<std::string> order;
    for (const NoteRecord* note : mCat->Notes().Shown()) {
        order.push_back(note->FileName);
    }
    EXPECT_EQ(order, expected);
}

// Ties of the first key go to the next one, and the order of creation decides last; an empty
// value sorts before every other.
TEST_F(FilterAndSort, LaterKeysDecideTies) {
    const LocalTimeMs t = At(2004, 1, 1, 10, 0, 0);
    Note(mWork, "1", "x", 8000, 8, 3000, t);
    Note(mWork, "2", "x", 8000, 8, 1000, t);
    Note(mWork, "3", "", 8000, 8, 2000, t);
    Note(mWork, "4", "y", 8000, 8, 1000, t);
    NoteRecord* recording = Note(mWork, "5", "x", 8000, 8, 0, t);
    recording->Duration.reset();
    recording->FileSizeKB.reset();
    mCat->Notes().SetFilter(NoteFilter({mWork, false, false, false, ""}));
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
        SortNotes(mCat->Notes(), c.Fields);
        std::string names;
        for (const NoteRecord* note : mCat->Notes().Shown()) {
            names += note->FileName;
        }
        EXPECT_EQ(names, c.Order);
    }
}

} // namespace
} // namespace tellamo::test
