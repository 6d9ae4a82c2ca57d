#include "export/OggOpus.h"

#include <array>
#include <cassert>
#include <chrono>
#include <memory>
#include <random>
#include <vector>

#include <opus/opus.h>
#include <unistd.h>

#include "audio/NoteAudio.h"
#include "audio/WavFormat.h"
#include "common/ByteIO.h"
#include "common/Errors.h"

namespace tellamo {

namespace {

// Granule positions of Ogg Opus count samples at 48 kHz whatever rate was encoded.
constexpr int GranuleRate = 48000;
constexpr int FramesPerSecond = 50; // 20 ms packets
// A page is closed after about a second of sound: small enough that a player seeks well, large
// enough that a page's header (27 bytes and a lacing value per packet) stays about 4 % of it.
constexpr int PacketsPerPage = FramesPerSecond;

struct EncoderDeleter {
    void operator()(OpusEncoder* e) const { opus_encoder_destroy(e); }
};

// The CRC of Ogg pages: polynomial 0x04c11db7, most significant bit first, no reflection, no
// final inversion, starting from 0.
std::uint32_t OggCrc(const std::string& page) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t r = i << 24;
            for (int bit = 0; bit < 8; ++bit) {
                r = (r & 0x80000000u) ? (r << 1) ^ 0x04c11db7u : r << 1;
            }
            t[i] = r;
        }
        return t;
    }();
    std::uint32_t crc = 0;
    for (unsigned char c : page) {
        crc = (crc << 8) ^ table[((crc >> 24) ^ c) & 0xFF];
    }
    return crc;
}

// Writes one logical Ogg stream of whole packets; no packet is split across pages, which the
// Opus packets (at most 1275 bytes, a few lacing values) never need.
class OggStreamWriter {
public:
    OggStreamWriter(StagedFile& file, std::uint32_t serial) : mFile(file), mSerial(serial) {}

    // Adds a packet whose end lies at granule. The page is written after it when endsPage or
    // lastOfStream is set, and before it when the packet's lacing values would not fit.
    void AddPacket(const unsigned char* data, std::size_t size, std::int64_t granule, bool endsPage,
                   bool lastOfStream) {
        assert(size / 255 + 1 <= 255); // whole packets only: at most 65,024 bytes
        if (mLacing.size() + size / 255 + 1 > 255) {
            WritePage(false);
        }
        for (std::size_t left = size;; left -= 255) {
            mLacing.push_back(static_cast<char>(left < 255 ? left : 255));
            if (left < 255) {
                break;
            }
        }
        mBody.append(reinterpret_cast<const char*>(data), size);
        mGranule = granule;
        if (endsPage || lastOfStream) {
            WritePage(lastOfStream);
        }
    }

private:
    void WritePage(bool last) {
        std::string page;
        ByteWriter out(page);
        out.Bytes("OggS");
        out.U8(0); // version
        out.U8((mSequence == 0 ? 0x02 : 0) | (last ? 0x04 : 0));
        out.U64(static_cast<std::uint64_t>(mGranule));
        out.U32(mSerial);
        out.U32(mSequence++);
        out.U32(0); // the CRC, computed over the page with this field zero
        out.U8(static_cast<std::uint8_t>(mLacing.size()));
        out.Bytes(mLacing);
        out.Bytes(mBody);
        PutU32(reinterpret_cast<unsigned char*>(page.data()) + 22, OggCrc(page));
        mFile.Write(page.data(), page.size());
        mLacing.clear();
        mBody.clear();
    }

    StagedFile& mFile;
    const std::uint32_t mSerial;
    std::uint32_t mSequence = 0;
    std::int64_t mGranule = 0;
    std::string mLacing;
    std::string mBody;
};

// Any number tells this file's only stream apart; a random one keeps streams apart should anyone
// chain the files. Without a source of randomness the clock and the process do as well.
std::uint32_t StreamSerial() {
    try {
        return std::random_device{}();
    } catch (const std::exception&) {
        return static_cast<std::uint32_t>(
                   std::chrono::steady_clock::now().time_since_epoch().count()) ^
               static_cast<std::uint32_t>(::getpid());
    }
}

// The smallest rate the encoder takes that keeps the note's own bandwidth, up to the 16 kHz
// (wideband) that speech at this bit rate is coded at anyway.
int EncodingRate(unsigned noteRate) {
    for (int rate : {8000, 12000}) {
        if (noteRate <= static_cast<unsigned>(rate)) {
            return rate;
        }
    }
    return 16000;
}

} // namespace

void EncodeOggOpus(FileSystem& fileSystem, const std::string& source, const std::string& target,
                   const WorkProgress& progress) {
    const WaveInfo info = ReadWaveHeader(source);
    const int rate = EncodingRate(info.SampleRate);
    const int frameSize = rate / FramesPerSecond;
    const int granulePerSample = GranuleRate / rate;
    auto check = [&](int result, const char* what) {
        if (result < 0) {
            throw TellamoError("Cannot encode \"" + source + "\" as Ogg Opus (" + what +
                               "): " + opus_strerror(result));
        }
        return result;
    };

    int error = OPUS_OK;
    std::unique_ptr<OpusEncoder, EncoderDeleter> encoder(
        opus_encoder_create(rate, 1, OPUS_APPLICATION_VOIP, &error));
    check(encoder ? OPUS_OK : error, "set-up");
    check(opus_encoder_ctl(encoder.get(), OPUS_SET_BITRATE(OggOpusBitRate)), "bit rate");
    check(opus_encoder_ctl(encoder.get(), OPUS_SET_SIGNAL(OPUS_SIGNAL_VOICE)), "signal");
    check(opus_encoder_ctl(encoder.get(), OPUS_SET_COMPLEXITY(OggOpusComplexity)), "complexity");
    opus_int32 lookahead = 0;
    check(opus_encoder_ctl(encoder.get(), OPUS_GET_LOOKAHEAD(&lookahead)), "lookahead");
    const std::int64_t preSkip = std::int64_t{lookahead} * granulePerSample;

    StagedFile file(fileSystem, target);
    OggStreamWriter stream(file, StreamSerial());
    std::string head;
    ByteWriter headOut(head);
    headOut.Bytes("OpusHead");
    headOut.U8(1); // version
    headOut.U8(1); // channels
    headOut.U16(static_cast<std::uint16_t>(preSkip));
    headOut.U32(info.SampleRate); // what the note was recorded at, for players that show it
    headOut.U16(0);               // output gain
    headOut.U8(0);                // channel mapping family: mono or stereo, no table
    stream.AddPacket(reinterpret_cast<const unsigned char*>(head.data()), head.size(), 0, true,
                     false);
    std::string tags;
    ByteWriter tagsOut(tags);
    const std::string vendor = opus_get_version_string();
    const std::string comment = "ENCODER=Tellamo";
    tagsOut.Bytes("OpusTags");
    tagsOut.U32(static_cast<std::uint32_t>(vendor.size()));
    tagsOut.Bytes(vendor);
    tagsOut.U32(1);
    tagsOut.U32(static_cast<std::uint32_t>(comment.size()));
    tagsOut.Bytes(comment);
    stream.AddPacket(reinterpret_cast<const unsigned char*>(tags.data()), tags.size(), 0, true,
                     false);

    std::vector<opus_int16> frame;
    frame.reserve(static_cast<std::size_t>(frameSize));
    std::int64_t samplesIn = 0;
    std::int64_t packets = 0;
    std::array<unsigned char, 1500> packet{};
    // Sends the frame; the last one carries the granule of the note's true end, so that players
    // drop the padding after it (OpusHead's pre-skip drops the encoder's delay before it).
    auto encodeFrame = [&](bool last) {
        const int size = check(opus_encode(encoder.get(), frame.data(), frameSize, packet.data(),
                                           static_cast<opus_int32>(packet.size())),
                               "write");
        ++packets;
        const std::int64_t granule =
            last ? preSkip + samplesIn * granulePerSample : packets * frameSize * granulePerSample;
        stream.AddPacket(packet.data(), static_cast<std::size_t>(size), granule,
                         packets % PacketsPerPage == 0, last);
        frame.clear();
    };
    auto lastNeeded = [&] {
        // The encoder hands the sound back lookahead samples late: the note has been sent whole
        // once the frames cover its samples and that delay.
        return (packets + 1) * frameSize >= samplesIn + lookahead;
    };

    ReadNoteAsMono(
        source, static_cast<unsigned>(rate),
        [&](const std::int16_t* samples, std::size_t count) {
            for (std::size_t i = 0; i < count; ++i) {
                frame.push_back(samples[i]);
                if (frame.size() == static_cast<std::size_t>(frameSize)) {
                    encodeFrame(false);
                }
            }
            samplesIn += static_cast<std::int64_t>(count);
        },
        progress);
    for (;;) {
        const bool last = lastNeeded();
        frame.resize(static_cast<std::size_t>(frameSize), 0);
        encodeFrame(last);
        if (last) {
            break;
        }
    }
    file.Commit();
}

} // namespace tellamo
