#pragma once

// For readers that take a path: the fuzzer's bytes are written to a file in a private
// temporary folder, which goes when the fuzzer ends.

#include <cstdint>
#include <cstdlib>
#include <string>

namespace tellamo::fuzz {

// The private folder, made on first use.
const std::string& FuzzFolder();
// Writes the bytes to FuzzFolder()/name (replacing the file) and returns its path.
std::string WriteFuzzFile(const char* name, const std::uint8_t* data, std::size_t size);

} // namespace tellamo::fuzz
