#pragma once

// The transcripts of a large catalogue, shared by the benchmarks of the search index and of the
// window's search: 100,000 notes of about 150 words, drawn from the recogniser's own dictionary
// with a Zipf distribution (seeded), so that common words are common and the vocabulary is that
// of the transcripts. The index is built once into /tmp and reused by later runs (of either
// program); its notes are named 100000 to 199999, as the benchmarks' catalogues name theirs.
// Header only: a program that includes it links tellamo_transcript.

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>

#include "transcript/PocketSphinxRecogniser.h"
#include "transcript/SearchIndex.h"

namespace tellamo::bench {

constexpr int CorpusNotes = 100'000;
constexpr int WordsPerNote = 150;
// Named by the index's layout version: a build of another layout would find the file foreign
// and empty it, and every later run would then search nothing.
inline const std::string CorpusIndexPath =
    "/tmp/tellamo-search-bench-v3-" + std::to_string(CorpusNotes) + ".sqlite";

inline std::string CorpusNoteName(int i) {
    return std::to_string(100000 + i);
}

inline std::vector<std::string> Vocabulary() {
    std::ifstream dict(PocketSphinxRecogniser::DefaultModelFolder() + "/cmudict-en-us.dict");
    std::vector<std::string> words;
    for (std::string line; std::getline(dict, line);) {
        const std::string word = line.substr(0, line.find(' '));
        if (!word.empty() && word.find('(') == std::string::npos) {
            words.push_back(word);
        }
    }
    std::mt19937 shuffle(1234);
    std::shuffle(words.begin(), words.end(), shuffle);
    words.resize(std::min<std::size_t>(words.size(), 40'000)); // a speaker's vocabulary
    return words;
}

// One transcript's words after another, the same sequence in every run.
class Texts {
public:
    Texts() : mWords(Vocabulary()), mRandom(42) {
        std::vector<double> weights(mWords.size());
        for (std::size_t r = 0; r < weights.size(); ++r) {
            weights[r] = 1.0 / static_cast<double>(r + 1);
        }
        mRank = std::discrete_distribution<std::size_t>(weights.begin(), weights.end());
    }
    std::vector<std::string> NextWords() {
        std::vector<std::string> words;
        words.reserve(WordsPerNote);
        for (int i = 0; i < WordsPerNote; ++i) {
            words.push_back(mWords[mRank(mRandom)]);
        }
        return words;
    }
    std::string Next() {
        std::string text;
        for (const std::string& word : NextWords()) {
            text += (text.empty() ? "" : " ") + word;
        }
        return text;
    }

private:
    std::vector<std::string> mWords;
    std::mt19937 mRandom;
    std::discrete_distribution<std::size_t> mRank;
};

inline double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

inline std::uint64_t FileBytes(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

struct CorpusIndex {
    double TextBytes = 0;
    double BuildCpuPerNoteMs = -1; // -1: reused from an earlier run
};

// The index of the corpus at CorpusIndexPath, built on first use.
inline CorpusIndex& TheCorpusIndex() {
    static CorpusIndex built = [] {
        CorpusIndex b;
        std::uint64_t textBytes = 0;
        const std::string done = CorpusIndexPath + ".text-bytes";
        if (std::ifstream in(done); in >> textBytes && FileBytes(CorpusIndexPath) > 0) {
            b.TextBytes = static_cast<double>(textBytes);
            return b;
        }
        Texts texts;
        SearchIndex::Discard(CorpusIndexPath);
        SearchIndex index(CorpusIndexPath);
        const double start = CpuSeconds();
        for (int n = 0; n < CorpusNotes; n += 1000) {
            index.BeginBatch();
            for (int i = n; i < n + 1000; ++i) {
                const std::string words = texts.Next();
                textBytes += words.size();
                index.Put(CorpusNoteName(i), {words, "Note " + std::to_string(i), SourceStamp{}});
            }
            index.CommitBatch();
        }
        b.BuildCpuPerNoteMs = (CpuSeconds() - start) * 1000.0 / CorpusNotes;
        b.TextBytes = static_cast<double>(textBytes);
        std::ofstream(done) << textBytes;
        return b;
    }();
    return built;
}

} // namespace tellamo::bench
