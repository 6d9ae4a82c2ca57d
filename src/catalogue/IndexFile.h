#pragma once

#include <string>
#include <string_view>

#include "common/ByteIO.h"

namespace tellamo {

class Catalogue;
class NoteTable;

// The index file "Tellamo.dat": the whole catalogue in one little-endian byte stream.
//
//   1 byte   format version (1 when written; any value is accepted)
//   4 bytes  record count N (signed; 0 or less means none)
//   N notes  Duration (double, fraction of a day), Start (double, OLE date, local time),
//            Description and FileName (bytes + one 0 byte each), FolderID (int32),
//            SampleRate and BitRate (uint16), FileSizeKB (int32)
//   4 bytes  folder-ID counter
//   4 bytes  selected folder's ID, -1 for none
//   the rest: the tree text, one line per folder in pre-order: a TAB per level, the name, the
//            ID as six digits, CR LF. A 0 byte ends it; lone CR and lone LF also end lines, and
//            leading blanks count as levels like TABs.
//
// Other programs and older copies read this layout, so it is written byte for byte as it has
// always been; everything in it is checked on reading, never trusted.

// The whole file's bytes for a catalogue.
std::string SerializeCatalogue(const Catalogue& catalogue);
// Replaces the catalogue's notes and folders with the bytes' content. Throws TellamoError for
// damage; what was read before the damage stays in the catalogue.
void ParseCatalogue(std::string_view bytes, Catalogue& catalogue);

void WriteNotes(ByteWriter& out, const NoteTable& table);
void ReadNotes(ByteReader& in, NoteTable& table);
void WriteFolderTree(ByteWriter& out, const Catalogue& catalogue);
void ReadFolderTree(ByteReader& in, Catalogue& catalogue);
inline void WriteZString(ByteWriter& out, std::string_view text) {
    out.ZString(text);
}
inline std::string ReadZString(ByteReader& in) {
    return std::string(in.ZString());
}

} // namespace tellamo
