// libFuzzer target for the index file reader: any bytes load without a crash or undefined
// behaviour, and whatever the catalogue holds afterwards (all of a sound file, or what could be
// read before the damage, repaired as a load repairs it) saves into bytes that load back into
// the same catalogue.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "catalogue/Catalogue.h"
#include "catalogue/IndexFile.h"
#include "common/Errors.h"
#include "common/FileSystem.h"

namespace {

// The storage folder is never touched: the catalogue is only parsed, repaired and serialised.
tellamo::Catalogue NewCatalogue() {
    return tellamo::Catalogue(tellamo::Storage("/nonexistent", "My Voice Notes", "ReadMe.txt"),
                              "Notes", "Recycle Bin", tellamo::RealFileSystem());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tellamo;
    Catalogue first = NewCatalogue();
    try {
        ParseCatalogue(std::string_view(reinterpret_cast<const char*>(data), size), first);
    } catch (const TellamoError&) {
        // damaged: what was read stays, as in a load
    }
    first.RepairAfterLoad();
    const std::string saved = SerializeCatalogue(first);

    Catalogue second = NewCatalogue();
    try {
        ParseCatalogue(saved, second);
    } catch (const TellamoError&) {
        std::abort(); // a saved catalogue must load
    }
    second.RepairAfterLoad();
    if (SerializeCatalogue(second) != saved) {
        std::abort(); // ... and load back the same
    }
    return 0;
}
