#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "transcript/Recogniser.h"

struct ps_decoder_s;
struct cmd_ln_s;

namespace tellamo {

// CMU PocketSphinx 5prealpha with its US English model (Debian package pocketsphinx-en-us).
// Silence removal is off: it shifts the word times. The model takes about 0.3 s of CPU and
// some 100 MB to load, so a worker loads it once and keeps it while it has work.
class PocketSphinxRecogniser final : public Recogniser {
public:
    // Where Debian installs the model: the acoustic model "en-us", "en-us.lm.bin" and
    // "cmudict-en-us.dict".
    static std::string DefaultModelFolder();
    // Whether the model's three parts are there to be loaded.
    static bool ModelInstalled(const std::string& modelFolder = DefaultModelFolder());
    // What the user is told when the model is missing.
    static std::string MissingModelText();

    // Loads the model; throws TellamoError with MissingModelText or the decoder's failure.
    // withAlternatives: also report the lattice's other words with their posteriors.
    // decoderSettings: decoder switches over the program's, as name and value ("-beam",
    // "1e-60"), for the benchmarks that weigh them; one the decoder does not know is refused
    // with TellamoError.
    using DecoderSettings = std::vector<std::pair<std::string, std::string>>;
    explicit PocketSphinxRecogniser(const std::string& modelFolder = DefaultModelFolder(),
                                    bool withAlternatives = false,
                                    const DecoderSettings& decoderSettings = {});
    ~PocketSphinxRecogniser() override;
    PocketSphinxRecogniser(const PocketSphinxRecogniser&) = delete;
    PocketSphinxRecogniser& operator=(const PocketSphinxRecogniser&) = delete;

    Recognition Recognise(const std::int16_t* samples, std::size_t count) override;

private:
    std::vector<std::string> mArguments; // the decoder's switches, which mConfig points into
    cmd_ln_s* mConfig = nullptr;
    ps_decoder_s* mDecoder = nullptr;
    bool mWithAlternatives = false;
};

} // namespace tellamo
