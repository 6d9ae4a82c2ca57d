// The transcript file: what the program writes reads back word for word and time for time, other
// programs' WebVTT is understood, hostile bytes never crash, and the file is written whole and
// never through a link planted in the storage folder.

#include "transcript/WebVtt.h"

#include <string>

#include <gtest/gtest.h>

#include "common/Errors.h"
#include "support/FaultyFileSystem.h"
#include "support/LinkTrap.h"
#include "support/TempDir.h"
#include "transcript/TranscriptFiles.h"

namespace tellamo {
namespace {

Transcript Sample() {
    Transcript t;
    t.HasSource = true;
    t.Source = {123456, 1765382485123456789};
    t.Cues.push_back(
        {1200, 3450, {{"budget", 1200, 1700}, {"meeting", 1700, 2100}, {"r&d", 2100, 3450}}});
    t.Cues.push_back({3723456, 3724000, {{"<late>", 3723456, 3724000}}});
    return t;
}

TEST(WebVtt, WhatIsWrittenReadsBackWithEveryWordsStart) {
    const Transcript written = Sample();
    const std::string text = FormatWebVtt(written);
    EXPECT_EQ(text.substr(0, 8), "WEBVTT\n\n");
    EXPECT_NE(text.find("00:00:01.200 --> 00:00:03.450\nbudget <00:00:01.700>meeting "
                        "<00:00:02.100>r&amp;d\n"),
              std::string::npos)
        << text;
    const Transcript read = ParseWebVtt(text, "t.vtt");
    ASSERT_TRUE(read.HasSource);
    EXPECT_EQ(read.Source, written.Source);
    ASSERT_EQ(read.Cues.size(), 2u);
    for (std::size_t c = 0; c < 2; ++c) {
        EXPECT_EQ(read.Cues[c].StartMs, written.Cues[c].StartMs);
        EXPECT_EQ(read.Cues[c].EndMs, written.Cues[c].EndMs);
        ASSERT_EQ(read.Cues[c].Words.size(), written.Cues[c].Words.size());
        for (std::size_t w = 0; w < read.Cues[c].Words.size(); ++w) {
            EXPECT_EQ(read.Cues[c].Words[w].Text, written.Cues[c].Words[w].Text);
            EXPECT_EQ(read.Cues[c].Words[w].StartMs, written.Cues[c].Words[w].StartMs);
        }
    }
    EXPECT_EQ(read.Text(), "budget meeting r&d <late>");
    // The source stamp is found from the first bytes alone.
    EXPECT_EQ(ParseWebVttSource(text.substr(0, WebVttSourceBytes)), written.Source);
}

TEST(WebVtt, ReadsOtherProgramsFiles) {
    struct Case {
        const char* Name;
        std::string Bytes;
        std::string Text;
        std::vector<std::int64_t> Starts;
    };
    const Case cases[] = {
        {"identifiers, settings, CR LF, hours left out",
         "\xEF\xBB\xBFWEBVTT - a title\r\nKind: captions\r\n\r\ncue-1\r\n00:01.000 --> 00:02.500 "
         "align:start\r\nhello <00:01.500>there\r\n\r\n",
         "hello there",
         {1000, 1500}},
        {"voice, class and bold tags, references, two lines",
         "WEBVTT\n\n00:00:05.000 --> 00:00:09.000\n<v Ann>fish &amp; <c.red>chips</c>\n"
         "<b>a&lt;b</b>&nbsp;c\n\n",
         "fish & chips a<b\xC2\xA0"
         "c",
         {5000, 5000, 5000, 5000}},
        {"NOTE, STYLE and a broken cue are skipped",
         "WEBVTT\n\nNOTE a comment\n\nSTYLE\n::cue { color: red }\n\n00:00:01.000 -> bad\nlost\n\n"
         "00:00:02.000 --> 00:00:03.000\nkept\n",
         "kept",
         {2000}},
        {"timestamps outside the cue or running back are held inside it",
         "WEBVTT\n\n00:00:10.000 --> 00:00:12.000\na <00:00:01.000>b <00:00:11.000>c "
         "<00:00:10.500>d <99:00:00.000>e\n",
         "a b c d e",
         {10000, 10000, 11000, 11000, 12000}},
        {"a tag that never closes ends the text",
         "WEBVTT\n\n00:00.000 --> 00:01.000\nx <00:00.5",
         "x",
         {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const Transcript t = ParseWebVtt(c.Bytes, "other.vtt");
        EXPECT_FALSE(t.HasSource);
        EXPECT_EQ(t.Text(), c.Text);
        std::vector<std::int64_t> starts;
        for (const TimedWord& w : t.Words()) {
            starts.push_back(w.StartMs);
        }
        EXPECT_EQ(starts, c.Starts);
    }
}

TEST(WebVtt, RefusesWhatIsNotWebVtt) {
    for (const std::string& bytes : {std::string(), std::string("WEBVTTX\n"), std::string("RIFF"),
                                     std::string(MaxWebVttBytes + 1, 'W')}) {
        EXPECT_THROW(ParseWebVtt(bytes, "x.vtt"), TellamoError);
    }
    // Timestamps with fields out of range or overlong are not timestamps.
    for (const char* timing :
         {"00:60.000 --> 00:61.000", "00:00:00.0000 --> 00:00:01.000",
          "1234567890:00:00.000 --> 1234567890:00:01.000", "0:00.000 --> 0:01.000"}) {
        SCOPED_TRACE(timing);
        EXPECT_TRUE(
            ParseWebVtt(std::string("WEBVTT\n\n") + timing + "\nword\n", "x.vtt").Cues.empty());
    }
    EXPECT_FALSE(ParseWebVttSource("WEBVTT\n\nNOTE tellamo-source bytes=12x modified-ns=1\n\n"));
}

TEST(TranscriptFiles, PathsAndCurrency) {
    EXPECT_EQ(TranscriptPathFor("/s/042977.wav"), "/s/042977.vtt");
    EXPECT_EQ(TranscriptPathFor("/s/notes"), "/s/notes.vtt");

    test::TempDir dir;
    const std::string wav = dir.File("000001.wav");
    test::WriteFileBytes(wav, std::string(100, 'x'));
    EXPECT_FALSE(TranscriptIsCurrent(wav)); // no transcript
    Transcript t = Sample();
    t.Source = StampOf(wav);
    WriteTranscriptFile(RealFileSystem(), dir.File("000001.vtt"), t);
    EXPECT_TRUE(TranscriptIsCurrent(wav));
    test::WriteFileBytes(wav, std::string(101, 'x')); // the sound changed
    EXPECT_FALSE(TranscriptIsCurrent(wav));
}

TEST(TranscriptFiles, WritingNeverFollowsALinkAndLeavesNoHalfFile) {
    for (const test::LinkTrap::Kind kind : test::LinkTrap::Kinds) {
        for (const char* at : {"000001.vtt", "000001.vtt.new"}) {
            SCOPED_TRACE(at);
            test::TempDir dir;
            test::LinkTrap trap;
            trap.Plant(dir.File(at), kind);
            WriteTranscriptFile(RealFileSystem(), dir.File("000001.vtt"), Sample());
            EXPECT_TRUE(trap.Untouched());
            EXPECT_EQ(ReadTranscriptFile(dir.File("000001.vtt")).Text(), Sample().Text());
        }
    }
    // A full disk at any step keeps the old transcript whole and leaves no temporary file.
    test::FaultyFileSystem counting;
    {
        test::TempDir dir;
        WriteTranscriptFile(counting, dir.File("000001.vtt"), Sample());
    }
    for (int step = 1; step <= counting.Calls; ++step) {
        SCOPED_TRACE(step);
        test::TempDir dir;
        Transcript old;
        old.Cues.push_back({0, 500, {{"old", 0, 500}}});
        WriteTranscriptFile(RealFileSystem(), dir.File("000001.vtt"), old);
        test::FaultyFileSystem faulty;
        faulty.FailAt = step;
        try {
            WriteTranscriptFile(faulty, dir.File("000001.vtt"), Sample());
        } catch (const TellamoError& e) {
            EXPECT_NE(std::string(e.what()).find("000001.vtt"), std::string::npos);
        }
        const std::string text = ReadTranscriptFile(dir.File("000001.vtt")).Text();
        EXPECT_TRUE(text == "old" || text == Sample().Text()) << text;
        for (const std::string& name : test::FilesIn(dir.Path())) {
            EXPECT_EQ(name, "000001.vtt");
        }
    }
}

} // namespace
} // namespace tellamo
