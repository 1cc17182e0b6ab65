// OBJ reader. tinyobjloader finds the statements; the numbers of each
// "v", "vn" and "vt" line are read again from the line's text with the
// shape reader's own rule, since the library's conversion to float or
// double is not the one a shape file gives, and so are the indices of each
// "f" line, which the library reads with atoi (wrapping, and taking "3junk"
// for 3).
#include <tiny_obj_loader.h>

#include <istream>
#include <streambuf>
#include <string>
#include <vector>

#include "formats/import.h"
#include "formats/text_scan.h"
#include "shape/errors.h"
#include "shape/number.h"

namespace {

// Lets the library read the file's bytes in place and tells where it stands.
class TMemoryBuffer : public std::streambuf {
public:
    explicit TMemoryBuffer(std::string_view bytes) {
        char* p = const_cast<char*>(bytes.data());  // only ever read
        setg(p, p, p + bytes.size());
    }
    std::size_t Offset() const { return static_cast<std::size_t>(gptr() - eback()); }
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// One corner of a face: indices as the file writes them.
struct TCorner {
    long long vertex = 0, uv = 0, normal = 0;
    bool has_uv = false, has_normal = false;
};

// An index as a whole word: an optional sign and digits only, within the
// range of long long.
bool ParseIndex(std::string_view word, long long& out) {
    const bool negative = !word.empty() && word[0] == '-';
    if (!word.empty() && (word[0] == '-' || word[0] == '+')) word.remove_prefix(1);
    if (word.empty()) return false;
    unsigned long long magnitude = 0;
    for (const char c : word) {
        if (c < '0' || c > '9') return false;
        const auto digit = static_cast<unsigned long long>(c - '0');
        if (magnitude > (9223372036854775807ULL - digit) / 10) return false;
        magnitude = magnitude * 10 + digit;
    }
    out = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    return true;
}

// A corner's word: "v", "v/t", "v//n" or "v/t/n".
bool ParseCorner(std::string_view word, TCorner& out) {
    const std::size_t first = word.find('/');
    if (!ParseIndex(word.substr(0, first), out.vertex)) return false;
    if (first == std::string_view::npos) return true;
    const std::string_view rest = word.substr(first + 1);
    const std::size_t second = rest.find('/');
    out.has_uv = second != 0;
    if (out.has_uv && !ParseIndex(rest.substr(0, second), out.uv)) return false;
    if (second == std::string_view::npos) return true;
    out.has_normal = true;
    return ParseIndex(rest.substr(second + 1), out.normal);
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

struct TObjReader {
    explicit TObjReader(std::string_view b) : bytes(b), buffer(b) {}

    std::string_view bytes;
    TMemoryBuffer buffer;
    TShapeBuilder builder;
    std::vector<double> positions, normals, uvs;  // 3, 3 and 2 per entry
    std::string material;
    std::string error;  // the first fault; later statements are passed over
    std::size_t counted = 0;  // line ends before this offset are in `line`
    std::size_t line = 1;

    // The line the library has just read: it stops right after the line's
    // end (LF, CR or CR LF) or at the end of the file. Cut at a NUL byte, as
    // the library reads the line as a C string.
    std::string_view CurrentLine() {
        std::size_t end = buffer.Offset();
        if (end > 0 && bytes[end - 1] == '\n') --end;
        if (end > 0 && bytes[end - 1] == '\r') --end;
        std::size_t start = end;
        while (start > 0 && bytes[start - 1] != '\n' && bytes[start - 1] != '\r') --start;
        for (; counted < start; ++counted) {
            const char c = bytes[counted];
            if (c == '\n' || (c == '\r' && (counted + 1 == bytes.size() || bytes[counted + 1] != '\n')))
                ++line;
        }
        std::string_view text = bytes.substr(start, end - start);
        return text.substr(0, text.find('\0'));
    }

    void Fail(const std::string& what) {
        if (error.empty()) error = "line " + std::to_string(line) + ": " + what;
    }

    // Reads `count` numbers after the statement's keyword into out, and up
    // to `optional` more that default to 0; what follows is not read.
    void ReadNumbers(std::size_t count, std::size_t optional, std::vector<double>& out) {
        std::string_view rest = TrimBlanks(CurrentLine());
        while (!rest.empty() && !IsBlank(rest.front())) rest.remove_prefix(1);  // the keyword
        for (std::size_t i = 0; i < count + optional; ++i) {
            rest = TrimBlanks(rest);
            std::size_t n = 0;
            while (n < rest.size() && !IsBlank(rest[n])) ++n;
            if (n == 0) {
                if (i < count) {
                    Fail("needs " + std::to_string(count) + " numbers");
                    return;
                }
                out.push_back(0);
                continue;
            }
            try {
                out.push_back(ToValue(rest.substr(0, n)));
            } catch (const SufConvertError&) {
                Fail(Quoted(rest.substr(0, n)) + " is not a number");
                return;
            }
            if (!Writable(out.back())) {
                Fail(Quoted(rest.substr(0, n)) + " is too large for a shape file");
                return;
            }
            rest.remove_prefix(n);
        }
    }

    // An OBJ index: from 1 up, or from -1 down counting back from the last
    // entry so far; 0 stands for none.
    bool Resolve(long long index, std::size_t entries, const char* what, std::size_t& out) {
        const auto n = static_cast<long long>(entries);
        const long long i = index > 0 ? index - 1 : n + index;
        if (i < 0 || i >= n) {
            Fail(std::string("a face refers to ") + what + " " + std::to_string(index) + " of " +
                 std::to_string(entries));
            return false;
        }
        out = static_cast<std::size_t>(i);
        return true;
    }

    // The face of the line just read, from the line's own words: the
    // library's indices have gone through atoi and wrap.
    void Face() {
        std::string_view rest = TrimBlanks(CurrentLine());
        rest.remove_prefix(1);  // "f"
        std::vector<TCorner> corners;
        bool all_normals = true, all_uvs = true;
        for (rest = TrimBlanks(rest); !rest.empty(); rest = TrimBlanks(rest)) {
            std::size_t n = 0;
            while (n < rest.size() && !IsBlank(rest[n])) ++n;
            TCorner c;
            if (!ParseCorner(rest.substr(0, n), c)) {
                Fail(Quoted(rest.substr(0, n)) + " is not a vertex index");
                return;
            }
            all_normals = all_normals && c.has_normal;
            all_uvs = all_uvs && c.has_uv;
            corners.push_back(c);
            rest.remove_prefix(n);
        }
        if (corners.empty()) return;  // the library calls only with corners; kept safe
        const std::uint8_t kind = all_normals ? (all_uvs ? kKindUvShade : kKindShade)
                                              : (all_uvs ? kKindUvPoly : kKindPoly);
        builder.BeginPolygon(kind, material);
        for (const TCorner& c : corners) {
            TVANE_Vertex v;
            std::size_t k = 0;
            if (!Resolve(c.vertex, positions.size() / 3, "vertex", k)) return;
            v.X = positions[3 * k], v.Y = positions[3 * k + 1], v.Z = positions[3 * k + 2];
            // An index the face's kind leaves unused must still name an entry.
            if (c.has_normal) {
                if (!Resolve(c.normal, normals.size() / 3, "normal", k)) return;
                if (all_normals) v.NX = normals[3 * k], v.NY = normals[3 * k + 1], v.NZ = normals[3 * k + 2];
            }
            if (c.has_uv) {
                if (!Resolve(c.uv, uvs.size() / 2, "texture coordinate", k)) return;
                if (all_uvs) v.U = uvs[2 * k], v.V = uvs[2 * k + 1];
            }
            builder.AddVertex(v);
        }
    }
};

TObjReader& Reader(void* user) { return *static_cast<TObjReader*>(user); }

}  // namespace

TVANE_Object* ImportObj(std::string_view Bytes) {
    TObjReader reader(Bytes);
    tinyobj::callback_t callbacks;
    callbacks.vertex_cb = [](void* user, tinyobj::real_t, tinyobj::real_t, tinyobj::real_t, tinyobj::real_t) {
        TObjReader& r = Reader(user);
        if (r.error.empty()) r.ReadNumbers(3, 0, r.positions);
    };
    callbacks.normal_cb = [](void* user, tinyobj::real_t, tinyobj::real_t, tinyobj::real_t) {
        TObjReader& r = Reader(user);
        if (r.error.empty()) r.ReadNumbers(3, 0, r.normals);
    };
    callbacks.texcoord_cb = [](void* user, tinyobj::real_t, tinyobj::real_t, tinyobj::real_t) {
        TObjReader& r = Reader(user);
        if (r.error.empty()) r.ReadNumbers(1, 1, r.uvs);
    };
    callbacks.index_cb = [](void* user, tinyobj::index_t*, int) {
        TObjReader& r = Reader(user);
        if (r.error.empty()) r.Face();
    };
    callbacks.usemtl_cb = [](void* user, const char* name, int) {
        Reader(user).material = TrimBlanks(name);
    };
    callbacks.group_cb = [](void* user, const char** names, int count) {
        std::string joined;
        for (int i = 0; i < count; ++i) {
            if (i > 0) joined += '_';
            joined += names[i];
        }
        Reader(user).builder.BeginObject(joined);
    };
    callbacks.object_cb = [](void* user, const char* name) {
        Reader(user).builder.BeginObject(TrimBlanks(name));
    };
    std::istream stream(&reader.buffer);
    std::string warning, failure;
    const bool read = tinyobj::LoadObjWithCallback(stream, callbacks, &reader, nullptr, &warning, &failure);
    if (!reader.error.empty()) throw TImportError(reader.error);
    if (!read) throw TImportError(failure.empty() ? "not an OBJ file" : failure);
    if (reader.builder.Polygons() == 0) throw TImportError("holds no face");
    return reader.builder.Finish();
}
