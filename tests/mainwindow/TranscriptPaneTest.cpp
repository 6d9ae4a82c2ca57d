// The window's side of the transcripts: the pane under the graph (a click on a word plays from
// just before it, the highlight follows the player's position, the filter's words are marked,
// the transcript is copied as text) and the filter with "Search spoken words" over a small
// catalogue whose notes have .vtt files and a search index.

#include "mainwindow/TranscriptPane.h"

#include <algorithm>

#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include "MainWindowFixture.h"
#include "audio/WavFormat.h"
#include "common/ByteIO.h"
#include "dictaphone/MediaPlayer.h"
#include "transcript/NoteIndexing.h"
#include "transcript/SearchIndex.h"
#include "transcript/TranscriptFiles.h"

namespace tellamo::test {
namespace {

struct SpokenNote {
    const char* Name;
    const char* Folder; // "" for Notes, else a folder under Notes
    const char* Description;
    std::vector<TimedWord> Words; // none: no transcript
    bool Indexed;                 // false: new, the index does not know it yet
};

class TranscriptWindow : public MainWindowFixture {
protected:
    TranscriptWindow() {
        mForm.Actions().FilterToolBarAction->setChecked(true);
        mForm.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&mForm));
        mPane = &NamedChild<TranscriptPane>(mForm, "TranscriptPane");
        QDir().mkpath(QString::fromStdString(mDocuments.Path() + "/cache"));
    }

    // Three seconds of 8 kHz 8-bit sound.
    void WriteWav(const std::string& path) const {
        constexpr std::uint32_t bytes = 24'000;
        const auto header = MakeWaveHeader(1, 8000, 8);
        std::string wav(reinterpret_cast<const char*>(header.data()), header.size());
        wav += std::string(bytes, '\xA0');
        PutU32(reinterpret_cast<unsigned char*>(wav.data() + 40), bytes);
        WriteFileBytes(path, wav);
    }

    NoteRecord* Add(const SpokenNote& wanted, SearchIndex& index) {
        FolderNode* folder = mCat.NotesNode();
        if (*wanted.Folder) {
            folder = nullptr;
            for (const auto& child : mCat.NotesNode()->Children) {
                folder = child->Name == wanted.Folder ? child.get() : folder;
            }
            if (!folder) {
                folder = mCat.AddFolder(mCat.NotesNode(), wanted.Folder);
            }
        }
        const std::string wav = Folder() + wanted.Name + ".wav";
        WriteWav(wav);
        NoteRecord* note = mCat.AddFoundNote(folder, wanted.Name, 0, 8000, 8);
        mCat.CompleteNote(note, 24, 3000);
        note->Description = wanted.Description;
        note->FieldsChanged();
        if (!wanted.Words.empty()) {
            Transcript transcript;
            transcript.Cues.push_back(
                {wanted.Words.front().StartMs, wanted.Words.back().EndMs, wanted.Words});
            transcript.Source = StampOf(wav);
            transcript.HasSource = true;
            WriteTranscriptFile(RealFileSystem(), TranscriptPathFor(wav), transcript);
            mPane->TranscriptWritten(wav); // as the worker's notice does
        }
        if (wanted.Indexed) {
            RefreshNoteInIndex(&index, wanted.Name, wav, wanted.Description);
        }
        return note;
    }

    void MakeCurrent(const NoteRecord* note) {
        mCat.SelectFolder(note->ParentPointer);
        mCat.Notes().SetCurrentRow(note->ShownRow);
        ASSERT_EQ(mCat.Notes().Current(), note);
    }
    QStringList ShownNames() const {
        QStringList names;
        for (const NoteRecord* note : mCat.Notes().Shown()) {
            names << QString::fromStdString(note->FileName);
        }
        names.sort();
        return names;
    }
    void Type(const QString& text) { NamedChild<QLineEdit>(mForm, "FilterEdit").setText(text); }
    void Click(int word) {
        const QRect rect = mPane->WordRect(word);
        ASSERT_TRUE(rect.isValid());
        QTest::mouseClick(mPane->viewport(), Qt::LeftButton, {}, rect.center());
    }

    TranscriptPane* mPane = nullptr;
    std::string IndexPath() const { return mDocuments.Path() + "/cache/transcripts.sqlite"; }
};

const std::vector<TimedWord> Thursday = {
    {"budget", 500, 900}, {"meeting", 1000, 1400}, {"on", 1500, 1600}, {"thursday", 1700, 2300}};

TEST_F(TranscriptWindow, APaneShowsTheNoteAndAClickOnAWordPlaysFromJustBeforeIt) {
    SearchIndex index(IndexPath());
    NoteRecord* note = Add({"000001", "", "Weekly", Thursday, true}, index);
    NoteRecord* silent = Add({"000002", "", "No words", {}, true}, index);
    MakeCurrent(note);
    EXPECT_FALSE(mPane->accessibleName().isEmpty());
    EXPECT_EQ(mPane->TranscriptText(), "budget meeting on thursday");

    Click(3);
    ASSERT_EQ(mForm.Mode(), TDictaphoneMode::mdPlaying) << mMessages.join('\n').toStdString();
    EXPECT_NEAR(mForm.DictaphonePart().Player().Position(), 1700 - TranscriptPane::LeadInMs, 50);
    // The player's position reaches the pane through the window's own timer tick.
    mForm.DictaphonePart().TimerTimer();
    EXPECT_EQ(mPane->SpokenWord(), 1) << "1.4 s is the end of \"meeting\"";
    // A click while playing jumps, and says so to the desktop's media controls; the first word
    // is too near the start for the whole lead-in.
    QSignalSpy jumped(&mForm.DictaphonePart(), &DictaphonePanel::PositionJumped);
    Click(0);
    EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdPlaying);
    EXPECT_EQ(jumped.count(), 1);
    EXPECT_NEAR(mForm.DictaphonePart().Player().Position(), 500 - TranscriptPane::LeadInMs, 50);
    mForm.DictaphonePart().StopActionExecute();
    EXPECT_EQ(mPane->SpokenWord(), -1) << "no highlight once playback has ended";

    // A drag over the words selects them, it does not play.
    const QRect first = mPane->WordRect(0), last = mPane->WordRect(2);
    QTest::mousePress(mPane->viewport(), Qt::LeftButton, {}, first.center());
    QTest::mouseMove(mPane->viewport(), last.center());
    QTest::mouseRelease(mPane->viewport(), Qt::LeftButton, {}, last.center());
    EXPECT_EQ(mForm.Mode(), TDictaphoneMode::mdIdle);

    mForm.Actions().CopyTranscriptAction->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "budget meeting on thursday");

    // A note without a transcript shows an empty pane and has nothing to copy.
    MakeCurrent(silent);
    EXPECT_TRUE(mPane->TranscriptText().isEmpty());
    EXPECT_FALSE(mForm.Actions().CopyTranscriptAction->isEnabled());
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join('\n').toStdString();
}

TEST_F(TranscriptWindow, TheHighlightFollowsThePosition) {
    SearchIndex index(IndexPath());
    MakeCurrent(Add({"000001", "", "", Thursday, true}, index));
    const struct {
        std::int64_t Ms;
        int Word;
    } cases[] = {
        {-1, -1},  {0, -1},   {499, -1}, {500, 0},  {900, 0},  {950, 0},
        {1000, 1}, {1450, 1}, {1700, 3}, {2300, 3}, {2999, 3}, {3100, -1},
    };
    for (const auto& c : cases) {
        mPane->SetPlaybackPosition(c.Ms);
        EXPECT_EQ(mPane->SpokenWord(), c.Word) << "at " << c.Ms << " ms";
    }
}

TEST_F(TranscriptWindow, TheFiltersWordsAreMarked) {
    SearchIndex index(IndexPath());
    MakeCurrent(Add({"000001", "", "budget", Thursday, true}, index));
    mForm.CataloguePart().SetSearchIndexPath(IndexPath());
    mForm.Actions().SpokenWordsAction->trigger(); // so that the note stays in view
    mForm.Actions().FilterAction->trigger();
    Type("THU budg");
    EXPECT_EQ(mPane->MarkedWords(), (std::vector<int>{0, 3}));
    Type("meet");
    EXPECT_EQ(mPane->MarkedWords(), std::vector<int>{1});
    mForm.Actions().FilterAction->trigger(); // off: nothing is looked for
    EXPECT_EQ(mPane->MarkedWords(), std::vector<int>{});
}

// A note without a transcript shows why, greyed and centred, in the palette's placeholder
// colour, and a screen reader hears it as the pane's description; a note whose transcript has no
// words (silence) shows nothing, and so does no note at all.
TEST_F(TranscriptWindow, ANoteWithoutATranscriptSaysWhy) {
    EXPECT_EQ(mCat.Notes().Current(), nullptr);
    EXPECT_TRUE(mPane->Placeholder().isEmpty());
    SearchIndex index(IndexPath());
    NoteRecord* spoken = Add({"000001", "", "", Thursday, true}, index);
    NoteRecord* waiting = Add({"000002", "", "", {}, true}, index);
    NoteRecord* silent = Add({"000003", "", "", {}, true}, index);
    const std::string silentWav = Folder() + "000003.wav";
    Transcript silence;
    silence.Source = StampOf(silentWav);
    silence.HasSource = true;
    WriteTranscriptFile(RealFileSystem(), TranscriptPathFor(silentWav), silence);

    const struct {
        const NoteRecord* Note;
        QString Reason;
        QString Shown;
    } cases[] = {
        {spoken, "", ""},
        {waiting, "", "No transcript yet"},
        {waiting, "Transcription is off", "Transcription is off"},
        {spoken, "Transcription is off", ""},
        {silent, "Transcription is off", ""},
        {waiting, "", "No transcript yet"}, // transcription on again
    };
    for (const auto& c : cases) {
        MakeCurrent(c.Note);
        mPane->SetNoTranscriptReason(c.Reason);
        EXPECT_EQ(mPane->Placeholder(), c.Shown)
            << c.Note->FileName << " " << c.Reason.toStdString();
        EXPECT_EQ(mPane->accessibleDescription(), c.Shown) << c.Note->FileName;
        EXPECT_FALSE(mPane->accessibleName().isEmpty());
    }
    // The reason changing under the note on view is shown at once.
    mPane->SetNoTranscriptReason("No speech model");
    EXPECT_EQ(mPane->Placeholder(), "No speech model");

    // Drawn in the middle of the pane in the placeholder colour, and only there.
    QPalette palette = mPane->palette();
    palette.setColor(QPalette::PlaceholderText, QColor(255, 0, 0));
    palette.setColor(QPalette::Base, Qt::white);
    mPane->setPalette(palette);
    mPane->resize(400, 80);
    const QImage image = mPane->viewport()->grab().toImage();
    QRect drawn;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.red() > 200 && pixel.green() < 120 && pixel.blue() < 120) {
                drawn |= QRect(x, y, 1, 1);
            }
        }
    }
    ASSERT_FALSE(drawn.isEmpty()) << "nothing drawn in the placeholder colour";
    EXPECT_NEAR(drawn.center().x(), image.width() / 2, image.width() / 20);
    EXPECT_NEAR(drawn.center().y(), image.height() / 2, image.height() / 5);
    // A transcript on view hides it.
    MakeCurrent(spoken);
    EXPECT_TRUE(mPane->Placeholder().isEmpty());
    EXPECT_TRUE(mPane->accessibleDescription().isEmpty());
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join('\n').toStdString();
}

// Notes, folder "Work" below it:
//   000001 Notes  "Weekly"          spoken: budget meeting on thursday
//   000002 Notes  "budget review"   spoken: dentist appointment
//   000003 Work   ""                spoken: budgie food
//   000004 Notes  "Thursday lunch"  no transcript, not in the index yet
//   000005 Notes  "Überraschung im Café"  the same
TEST_F(TranscriptWindow, SearchSpokenWordsFindsEveryTypedWordInTranscriptOrDescription) {
    {
        SearchIndex index(IndexPath());
        Add({"000001", "", "Weekly", Thursday, true}, index);
        Add({"000002",
             "",
             "budget review",
             {{"dentist", 0, 500}, {"appointment", 600, 1200}},
             true},
            index);
        Add({"000003", "Work", "", {{"budgie", 0, 400}, {"food", 500, 900}}, true}, index);
        Add({"000004", "", "Thursday lunch", {}, false}, index);
        Add({"000005", "", "Überraschung im Café", {}, false}, index);
    }
    mForm.CataloguePart().SetSearchIndexPath(IndexPath());
    mCat.SelectFolder(mCat.NotesNode());
    mForm.Actions().FilterAction->trigger();
    // Off: the filter's search of the descriptions, as it always was.
    Type("budg");
    EXPECT_EQ(ShownNames(), QStringList{"000002"});
    mForm.Actions().SpokenWordsAction->trigger();

    const struct {
        const char* Typed;
        bool Affiliate;
        QStringList Shown;
    } cases[] = {
        {"budg", false, {"000001", "000002"}},                 // a prefix, in speech or description
        {"budg", true, {"000001", "000002", "000003"}},        // and below the folder
        {"budget thursday", false, {"000001"}},                // every word, in any order
        {"Thursday, budget!", false, {"000001"}},              // case and punctuation do not count
        {"budget review", false, {"000002"}},                  // both words in the description only
        {"dentist budget", false, {"000002"}},                 // one spoken, one in the description
        {"thurs", false, {"000001", "000004"}},                // a note the index does not know yet
        {"überr CAF", false, {"000005"}},                      // ... beyond ASCII too
        {"budget lunch", false, {}},                           // each word in another note
        {"budgie", false, {}},                                 // only in another folder
        {"budgie", true, {"000003"}},                          // ... shown with affiliated notes
        {"udget", false, {}},                                  // the middle of a word is no match
        {"", false, {"000001", "000002", "000004", "000005"}}, // nothing typed: every note
    };
    for (const auto& c : cases) {
        if (mForm.Actions().AffiliateAction->isChecked() != c.Affiliate) {
            mForm.Actions().AffiliateAction->trigger();
        }
        Type(QString::fromUtf8(c.Typed));
        EXPECT_EQ(ShownNames(), c.Shown)
            << "typed \"" << c.Typed << "\", affiliated " << c.Affiliate;
    }

    // The index written anew (another file under the name) is followed; one deleted leaves the
    // descriptions to search.
    SearchIndex::Discard(IndexPath());
    {
        SearchIndex index(IndexPath());
        index.Put("000004", {"budget", "Thursday lunch", std::nullopt});
    }
    Type("budget");
    EXPECT_EQ(ShownNames(), (QStringList{"000002", "000004"}));
    SearchIndex::Discard(IndexPath());
    Type("budg");
    EXPECT_EQ(ShownNames(), QStringList{"000002"});
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join('\n').toStdString();
}

// The list does not always come in the order of the notes' names (restored notes come last): the
// index's answer is looked up by every note all the same.
TEST_F(TranscriptWindow, SearchSpokenWordsFindsNotesListedOutOfTheirNamesOrder) {
    {
        SearchIndex index(IndexPath());
        for (const char* name : {"000009", "000003", "000007", "000001", "000005"}) {
            const bool lunch = std::string(name) == "000003" || std::string(name) == "000005";
            Add({name, "", "", {{lunch ? "lunch" : "budget", 0, 500}}, true}, index);
        }
    }
    mForm.CataloguePart().SetSearchIndexPath(IndexPath());
    mCat.SelectFolder(mCat.NotesNode());
    mForm.Actions().FilterAction->trigger();
    mForm.Actions().SpokenWordsAction->trigger();
    Type("budg");
    EXPECT_EQ(ShownNames(), (QStringList{"000001", "000007", "000009"}));
    Type("lunch");
    EXPECT_EQ(ShownNames(), (QStringList{"000003", "000005"}));
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join('\n').toStdString();
}

// Each letter typed further asks only the notes the last search showed; letters taken back, a
// change of folders or an index changed in between ask every note again. Whatever the path, the
// list shows what a search made afresh shows.
TEST_F(TranscriptWindow, TypingFurtherOrBackShowsWhatAFreshSearchShows) {
    SearchIndex index(IndexPath());
    Add({"000001", "", "Weekly", Thursday, true}, index);
    Add({"000002", "", "budget review", {{"dentist", 0, 500}, {"appointment", 600, 1200}}, true},
        index);
    Add({"000003", "Work", "", {{"budgie", 0, 400}, {"food", 500, 900}}, true}, index);
    Add({"000004", "", "Thursday lunch", {}, false}, index);
    Add({"000005", "", "", {{"bus", 0, 400}, {"stop", 500, 900}}, true}, index);
    mForm.CataloguePart().SetSearchIndexPath(IndexPath());
    mCat.SelectFolder(mCat.NotesNode());
    mForm.Actions().FilterAction->trigger();
    mForm.Actions().SpokenWordsAction->trigger();

    const struct {
        const char* Typed;
        bool Affiliate;
        QStringList Shown;
    } steps[] = {
        {"b", false, {"000001", "000002", "000005"}},
        {"bu", false, {"000001", "000002", "000005"}},
        {"bud", false, {"000001", "000002"}},
        {"bud", true, {"000001", "000002", "000003"}}, // the folders change: every note again
        {"budg", true, {"000001", "000002", "000003"}},
        {"budge", true, {"000001", "000002"}},
        {"budget", true, {"000001", "000002"}},
        {"budget r", true, {"000002"}},
        {"budget ", true, {"000001", "000002"}}, // a word taken back
        {"budget th", true, {"000001"}},
        {"th budget", true, {"000001"}}, // the same words in another order
        {"bu", true, {"000001", "000002", "000003", "000005"}},
        {"", true, {"000001", "000002", "000003", "000004", "000005"}},
        {"t", true, {"000001", "000004"}},
        {"th", false, {"000001", "000004"}},
        {"thursday lunch", false, {"000004"}},
    };
    for (const auto& step : steps) {
        if (mForm.Actions().AffiliateAction->isChecked() != step.Affiliate) {
            mForm.Actions().AffiliateAction->trigger();
        }
        Type(QString::fromUtf8(step.Typed));
        EXPECT_EQ(ShownNames(), step.Shown) << "typed \"" << step.Typed << "\"";
        mForm.CataloguePart().ApplyNoteFilter(); // made afresh
        EXPECT_EQ(ShownNames(), step.Shown) << "typed \"" << step.Typed << "\", afresh";
    }

    // The worker changes the index between two keystrokes, its notice of it still on the way:
    // the next letter finds the note all the same.
    Type("stop");
    EXPECT_EQ(ShownNames(), QStringList{"000005"});
    Type("sto");
    EXPECT_EQ(ShownNames(), QStringList{"000005"});
    index.Put("000002", {"stock count", "budget review", std::nullopt});
    Type("stoc");
    EXPECT_EQ(ShownNames(), QStringList{"000002"});

    // A folder moved into the shown one between two keystrokes brings its notes into the search.
    Add({"000006", "Home", "", {{"budget", 0, 400}}, true}, index);
    FolderNode* work = nullptr;
    FolderNode* home = nullptr;
    for (const auto& child : mCat.NotesNode()->Children) {
        if (child->Name == "Work") {
            work = child.get();
        } else if (child->Name == "Home") {
            home = child.get();
        }
    }
    ASSERT_TRUE(work && home);
    mForm.Actions().AffiliateAction->trigger(); // the notes of subfolders shown
    ASSERT_TRUE(mForm.Actions().AffiliateAction->isChecked());
    mCat.SelectFolder(work);
    Type("b");
    Type("bu");
    EXPECT_EQ(ShownNames(), QStringList{"000003"});
    mForm.CataloguePart().TreeViewDragDrop(DragSource::Folder, home, work, true);
    ASSERT_EQ(home->Parent, work);
    Type("bud");
    EXPECT_EQ(ShownNames(), (QStringList{"000003", "000006"}));
    EXPECT_TRUE(mMessages.isEmpty()) << mMessages.join('\n').toStdString();
}

} // namespace
} // namespace tellamo::test
