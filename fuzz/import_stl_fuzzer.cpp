// Imports arbitrary bytes as an STL file: a shape or TImportError, never
// a crash, a hang or a leak.
#include <cstdint>
#include <string_view>

#include "formats/import.h"
#include "shape/state.h"
#include "shape/vane.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    VANE_SourceInitialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        TVANE_Object* shape = ImportStl(bytes);
        VANE->FreeSuf(shape);
    } catch (const TImportError&) {
    }
    return 0;
}
