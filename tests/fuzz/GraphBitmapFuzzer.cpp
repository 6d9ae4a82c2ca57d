// libFuzzer target for the graph file loader: any bytes are either refused with an error or
// give a picture that saves into a file which loads back as the same picture.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/Errors.h"
#include "dictaphone/GraphBitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tellamo;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const GraphBitmap bitmap = DecodeGraphFile(bytes, "fuzz.bmp");
        if (!(DecodeGraphFile(EncodeGraphFile(bitmap), "again.bmp") == bitmap)) {
            std::abort();
        }
    } catch (const TellamoError&) {
    }
    return 0;
}
