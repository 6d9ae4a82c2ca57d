#include "export/OggOpus.h"

#include <memory>
#include <stdexcept>

#include <opus/opusenc.h>

#include "audio/WavFormat.h"
#include "common/Errors.h"
#include "export/NoteAudio.h"

namespace tellamo {

namespace {
struct EncoderDeleter {
    void operator()(OggOpusEnc* e) const { ope_encoder_destroy(e); }
};
struct CommentsDeleter {
    void operator()(OggOpusComments* c) const { ope_comments_destroy(c); }
};

// The encoder writes from inside C code, where no exception may pass: a failed write is kept
// here and thrown once the library has returned.
struct Output {
    StagedFile* File;
    std::exception_ptr Failure;
};

int WritePage(void* user, const unsigned char* data, opus_int32 length) {
    auto* out = static_cast<Output*>(user);
    try {
        out->File->Write(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
        return 0;
    } catch (...) {
        out->Failure = std::current_exception();
        return 1;
    }
}

int CloseNothing(void*) {
    return 0; // the StagedFile closes and commits the file itself
}
} // namespace

void EncodeOggOpus(FileSystem& fileSystem, const std::string& source, const std::string& target,
                   const WorkProgress& progress) {
    const WaveInfo info = ReadWaveHeader(source);
    StagedFile file(fileSystem, target);
    Output out{&file, nullptr};
    auto check = [&](int result, const char* what) {
        if (out.Failure) {
            std::rethrow_exception(out.Failure);
        }
        if (result != OPE_OK) {
            throw TellamoError("Cannot encode \"" + source + "\" as Ogg Opus (" + what +
                               "): " + ope_strerror(result));
        }
    };

    std::unique_ptr<OggOpusComments, CommentsDeleter> comments(ope_comments_create());
    if (!comments) {
        throw std::bad_alloc();
    }
    ope_comments_add(comments.get(), "ENCODER", "Tellamo");
    const OpusEncCallbacks callbacks{WritePage, CloseNothing};
    int error = OPE_OK;
    std::unique_ptr<OggOpusEnc, EncoderDeleter> encoder(ope_encoder_create_callbacks(
        &callbacks, &out, comments.get(), info.SampleRate, 1, 0, &error));
    check(encoder ? OPE_OK : error, "set-up");
    check(ope_encoder_ctl(encoder.get(), OPUS_SET_BITRATE(OggOpusBitRate)), "bit rate");
    check(ope_encoder_ctl(encoder.get(), OPUS_SET_SIGNAL(OPUS_SIGNAL_VOICE)), "signal");
    // The middle of the encoder's range: about a third of the highest setting's time for speech
    // that sounds much the same at this rate, so that an hour's note is saved in seconds.
    check(ope_encoder_ctl(encoder.get(), OPUS_SET_COMPLEXITY(OggOpusComplexity)), "complexity");

    ReadNoteAsMono(
        source, 0,
        [&](const std::int16_t* samples, std::size_t count) {
            check(ope_encoder_write(encoder.get(), samples, static_cast<int>(count)), "write");
        },
        progress);
    check(ope_encoder_drain(encoder.get()), "end");
    encoder.reset();
    file.Commit();
}

} // namespace tellamo
