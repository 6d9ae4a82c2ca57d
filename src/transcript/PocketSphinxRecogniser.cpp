#include "transcript/PocketSphinxRecogniser.h"

#include <algorithm>
#include <climits>

#include <pocketsphinx.h>
#include <sys/stat.h>

#include "common/Errors.h"

namespace tellamo {

namespace {

constexpr std::int64_t MsPerFrame = 10; // the model's 100 frames per second

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Sentence marks, silence and noise fillers are not words of the transcript.
bool IsFiller(const char* word) {
    return word == nullptr || word[0] == '\0' || word[0] == '<' || word[0] == '[' || word[0] == '+';
}

// "read(2)" is the second pronunciation of "read".
std::string BaseWord(const char* word) {
    std::string text(word);
    const std::size_t paren = text.find('(');
    if (paren != std::string::npos && paren > 0 && text.back() == ')') {
        text.erase(paren);
    }
    return text;
}

} // namespace

std::string PocketSphinxRecogniser::DefaultModelFolder() {
    return "/usr/share/pocketsphinx/model/en-us";
}

bool PocketSphinxRecogniser::ModelInstalled(const std::string& modelFolder) {
    return Exists(modelFolder + "/en-us/mdef") && Exists(modelFolder + "/en-us.lm.bin") &&
           Exists(modelFolder + "/cmudict-en-us.dict");
}

std::string PocketSphinxRecogniser::MissingModelText() {
    return "Notes cannot be transcribed: the English speech model is not installed (Debian "
           "package pocketsphinx-en-us).";
}

PocketSphinxRecogniser::PocketSphinxRecogniser(const std::string& modelFolder,
                                               bool withAlternatives,
                                               const DecoderSettings& decoderSettings)
    : mWithAlternatives(withAlternatives) {
    if (!ModelInstalled(modelFolder)) {
        throw TellamoError(MissingModelText());
    }
    const std::string hmm = modelFolder + "/en-us";
    const std::string lm = modelFolder + "/en-us.lm.bin";
    const std::string dict = modelFolder + "/cmudict-en-us.dict";
    // A wider beam in the second pass than the decoder's 1e-64: fewer word errors and more
    // keywords at 16 kHz and 11,025 Hz for about a tenth more CPU (transcribe_bench's
    // KeywordSweep).
    mArguments = {
        "-hmm",   hmm,         "-lm",          lm,     "-dict", dict, "-remove_silence", "no",
        "-logfn", "/dev/null", "-fwdflatbeam", "1e-70"};
    for (const auto& [name, value] : decoderSettings) {
        std::size_t at = 0;
        while (at < mArguments.size() && mArguments[at] != name) {
            at += 2; // names at the even places, each followed by its value
        }
        if (at < mArguments.size()) {
            mArguments[at + 1] = value;
        } else {
            mArguments.push_back(name);
            mArguments.push_back(value);
        }
    }
    // The settings keep pointers into these strings, which therefore live as long as they do
    // and are not touched again.
    std::vector<char*> argv;
    argv.reserve(mArguments.size());
    for (std::string& argument : mArguments) {
        argv.push_back(argument.data());
    }
    mConfig =
        cmd_ln_parse_r(nullptr, ps_args(), static_cast<int32>(argv.size()), argv.data(), TRUE);
    if (mConfig == nullptr) {
        throw TellamoError("The speech recogniser refused its settings");
    }
    mDecoder = ps_init(mConfig);
    if (mDecoder == nullptr) {
        cmd_ln_free_r(mConfig);
        throw TellamoError("The speech model in \"" + modelFolder + "\" could not be loaded");
    }
}

PocketSphinxRecogniser::~PocketSphinxRecogniser() {
    ps_free(mDecoder);
    cmd_ln_free_r(mConfig);
}

Recognition PocketSphinxRecogniser::Recognise(const std::int16_t* samples, std::size_t count) {
    Recognition result;
    if (ps_start_utt(mDecoder) < 0) {
        throw TellamoError("The speech recogniser could not start");
    }
    // Whole, in one call: fed in small blocks the decoder's feature normalisation starts from
    // its defaults and recognises worse.
    while (count > 0) {
        const std::size_t part = std::min<std::size_t>(count, INT_MAX / 2);
        if (ps_process_raw(mDecoder, samples, part, FALSE, TRUE) < 0) {
            ps_end_utt(mDecoder);
            throw TellamoError("The speech recogniser failed on the sound");
        }
        samples += part;
        count -= part;
    }
    if (ps_end_utt(mDecoder) < 0) {
        throw TellamoError("The speech recogniser failed at the end of the sound");
    }
    int32 score = 0;
    if (ps_get_hyp(mDecoder, &score) == nullptr) {
        return result; // nothing heard
    }
    logmath_t* logMath = ps_get_logmath(mDecoder);
    if (mWithAlternatives) {
        ps_get_prob(mDecoder); // computes the lattice's posteriors
    }
    for (ps_seg_t* seg = ps_seg_iter(mDecoder); seg != nullptr; seg = ps_seg_next(seg)) {
        const char* word = ps_seg_word(seg);
        if (IsFiller(word)) {
            continue;
        }
        int startFrame = 0;
        int endFrame = 0;
        ps_seg_frames(seg, &startFrame, &endFrame);
        int32 acoustic = 0;
        int32 language = 0;
        int32 backoff = 0;
        const int32 posterior = ps_seg_prob(seg, &acoustic, &language, &backoff);
        result.Best.push_back({BaseWord(word), startFrame * MsPerFrame, (endFrame + 1) * MsPerFrame,
                               mWithAlternatives ? logmath_exp(logMath, posterior) : 1.0});
    }
    if (!mWithAlternatives) {
        return result;
    }
    ps_lattice_t* lattice = ps_get_lattice(mDecoder);
    if (lattice == nullptr) {
        return result;
    }
    logmath_t* latticeMath = ps_lattice_get_logmath(lattice);
    for (ps_latnode_iter_t* it = ps_latnode_iter(lattice); it != nullptr;
         it = ps_latnode_iter_next(it)) {
        ps_latnode_t* node = ps_latnode_iter_node(it);
        const char* word = ps_latnode_baseword(lattice, node);
        if (IsFiller(word)) {
            continue;
        }
        int16 firstEnd = 0;
        int16 lastEnd = 0;
        const int startFrame = ps_latnode_times(node, &firstEnd, &lastEnd);
        ps_latlink_t* link = nullptr;
        const double posterior = logmath_exp(latticeMath, ps_latnode_prob(lattice, node, &link));
        result.Alternatives.push_back(
            {BaseWord(word), startFrame * MsPerFrame, (lastEnd + 1) * MsPerFrame, posterior});
    }
    std::sort(result.Alternatives.begin(), result.Alternatives.end(),
              [](const RecognisedWord& a, const RecognisedWord& b) {
                  return a.StartMs != b.StartMs ? a.StartMs < b.StartMs : a.Posterior > b.Posterior;
              });
    return result;
}

} // namespace tellamo
