// Imports arbitrary bytes as a mesh file of the format the build names
// (PLIVRA_IMPORT_OBJ, _GLTF, _PLY or _STL): a shape or TImportError, never
// a crash, a hang or a leak. A glTF input is read as the binary container
// when it begins with its magic; files outside the input are never read.
#include <cstdint>
#include <string_view>

#include "formats/import.h"
#include "shape/state.h"
#include "shape/vane.h"

namespace {

TVANE_Object* Import(std::string_view bytes) {
#if defined(PLIVRA_IMPORT_OBJ)
    return ImportObj(bytes);
#elif defined(PLIVRA_IMPORT_GLTF)
    // With every morph target built as a shape of its own.
    return ImportGltfShapes(bytes, bytes.substr(0, 4) == "glTF", nullptr, true).Base.release();
#elif defined(PLIVRA_IMPORT_PLY)
    return ImportPly(bytes);
#elif defined(PLIVRA_IMPORT_STL)
    return ImportStl(bytes);
#else
#error "name the format to fuzz: PLIVRA_IMPORT_OBJ, _GLTF, _PLY or _STL"
#endif
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    VANE_SourceInitialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        TVANE_Object* shape = Import(std::string_view(reinterpret_cast<const char*>(data), size));
        VANE->FreeSuf(shape);
    } catch (const TImportError&) {
    }
    return 0;
}
