// OBJ reader. The text comes a window at a time (the whole text in memory,
// or a file read in slices of ObjWindowBytes), each window cut at line ends
// into pieces of about ObjPieceBytes that are read on every core: each
// number converted once, as a shape file converts it, and each face's
// indices kept as written, relative ones counted from the piece's own
// statements. Once the pieces before one are read, the counts of "v", "vt"
// and "vn" before it make its indices absolute, and the records are built
// in file order through the builder; the building of one window runs beside
// the reading of the next.
//
// A piece only notes that it holds a fault. Its faults are then looked for
// again, in order and with the counts before it known, which gives the
// first one its message and line; so is every index that would name no
// entry at its line.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/import.h"
#include "formats/text_scan.h"
#include "shape/errors.h"
#include "shape/number.h"
#include "shape/parallel.h"

// Measured on 1 M triangles: windows of 8 MB cost 20 MB more at the peak
// and no less time than these.
std::size_t ObjWindowBytes = std::size_t{512} << 10;
std::size_t ObjPieceBytes = std::size_t{128} << 10;

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// The next word of Rest between blanks ("" when none); Rest goes on after it.
std::string_view NextWord(std::string_view& rest) {
    std::size_t i = 0;
    while (i < rest.size() && IsBlank(rest[i])) ++i;
    std::size_t j = i;
    while (j < rest.size() && !IsBlank(rest[j])) ++j;
    const std::string_view word = rest.substr(i, j - i);
    rest.remove_prefix(j);
    return word;
}

// An index as a whole word: an optional sign and digits only, within the
// range of long long.
bool ParseIndex(std::string_view word, long long& out) {
    const bool negative = !word.empty() && word[0] == '-';
    if (!word.empty() && (word[0] == '-' || word[0] == '+')) word.remove_prefix(1);
    if (word.empty()) return false;
    unsigned long long magnitude = 0;
    const bool short_word = word.size() <= 18;  // no 18 digits pass the range
    for (const char c : word) {
        if (c < '0' || c > '9') return false;
        const auto digit = static_cast<unsigned long long>(c - '0');
        if (!short_word && magnitude > (9223372036854775807ULL - digit) / 10) return false;
        magnitude = magnitude * 10 + digit;
    }
    out = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    return true;
}

// One corner of a face: indices as the file writes them.
struct TCorner {
    long long vertex = 0, uv = 0, normal = 0;
    bool has_uv = false, has_normal = false;
};

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

// The lists faces index into, in the order a corner writes them.
enum TList : std::size_t { kPositions, kUvs, kNormals, kLists };
constexpr const char* kListNames[kLists] = {"vertex", "texture coordinate", "normal"};
constexpr std::size_t kWidths[kLists] = {3, 2, 3};

// An index counted back from the end is kept as its place from the piece's
// beginning (negative when before it) less this bias, so that it tells
// itself from an absolute one; no file holds 2^61 entries.
constexpr std::int64_t kRelativeBias = std::int64_t{1} << 62;
constexpr std::int64_t kFarthestBack = -(std::int64_t{1} << 61);

using TCounts = std::array<std::int64_t, kLists>;

// A statement between faces: the start of an object or a material.
struct TEvent {
    std::size_t at = 0;  // the place in TPiece::faces of the face after it
    bool object = false;  // else a material
    std::string name;
};

// What one piece of the text holds.
struct TPiece {
    std::string_view text;
    std::vector<double> values[kLists];
    // Per face: corners << 2 | kind, then per corner its vertex index, its
    // texture coordinate when the kind has them, its normal when it has them.
    std::vector<std::int64_t> faces;
    std::vector<TEvent> events;
    std::size_t lines = 0;  // line ends in the text
    // Of each list: the most an absolute index (from 0) passes the entries
    // the piece made before it, and the least place of a relative one; the
    // entries before the piece must cover both.
    TCounts excess{}, lowest{};
    bool failed = false;  // holds a fault the indices' checks do not find
    TCounts prefix{};  // entries before the piece, once known
    std::size_t first_line = 1;

    explicit TPiece(std::string_view Text) : text(Text) {
        excess.fill(std::numeric_limits<std::int64_t>::min());
        lowest.fill(std::numeric_limits<std::int64_t>::max());
    }
    std::int64_t Count(std::size_t list) const {
        return static_cast<std::int64_t>(values[list].size() / kWidths[list]);
    }
    bool Sound() const {
        if (failed) return false;
        for (std::size_t k = 0; k < kLists; ++k) {
            if (excess[k] >= prefix[k]) return false;
            if (lowest[k] != std::numeric_limits<std::int64_t>::max() && prefix[k] + lowest[k] < 0) return false;
        }
        return true;
    }
};

// Reads a piece's lines. Without counts before it (gathering), it notes the
// values, faces and events and stops at a fault; with them (checking), it
// throws TImportError naming the first fault and its line.
class TPieceReader {
public:
    TPieceReader(TPiece& Piece, bool Checking) : piece_(Piece), checking_(Checking) {}

    void Read() {
        const char* p = piece_.text.data();
        const char* const end = p + piece_.text.size();
        while (p < end && !piece_.failed) {
            // A line ends at LF, CR or CR LF; what stands after a NUL byte is not read.
            const char* q = SkipPlain(p, end);
            while (q < end && !IsStop(*q)) ++q;
            const std::string_view line(p, static_cast<std::size_t>(q - p));
            while (q < end && *q != '\n' && *q != '\r') ++q;
            Statement(line);
            if (q < end) {
                q += *q == '\r' && q + 1 < end && q[1] == '\n' ? 2 : 1;
                ++piece_.lines;
            }
            p = q;
        }
        // A checked piece holds a fault by what gathering found.
        if (checking_) throw std::logic_error("an OBJ piece noted a fault that is not there");
    }

private:
    // From p past the eight-byte runs without a byte below 14 (bytes from
    // 128 up may stop it early).
    static const char* SkipPlain(const char* p, const char* end) {
        constexpr std::uint64_t kOnes = 0x0101010101010101u, kHigh = 0x8080808080808080u;
        while (end - p >= 8) {
            std::uint64_t x;
            std::memcpy(&x, p, 8);
            if (((x - 14 * kOnes) & ~x & kHigh) != 0) break;
            p += 8;
        }
        return p;
    }

    static bool IsStop(char c) {
        return static_cast<unsigned char>(c) <= '\r' && (c == '\n' || c == '\r' || c == '\0');
    }

    void Fail(const std::string& what) {
        if (checking_)
            throw TImportError("line " + std::to_string(piece_.first_line + piece_.lines) + ": " + what);
        piece_.failed = true;
    }

    void Statement(std::string_view line) {
        while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
        if (line.empty()) return;
        auto blank_at = [&](std::size_t i) { return i < line.size() && IsBlank(line[i]); };
        switch (line[0]) {
        case 'v':
            if (blank_at(1)) return Numbers(line.substr(1), 3, 0, piece_.values[kPositions]);
            if (line.size() > 1 && line[1] == 'n' && blank_at(2))
                return Numbers(line.substr(2), 3, 0, piece_.values[kNormals]);
            if (line.size() > 1 && line[1] == 't' && blank_at(2))
                return Numbers(line.substr(2), 1, 1, piece_.values[kUvs]);
            return;
        case 'f':
            if (blank_at(1)) Face(line.substr(1));
            return;
        case 'u':
            if (line.substr(0, 6) == "usemtl" && blank_at(6)) Event(false, TrimBlanks(line.substr(7)));
            return;
        case 'g':
            if (blank_at(1)) {
                // The group's names, joined.
                std::string joined;
                std::string_view rest = line.substr(1);
                for (std::string_view word = NextWord(rest); !word.empty(); word = NextWord(rest)) {
                    if (!joined.empty()) joined += '_';
                    joined += word;
                }
                Event(true, joined);
            }
            return;
        case 'o':
            if (blank_at(1)) Event(true, TrimBlanks(line.substr(2)));
            return;
        default:
            return;
        }
    }

    void Event(bool object, std::string_view name) {
        if (!checking_) piece_.events.push_back({piece_.faces.size(), object, std::string(name)});
    }

    // `count` numbers into out, and up to `optional` more that default to 0;
    // what follows is not read.
    void Numbers(std::string_view rest, std::size_t count, std::size_t optional, std::vector<double>& out) {
        for (std::size_t i = 0; i < count + optional; ++i) {
            while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
            double value = 0;
            if (const std::size_t n = QuickValue(rest, value)) {
                out.push_back(value);
                rest.remove_prefix(n);
                continue;
            }
            const std::string_view word = NextWord(rest);
            if (word.empty()) {
                if (i < count) return Fail("needs " + std::to_string(count) + " numbers");
                out.push_back(0);
                continue;
            }
            if (!TryToValue(word, value)) return Fail(Quoted(word) + " is not a number");
            // Every double below 10^308 has a text that reads back.
            if (!(value < 1e308 && value > -1e308) && !Writable(value))
                return Fail(Quoted(word) + " is too large for a shape file");
            out.push_back(value);
        }
    }

    // The literal at the front of Rest when a blank or the line's end
    // follows it and its value is one a shape file holds: its length, and
    // its value as ToValue gives it. 0 for anything else, which the word's
    // own reading then tells apart.
    static std::size_t QuickValue(std::string_view rest, double& value) {
        std::size_t n = 0;
        try {
            n = ReadPlainValue(rest, false, value);
        } catch (const SufConvertError&) {
            return 0;
        }
        if (n == 0 || (n < rest.size() && !IsBlank(rest[n]))) return 0;
        return value < 1e308 && value > -1e308 ? n : 0;
    }

    void Face(std::string_view rest) {
        corners_.clear();
        bool all_uvs = true, all_normals = true;
        for (std::string_view word = NextWord(rest); !word.empty(); word = NextWord(rest)) {
            TCorner c;
            if (!ParseCorner(word, c)) return Fail(Quoted(word) + " is not a vertex index");
            all_uvs = all_uvs && c.has_uv;
            all_normals = all_normals && c.has_normal;
            corners_.push_back(c);
        }
        if (corners_.empty()) return;
        if (checking_) {
            // Each corner's indices in turn; an index the face's kind leaves
            // unused must still name an entry.
            for (const TCorner& c : corners_) {
                Check(c.vertex, kPositions);
                if (c.has_normal) Check(c.normal, kNormals);
                if (c.has_uv) Check(c.uv, kUvs);
            }
            return;
        }
        const std::uint8_t kind = (all_normals ? 1 : 0) | (all_uvs ? 2 : 0);
        static_assert(kKindShade == 1 && kKindUvPoly == 2 && kKindUvShade == 3);
        piece_.faces.push_back(static_cast<std::int64_t>(corners_.size() << 2 | kind));
        for (const TCorner& c : corners_) {
            Keep(c.vertex, kPositions, true);
            if (c.has_uv) Keep(c.uv, kUvs, all_uvs);
            if (c.has_normal) Keep(c.normal, kNormals, all_normals);
            if (piece_.failed) return;
        }
    }

    // Notes what index asks of the entries before the piece; kept in the
    // face when Stored (the face's kind has the list).
    void Keep(long long index, TList list, bool stored) {
        const std::int64_t made = piece_.Count(list);
        std::int64_t kept = 0;
        if (index > 0) {
            kept = index - 1;
            piece_.excess[list] = std::max(piece_.excess[list], kept - made);
        } else if (index < 0 && index >= kFarthestBack) {
            const std::int64_t place = made + index;
            piece_.lowest[list] = std::min(piece_.lowest[list], place);
            kept = place - kRelativeBias;
        } else {
            piece_.failed = true;  // 0, or further back than any file holds
            return;
        }
        if (stored) piece_.faces.push_back(kept);
    }

    void Check(long long index, TList list) {
        const std::int64_t n = piece_.prefix[list] + piece_.Count(list);
        const long long i = index > 0 ? index - 1 : n + index;
        if (i < 0 || i >= n)
            Fail(std::string("a face refers to ") + kListNames[list] + " " + std::to_string(index) + " of " +
                 std::to_string(n));
    }

    TPiece& piece_;
    bool checking_;
    std::vector<TCorner> corners_;
};

// Where the line after the one standing at From ends, past its line end;
// Text's size when it runs to the end.
std::size_t LineAfter(std::string_view text, std::size_t from) {
    for (std::size_t i = from; i < text.size(); ++i) {
        if (text[i] == '\n') return i + 1;
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return i + 1;
    }
    return text.size();
}

// The end of the last whole line of the Filled bytes at Text, as far as
// what was read tells (a CR last may have its LF still to come); 0 when none.
std::size_t LastLineEnd(const char* text, std::size_t filled) {
    for (std::size_t i = filled; i > 0; --i) {
        const char c = text[i - 1];
        if (c == '\n' || (c == '\r' && i < filled && text[i] != '\n')) return i;
    }
    return 0;
}

// The text a window at a time, each ending at a line end or at the text's end.
class TWindows {
public:
    explicit TWindows(std::string_view Bytes) : bytes_(Bytes), in_memory_(true) {}
    explicit TWindows(const TObjRead& Read) : read_(&Read) {}

    // The next window, "" past the end. The text of a window stays until
    // the call after the next.
    std::string_view Next() {
        const std::size_t want = std::max<std::size_t>(ObjWindowBytes, 1);
        if (in_memory_) {
            if (place_ >= bytes_.size()) return {};
            const std::size_t begin = place_;
            place_ = want >= bytes_.size() - begin ? bytes_.size() : LineAfter(bytes_, begin + want - 1);
            return bytes_.substr(begin, place_ - begin);
        }
        TBuffer& into = buffers_[turn_];
        const TBuffer& last = buffers_[turn_ ^ 1];
        const std::size_t kept = last.filled - carry_;
        if (ended_ && kept == 0) return {};
        std::size_t goal = want;
        Reserve(into, std::max(goal, kept), 0);
        if (kept > 0) std::memcpy(into.bytes.get(), last.bytes.get() + carry_, kept);
        into.filled = kept;
        std::size_t cut = 0;
        for (;;) {
            while (!ended_ && into.filled < goal) {
                const std::size_t n = (*read_)(into.bytes.get() + into.filled, goal - into.filled);
                ended_ = n == 0;
                into.filled += n;
            }
            cut = ended_ ? into.filled : LastLineEnd(into.bytes.get(), into.filled);
            if (cut > 0 || ended_) break;
            goal *= 2;  // one line longer than the window
            Reserve(into, goal, into.filled);
        }
        carry_ = cut;
        turn_ ^= 1;
        return {into.bytes.get(), cut};
    }

private:
    struct TBuffer {
        std::unique_ptr<char[]> bytes;
        std::size_t size = 0, filled = 0;
    };
    static void Reserve(TBuffer& b, std::size_t size, std::size_t keep) {
        if (b.size >= size) return;
        std::unique_ptr<char[]> bigger(new char[size]);  // read() fills what is used
        if (keep > 0) std::memcpy(bigger.get(), b.bytes.get(), keep);
        b.bytes = std::move(bigger);
        b.size = size;
    }

    std::string_view bytes_;
    bool in_memory_ = false;
    std::size_t place_ = 0;
    const TObjRead* read_ = nullptr;
    TBuffer buffers_[2];
    int turn_ = 0;
    std::size_t carry_ = 0;  // where the bytes after the last window begin in its buffer
    bool ended_ = false;
};

// Entries of one list, in blocks, so that growing never copies them.
class TEntries {
public:
    explicit TEntries(std::size_t Width) : width_(Width) {}
    void Append(const std::vector<double>& values) {
        for (std::size_t i = 0; i < values.size();) {
            const std::size_t used = count_ % kBlock;
            if (used == 0) blocks_.emplace_back(new double[kBlock * width_]);
            const std::size_t n = std::min(kBlock - used, (values.size() - i) / width_);
            std::memcpy(blocks_.back().get() + used * width_, values.data() + i, n * width_ * sizeof(double));
            i += n * width_;
            count_ += n;
        }
    }
    const double* At(std::size_t i) const { return blocks_[i / kBlock].get() + (i % kBlock) * width_; }

private:
    static constexpr std::size_t kBlock = 16384;
    std::size_t width_;
    std::size_t count_ = 0;
    std::vector<std::unique_ptr<double[]>> blocks_;
};

// Text below which a window's pieces are read on the calling thread.
constexpr std::size_t kParallelBytes = 65536;

class TObjReader {
public:
    explicit TObjReader(TObjFaces* Faces) : faces_log_(Faces) {}

    TVANE_Object* Read(TWindows& windows) {
        std::vector<TPiece> ready = Cut(windows.Next());
        OnCores(ready, ready.size(), [&](std::size_t i) { Gather(ready[i]); });
        Rethrow();
        for (;;) {
            Join(ready);
            std::vector<TPiece> next;
            if (!faulty_) next = Cut(windows.Next());
            // Index 0 builds the window read, the others read the next one's pieces.
            OnCores(next, 1 + next.size(), [&](std::size_t i) {
                if (i == 0) {
                    try {
                        Build(ready);
                    } catch (...) {
                        build_error_ = std::current_exception();
                    }
                } else {
                    Gather(next[i - 1]);
                }
            });
            if (build_error_) std::rethrow_exception(build_error_);
            Rethrow();
            if (next.empty()) break;
            ready = std::move(next);
        }
        if (builder_.Polygons() == 0) throw TImportError("holds no face");
        return builder_.Finish();
    }

private:
    // Work(0 .. Count - 1) on the cores, or here when the pieces' text is
    // too short to pay for threads.
    template <typename TWork>
    static void OnCores(const std::vector<TPiece>& pieces, std::size_t count, const TWork& work) {
        std::size_t bytes = 0;
        for (const TPiece& piece : pieces) bytes += piece.text.size();
        if (bytes >= kParallelBytes) return ForEachOnCores(count, work);
        for (std::size_t i = 0; i < count; ++i) work(i);
    }

    static std::vector<TPiece> Cut(std::string_view text) {
        std::vector<TPiece> pieces;
        const std::size_t size = std::max<std::size_t>(ObjPieceBytes, 1);
        for (std::size_t begin = 0; begin < text.size();) {
            const std::size_t end =
                size >= text.size() - begin ? text.size() : LineAfter(text, begin + size - 1);
            pieces.emplace_back(text.substr(begin, end - begin));
            begin = end;
        }
        return pieces;
    }

    void Gather(TPiece& piece) {
        try {
            TPieceReader(piece, false).Read();
        } catch (const std::bad_alloc&) {
            gather_error_.store(true);
        }
    }

    void Rethrow() const {
        if (gather_error_.load()) throw std::bad_alloc();
    }

    // Gives the pieces the counts before them and takes their entries in;
    // stops at the first piece with a fault.
    void Join(std::vector<TPiece>& pieces) {
        for (TPiece& piece : pieces) {
            piece.prefix = totals_;
            piece.first_line = lines_ + 1;
            if (!piece.Sound()) {
                faulty_ = true;
                return;
            }
            for (std::size_t k = 0; k < kLists; ++k) {
                entries_[k].Append(piece.values[k]);
                totals_[k] += piece.Count(k);
                std::vector<double>().swap(piece.values[k]);
            }
            lines_ += piece.lines;
        }
    }

    void Build(std::vector<TPiece>& pieces) {
        for (TPiece& piece : pieces) {
            if (!piece.Sound()) {
                TPiece again(piece.text);
                again.prefix = piece.prefix;
                again.first_line = piece.first_line;
                TPieceReader(again, true).Read();
            }
            BuildPiece(piece);
            std::vector<std::int64_t>().swap(piece.faces);
        }
    }

    std::size_t Absolute(std::int64_t kept, std::size_t list, const TPiece& piece) const {
        return static_cast<std::size_t>(kept >= 0 ? kept : kept + kRelativeBias + piece.prefix[list]);
    }

    void Apply(const TEvent& e) {
        if (e.object)
            builder_.BeginObject(e.name);
        else
            material_ = e.name;
    }

    void BuildPiece(const TPiece& piece) {
        const std::vector<std::int64_t>& faces = piece.faces;
        std::size_t next_event = 0;
        for (std::size_t f = 0; f < faces.size();) {
            while (next_event < piece.events.size() && piece.events[next_event].at == f)
                Apply(piece.events[next_event++]);
            const auto header = static_cast<std::size_t>(faces[f++]);
            const auto kind = static_cast<std::uint8_t>(header & 3);
            const std::size_t corners = header >> 2;
            const bool uvs = (kind & 2) != 0, normals = (kind & 1) != 0;
            builder_.BeginPolygon(kind, material_);
            if (faces_log_ != nullptr) faces_log_->Corners.push_back(corners);
            for (std::size_t c = 0; c < corners; ++c) {
                const std::size_t at = Absolute(faces[f++], kPositions, piece);
                std::size_t uv = SIZE_MAX, normal = SIZE_MAX;
                if (uvs) uv = Absolute(faces[f++], kUvs, piece);
                if (normals) normal = Absolute(faces[f++], kNormals, piece);
                builder_.AddVertex(entries_[kPositions].At(at), normals ? entries_[kNormals].At(normal) : nullptr,
                                   uvs ? entries_[kUvs].At(uv) : nullptr);
                if (faces_log_ != nullptr) faces_log_->Indices.insert(faces_log_->Indices.end(), {at, uv, normal});
            }
        }
        for (; next_event < piece.events.size(); ++next_event) Apply(piece.events[next_event]);
    }

    TObjFaces* faces_log_;
    TShapeBuilder builder_;
    std::string material_;
    TEntries entries_[kLists] = {TEntries(kWidths[0]), TEntries(kWidths[1]), TEntries(kWidths[2])};
    TCounts totals_{};
    std::size_t lines_ = 0;
    bool faulty_ = false;  // a piece joined holds a fault: nothing more is read
    std::exception_ptr build_error_;
    std::atomic<bool> gather_error_{false};
};

}  // namespace

TVANE_Object* ImportObj(std::string_view Bytes) {
    TWindows windows(Bytes);
    return TObjReader(nullptr).Read(windows);
}

TVANE_Object* ImportObjWithFaces(std::string_view Bytes, TObjFaces& Faces) {
    Faces = {};
    TWindows windows(Bytes);
    return TObjReader(&Faces).Read(windows);
}

TVANE_Object* ImportObjStream(const TObjRead& Read) {
    TWindows windows(Read);
    return TObjReader(nullptr).Read(windows);
}
