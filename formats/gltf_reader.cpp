// glTF 2.0 reader: tinygltf parses the JSON and the buffers; the accessors
// are read here, with every offset checked against its buffer.
#include <tiny_gltf.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "formats/import.h"
#include "shape/text.h"

namespace {

[[noreturn]] void Fail(const std::string& what) { throw TImportError(what); }

std::string AccessorName(int index) { return "accessor " + std::to_string(index); }

// What a glTF file's JSON text is checked against before the library parses
// it. The library's parser recurses once per level and turns its own
// failures into texts of its internals, and the library would read any file
// a buffer names; so the whole text is walked here first, without
// recursion: well-formed JSON in UTF-8, at most kMaxDepth levels, no number
// beyond double range, and the few members that decide whether the file is
// read at all are kept.
constexpr std::size_t kMaxDepth = 256;
constexpr std::size_t kMaxEcho = 64;  // bytes of the file's own text a message repeats

// Text from the file for a message: printable ASCII as it is, any other byte
// as '?', cut after `most` bytes.
std::string Echo(std::string_view text, std::size_t most = kMaxEcho) {
    std::string out;
    for (const char c : text.substr(0, most)) out += c >= 0x20 && c < 0x7f ? c : '?';
    if (text.size() > most) out += "...";
    return out;
}

struct TJsonFacts {
    bool root_object = false;
    bool lists_are_objects = false;  // glTF 1.0 keeps meshes, buffers, ... as objects
    bool has_version = false;
    std::string version, min_version;
    std::vector<std::string> required;            // extensionsRequired
    // Every uri of a buffer or image with the list index it stands at (a
    // member given twice is checked both times).
    std::vector<std::pair<std::size_t, std::string>> buffer_uris, image_uris;
    std::map<std::size_t, double> buffer_lengths;  // byteLength, the last one given
};

class TJsonCheck {
public:
    TJsonCheck(std::string_view text, std::size_t offset) : s_(text), offset_(offset) {}

    // Walks the whole text; throws TImportError at its first fault.
    TJsonFacts Run() {
        if (s_.substr(0, 3) == "\xEF\xBB\xBF") at_ = 3;  // a byte-order mark
        Space();
        for (;;) {
            if (Value()) continue;  // a container opened: its first element follows
            // After a value: close the containers it ends, then the next one.
            for (bool next = false; !next;) {
                Space();
                if (stack_.empty()) {
                    if (at_ != s_.size()) Malformed();
                    return std::move(facts_);
                }
                TFrame& top = stack_.back();
                const char c = Peek();
                if (c == ',') {
                    ++at_;
                    Space();
                    ++top.index;
                    if (top.object) Key();
                    next = true;
                } else {
                    if (c != (top.object ? '}' : ']')) Malformed();
                    ++at_;
                    stack_.pop_back();
                }
            }
        }
    }

private:
    struct TFrame {
        bool object = false;
        std::size_t index = 0;  // of the current element or member
        std::string key;        // of the current member
    };

    char Peek() const { return at_ < s_.size() ? s_[at_] : '\0'; }

    [[noreturn]] void Malformed() const {
        if (at_ >= s_.size()) Fail("is not well-formed JSON: it ends too soon");
        Fail("is not well-formed JSON at byte " + std::to_string(offset_ + at_));
    }

    // Where the value being read lies, in the file's terms: "accessor 2's
    // count", "asset's version".
    std::string Where() const {
        static const std::map<std::string, std::string, std::less<>> kLists = {
            {"accessors", "accessor"}, {"animations", "animation"}, {"buffers", "buffer"},
            {"bufferViews", "buffer view"}, {"cameras", "camera"}, {"images", "image"},
            {"materials", "material"}, {"meshes", "mesh"}, {"nodes", "node"},
            {"samplers", "sampler"}, {"scenes", "scene"}, {"skins", "skin"}, {"textures", "texture"}};
        if (stack_.empty() || !stack_[0].object || stack_[0].key.empty()) return "the file";
        std::string out;
        std::size_t from = 1;
        const auto list = kLists.find(stack_[0].key);
        if (stack_.size() > 1 && !stack_[1].object && list != kLists.end()) {
            out = list->second + " " + std::to_string(stack_[1].index);
            from = 2;
        } else {
            out = Echo(stack_[0].key);
        }
        std::string rest;
        for (std::size_t i = from; i < stack_.size(); ++i) {
            if (stack_[i].object)
                rest += (rest.empty() ? "" : ".") + Echo(stack_[i].key);
            else
                rest += "[" + std::to_string(stack_[i].index) + "]";
        }
        return rest.empty() ? out : out + "'s " + rest;
    }

    void Space() {
        while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r')) ++at_;
    }

    // A member's name and its ':'; the value follows.
    void Key() {
        if (Peek() != '"') Malformed();
        stack_.back().key.clear();
        String(&stack_.back().key);
        Space();
        if (Peek() != ':') Malformed();
        ++at_;
        Space();
    }

    // One value. True when it opens a container that is not empty (its
    // first member's name read): the caller reads the first element next.
    bool Value() {
        const char c = Peek();
        if (c == '{' || c == '[') {
            if (stack_.size() == kMaxDepth) Fail("nests deeper than " + std::to_string(kMaxDepth) + " levels");
            OnContainer(c == '{');
            stack_.push_back(TFrame{c == '{', 0, {}});
            ++at_;
            Space();
            if (Peek() == (c == '{' ? '}' : ']')) return false;  // empty: the caller's loop closes it
            if (c == '{') Key();
            return true;
        }
        if (c == '"') {
            std::string text;
            const bool keep = Wanted();
            String(keep ? &text : nullptr);
            if (keep) OnString(std::move(text));
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            Number();
        } else {
            for (const std::string_view word : {"true", "false", "null"}) {
                if (s_.substr(at_, word.size()) == word) {
                    at_ += word.size();
                    return false;
                }
            }
            Malformed();
        }
        return false;
    }

    // A number, by JSON's grammar; one beyond double range is refused, as
    // no reader of the file could hold it.
    void Number() {
        const std::size_t start = at_;
        auto digits = [&] {
            const std::size_t from = at_;
            while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') ++at_;
            return at_ - from;
        };
        if (Peek() == '-') ++at_;
        if (Peek() == '0') {
            ++at_;
        } else if (digits() == 0) {
            Malformed();
        }
        if (Peek() == '.') {
            ++at_;
            if (digits() == 0) Malformed();
        }
        if (Peek() == 'e' || Peek() == 'E') {
            ++at_;
            if (Peek() == '+' || Peek() == '-') ++at_;
            if (digits() == 0) Malformed();
        }
        double value = 0;
        const auto [end, error] = std::from_chars(s_.data() + start, s_.data() + at_, value);
        (void)end;
        // from_chars also reports a value too small for a double; only one too
        // large is refused (a small one reads as 0 or nearly).
        if (error == std::errc::result_out_of_range && Magnitude(s_.substr(start, at_ - start)) > 0)
            Fail(Where() + " holds a number too large to read");
        if (error == std::errc() && Wanted() && stack_.size() == 3 && stack_[2].key == "byteLength")
            facts_.buffer_lengths[stack_[1].index] = value;
    }

    // Roughly the power of ten of a number's literal: above 0 for one of 1
    // or more, at most 0 for one below 1.
    static long long Magnitude(std::string_view number) {
        long long before_point = 0, leading_zeros = 0;
        bool point = false, nonzero = false;
        std::size_t i = number[0] == '-' ? 1 : 0;
        for (; i < number.size() && number[i] != 'e' && number[i] != 'E'; ++i) {
            if (number[i] == '.') {
                point = true;
            } else if (!nonzero && number[i] == '0') {
                if (point) ++leading_zeros;
            } else {
                nonzero = true;
                if (!point) ++before_point;
            }
        }
        long long exponent = 0;
        if (i < number.size()) {
            ++i;
            const bool negative = i < number.size() && number[i] == '-';
            if (i < number.size() && (number[i] == '+' || number[i] == '-')) ++i;
            for (; i < number.size() && exponent < 1'000'000'000; ++i) exponent = exponent * 10 + (number[i] - '0');
            if (negative) exponent = -exponent;
        }
        return (before_point > 0 ? before_point : -leading_zeros) + exponent;
    }

    // A string, its escapes and UTF-8 checked; decoded into out when given.
    void String(std::string* out) {
        ++at_;  // the opening quote
        for (;;) {
            if (at_ >= s_.size()) Malformed();
            const auto c = static_cast<unsigned char>(s_[at_]);
            if (c == '"') {
                ++at_;
                return;
            }
            if (c < 0x20) Malformed();
            if (c == '\\') {
                Escape(out);
            } else if (c < 0x80) {
                if (out != nullptr) *out += static_cast<char>(c);
                ++at_;
            } else {
                const std::size_t n = Utf8Length(s_.substr(at_));
                if (n == 0) Fail(Where() + " holds text that is not UTF-8 (byte " + std::to_string(offset_ + at_) + ")");
                if (out != nullptr) out->append(s_.substr(at_, n));
                at_ += n;
            }
        }
    }

    // The length of the well-formed UTF-8 sequence text starts with; 0 when
    // it starts with none (overlong forms, surrogates and code points beyond
    // U+10FFFF are not UTF-8).
    static std::size_t Utf8Length(std::string_view text) {
        const auto b = [&](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
        const unsigned lead = b(0);
        std::size_t n = 0;
        unsigned low = 0x80, high = 0xBF;  // the range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            n = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            n = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            n = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return 0;
        }
        if (b(1) < low || b(1) > high) return 0;
        for (std::size_t i = 2; i < n; ++i)
            if (b(i) < 0x80 || b(i) > 0xBF) return 0;
        return n;
    }

    unsigned Hex4() {
        unsigned value = 0;
        for (int i = 0; i < 4; ++i, ++at_) {
            const char c = Peek();
            const int digit = c >= '0' && c <= '9' ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0) Malformed();
            value = value * 16 + static_cast<unsigned>(digit);
        }
        return value;
    }

    void Escape(std::string* out) {
        ++at_;  // the backslash
        const char c = Peek();
        static constexpr std::string_view kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
        if (const std::size_t k = kFrom.find(c); c != '\0' && k != std::string_view::npos) {
            if (out != nullptr) *out += kTo[k];
            ++at_;
            return;
        }
        if (c != 'u') Malformed();
        ++at_;
        unsigned code = Hex4();
        if (code >= 0xDC00 && code <= 0xDFFF) Fail(Where() + " holds text that is not UTF-8 (a lone surrogate)");
        if (code >= 0xD800 && code <= 0xDBFF) {
            if (s_.substr(at_, 2) != "\\u") Fail(Where() + " holds text that is not UTF-8 (a lone surrogate)");
            at_ += 2;
            const unsigned low = Hex4();
            if (low < 0xDC00 || low > 0xDFFF) Fail(Where() + " holds text that is not UTF-8 (a lone surrogate)");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        if (out == nullptr) return;
        if (code < 0x80) {
            *out += static_cast<char>(code);
        } else if (code < 0x800) {
            *out += static_cast<char>(0xC0 | code >> 6);
            *out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            *out += static_cast<char>(0xE0 | code >> 12);
            *out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            *out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            *out += static_cast<char>(0xF0 | code >> 18);
            *out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            *out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            *out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    // True where the value about to be read is one the facts keep.
    bool Wanted() const {
        const std::size_t n = stack_.size();
        if (n == 2 && stack_[0].key == "asset" && stack_[1].object)
            return stack_[1].key == "version" || stack_[1].key == "minVersion";
        if (n == 2 && stack_[0].key == "extensionsRequired" && !stack_[1].object) return true;
        if (n == 3 && (stack_[0].key == "buffers" || stack_[0].key == "images") && !stack_[1].object &&
            stack_[2].object)
            return stack_[2].key == "uri" || (stack_[0].key == "buffers" && stack_[2].key == "byteLength");
        return false;
    }

    void OnContainer(bool object) {
        if (stack_.empty()) facts_.root_object = object;
        if (stack_.size() == 1 && object && stack_[0].object &&
            (stack_[0].key == "meshes" || stack_[0].key == "buffers" || stack_[0].key == "accessors"))
            facts_.lists_are_objects = true;
    }

    void OnString(std::string text) {
        if (stack_[0].key == "asset") {
            (stack_[1].key == "version" ? facts_.version : facts_.min_version) = std::move(text);
            if (stack_[1].key == "version") facts_.has_version = true;
        } else if (stack_[0].key == "extensionsRequired") {
            facts_.required.push_back(std::move(text));
        } else if (stack_[2].key == "uri") {
            (stack_[0].key == "buffers" ? facts_.buffer_uris : facts_.image_uris)
                .emplace_back(stack_[1].index, std::move(text));
        }
    }

    std::string_view s_;
    std::size_t offset_;  // of s_ in the file, for the byte numbers of messages
    std::size_t at_ = 0;
    std::vector<TFrame> stack_;
    TJsonFacts facts_;
};

// The folder a glTF file's external files must lie in: its real path, or
// empty when no external file is read.
struct TFolder {
    std::string real;  // without a trailing '/', except for "/" itself
};

// True when path, symbolic links resolved, names an existing file inside
// folder; real gets the resolved path.
bool Inside(const TFolder& folder, const std::string& path, std::string& real) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return false;
    real = resolved;
    std::free(resolved);
    const std::string prefix = folder.real == "/" ? folder.real : folder.real + "/";
    return real.size() > prefix.size() && real.compare(0, prefix.size(), prefix) == 0;
}

// A uri's path as the library opens it: %XX decoded, '+' read as a space.
// False when it is not a relative path that stays in the glTF's folder: a
// scheme, an absolute path, a ".." that leaves the folder, a NUL or a '%'
// without two hex digits.
bool RelativeInside(std::string_view uri, std::string& path) {
    path.clear();
    const std::size_t colon = uri.find(':');
    if (colon != std::string_view::npos && colon < uri.find('/')) return false;  // a scheme
    for (std::size_t i = 0; i < uri.size(); ++i) {
        if (uri[i] == '+') {
            path += ' ';
        } else if (uri[i] == '%') {
            if (i + 2 >= uri.size() || !std::isxdigit(static_cast<unsigned char>(uri[i + 1])) ||
                !std::isxdigit(static_cast<unsigned char>(uri[i + 2])))
                return false;
            path += static_cast<char>(std::stoi(std::string(uri.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            path += uri[i];
        }
    }
    if (path.empty() || path[0] == '/' || path.find('\0') != std::string::npos) return false;
    long depth = 0;
    for (std::size_t from = 0; from <= path.size();) {
        const std::size_t slash = std::min(path.find('/', from), path.size());
        const std::string_view part = std::string_view(path).substr(from, slash - from);
        if (part == "..") {
            if (--depth < 0) return false;
        } else if (!part.empty() && part != ".") {
            ++depth;
        }
        from = slash + 1;
    }
    return true;
}

// The bytes a base64 text stands for, or SIZE_MAX when it is not base64
// (its padding is optional, as the library reads it).
std::size_t Base64Length(std::string_view text) {
    std::size_t n = text.size();
    while (n > 0 && text.size() - n < 2 && text[n - 1] == '=') --n;
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!std::isalnum(c) && c != '+' && c != '/') return SIZE_MAX;
    }
    if (n % 4 == 1 || (text.size() > n && text.size() % 4 != 0)) return SIZE_MAX;
    return n / 4 * 3 + (n % 4 == 0 ? 0 : n % 4 - 1);
}

// A buffer's data: URI: base64 of a buffer's media type, as many bytes as
// the buffer's byteLength.
void CheckDataUri(std::size_t index, std::string_view uri, const TJsonFacts& facts) {
    const std::string buffer = "buffer " + std::to_string(index);
    const std::size_t comma = uri.find(',');
    const std::string_view head = uri.substr(0, comma);
    if (comma == std::string_view::npos || head.size() < 7 || head.substr(head.size() - 7) != ";base64")
        Fail(buffer + " holds a data URI that is not base64");
    if (head != "data:application/octet-stream;base64" && head != "data:application/gltf-buffer;base64")
        Fail(buffer + " holds a data URI of a media type that is not read (" + Echo(head.substr(5)) + ")");
    const std::size_t bytes = Base64Length(uri.substr(comma + 1));
    if (bytes == SIZE_MAX) Fail(buffer + " holds a data URI that is not valid base64");
    const auto length = facts.buffer_lengths.find(index);
    if (length == facts.buffer_lengths.end()) Fail(buffer + " has no byteLength");
    if (static_cast<double>(bytes) != length->second) {
        const bool whole = length->second >= 0 && length->second < 1e15 && std::floor(length->second) == length->second;
        Fail(buffer + " holds " + std::to_string(bytes) + " bytes in its data URI, but its byteLength is " +
             (whole ? std::to_string(static_cast<long long>(length->second)) : std::string("not a count")));
    }
}

// Where a buffer or image file lies: relative to the glTF's folder and,
// links resolved, inside it. A missing buffer file is refused; a missing
// image is not, as pictures are not read.
void CheckFileUri(const std::string& what, std::string_view uri, const TFolder* folder, bool needed) {
    std::string path, real;
    if (!RelativeInside(uri, path)) Fail(what + " names a file outside the glTF's folder");
    if (folder == nullptr) {
        if (needed) Fail(what + " names a file, which is not read here");
        return;
    }
    const std::string full = folder->real + "/" + path;
    if (Inside(*folder, full, real)) return;
    if (::access(full.c_str(), F_OK) == 0 || (errno != ENOENT && errno != ENOTDIR))
        Fail(what + " names a file outside the glTF's folder");
    if (needed) Fail(what + " names a file that is not there");
}

// Extensions that change only materials, textures or lights, none of which
// a shape holds; a file may require them and still be read.
bool Ignorable(std::string_view extension) {
    return extension.substr(0, 14) == "KHR_materials_" || extension == "KHR_texture_transform" ||
           extension == "KHR_texture_basisu" || extension == "EXT_texture_webp" ||
           extension == "EXT_texture_avif" || extension == "KHR_lights_punctual";
}

// "MAJOR.MINOR" of a version text; false for any other text.
bool Version(std::string_view text, unsigned& major, unsigned& minor) {
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos) return false;
    const char* end = text.data() + text.size();
    const auto [m, e1] = std::from_chars(text.data(), text.data() + dot, major);
    const auto [n, e2] = std::from_chars(text.data() + dot + 1, end, minor);
    return e1 == std::errc() && e2 == std::errc() && m == text.data() + dot && n == end && dot > 0;
}

// The JSON text of a glTF file, checked before the library sees it (see
// TJsonCheck); offset is where the text starts in the file.
void CheckJson(std::string_view json, std::size_t offset, const TFolder* folder) {
    const TJsonFacts facts = TJsonCheck(json, offset).Run();
    if (!facts.root_object) Fail("is not a glTF file: its JSON is not an object");
    unsigned major = 0, minor = 0;
    if (!facts.has_version) {
        if (facts.lists_are_objects) Fail("is glTF 1.0; only glTF 2.0 is read");
        Fail("names no glTF version (asset.version)");
    }
    if (!Version(facts.version, major, minor)) Fail("has a glTF version that is not read (" + Echo(facts.version) + ")");
    if (major != 2) Fail("is glTF " + Echo(facts.version) + "; only glTF 2.0 is read");
    if (!facts.min_version.empty() && (!Version(facts.min_version, major, minor) || major != 2 || minor != 0))
        Fail("needs glTF " + Echo(facts.min_version) + "; only glTF 2.0 is read");
    for (const std::string& extension : facts.required)
        if (!Ignorable(extension)) Fail("uses " + Echo(extension) + ", which is not read");
    for (const auto& [index, uri] : facts.buffer_uris) {
        if (uri.compare(0, 5, "data:") == 0)
            CheckDataUri(index, uri, facts);
        else
            CheckFileUri("buffer " + std::to_string(index), uri, folder, true);
    }
    for (const auto& [index, uri] : facts.image_uris)
        if (uri.compare(0, 5, "data:") != 0) CheckFileUri("image " + std::to_string(index), uri, folder, false);
}

const tinygltf::Accessor& AccessorAt(const tinygltf::Model& model, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= model.accessors.size())
        Fail("a primitive refers to " + AccessorName(index) + ", which is not there");
    return model.accessors[static_cast<std::size_t>(index)];
}

// The bytes [offset, offset + length) of buffer view `view` of accessor
// `index`, checked to lie inside the view and its buffer.
const unsigned char* ViewBytes(const tinygltf::Model& model, int view_index, long long offset, std::size_t length,
                               int index) {
    if (view_index < 0 || static_cast<std::size_t>(view_index) >= model.bufferViews.size())
        Fail(AccessorName(index) + " refers to a buffer view that is not there");
    const tinygltf::BufferView& view = model.bufferViews[static_cast<std::size_t>(view_index)];
    if (view.buffer < 0 || static_cast<std::size_t>(view.buffer) >= model.buffers.size())
        Fail(AccessorName(index) + " refers to a buffer that is not there");
    const std::vector<unsigned char>& data = model.buffers[static_cast<std::size_t>(view.buffer)].data;
    const bool fits = offset >= 0 && view.byteOffset <= data.size() && view.byteLength <= data.size() - view.byteOffset &&
                      static_cast<std::size_t>(offset) <= view.byteLength &&
                      length <= view.byteLength - static_cast<std::size_t>(offset);
    if (!fits) Fail(AccessorName(index) + " reaches beyond its buffer");
    return data.data() + view.byteOffset + static_cast<std::size_t>(offset);
}

// One component: a float as it is, a normalized integer scaled to 0..1
// (unsigned) or -1..1 (signed).
double Component(const unsigned char* p, int type, int index) {
    switch (type) {
    case TINYGLTF_COMPONENT_TYPE_FLOAT: {
        float f = 0;
        std::memcpy(&f, p, 4);
        if (!std::isfinite(f)) Fail(AccessorName(index) + " holds a value that is not finite");
        return f;
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
        std::uint16_t u = 0;
        std::memcpy(&u, p, 2);
        return u / 65535.0;
    }
    case TINYGLTF_COMPONENT_TYPE_SHORT: {
        std::int16_t s = 0;
        std::memcpy(&s, p, 2);
        return std::max(s / 32767.0, -1.0);
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: return p[0] / 255.0;
    default: return std::max(static_cast<signed char>(p[0]) / 127.0, -1.0);
    }
}

// The indices of a sparse accessor: unsigned bytes, shorts or ints.
std::size_t SparseIndex(const unsigned char* p, int type) {
    if (type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE) return p[0];
    if (type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT) {
        std::uint16_t s = 0;
        std::memcpy(&s, p, 2);
        return s;
    }
    std::uint32_t v = 0;
    std::memcpy(&v, p, 4);
    return v;
}

// The components of every element of accessor `index`, widened to double:
// floats as they are, normalized bytes and shorts scaled when
// `normalized_ok`. A sparse accessor's values replace the elements they
// name, over its buffer view or over zeros. Checks the type, the component
// type, that the accessor has `count` elements (when not SIZE_MAX), and that
// every element lies inside its buffer.
std::vector<double> ReadValues(const tinygltf::Model& model, int index, int type, bool normalized_ok,
                               std::size_t count = SIZE_MAX) {
    const tinygltf::Accessor& a = AccessorAt(model, index);
    if (a.type != type) Fail(AccessorName(index) + " has the wrong type");
    if (count != SIZE_MAX && a.count != count)
        Fail(AccessorName(index) + " has " + std::to_string(a.count) + " elements where its primitive has " +
             std::to_string(count) + " vertices");
    std::size_t size = 0;
    switch (a.componentType) {
    case TINYGLTF_COMPONENT_TYPE_FLOAT: size = 4; break;
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT:
    case TINYGLTF_COMPONENT_TYPE_SHORT: size = normalized_ok && a.normalized ? 2 : 0; break;
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
    case TINYGLTF_COMPONENT_TYPE_BYTE: size = normalized_ok && a.normalized ? 1 : 0; break;
    default: break;
    }
    if (size == 0) Fail(AccessorName(index) + " has a component type that is not read");
    const std::size_t components = type == TINYGLTF_TYPE_VEC3 ? 3 : 2;
    const std::size_t element = size * components;
    // Without a buffer view an accessor is all zeros, with nothing to bound
    // its count: only a sparse one, whose count the caller bounds, may lack it.
    if (a.bufferView < 0 && !a.sparse.isSparse) Fail(AccessorName(index) + " has no buffer view");
    std::vector<double> out(a.count * components, 0.0);
    if (a.bufferView >= 0 && a.count > 0) {
        if (static_cast<std::size_t>(a.bufferView) >= model.bufferViews.size())
            Fail(AccessorName(index) + " refers to a buffer view that is not there");
        const tinygltf::BufferView& view = model.bufferViews[static_cast<std::size_t>(a.bufferView)];
        const std::size_t stride = view.byteStride != 0 ? view.byteStride : element;
        if (a.count - 1 > (SIZE_MAX - element) / stride) Fail(AccessorName(index) + " reaches beyond its buffer");
        const unsigned char* base = ViewBytes(model, a.bufferView, static_cast<long long>(a.byteOffset),
                                              (a.count - 1) * stride + element, index);
        for (std::size_t i = 0; i < a.count; ++i)
            for (std::size_t c = 0; c < components; ++c)
                out[i * components + c] = Component(base + i * stride + c * size, a.componentType, index);
    }
    if (a.sparse.isSparse) {
        const auto n = static_cast<std::size_t>(std::max(a.sparse.count, 0));
        const int index_type = a.sparse.indices.componentType;
        const std::size_t index_size = index_type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE    ? 1
                                       : index_type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT ? 2
                                       : index_type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT   ? 4
                                                                                              : 0;
        if (a.sparse.count < 1 || n > a.count || index_size == 0)
            Fail(AccessorName(index) + " is a sparse accessor that is not read (count or index type)");
        const unsigned char* indices =
            ViewBytes(model, a.sparse.indices.bufferView, a.sparse.indices.byteOffset, n * index_size, index);
        const unsigned char* values =
            ViewBytes(model, a.sparse.values.bufferView, a.sparse.values.byteOffset, n * element, index);
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t at = SparseIndex(indices + i * index_size, index_type);
            if (at >= a.count)
                Fail(AccessorName(index) + " names element " + std::to_string(at) + " of " + std::to_string(a.count));
            for (std::size_t c = 0; c < components; ++c)
                out[at * components + c] = Component(values + i * element + c * size, a.componentType, index);
        }
    }
    return out;
}

// The vertex numbers of a primitive: its index accessor, or 0, 1, 2, ...
std::vector<std::uint32_t> ReadIndices(const tinygltf::Model& model, const tinygltf::Primitive& prim,
                                       std::size_t vertices) {
    std::vector<std::uint32_t> out;
    if (prim.indices < 0) {
        out.resize(vertices);
        for (std::size_t i = 0; i < vertices; ++i) out[i] = static_cast<std::uint32_t>(i);
        return out;
    }
    const int index = prim.indices;
    if (static_cast<std::size_t>(index) >= model.accessors.size())
        Fail("a primitive refers to " + AccessorName(index) + ", which is not there");
    const tinygltf::Accessor& a = model.accessors[static_cast<std::size_t>(index)];
    std::size_t size = 0;
    switch (a.componentType) {
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: size = 1; break;
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: size = 2; break;
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT: size = 4; break;
    default: Fail(AccessorName(index) + " holds indices of a type that is not read");
    }
    if (a.type != TINYGLTF_TYPE_SCALAR || a.sparse.isSparse || a.bufferView < 0 ||
        static_cast<std::size_t>(a.bufferView) >= model.bufferViews.size())
        Fail(AccessorName(index) + " is not a list of indices that is read");
    const tinygltf::BufferView& view = model.bufferViews[static_cast<std::size_t>(a.bufferView)];
    if (view.buffer < 0 || static_cast<std::size_t>(view.buffer) >= model.buffers.size())
        Fail(AccessorName(index) + " refers to a buffer that is not there");
    const std::vector<unsigned char>& data = model.buffers[static_cast<std::size_t>(view.buffer)].data;
    const bool fits = view.byteOffset <= data.size() && view.byteLength <= data.size() - view.byteOffset &&
                      a.byteOffset <= view.byteLength && a.count <= (view.byteLength - a.byteOffset) / size;
    if (!fits) Fail(AccessorName(index) + " reaches beyond its buffer");
    const unsigned char* base = data.data() + view.byteOffset + a.byteOffset;
    out.resize(a.count);
    for (std::size_t i = 0; i < a.count; ++i) {
        std::uint32_t v = 0;
        if (size == 1) {
            v = base[i];
        } else if (size == 2) {
            std::uint16_t s = 0;
            std::memcpy(&s, base + 2 * i, 2);
            v = s;
        } else {
            std::memcpy(&v, base + 4 * i, 4);
        }
        if (v >= vertices)
            Fail(AccessorName(index) + " names vertex " + std::to_string(v) + " of " + std::to_string(vertices));
        out[i] = v;
    }
    return out;
}

// The triangles of a primitive as vertex numbers, three per triangle, in the
// order the mode defines; empty for points and lines.
std::vector<std::uint32_t> Triangles(int mode, const std::vector<std::uint32_t>& v) {
    std::vector<std::uint32_t> out;
    const std::size_t n = v.size();
    if (mode == TINYGLTF_MODE_TRIANGLES || mode == -1) {
        out.assign(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(n - n % 3));
    } else if (mode == TINYGLTF_MODE_TRIANGLE_STRIP) {
        // Every other triangle of a strip turns the other way round.
        for (std::size_t i = 0; i + 2 < n; ++i) {
            out.push_back(v[i]);
            out.push_back(v[i + 1 + i % 2]);
            out.push_back(v[i + 2 - i % 2]);
        }
    } else if (mode == TINYGLTF_MODE_TRIANGLE_FAN) {
        for (std::size_t i = 0; i + 2 < n; ++i) {
            out.push_back(v[i + 1]);
            out.push_back(v[i + 2]);
            out.push_back(v[0]);
        }
    }
    return out;
}

bool NoImage(tinygltf::Image*, const int, std::string*, std::string*, int, int, const unsigned char*, int, void*) {
    return true;  // pictures are not part of a shape
}

// The library looks for an external file in the folder it is given and
// then in the working folder; only a file inside the glTF's own folder,
// links resolved, is found and read.
bool Exists(const std::string& path, void* folder) {
    std::string real;
    return folder != nullptr && Inside(*static_cast<const TFolder*>(folder), path, real);
}

std::string SamePath(const std::string& path, void*) { return path; }

bool ReadExternal(std::vector<unsigned char>* out, std::string* err, const std::string& path, void* folder) {
    std::string real;
    if (folder == nullptr || !Inside(*static_cast<const TFolder*>(folder), path, real)) {
        if (err != nullptr) *err += "names a file outside the glTF's folder\n";
        return false;
    }
    try {
        const std::string bytes = ReadFileBytes(real);
        out->assign(bytes.begin(), bytes.end());
        return true;
    } catch (const TImportError& error) {
        if (err != nullptr) *err += std::string("an external file: ") + error.what() + "\n";
        return false;
    }
}

bool RefuseWrite(std::string*, const std::string&, const std::vector<unsigned char>&, void*) { return false; }

// The bytes that hex spells, two digits a byte; false when it spells none.
bool FromHex(const std::string& hex, std::string& bytes) {
    if (hex.size() % 2 != 0) return false;
    const auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    bytes.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = digit(hex[i]), low = digit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(static_cast<char>(high << 4 | low));
    }
    return true;
}

// The bytes of a mesh's, node's or material's name: those a plivra export
// kept in extras.plivraNameBytes when they read as the name that stands in
// the file, otherwise that name.
std::string NameBytes(const std::string& name, const tinygltf::Value& extras) {
    if (!extras.IsObject() || !extras.Has("plivraNameBytes")) return name;
    const tinygltf::Value& kept = extras.Get("plivraNameBytes");
    std::string bytes;
    if (!kept.IsString() || !FromHex(kept.Get<std::string>(), bytes)) return name;
    return NameText(bytes) == name ? bytes : name;
}

// The name mesh gives its target i: extras.targetNames[i] (the bytes kept
// beside it in plivraTargetNameBytes when they read as it); "" for none.
std::string TargetName(const tinygltf::Mesh& mesh, std::size_t i) {
    const tinygltf::Value& extras = mesh.extras;
    if (!extras.IsObject() || !extras.Has("targetNames")) return {};
    const tinygltf::Value& names = extras.Get("targetNames");
    if (!names.IsArray() || i >= names.ArrayLen() || !names.Get(static_cast<int>(i)).IsString()) return {};
    const std::string& name = names.Get(static_cast<int>(i)).Get<std::string>();
    if (!extras.Has("plivraTargetNameBytes")) return name;
    const tinygltf::Value& kept = extras.Get("plivraTargetNameBytes");
    std::string bytes;
    if (!kept.IsArray() || i >= kept.ArrayLen() || !kept.Get(static_cast<int>(i)).IsString() ||
        !FromHex(kept.Get(static_cast<int>(i)).Get<std::string>(), bytes) || bytes.empty())
        return name;
    return NameText(bytes) == name ? bytes : name;
}

// What the meshes of a file are read into: the base shape and, when asked
// for, one shape per morph target of the file, each built in step with the
// base so that it corresponds vertex for vertex.
struct TReadShapes {
    TShapeBuilder base;
    std::vector<std::unique_ptr<TShapeBuilder>> targets;  // empty unless the shapes are asked for
    std::vector<std::size_t> moving;                      // per target of the file: glTF vertices it moves
};

// One morph target's differences in one primitive; empty where it has none.
struct TDifferences {
    std::vector<double> positions, normals, uvs;
};

void AddPrimitive(const tinygltf::Model& model, const tinygltf::Primitive& prim, const std::string& name,
                  TReadShapes& out) {
    const auto position = prim.attributes.find("POSITION");
    if (position == prim.attributes.end()) Fail("a primitive of " + name + " has no POSITION");
    // A sparse accessor without a buffer view names its own count: it may
    // not expand the file past the budget.
    out.base.ExpectVertices(AccessorAt(model, position->second).count);
    const std::vector<double> positions = ReadValues(model, position->second, TINYGLTF_TYPE_VEC3, false);
    const std::size_t vertices = positions.size() / 3;
    for (const char* attribute : {"NORMAL", "TEXCOORD_0"}) {
        const auto it = prim.attributes.find(attribute);
        if (it != prim.attributes.end() && AccessorAt(model, it->second).count != vertices)
            Fail("the attributes of a primitive of " + name + " differ in length");
    }
    std::vector<double> normals, uvs;
    if (auto it = prim.attributes.find("NORMAL"); it != prim.attributes.end())
        normals = ReadValues(model, it->second, TINYGLTF_TYPE_VEC3, false);
    if (auto it = prim.attributes.find("TEXCOORD_0"); it != prim.attributes.end())
        uvs = ReadValues(model, it->second, TINYGLTF_TYPE_VEC2, true);
    std::vector<TDifferences> moves(prim.targets.size());
    for (std::size_t t = 0; t < prim.targets.size(); ++t) {
        const std::map<std::string, int>& target = prim.targets[t];
        if (auto it = target.find("POSITION"); it != target.end())
            moves[t].positions = ReadValues(model, it->second, TINYGLTF_TYPE_VEC3, false, vertices);
        if (auto it = target.find("NORMAL"); it != target.end() && !normals.empty())
            moves[t].normals = ReadValues(model, it->second, TINYGLTF_TYPE_VEC3, false, vertices);
        if (auto it = target.find("TEXCOORD_0"); it != target.end() && !uvs.empty())
            moves[t].uvs = ReadValues(model, it->second, TINYGLTF_TYPE_VEC2, true, vertices);
        for (std::size_t k = 0; k < vertices; ++k) {
            bool moves_k = false;
            for (std::size_t c = 0; c < 3; ++c) {
                moves_k = moves_k || (!moves[t].positions.empty() && moves[t].positions[3 * k + c] != 0) ||
                          (!moves[t].normals.empty() && moves[t].normals[3 * k + c] != 0) ||
                          (c < 2 && !moves[t].uvs.empty() && moves[t].uvs[2 * k + c] != 0);
            }
            if (moves_k) ++out.moving[t];
        }
    }
    std::string material;
    if (prim.material >= 0) {
        if (static_cast<std::size_t>(prim.material) >= model.materials.size())
            Fail("a primitive of " + name + " refers to a material that is not there");
        const tinygltf::Material& named = model.materials[static_cast<std::size_t>(prim.material)];
        material = NameBytes(named.name, named.extras);
        if (material.empty()) material = "material" + std::to_string(prim.material);
    }
    const std::uint8_t kind = !normals.empty() ? (!uvs.empty() ? kKindUvShade : kKindShade)
                                               : (!uvs.empty() ? kKindUvPoly : kKindPoly);
    const std::vector<std::uint32_t> corners = Triangles(prim.mode, ReadIndices(model, prim, vertices));
    for (std::size_t i = 0; i < corners.size(); ++i) {
        if (i % 3 == 0) {
            out.base.BeginPolygon(kind, material);
            for (const auto& target : out.targets) target->BeginPolygon(kind, material);
        }
        const std::size_t k = corners[i];
        TVANE_Vertex v;
        v.X = positions[3 * k], v.Y = positions[3 * k + 1], v.Z = positions[3 * k + 2];
        if (!normals.empty()) v.NX = normals[3 * k], v.NY = normals[3 * k + 1], v.NZ = normals[3 * k + 2];
        // Textures have their origin at the top left in glTF, at the bottom
        // left in a shape file (as in OBJ).
        if (!uvs.empty()) v.U = uvs[2 * k], v.V = Extended{1} - uvs[2 * k + 1];
        out.base.AddVertex(v);
        // Base plus difference, summed in extended precision: exact for
        // floats not too far apart in size.
        for (std::size_t t = 0; t < out.targets.size(); ++t) {
            TVANE_Vertex w = v;
            if (t < moves.size()) {
                const TDifferences& d = moves[t];
                if (!d.positions.empty())
                    w.X += d.positions[3 * k], w.Y += d.positions[3 * k + 1], w.Z += d.positions[3 * k + 2];
                if (!d.normals.empty())
                    w.NX += d.normals[3 * k], w.NY += d.normals[3 * k + 1], w.NZ += d.normals[3 * k + 2];
                if (!d.uvs.empty()) w.U += d.uvs[2 * k], w.V -= d.uvs[2 * k + 1];
            }
            out.targets[t]->AddVertex(w);
        }
    }
}

constexpr std::size_t kVerticesPerByte = 64;

std::size_t Add(std::size_t a, std::size_t b) { return b > SIZE_MAX - a ? SIZE_MAX : a + b; }

// The elements of accessor index that its buffer view could hold at most;
// 0 for one that is not there (the reader refuses it by name).
std::size_t CountOf(const tinygltf::Model& model, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= model.accessors.size()) return 0;
    const tinygltf::Accessor& a = model.accessors[static_cast<std::size_t>(index)];
    if (a.bufferView < 0 || static_cast<std::size_t>(a.bufferView) >= model.bufferViews.size()) return 0;
    return std::min(a.count, model.bufferViews[static_cast<std::size_t>(a.bufferView)].byteLength);
}

// The triangle corners a primitive gives, from its accessors' counts alone,
// so that the budget is checked before anything is read.
std::size_t Corners(const tinygltf::Model& model, const tinygltf::Primitive& prim) {
    std::size_t n = 0;
    if (prim.indices >= 0) {
        n = CountOf(model, prim.indices);
    } else if (const auto position = prim.attributes.find("POSITION"); position != prim.attributes.end()) {
        n = CountOf(model, position->second);
    }
    if (prim.mode == TINYGLTF_MODE_TRIANGLES || prim.mode == -1) return n - n % 3;
    if (prim.mode == TINYGLTF_MODE_TRIANGLE_STRIP || prim.mode == TINYGLTF_MODE_TRIANGLE_FAN)
        return n < 3 ? 0 : Add(n - 2, Add(n - 2, n - 2));
    return 0;
}

// A little-endian 32-bit word of the binary container.
std::uint32_t Word(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

// tinygltf trusts the chunk lengths of the binary container and reads past
// the end of a file whose last chunk claims more bytes than are left, so
// the container's frame is checked first: magic, version 2, the file's
// length, and every chunk, the JSON one first, within the file.
void CheckContainer(std::string_view bytes) {
    constexpr std::uint32_t kJsonChunk = 0x4E4F534A;  // "JSON"
    if (bytes.size() < 20 || bytes.substr(0, 4) != "glTF" || Word(bytes, 4) != 2 || Word(bytes, 8) != bytes.size() ||
        Word(bytes, 16) != kJsonChunk) {
        if (bytes.size() >= 8 && bytes.substr(0, 4) == "glTF" && Word(bytes, 4) == 1)
            Fail("is glTF 1.0; only glTF 2.0 is read");
        Fail("is not a glTF binary container of version 2");
    }
    for (std::size_t at = 12; at < bytes.size();) {
        if (bytes.size() - at < 8 || Word(bytes, at) > bytes.size() - at - 8) Fail("has a chunk that runs past its end");
        at += 8 + std::size_t{Word(bytes, at)};
    }
}

}  // namespace

TImportedShapes ImportGltfShapes(std::string_view Bytes, bool Binary, const std::string* BaseDir, bool TargetShapes) {
    if (Bytes.size() > std::numeric_limits<unsigned int>::max()) Fail("is too large");
    TFolder folder;
    if (BaseDir != nullptr) {
        char* real = ::realpath(BaseDir->empty() ? "." : BaseDir->c_str(), nullptr);
        if (real == nullptr) Fail("lies in a folder that cannot be opened");
        folder.real = real;
        std::free(real);
    }
    const TFolder* own = BaseDir != nullptr ? &folder : nullptr;
    if (Binary) {
        CheckContainer(Bytes);
        CheckJson(Bytes.substr(20, Word(Bytes, 12)), 20, own);
    } else {
        CheckJson(Bytes, 0, own);
    }
    tinygltf::TinyGLTF loader;
    loader.SetImageLoader(NoImage, nullptr);
    tinygltf::FsCallbacks fs{Exists, SamePath, ReadExternal, RefuseWrite, const_cast<TFolder*>(own)};
    loader.SetFsCallbacks(fs);
    tinygltf::Model model;
    std::string err, warn;
    const auto length = static_cast<unsigned int>(Bytes.size());
    bool read = false;
    try {
        read = Binary ? loader.LoadBinaryFromMemory(&model, &err, &warn,
                                                    reinterpret_cast<const unsigned char*>(Bytes.data()), length,
                                                    folder.real)
                      : loader.LoadASCIIFromString(&model, &err, &warn, Bytes.data(), length, folder.real);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        // The library indexes some lists of a damaged file with at() and
        // lets the exception out.
        Fail("is not a well-formed glTF file");
    }
    if (!read) Fail(err.empty() ? "is not a well-formed glTF file" : Echo(err.substr(0, err.find('\n')), 160));

    // A small file may expand a lot (many meshes using one large accessor):
    // at most kVerticesPerByte vertices for each byte read, in all shapes.
    std::size_t bytes_read = Bytes.size();
    for (const tinygltf::Buffer& buffer : model.buffers)
        if (!buffer.uri.empty() && buffer.uri.compare(0, 5, "data:") != 0) bytes_read += buffer.data.size();
    const std::size_t limit = bytes_read > SIZE_MAX / kVerticesPerByte ? SIZE_MAX : bytes_read * kVerticesPerByte;

    // The file's targets: the i-th of every mesh that has i or more, all
    // primitives of a mesh having as many.
    std::size_t target_count = 0;
    std::vector<std::string> object_names(model.meshes.size());
    std::vector<std::size_t> users(model.meshes.size(), 0);
    for (const tinygltf::Node& node : model.nodes)
        if (node.mesh >= 0 && static_cast<std::size_t>(node.mesh) < users.size()) ++users[static_cast<std::size_t>(node.mesh)];
    for (std::size_t m = 0; m < model.meshes.size(); ++m) {
        const tinygltf::Mesh& mesh = model.meshes[m];
        std::string& name = object_names[m];
        name = mesh.name.empty() ? "mesh" + std::to_string(m) : NameBytes(mesh.name, mesh.extras);
        // A mesh hung from one node is the object that node names.
        if (users[m] == 1) {
            for (const tinygltf::Node& node : model.nodes)
                if (node.mesh == static_cast<int>(m) && !node.name.empty()) name = NameBytes(node.name, node.extras);
        }
        for (const tinygltf::Primitive& prim : mesh.primitives) {
            if (prim.targets.size() != mesh.primitives[0].targets.size())
                Fail("mesh " + Echo(mesh.name.empty() ? "mesh" + std::to_string(m) : mesh.name) + ": its primitives have " +
                     std::to_string(mesh.primitives[0].targets.size()) + " and " + std::to_string(prim.targets.size()) +
                     " morph targets");
        }
        if (!mesh.primitives.empty()) target_count = std::max(target_count, mesh.primitives[0].targets.size());
    }

    TImportedShapes result;
    TReadShapes shapes;
    shapes.moving.assign(target_count, 0);
    shapes.base.LimitVertices(limit);
    std::size_t corners = 0;
    for (const tinygltf::Mesh& mesh : model.meshes)
        for (const tinygltf::Primitive& prim : mesh.primitives) corners = Add(corners, Corners(model, prim));
    if (TargetShapes) {
        // Every target is a whole shape: they count against the budget too.
        for (std::size_t t = 0; t < target_count; ++t) {
            shapes.base.ExpectVertices(corners > SIZE_MAX / (t + 2) ? SIZE_MAX : corners * (t + 2));
            shapes.targets.push_back(std::make_unique<TShapeBuilder>());
            shapes.targets.back()->LimitVertices(limit);
        }
    }
    shapes.base.ExpectVertices(corners);

    for (std::size_t m = 0; m < model.meshes.size(); ++m) {
        const tinygltf::Mesh& mesh = model.meshes[m];
        shapes.base.BeginObject(object_names[m]);
        for (const auto& target : shapes.targets) target->BeginObject(object_names[m]);
        const std::string name = mesh.name.empty() ? "mesh" + std::to_string(m) : mesh.name;
        for (const tinygltf::Primitive& prim : mesh.primitives) AddPrimitive(model, prim, name, shapes);
    }
    if (shapes.base.Polygons() == 0) Fail("holds no triangle");
    result.Base.reset(shapes.base.Finish());
    for (std::size_t t = 0; t < target_count; ++t) {
        TImportedTarget& target = result.Targets.emplace_back();
        for (const tinygltf::Mesh& mesh : model.meshes) {
            if (!mesh.primitives.empty() && mesh.primitives[0].targets.size() > t) target.Name = TargetName(mesh, t);
            if (!target.Name.empty()) break;
        }
        if (target.Name.empty()) target.Name = "target" + std::to_string(t + 1);
        target.Moving = shapes.moving[t];
        if (TargetShapes) target.Shape.reset(shapes.targets[t]->Finish());
    }
    return result;
}

TVANE_Object* ImportGltf(std::string_view Bytes, bool Binary, const std::string* BaseDir) {
    return ImportGltfShapes(Bytes, Binary, BaseDir, false).Base.release();
}
