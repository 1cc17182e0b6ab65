#pragma once
// Helpers shared by the shape tests: temporary files, a holder that releases
// a shape list, and a plain-text dump of a shape list for comparisons.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "shape/records.h"
#include "shape/owner.h"
#include "shape/vane.h"

namespace test_util {

// A fresh directory under the system's temporary folder, removed with its
// content when the object goes.
class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "plivra-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string Path(std::string_view name) const { return (path_ / name).string(); }
    const std::filesystem::path& Root() const { return path_; }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Owns a shape list for the length of a test.
using Shape = TShapePtr;

// Loads shape files written into a fresh folder; every list loaded is
// released when the object goes.
class ShapeFiles {
public:
    // Writes `bytes` to the file `name` of the folder and loads it.
    TVANE_Object* Load(std::string_view bytes, std::string_view name = "in.suf") {
        std::string path = dir.Path(name);
        WriteFile(path, bytes);
        held_.emplace_back(VANE->LoadSuf(path));
        return held_.back().get();
    }

    TempDir dir;

private:
    std::vector<Shape> held_;
};

inline std::string Value(Extended v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.21Lg", v);
    return buf;
}

// One line per object, polygon and vertex: names, kinds, attribute names,
// Marked flags and every value in full precision. Also checks the back links.
inline std::string Dump(const TVANE_Object* shape) {
    std::string out;
    const TVANE_Object* prev_obj = nullptr;
    for (const TVANE_Object* o = shape; o != nullptr; prev_obj = o, o = o->Next) {
        out += "obj '" + o->Name + "'";
        if (o->Prev != prev_obj) out += " BAD-PREV";
        out += "\n";
        const TVANE_Polygon* prev_poly = nullptr;
        for (const TVANE_Polygon* p = o->Polygons; p != nullptr; prev_poly = p, p = p->Next) {
            out += " prim " + std::to_string(p->Kind) + " marked " + std::to_string(p->Marked) +
                   " atr " + (p->Attribute ? "'" + p->Attribute->Name.Bytes() + "'" : std::string("-"));
            if (p->Prev != prev_poly) out += " BAD-PREV";
            out += "\n";
            const TVANE_Vertex* prev_v = nullptr;
            for (const TVANE_Vertex* v = p->Vertices; v != nullptr; prev_v = v, v = v->Next) {
                out += "  ";
                for (Extended x : {v->X, v->Y, v->Z, v->NX, v->NY, v->NZ, v->U, v->V}) {
                    out += Value(x) + " ";
                }
                out += "m" + std::to_string(v->Marked);
                if (v->Prev != prev_v) out += " BAD-PREV";
                out += "\n";
            }
        }
    }
    return out;
}

inline std::string Extents(const TVANE_Object* o) {
    return Value(o->MinX) + " " + Value(o->MinY) + " " + Value(o->MinZ) + " / " +
           Value(o->MaxX) + " " + Value(o->MaxY) + " " + Value(o->MaxZ);
}

}  // namespace test_util
