// The start-up repair of recordings that were cut off (the program killed, the power gone).
#include "dictaphone/RecordingRepair.h"

#include <gtest/gtest.h>

#include "audio/WavFormat.h"
#include "catalogue/CatalogueFixture.h"
#include "common/ByteIO.h"
#include "dictaphone/GraphSettings.h"

namespace tellamo::test {
namespace {

class RecordingRepair : public CatalogueFixture {
protected:
    RecordingRepair() { Cat->NewCatalogue(); }

    std::string WavPath(const NoteRecord* note) const { return Folder() + note->FileName + ".wav"; }
};

// The repair's cases, on files made by hand.
TEST_F(RecordingRepair, TakesOnlyWhatNeedsIt) {
    auto header = [](std::uint16_t bits, std::uint32_t dataSize, std::uint32_t riffSize) {
        auto h = MakeWaveHeader(1, 8000, bits);
        PutU32(&h[4], riffSize);
        PutU32(&h[40], dataSize);
        return std::string(reinterpret_cast<const char*>(h.data()), h.size());
    };
    const std::string sound(1001, '\x40');
    const struct {
        const char* Name;
        std::uint16_t Bits;
        std::string File; // empty: no file at all
        bool Complete;    // the record has its duration
        bool Repaired;
        std::size_t SizeAfter; // the file's size after the repair
        std::int32_t DurationAfter;
    } cases[] = {
        {"header says nothing, 16-bit", 16, header(16, 0, 0) + sound, false, true, 1044, 62},
        {"header lags, 8-bit", 8, header(8, 400, 436) + sound, false, true, 1045, 125},
        {"header lags, record complete", 8, header(8, 400, 436) + sound, true, true, 1045, 125},
        {"file complete, record not", 8, header(8, 1001, 1037) + sound, false, true, 1045, 125},
        {"all complete", 8, header(8, 1001, 1037) + sound, true, false, 1045, 7},
        {"a chunk follows the sound", 8,
         header(8, 1000, 1044) + sound.substr(1) + std::string("LIST\x04\0\0\0abcd", 12), true,
         false, 1056, 7},
        {"only a header", 8, header(8, 0, 36), false, false, 44, -1},
        {"not a WAV file", 8, std::string("RIFF\0\0", 6), false, false, 6, -1},
        {"no file", 8, std::string(), false, false, 0, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        NoteRecord* note = Cat->AddRecordedNote(Cat->NotesNode(), c.Name, 8000, c.Bits);
        if (c.Complete) {
            Cat->CompleteNote(note, 1, 7);
        }
        if (!c.File.empty()) {
            WriteFileBytes(WavPath(note), c.File);
        }
        const std::vector<RecoveredNote> recovered =
            RepairInterruptedRecordings(*Cat, GraphSettings{});
        EXPECT_EQ(recovered.size(), c.Repaired ? 1u : 0u);
        EXPECT_EQ(note->Duration.value_or(-1), c.DurationAfter);
        if (!c.File.empty()) {
            const std::string after = ReadFileBytes(WavPath(note));
            EXPECT_EQ(after.size(), c.SizeAfter);
            if (c.Repaired) {
                EXPECT_EQ(ReadWaveHeader(WavPath(note)).DataSize, c.SizeAfter - 44);
                EXPECT_EQ(GetU32(reinterpret_cast<const unsigned char*>(after.data()) + 4),
                          c.SizeAfter - 8);
                EXPECT_EQ(note->FileSizeKB.value_or(-1), 1);
            } else {
                EXPECT_EQ(after, c.File);
            }
        }
        EXPECT_EQ(FileExists(Folder() + note->FileName + ".bmp"), c.Repaired);
    }
}

} // namespace
} // namespace tellamo::test
