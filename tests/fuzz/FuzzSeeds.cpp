// Writes the fuzzers' seed corpora, made by the program's own writers: index files of an empty
// and of a filled catalogue, note WAV headers of every recording format, a graph file, settings
// and translation texts. Usage: fuzz_seeds FOLDER (one sub-folder per fuzzer is made).

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "audio/WavFormat.h"
#include "catalogue/Catalogue.h"
#include "catalogue/IndexFile.h"
#include "common/FileSystem.h"
#include "common/IniFile.h"
#include "dictaphone/GraphBitmap.h"
#include "dictaphone/GraphSettings.h"
#include "dictaphone/TellamoGraph.h"
#include "transcript/WebVtt.h"

namespace {

std::filesystem::path Root;

void Put(const char* fuzzer, const std::string& name, const std::string& bytes) {
    const auto folder = Root / fuzzer;
    std::filesystem::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary) << bytes;
}

std::string Wav(std::uint16_t channels, std::uint16_t rate, std::uint16_t bits, std::size_t bytes) {
    const auto header = tellamo::MakeWaveHeader(channels, rate, bits);
    std::string file(header.begin(), header.end());
    for (std::size_t i = 0; i < bytes; ++i) {
        file.push_back(static_cast<char>((i * 37) & 0xFF));
    }
    const std::uint32_t size = static_cast<std::uint32_t>(bytes);
    for (int k = 0; k < 4; ++k) {
        file[40 + k] = static_cast<char>((size >> (8 * k)) & 0xFF);
        file[4 + k] = static_cast<char>(((size + 36) >> (8 * k)) & 0xFF);
    }
    return file;
}

} // namespace

int main(int argc, char** argv) {
    using namespace tellamo;
    if (argc != 2) {
        std::fprintf(stderr, "Usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    Root = argv[1];

    Catalogue catalogue(Storage("/nonexistent", "My Voice Notes", "ReadMe.txt"), "Notes",
                        "Recycle Bin", RealFileSystem());
    catalogue.NewCatalogue();
    Put("index_file_fuzzer", "empty.dat", SerializeCatalogue(catalogue));
    FolderNode* work = catalogue.AddFolder(catalogue.NotesNode(), "Work");
    catalogue.AddFolder(work, "Calls");
    catalogue.AddFoundNote(work, "042977", 1'079'000'000'000, 11025, 8);
    catalogue.CompleteNote(12, 3400);
    catalogue.AddFoundNote(catalogue.RecycleBinNode(), "100001", 1'079'000'100'000, 22050, 16);
    catalogue.CompleteNote(400, 61000);
    Put("index_file_fuzzer", "filled.dat", SerializeCatalogue(catalogue));

    int n = 0;
    for (const std::uint16_t channels : {1, 2}) {
        for (const std::uint16_t rate : {8000, 11025, 22050, 44100}) {
            for (const std::uint16_t bits : {8, 16}) {
                const std::string wav = Wav(channels, rate, bits, 200);
                const std::string name = "note" + std::to_string(n++) + ".wav";
                std::string sized(8, '\0');
                for (int k = 0; k < 8; ++k) {
                    sized[k] = static_cast<char>((std::uint64_t{wav.size()} >> (8 * k)) & 0xFF);
                }
                Put("wav_header_fuzzer", name, sized + wav);
                Put("graph_wav_fuzzer", name, wav);
                Put("converter_fuzzer", name, wav);
            }
        }
    }

    GraphBitmap bitmap(GraphFileWidth, GraphFileHeight);
    GraphSettings settings;
    GraphState state;
    ClearGraph(state, &bitmap, GraphFileWidth, GraphFileHeight, settings);
    for (int column = 0; column < GraphFileWidth; column += 3) {
        DrawLevelColumn(state, column, (column * 7) % 128, true);
    }
    Put("graph_bitmap_fuzzer", "graph.bmp", EncodeGraphFile(bitmap));

    Transcript transcript;
    transcript.HasSource = true;
    transcript.Source = {123456, 1765382485123456789};
    transcript.Cues.push_back({1200, 3450, {{"budget", 1200, 1700}, {"r&d", 1700, 3450}}});
    transcript.Cues.push_back({61000, 62000, {{"<late>", 61000, 62000}}});
    Put("webvtt_fuzzer", "transcript.vtt", FormatWebVtt(transcript));
    Put("webvtt_fuzzer", "foreign.vtt",
        "WEBVTT title\r\n\r\nid\r\n00:01.000 --> 00:02.000 align:start\r\n<v Ann>a "
        "<00:01.500><c>b</c> &amp;&nbsp;c\r\n\r\nNOTE x\r\n");

    IniFile ini;
    ini.Write("TOptionsForm", "SilenceRxSpinEdit_Value", "25");
    ini.Write("TOptionsForm", "Quoted", "\"as typed\"");
    ini.Write("TMainForm", "Left", "120");
    Put("ini_file_fuzzer", "tellamo.INI", ini.Text());
    Put("ini_file_fuzzer", "translation.lng",
        "; a translation file\r\n[Strings]\r\nError=Fehler\r\nNotes = Notizen \r\n"
        "Recycle Bin='Papierkorb'\r\n[Other]\r\nx=1\r\n");
    return 0;
}
