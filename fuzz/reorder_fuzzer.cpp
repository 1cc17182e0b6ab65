// Feeds arbitrary shape files to the reorder: the shape read, and a copy
// with its objects, polygons and corners in another order chosen by the
// input's bytes. Whatever order FindOrder finds must pair the copy with the
// shape as CheckCorrespondence demands, keep every record, and FindOrder
// must never crash or hang on what it refuses. Pairing on lanes changes
// nothing, and the target written in the order found from lines made ahead
// is the target relinked and saved. The shape read is written in another
// order alike from lines copied from its file and from lines formatted.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "app/morph_check.h"
#include "app/reorder.h"
#include "shape/placed.h"
#include "shape/probes.h"
#include "shape/state.h"
#include "shape/vane.h"

namespace {

std::string g_dir;

#define FUZZ_CHECK(cond)                                                                       \
    do {                                                                                       \
        if (!(cond)) {                                                                         \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #cond);  \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

template <typename T>
void Relink(T*& head, std::vector<T*>& records) {
    head = records.empty() ? nullptr : records[0];
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i]->Prev = i ? records[i - 1] : nullptr;
        records[i]->Next = i + 1 < records.size() ? records[i + 1] : nullptr;
    }
}

// Reverses the objects, the polygons of every other object, and rotates
// (and where the byte says so reverses) the corners of each polygon.
void Scramble(TVANE_Object*& shape, const std::uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    const auto byte = [&] { return size ? data[at++ % size] : std::uint8_t{0}; };
    std::vector<TVANE_Object*> objects;
    for (TVANE_Object* o = shape; o; o = o->Next) objects.push_back(o);
    for (std::size_t k = 0; k < objects.size(); ++k) {
        std::vector<TVANE_Polygon*> polygons;
        for (TVANE_Polygon* p = objects[k]->Polygons; p; p = p->Next) polygons.push_back(p);
        if (k % 2 == 0) std::reverse(polygons.begin(), polygons.end());
        for (TVANE_Polygon* p : polygons) {
            std::vector<TVANE_Vertex*> corners;
            for (TVANE_Vertex* v = p->Vertices; v; v = v->Next) corners.push_back(v);
            const std::uint8_t b = byte();
            if (!corners.empty()) std::rotate(corners.begin(), corners.begin() + b % corners.size(), corners.end());
            if (b & 0x80) std::reverse(corners.begin(), corners.end());
            Relink(p->Vertices, corners);
        }
        Relink(objects[k]->Polygons, polygons);
    }
    std::reverse(objects.begin(), objects.end());
    Relink(shape, objects);
}

std::size_t Records(const TVANE_Object* shape) {
    std::size_t n = 0;
    for (; shape; shape = shape->Next, ++n)
        for (const TVANE_Polygon* p = shape->Polygons; p; p = p->Next, ++n)
            for (const TVANE_Vertex* v = p->Vertices; v; v = v->Next) ++n;
    return n;
}

std::string ReadAll(const std::string& path) {
    std::string bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[65536];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, n);
        std::fclose(f);
    }
    return bytes;
}

// Saves SHAPE placed as the input's bytes say (objects backwards, corners
// rotated and reversed) from lines made with SOURCE (or none) into PATH;
// what it saved, or "(failed)".
std::string SavePlaced(const TVANE_Object* shape, const TSufSource* source, const std::string& path,
                       const std::uint8_t* data, std::size_t size) {
    std::vector<TPlacedObject> objects;
    std::vector<TPlacedPolygon> polygons;
    std::vector<std::vector<TPlacedPolygon>> of_object;
    std::uint32_t index = 0;
    for (const TVANE_Object* o = shape; o; o = o->Next) {
        objects.push_back({o, 0});
        of_object.emplace_back();
        for (const TVANE_Polygon* p = o->Polygons; p; p = p->Next, ++index) {
            const std::uint8_t b = size ? data[index % size] : 0;
            of_object.back().push_back({p, index, static_cast<std::uint32_t>(b % 5), (b & 0x40) != 0});
            ++objects.back().Polygons;
        }
    }
    std::reverse(objects.begin(), objects.end());
    for (auto it = of_object.rbegin(); it != of_object.rend(); ++it) polygons.insert(polygons.end(), it->begin(), it->end());
    TSufVertexLines lines(shape, source ? *source : TSufSource{});
    lines.FormatAside();
    lines.Finish();
    return SaveSufPlaced(path, lines, objects, polygons) ? ReadAll(path) : "(failed)" + SufErrorMessage;
}

const std::size_t kParallelPolygons = SufParallelPolygons;
const std::size_t kPiecePolygons = SufPiecePolygons;
const std::size_t kLayoutPolygons = ReorderLayoutPolygons;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    VANE_SourceInitialize();
    const char* tmp = std::getenv("TMPDIR");
    if (tmp == nullptr) tmp = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(tmp) + "/plivra-reorder-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    g_dir = pattern;
    std::atexit([] {
        for (const char* name : {"/in.suf", "/placed.suf", "/relinked.suf"}) std::remove((g_dir + name).c_str());
        rmdir(g_dir.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = g_dir + "/in.suf";
    FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
    FUZZ_CHECK(std::fclose(f) == 0);
    TVANE_Object* shape = nullptr;
    // Read in small pieces, as a large file is, noting where its lines stand.
    TSufSource source;
    const std::size_t core_bytes = SufCoreReadBytes, piece_bytes = SufReadPieceBytes;
    SufCoreReadBytes = 0;
    SufReadPieceBytes = 48;
    try {
        shape = LoadSufKeepingSource(path, source);
    } catch (const std::exception&) {
        shape = nullptr;  // a value that is not a number: the load fuzzer's business
    }
    SufCoreReadBytes = core_bytes;
    SufReadPieceBytes = piece_bytes;
    if (shape == nullptr) return 0;
    {
        const std::string placed = g_dir + "/placed.suf";
        SufPiecePolygons = 1 + size % 3;
        const std::string copied = SavePlaced(shape, &source, placed, data, size);
        FUZZ_CHECK(copied == SavePlaced(shape, nullptr, placed, data, size));
        SufPiecePolygons = kPiecePolygons;
    }
    TVANE_Object* copy = VANE->CopySuf(shape);
    Scramble(copy, data, size);
    const std::size_t records = Records(copy);

    // Laid out in space and paired on lanes, as large shapes are: the lanes
    // (objects walked ahead among them) change nothing of what is found.
    SufParallelPolygons = 1;
    ReorderLayoutPolygons = 1;
    const TReorderResult laned = FindOrder(shape, copy);
    SufParallelPolygons = kParallelPolygons;
    const TReorderResult order = FindOrder(shape, copy);
    ReorderLayoutPolygons = kLayoutPolygons;
    FUZZ_CHECK(laned.Failure == order.Failure && laned.Place.Object == order.Place.Object &&
               laned.Place.Polygon == order.Place.Polygon && laned.Place.Vertex == order.Place.Vertex);
    FUZZ_CHECK(laned.AmbiguousChoices == order.AmbiguousChoices && laned.TargetPolygons.size() == order.TargetPolygons.size());
    for (std::size_t k = 0; k < order.TargetPolygons.size(); ++k) {
        const TPlacedPolygon &a = laned.TargetPolygons[k], &b = order.TargetPolygons[k];
        FUZZ_CHECK(a.Polygon == b.Polygon && a.Index == b.Index && a.First == b.First && a.Reversed == b.Reversed);
    }
    if (order.Found()) {
        // Written from lines made ahead, OUT holds the bytes of the target
        // relinked and saved.
        const std::string placed = g_dir + "/placed.suf", relinked = g_dir + "/relinked.suf";
        bool saved = false;
        {
            TSufVertexLines lines(copy);
            lines.FormatAside();
            lines.Finish();
            saved = SaveSufPlaced(placed, lines, order.TargetObjects, order.TargetPolygons);
        }
        ApplyOrder(copy, order);
        FUZZ_CHECK(Records(copy) == records);
        const TCorrespondence check = CheckCorrespondence(shape, copy);
        FUZZ_CHECK(check.Corresponds() && check.ConnectivityAgrees());
        FUZZ_CHECK(VANE->SaveSuf(relinked, copy) == saved);
        FUZZ_CHECK(!saved || ReadAll(placed) == ReadAll(relinked));
    }
    VANE->FreeSuf(copy);
    VANE->FreeSuf(shape);
    return 0;
}
