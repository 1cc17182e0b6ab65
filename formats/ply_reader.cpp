// PLY reader, ASCII and binary of either byte order. The "vertex" element
// gives positions (x y z), normals (nx ny nz) and texture coordinates (u v,
// s t, texture_u texture_v or texture_s texture_t); the "face" element's
// list "vertex_indices" (or "vertex_index") the polygons. Other elements and
// properties are read past unchecked. Rows count from 0 in messages
// ("vertex 17", "face 3"), as the file's own vertex indices do.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "formats/import.h"
#include "formats/text_scan.h"

namespace {

enum class TFormat { kAscii, kLittle, kBig };

enum TType : std::uint8_t { kInt8, kUint8, kInt16, kUint16, kInt32, kUint32, kFloat32, kFloat64 };

constexpr std::size_t kSizes[] = {1, 1, 2, 2, 4, 4, 4, 8};

struct TProperty {
    std::string name;
    TType type = kFloat32;
    bool list = false;
    TType count_type = kUint8;
};

struct TElement {
    std::string name;
    std::uint64_t count = 0;
    std::vector<TProperty> properties;
};

[[noreturn]] void Fail(const std::string& what) { throw TImportError(what); }

bool TypeOf(std::string_view word, TType& type) {
    struct Name {
        const char* a;
        const char* b;
        TType type;
    };
    static constexpr Name kNames[] = {{"char", "int8", kInt8},     {"uchar", "uint8", kUint8},
                                      {"short", "int16", kInt16},  {"ushort", "uint16", kUint16},
                                      {"int", "int32", kInt32},    {"uint", "uint32", kUint32},
                                      {"float", "float32", kFloat32}, {"double", "float64", kFloat64}};
    for (const Name& n : kNames) {
        if (word == n.a || word == n.b) {
            type = n.type;
            return true;
        }
    }
    return false;
}

// Reads the values of the body, one at a time, in the file's format.
class TBody {
public:
    // The body begins at `start` of the file's bytes, on line `line`.
    TBody(std::string_view bytes, std::size_t start, std::size_t line, TFormat format)
        : bytes_(bytes), words_(bytes, start, line), format_(format), pos_(start) {}

    // The next value widened to double. Binary values come as they are,
    // NaN and the infinities too: the caller checks the values it uses.
    double Value(TType type, const char* what) {
        if (format_ == TFormat::kAscii) {
            if (type == kFloat32 || type == kFloat64) return words_.Number(what);
            const std::string_view word = words_.Need(what);
            long long v = 0;
            std::size_t i = word[0] == '-' ? 1 : 0;
            if (i == word.size() || word.size() > 12) words_.Fail(Quoted(word) + " is not a whole number");
            for (; i < word.size(); ++i) {
                if (word[i] < '0' || word[i] > '9') words_.Fail(Quoted(word) + " is not a whole number");
                v = v * 10 + (word[i] - '0');
            }
            return static_cast<double>(word[0] == '-' ? -v : v);
        }
        const std::size_t size = kSizes[type];
        if (bytes_.size() - pos_ < size) Fail(std::string("ends early, in ") + what);
        unsigned char b[8];
        std::memcpy(b, bytes_.data() + pos_, size);
        pos_ += size;
        if ((format_ == TFormat::kBig) == (std::endian::native == std::endian::little)) {
            for (std::size_t i = 0; i < size / 2; ++i) std::swap(b[i], b[size - 1 - i]);
        }
        double value = 0;
        switch (type) {
        case kInt8: value = static_cast<std::int8_t>(b[0]); break;
        case kUint8: value = b[0]; break;
        case kInt16: value = Load<std::int16_t>(b); break;
        case kUint16: value = Load<std::uint16_t>(b); break;
        case kInt32: value = Load<std::int32_t>(b); break;
        case kUint32: value = Load<std::uint32_t>(b); break;
        case kFloat32: value = Load<float>(b); break;
        case kFloat64: value = Load<double>(b); break;
        }
        return value;
    }

    // Passes over Count values of Type that nothing uses, unchecked.
    void Skip(TType type, std::uint64_t count, const char* what) {
        if (format_ == TFormat::kAscii) {
            for (std::uint64_t i = 0; i < count; ++i) words_.Need(what);
            return;
        }
        if (count > Left() / kSizes[type]) Fail(std::string("ends early, in ") + what);
        pos_ += static_cast<std::size_t>(count) * kSizes[type];
    }

    bool Ascii() const { return format_ == TFormat::kAscii; }
    // Bytes of the body not read yet.
    std::size_t Left() const { return bytes_.size() - (Ascii() ? words_.Offset() : pos_); }

private:
    template <typename T>
    static T Load(const unsigned char* b) {
        T v;
        std::memcpy(&v, b, sizeof v);
        return v;
    }

    std::string_view bytes_;
    TWordScanner words_;
    TFormat format_;
    std::size_t pos_ = 0;
};

// Where each value the shape needs stands among a vertex's properties; -1
// when the file has none.
struct TVertexLayout {
    int field[8] = {-1, -1, -1, -1, -1, -1, -1, -1};  // x y z nx ny nz u v

    explicit TVertexLayout(const TElement& e) {
        static constexpr const char* kNames[8][4] = {
            {"x"}, {"y"}, {"z"}, {"nx"}, {"ny"}, {"nz"},
            {"u", "s", "texture_u", "texture_s"}, {"v", "t", "texture_v", "texture_t"}};
        for (std::size_t p = 0; p < e.properties.size(); ++p) {
            for (int f = 0; f < 8; ++f) {
                for (const char* n : kNames[f]) {
                    if (n != nullptr && e.properties[p].name == n && !e.properties[p].list)
                        field[f] = static_cast<int>(p);
                }
            }
        }
        if (field[0] < 0 || field[1] < 0 || field[2] < 0) Fail("the vertices have no x, y and z");
    }
    bool Normals() const { return field[3] >= 0 && field[4] >= 0 && field[5] >= 0; }
    bool Uvs() const { return field[6] >= 0 && field[7] >= 0; }
};

}  // namespace

TVANE_Object* ImportPly(std::string_view Bytes) {
    // The header: lines of words up to "end_header".
    TWordScanner header(Bytes);
    if (header.Next() != "ply") Fail("not a PLY file (no 'ply' at the start)");
    TFormat format = TFormat::kAscii;
    std::vector<TElement> elements;
    bool formatted = false;
    for (;;) {
        const std::string_view word = header.Need("the header");
        if (word == "end_header") break;
        if (word == "format") {
            const std::string_view name = header.Need("the header");
            if (name == "ascii") format = TFormat::kAscii;
            else if (name == "binary_little_endian") format = TFormat::kLittle;
            else if (name == "binary_big_endian") format = TFormat::kBig;
            else header.Fail("unknown format " + Quoted(name));
            header.RestOfLine();
            formatted = true;
        } else if (word == "element") {
            TElement e;
            e.name = header.Need("the header");
            const std::string_view count = header.Need("the header");
            for (char c : count) {
                if (c < '0' || c > '9' || count.size() > 15) header.Fail("bad element count " + Quoted(count));
                e.count = e.count * 10 + static_cast<std::uint64_t>(c - '0');
            }
            elements.push_back(e);
        } else if (word == "property") {
            if (elements.empty()) header.Fail("a property before any element");
            TProperty p;
            std::string_view type = header.Need("the header");
            if (type == "list") {
                p.list = true;
                if (!TypeOf(header.Need("the header"), p.count_type) || p.count_type == kFloat32 ||
                    p.count_type == kFloat64)
                    header.Fail("bad list count type");
                type = header.Need("the header");
            }
            if (!TypeOf(type, p.type)) header.Fail("unknown property type " + Quoted(type));
            p.name = header.Need("the header");
            elements.back().properties.push_back(p);
        } else if (word == "comment" || word == "obj_info") {
            header.RestOfLine();
        } else {
            header.Fail("unknown header word " + Quoted(word));
        }
    }
    if (!formatted) Fail("the header names no format");
    // The body starts after the line end of "end_header".
    std::size_t body = header.Offset();
    while (body < Bytes.size() && (Bytes[body] == ' ' || Bytes[body] == '\t')) ++body;
    if (body < Bytes.size() && Bytes[body] == '\r') ++body;
    if (body < Bytes.size() && Bytes[body] == '\n') ++body;

    TBody values(Bytes, body, header.Line() + 1, format);
    std::vector<double> vertices;  // 8 per vertex
    std::vector<std::uint32_t> corners, starts;
    std::uint64_t vertex_count = 0;
    bool normals = false, uvs = false, have_vertices = false;
    for (const TElement& e : elements) {
        const bool is_vertex = e.name == "vertex" && !have_vertices;
        const bool is_face = e.name == "face";
        int face_list = -1;
        for (std::size_t p = 0; p < e.properties.size(); ++p) {
            if (e.properties[p].list && (e.properties[p].name == "vertex_indices" || e.properties[p].name == "vertex_index"))
                face_list = static_cast<int>(p);
        }
        if (is_face && face_list < 0) Fail("the faces have no list vertex_indices");
        // An element without properties takes no bytes, however many it counts.
        if (e.properties.empty()) continue;
        // The fewest bytes a row takes: in binary each value its size (a list
        // its count), in text a digit and a blank ("0 ") per value, the last
        // one of the file maybe without its blank.
        std::size_t row_bytes = 0;
        for (const TProperty& p : e.properties) row_bytes += values.Ascii() ? 2 : kSizes[p.list ? p.count_type : p.type];
        if (e.count > (values.Left() + (values.Ascii() ? 1 : 0)) / row_bytes)
            Fail("element " + e.name + " counts more than the file holds");
        std::vector<bool> used(e.properties.size(), false);
        const TVertexLayout* layout = nullptr;
        std::optional<TVertexLayout> vertex_layout;
        if (is_vertex) {
            vertex_layout.emplace(e);
            layout = &*vertex_layout;
            normals = layout->Normals();
            uvs = layout->Uvs();
            vertex_count = e.count;
            have_vertices = true;
            for (int f = 0; f < 8; ++f) {
                if ((f < 3 || (f < 6 && normals) || (f >= 6 && uvs))) used[static_cast<std::size_t>(layout->field[f])] = true;
            }
        }
        const std::string what = "element " + e.name;
        std::vector<double> row(e.properties.size());
        for (std::uint64_t i = 0; i < e.count; ++i) {
            for (std::size_t p = 0; p < e.properties.size(); ++p) {
                const TProperty& prop = e.properties[p];
                if (!prop.list) {
                    if (used[p]) row[p] = values.Value(prop.type, what.c_str());
                    else values.Skip(prop.type, 1, what.c_str());
                    continue;
                }
                const double n = values.Value(prop.count_type, what.c_str());
                if (n < 0) Fail("a list of " + e.name + " has a negative length");
                const auto length = static_cast<std::uint64_t>(n);
                if (!is_face || static_cast<int>(p) != face_list) {
                    values.Skip(prop.type, length, what.c_str());
                    continue;
                }
                starts.push_back(static_cast<std::uint32_t>(corners.size()));
                for (std::uint64_t k = 0; k < length; ++k) {
                    const double index = values.Value(prop.type, what.c_str());
                    if (!(index >= 0 && index == std::floor(index) && index < 4294967295.0))
                        Fail("face " + std::to_string(starts.size() - 1) + " names no vertex");
                    corners.push_back(static_cast<std::uint32_t>(index));
                }
            }
            if (layout == nullptr) continue;
            for (int f = 0; f < 8; ++f) {
                const int field = layout->field[f];
                if (field < 0 || !used[static_cast<std::size_t>(field)]) {
                    vertices.push_back(0.0);
                    continue;
                }
                const double value = row[static_cast<std::size_t>(field)];
                // Binary values come unchecked; a shape file holds neither NaN
                // nor what rounds past the largest double at 15 digits.
                if (!Writable(value))
                    Fail("vertex " + std::to_string(i) + ": " + e.properties[static_cast<std::size_t>(field)].name +
                         (std::isfinite(value) ? " is too large for a shape file" : " is not finite"));
                vertices.push_back(value);
            }
        }
    }
    if (!have_vertices) Fail("holds no vertex element");

    TShapeBuilder builder;
    const std::uint8_t kind = normals ? (uvs ? kKindUvShade : kKindShade) : (uvs ? kKindUvPoly : kKindPoly);
    starts.push_back(static_cast<std::uint32_t>(corners.size()));
    for (std::size_t f = 0; f + 1 < starts.size(); ++f) {
        builder.BeginPolygon(kind, "");
        for (std::uint32_t c = starts[f]; c < starts[f + 1]; ++c) {
            const std::uint64_t k = corners[c];
            if (k >= vertex_count)
                Fail("face " + std::to_string(f) + " names vertex " + std::to_string(k) + " of " +
                     std::to_string(vertex_count));
            const double* v = &vertices[8 * k];
            TVANE_Vertex out;
            out.X = v[0], out.Y = v[1], out.Z = v[2], out.NX = v[3], out.NY = v[4], out.NZ = v[5];
            out.U = v[6], out.V = v[7];
            builder.AddVertex(out);
        }
    }
    if (builder.Polygons() == 0) Fail("holds no face");
    return builder.Finish();
}
