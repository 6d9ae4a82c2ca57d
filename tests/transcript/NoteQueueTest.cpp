// The worker's packed queue: names of every kind and descriptions come out as they went in, in
// order, also around notes removed from it (the last one, the front one, a run of them).

#include "transcript/NoteQueue.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace tellamo {
namespace {

using Notes = std::vector<std::pair<std::string, std::string>>;

Notes Drain(NoteQueue& queue) {
    Notes out;
    while (!queue.Empty()) {
        out.emplace_back(queue.FrontName(), queue.FrontDescription());
        queue.PopFront();
    }
    return out;
}

TEST(NoteQueue, GivesBackWhatWentInAroundRemovedNotes) {
    const Notes notes = {
        {"000042", "Budget meeting"},
        {"999999", ""},           // the largest number, no description
        {"000000", "Zero"},       // the smallest
        {"12345", "five digits"}, // names that only look like numbers
        {"1234567", "seven digits"},
        {"00004a", "a letter"},
        {"Interview", "ünïcödé – text"},
        {"", "no name"}, // kept, though the program never hands one over
        {"x", ""},
    };
    NoteQueue all;
    for (const auto& [name, description] : notes) {
        all.Push(name, description);
    }
    EXPECT_EQ(all.Size(), notes.size());
    EXPECT_EQ(Drain(all), notes);
    EXPECT_TRUE(all.Empty());

    const struct {
        std::vector<std::string> Removed;
        std::vector<std::size_t> Left; // indexes into notes
    } cases[] = {
        {{"000042"}, {1, 2, 3, 4, 5, 6, 7, 8}},              // the front
        {{"x"}, {0, 1, 2, 3, 4, 5, 6, 7}},                   // the last
        {{"999999", "000000", "12345"}, {0, 4, 5, 6, 7, 8}}, // a run in the middle
        {{"Interview", "nobody", "000043"}, {0, 1, 2, 3, 4, 5, 7, 8}},
        {{"000042", "999999", "000000", "12345", "1234567", "00004a", "Interview", "", "x"}, {}},
    };
    for (const auto& c : cases) {
        NoteQueue queue;
        for (const auto& [name, description] : notes) {
            queue.Push(name, description);
        }
        queue.Remove(c.Removed);
        Notes expected;
        for (const std::size_t i : c.Left) {
            expected.push_back(notes[i]);
        }
        EXPECT_EQ(queue.Size(), expected.size()) << c.Removed.front();
        EXPECT_EQ(Drain(queue), expected) << c.Removed.front();
    }

    // Removed after the front has moved on; then used again once empty.
    NoteQueue queue;
    for (const auto& [name, description] : notes) {
        queue.Push(name, description);
    }
    queue.PopFront();
    queue.PopFront();
    queue.Remove({"000042", "000000", "1234567"});
    EXPECT_EQ(Drain(queue), (Notes{notes[3], notes[5], notes[6], notes[7], notes[8]}));
    queue.Push("000007", "again");
    EXPECT_EQ(Drain(queue), (Notes{{"000007", "again"}}));
}

} // namespace
} // namespace tellamo
