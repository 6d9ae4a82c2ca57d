#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "transcript/Transcript.h"

namespace tellamo {

// The transcript file NNNNNN.vtt beside a note's WAV: WebVTT, which players read as subtitles.
//
//   WEBVTT
//
//   NOTE tellamo-source bytes=123456 modified-ns=1765382485123456789
//
//   00:00:01.200 --> 00:00:03.450
//   budget <00:00:01.700>meeting <00:00:02.100>on <00:00:02.400>thursday
//
// One cue per phrase; each word but the first of a cue is preceded by its start as an inner
// timestamp tag (the first starts with the cue). The NOTE block ties the transcript to the sound
// it was made from; other players ignore it.

std::string FormatWebVtt(const Transcript& transcript);

// The largest transcript file read (about 50 hours of speech); larger ones are refused.
constexpr std::size_t MaxWebVttBytes = 16 * 1024 * 1024;

// Reads WebVTT as any program may have written it: cue identifiers, cue settings, hours left
// out, tags other than timestamps (<c>, <v Name>, <b>) and the character references &amp; &lt;
// &gt; &nbsp; are understood; a block that is not a valid cue is skipped, as WebVTT readers do.
// A word without a timestamp of its own starts where the cue or the previous timestamp does.
// Throws TellamoError naming fileName when the bytes are not WebVTT at all (no "WEBVTT"
// signature) or exceed MaxWebVttBytes. Never reads past the bytes given.
Transcript ParseWebVtt(std::string_view bytes, const std::string& fileName);

// The source stamp of a transcript from its first bytes alone (the NOTE block is written right
// after the signature), to tell cheaply whether a transcript is current; nullopt when the bytes
// are not such a transcript.
std::optional<SourceStamp> ParseWebVttSource(std::string_view firstBytes);
constexpr std::size_t WebVttSourceBytes = 256; // what ParseWebVttSource needs at most

// "01:02:03.456" for 3,723,456 ms (negative times are written as 0).
std::string WebVttTimestamp(std::int64_t ms);

} // namespace tellamo
