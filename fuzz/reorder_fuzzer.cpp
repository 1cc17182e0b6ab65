// Feeds arbitrary shape files to the reorder: the shape read, and a copy
// with its objects, polygons and corners in another order chosen by the
// input's bytes. Whatever order FindOrder finds must pair the copy with the
// shape as CheckCorrespondence demands, keep every record, and FindOrder
// must never crash or hang on what it refuses.
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

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    VANE_SourceInitialize();
    const char* tmp = std::getenv("TMPDIR");
    if (tmp == nullptr) tmp = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(tmp) + "/plivra-reorder-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    g_dir = pattern;
    std::atexit([] {
        std::remove((g_dir + "/in.suf").c_str());
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
    try {
        shape = VANE->LoadSuf(path);
    } catch (const std::exception&) {
        return 0;  // a value that is not a number: the load fuzzer's business
    }
    if (shape == nullptr) return 0;
    TVANE_Object* copy = VANE->CopySuf(shape);
    Scramble(copy, data, size);
    const std::size_t records = Records(copy);

    const TReorderResult order = FindOrder(shape, copy);
    if (order.Found()) {
        ApplyOrder(copy, order);
        FUZZ_CHECK(Records(copy) == records);
        const TCorrespondence check = CheckCorrespondence(shape, copy);
        FUZZ_CHECK(check.Corresponds() && check.ConnectivityAgrees());
    }
    VANE->FreeSuf(copy);
    VANE->FreeSuf(shape);
    return 0;
}
