// Imports arbitrary bytes as a mesh file of the format the build names
// (PLIVRA_IMPORT_OBJ, _GLTF, _PLY or _STL): a shape or TImportError, never
// a crash, a hang or a leak. A glTF input is read as the binary container
// when it begins with its magic; files outside the input are never read.
//
// OBJ inputs are also read again with tiny windows and pieces, from memory
// and as a stream given a few bytes at a time, which must give the same
// shape or the same message; and where the input is accepted, the faces'
// corners and resolved indices must be those tinyobjloader reads.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "formats/import.h"
#include "shape/state.h"
#include "shape/vane.h"

#if defined(PLIVRA_IMPORT_OBJ)
#include <tiny_obj_loader.h>

#include <sstream>
#endif

namespace {

#if !defined(PLIVRA_IMPORT_OBJ)
TVANE_Object* Import(std::string_view bytes) {
#if defined(PLIVRA_IMPORT_GLTF)
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
#endif

#if defined(PLIVRA_IMPORT_OBJ)

// Same names, kinds, attributes and values, bit for bit.
bool SameShape(const TVANE_Object* a, const TVANE_Object* b) {
    for (; a != nullptr && b != nullptr; a = a->Next, b = b->Next) {
        if (a->Name != b->Name || std::memcmp(&a->MinX, &b->MinX, 6 * sizeof(TPackedExtended)) != 0) return false;
        const TVANE_Polygon *p = a->Polygons, *q = b->Polygons;
        for (; p != nullptr && q != nullptr; p = p->Next, q = q->Next) {
            if (p->Kind != q->Kind || (p->Attribute == nullptr) != (q->Attribute == nullptr)) return false;
            if (p->Attribute != nullptr && p->Attribute->Name.Bytes() != q->Attribute->Name.Bytes()) return false;
            const TVANE_Vertex *v = p->Vertices, *w = q->Vertices;
            for (; v != nullptr && w != nullptr; v = v->Next, w = w->Next) {
                if (std::memcmp(&v->X, &w->X, 8 * sizeof(TPackedExtended)) != 0) return false;
            }
            if (v != w) return false;
        }
        if (p != q) return false;
    }
    return a == b;
}

// The shape or the message of one reading.
struct TOutcome {
    TVANE_Object* shape = nullptr;
    std::string message;
};

template <typename TRead>
TOutcome Outcome(TRead&& read) {
    TOutcome out;
    try {
        out.shape = read();
    } catch (const TImportError& error) {
        out.message = error.what();
    }
    return out;
}

void Expect(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "import_obj: %s\n", what);
        std::abort();
    }
}

// The faces tinyobjloader reads: corners per face, and per corner its
// position, texture coordinate and normal from 0 (SIZE_MAX when it has none).
struct TLibraryFaces {
    std::size_t positions = 0, uvs = 0, normals = 0;
    TObjFaces faces;
};

std::size_t FromObjIndex(int index, std::size_t entries) {
    if (index == 0) return SIZE_MAX;
    return index > 0 ? static_cast<std::size_t>(index - 1) : entries - static_cast<std::size_t>(-index);
}

TLibraryFaces LibraryFaces(std::string_view bytes) {
    TLibraryFaces out;
    tinyobj::callback_t callbacks;
    callbacks.vertex_cb = [](void* user, tinyobj::real_t, tinyobj::real_t, tinyobj::real_t, tinyobj::real_t) {
        ++static_cast<TLibraryFaces*>(user)->positions;
    };
    callbacks.texcoord_cb = [](void* user, tinyobj::real_t, tinyobj::real_t, tinyobj::real_t) {
        ++static_cast<TLibraryFaces*>(user)->uvs;
    };
    callbacks.normal_cb = [](void* user, tinyobj::real_t, tinyobj::real_t, tinyobj::real_t) {
        ++static_cast<TLibraryFaces*>(user)->normals;
    };
    callbacks.index_cb = [](void* user, tinyobj::index_t* corners, int count) {
        auto& r = *static_cast<TLibraryFaces*>(user);
        r.faces.Corners.push_back(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            r.faces.Indices.push_back(FromObjIndex(corners[i].vertex_index, r.positions));
            r.faces.Indices.push_back(FromObjIndex(corners[i].texcoord_index, r.uvs));
            r.faces.Indices.push_back(FromObjIndex(corners[i].normal_index, r.normals));
        }
    };
    std::istringstream stream{std::string(bytes)};
    std::string warning, failure;
    tinyobj::LoadObjWithCallback(stream, callbacks, &out, nullptr, &warning, &failure);
    return out;
}

// Our faces beside the library's: the same corners, positions, and texture
// coordinates and normals where the face's kind takes them (where every
// corner has them).
void CompareWithLibrary(std::string_view bytes, const TObjFaces& ours) {
    const TObjFaces theirs = LibraryFaces(bytes).faces;
    Expect(ours.Corners == theirs.Corners, "face corners differ from tinyobjloader's");
    Expect(ours.Indices.size() == theirs.Indices.size(), "corner count differs from tinyobjloader's");
    std::size_t at = 0;
    for (const std::size_t corners : ours.Corners) {
        for (std::size_t list = 1; list < 3; ++list) {
            bool all = true;
            for (std::size_t c = 0; c < corners; ++c) all = all && theirs.Indices[3 * (at + c) + list] != SIZE_MAX;
            for (std::size_t c = 0; c < corners; ++c) {
                const std::size_t want = all ? theirs.Indices[3 * (at + c) + list] : SIZE_MAX;
                Expect(ours.Indices[3 * (at + c) + list] == want, "a texture or normal index differs");
            }
        }
        for (std::size_t c = 0; c < corners; ++c)
            Expect(ours.Indices[3 * (at + c)] == theirs.Indices[3 * (at + c)], "a vertex index differs");
        at += corners;
    }
}

void CheckObj(std::string_view bytes) {
    TObjFaces faces;
    TOutcome whole = Outcome([&] { return ImportObjWithFaces(bytes, faces); });
    if (whole.shape != nullptr) CompareWithLibrary(bytes, faces);
    // Tiny windows and pieces, chosen by the first byte.
    const std::size_t window = ObjWindowBytes, piece = ObjPieceBytes;
    const unsigned first = bytes.empty() ? 0 : static_cast<unsigned char>(bytes[0]);
    ObjWindowBytes = 1 + first % 11;
    ObjPieceBytes = 1 + first / 11 % 5;
    std::size_t place = 0;
    TOutcome streamed = Outcome([&] {
        return ImportObjStream([&](char* into, std::size_t room) {
            const std::size_t n = std::min({room, bytes.size() - place, 1 + place % 3});
            std::memcpy(into, bytes.data() + place, n);
            place += n;
            return n;
        });
    });
    std::swap(ObjWindowBytes, ObjPieceBytes);
    TOutcome cut = Outcome([&] { return ImportObj(bytes); });
    ObjWindowBytes = window, ObjPieceBytes = piece;
    for (TOutcome* other : {&streamed, &cut}) {
        Expect(other->message == whole.message, "a message differs when read in small pieces");
        Expect(SameShape(other->shape, whole.shape), "a shape differs when read in small pieces");
        VANE->FreeSuf(other->shape);
    }
    VANE->FreeSuf(whole.shape);
}

#endif

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    VANE_SourceInitialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
#if defined(PLIVRA_IMPORT_OBJ)
    CheckObj(std::string_view(reinterpret_cast<const char*>(data), size));
#else
    try {
        TVANE_Object* shape = Import(std::string_view(reinterpret_cast<const char*>(data), size));
        VANE->FreeSuf(shape);
    } catch (const TImportError&) {
    }
#endif
    return 0;
}
