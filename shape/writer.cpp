// Shape file writer. The text is made in pieces (a large shape's on every
// core) and streamed to the output layer (shape/output.h), which replaces an
// existing file only once everything is written, flushed and closed: a
// failed save leaves it as it was.
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "shape/errors.h"
#include "shape/kinds.h"
#include "shape/number.h"
#include "shape/output.h"
#include "shape/parallel.h"
#include "shape/placed.h"
#include "shape/probes.h"
#include "shape/state.h"
#include "shape/text.h"
#include "shape/vane.h"

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Why a save stopped; `cause` is the Japanese text shown in the message.
struct SaveFailure {
    std::string cause;
};

void AppendLine(std::string& out, std::string_view a, std::string_view b = {},
                std::string_view c = {}) {
    out.append(a);
    out.append(b);
    out.append(c);
    out.append(kLineEnd);
}

// Writes VALUE at OUT, which has room for kMaxNumberText bytes, and
// returns the end of what it wrote.
char* PutValue(char* out, Extended value) {
    const std::size_t n = FormatNumber(value, out);
    if (n == 0) {
        // The reader would reject the written text: refuse the whole shape.
        std::string shown = std::isnan(value) ? "非数" : std::isinf(value) ? "無限大" : "";
        if (shown.empty()) {
            char wide[64];
            std::snprintf(wide, sizeof wide, "%.15LG", value);
            shown = wide;
        }
        throw SaveFailure{"値 " + shown + " は倍精度浮動小数点数の範囲を超えています"};
    }
    return out + n;
}

// Whether `name`, written after "obj suf " or "atr ", reads back as the same
// bytes. A name is read as one word: a blank or control byte would split or
// trim it, and any other delimiter ends the word where it stands, so only
// the last byte may be one. A "/*" in the word opens a comment unless a "*/"
// ends before it. Empty names are not asked about: they never read back.
bool ReadsBackAsItself(std::string_view name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c <= 32 || (i + 1 < name.size() && VANE->IsTokenDelimiter(c))) return false;
    }
    const std::size_t open = name.find("/*");
    if (open == std::string_view::npos) return true;
    const std::size_t close = name.find("*/");
    return close != std::string_view::npos && close + 2 <= open;
}

// Refuses the whole shape when a name would come back as another name, or
// would swallow the rest of the file into a comment.
void CheckName(std::string_view what, const std::string& name) {
    if (name.empty() || ReadsBackAsItself(name)) return;
    throw SaveFailure{std::string(what) + "「" + NameText(name) +
                      "」は区切り文字か注釈の記号を含むため、読み戻すと同じ名前になりません"};
}

// Room for one vertex line of any kind.
constexpr std::size_t kMaxVertexLine = 3 + kMaxKindValues * (2 + kMaxNumberText) + 2;

// Appends the vertex line of V as LAYOUT lays it out: made in place and
// appended whole.
void AppendVertexLine(std::string& out, const TVANE_Vertex& v, const TKindLayout& layout) {
    char line[kMaxVertexLine];
    char* at = line;
    std::memcpy(at, "   ", 3);
    at += 3;
    for (std::size_t k = 0; k < layout.Count; ++k) {
        *at++ = ' ';
        if (layout.GroupStart[k]) *at++ = ' ';
        at = PutValue(at, v.*layout.Fields[k]);
    }
    std::memcpy(at, kLineEnd.data(), kLineEnd.size());
    at += kLineEnd.size();
    out.append(line, static_cast<std::size_t>(at - line));
}

// What a vertex line holds before its first value.
constexpr std::size_t kLineIndent = 4;

// Where the word at AT of TEXT ends: at the first blank or carriage return
// from there, or the end. Eight bytes are looked at at once: a byte equal to
// one of them becomes zero, and the lowest zero byte's high bit is the
// lowest set in FOUND (a borrow reaches only bytes above it).
std::size_t WordEnd(std::string_view text, std::size_t at) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
        for (; at + 8 <= text.size(); at += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + at, sizeof word);
            const std::uint64_t blank = word ^ (kOnes * ' '), cr = word ^ (kOnes * '\r');
            const std::uint64_t found = (((blank - kOnes) & ~blank) | ((cr - kOnes) & ~cr)) & kHighs;
            if (found != 0) return at + static_cast<std::size_t>(std::countr_zero(found)) / 8;
        }
    }
    while (at < text.size() && text[at] != ' ' && text[at] != '\r') ++at;
    return at;
}

// The length of the vertex line at the front of TEXT when it is the line
// AppendVertexLine writes for the values read from it, else 0.
std::size_t WrittenLineLength(std::string_view text, const TKindLayout& layout) {
    if (!text.starts_with("   ")) return 0;
    std::size_t at = 3;
    for (std::size_t k = 0; k < layout.Count; ++k) {
        for (std::size_t blank = layout.GroupStart[k] ? 2 : 1; blank > 0; --blank, ++at)
            if (at >= text.size() || text[at] != ' ') return 0;
        const std::size_t end = WordEnd(text, at);
        if (end == text.size() || !IsFormattedNumber(text.substr(at, end - at))) return 0;
        at = end;
    }
    return text.substr(at).starts_with(kLineEnd) ? at + kLineEnd.size() : 0;
}

// A run of polygons of one object, written as a piece of the text: the
// object's first line when it starts the object, its last when it ends it.
struct TPiece {
    const TVANE_Object* object = nullptr;
    const TVANE_Polygon* first = nullptr;  // in the lists; nullptr when the object has none
    std::size_t placed = 0;                // or the first of the placed polygons
    std::size_t polygons = 0;
    const TVANE_Attribute* written = nullptr;  // the attribute in effect before the first
    bool opens = false;
    bool closes = false;
};

// What a polygon's own lines need of it besides its vertices.
struct TPolygonHead {
    const TVANE_Attribute* Attribute = nullptr;
    std::uint8_t Kind = kKindPoly;
};

// Appends the text of PIECE. HEAD_AT(i) gives its i-th polygon's head,
// asked for in turn, and VERTICES(out, i, layout) appends that polygon's
// vertex lines.
template <typename THeadAt, typename TVertices>
void AppendPiece(std::string& out, const TPiece& piece, THeadAt&& head_at, TVertices&& vertices) {
    if (piece.opens) {
        CheckName("オブジェクト名", piece.object->Name);
        AppendLine(out, "obj suf ", piece.object->Name, " {");
    }
    // An attribute line is written where the polygons' attribute changes.
    const TVANE_Attribute* written = piece.written;
    for (std::size_t i = 0; i < piece.polygons; ++i) {
        const TPolygonHead head = head_at(i);
        if (head.Attribute != written) {
            written = head.Attribute;
            if (written != nullptr) {
                CheckName("属性名", written->Name);
                AppendLine(out, "atr ", written->Name);
            }
        }
        const TKindLayout& layout = KindLayout(head.Kind);
        AppendLine(out, "prim ", layout.Keyword, " (");
        vertices(out, i, layout);
        AppendLine(out, ")");
    }
    if (piece.closes) AppendLine(out, "}");
}

// A piece of polygons that follow one another in their object's list.
void AppendListPiece(std::string& out, const TPiece& piece) {
    const TVANE_Polygon* poly = nullptr;
    AppendPiece(
        out, piece,
        [&](std::size_t i) {
            poly = i == 0 ? piece.first : poly->Next;
            // Records may lie anywhere (a list relinked in another order):
            // the next polygon's vertices and the one after it are asked for
            // while this one is formatted (hints only).
            if (const TVANE_Polygon* next = poly->Next; next != nullptr) {
                __builtin_prefetch(next->Next);
                __builtin_prefetch(next->Vertices);
            }
            return TPolygonHead{poly->Attribute, poly->Kind};
        },
        [&](std::string& text, std::size_t, const TKindLayout& layout) {
            for (const TVANE_Vertex* v = poly->Vertices; v != nullptr; v = v->Next) AppendVertexLine(text, *v, layout);
        });
}

// The shape cut into pieces of at most `polygons` polygons each, in order.
std::vector<TPiece> ListPieces(const TVANE_Object* shape, std::size_t polygons) {
    std::vector<TPiece> pieces;
    for (const TVANE_Object* obj = shape; obj != nullptr; obj = obj->Next) {
        pieces.push_back({obj, obj->Polygons, 0, 0, nullptr, true, false});
        const TVANE_Attribute* before = nullptr;
        for (const TVANE_Polygon* poly = obj->Polygons; poly != nullptr; poly = poly->Next) {
            if (pieces.back().polygons == polygons) pieces.push_back({obj, poly, 0, 0, before, false, false});
            ++pieces.back().polygons;
            before = poly->Attribute;
        }
        pieces.back().closes = true;
    }
    return pieces;
}

// The pieces of placed objects and polygons, in their order.
std::vector<TPiece> PlacedPieces(std::span<const TPlacedObject> objects, std::span<const TPlacedPolygon> polygons,
                                 std::size_t size) {
    std::vector<TPiece> pieces;
    std::size_t at = 0;
    for (const TPlacedObject& object : objects) {
        const std::size_t end = std::min(at + object.Polygons, polygons.size());
        pieces.push_back({object.Object, nullptr, at, 0, nullptr, true, false});
        for (; at < end; ++at) {
            if (pieces.back().polygons == size)
                pieces.push_back({object.Object, nullptr, at, 0, polygons[at - 1].Polygon->Attribute, false, false});
            ++pieces.back().polygons;
        }
        pieces.back().closes = true;
    }
    return pieces;
}

using TAppendPiece = std::function<void(std::string&, const TPiece&)>;

// The text of a shape, made piece by piece as the output layer asks for
// it. A large shape is formatted on every core, a batch of pieces at a time,
// into buffers that are used again for the next batch: the text is never
// held whole. The first failure in the order of the text is the one raised,
// as formatting in one pass would raise it.
class TShapeText {
public:
    // The pieces are formatted on every core when they hold at least
    // SufParallelPolygons polygons.
    TShapeText(std::vector<TPiece> pieces, TAppendPiece append)
        : pieces_(std::move(pieces)), append_(std::move(append)) {
        std::size_t polygons = 0;
        for (const TPiece& piece : pieces_) polygons += piece.polygons;
        parallel_ = polygons >= SufParallelPolygons && CoreCount() > 1;
        texts_.resize(parallel_ ? std::min<std::size_t>(pieces_.size(), kBatchPerCore * CoreCount()) : 1);
        failures_.resize(texts_.size());
    }

    std::string_view Next() {
        while (true) {
            if (given_ < made_) {
                const std::string& text = texts_[given_++ % texts_.size()];
                if (!text.empty()) return text;
                continue;  // an empty piece would read as the end
            }
            if (made_ == pieces_.size()) return {};
            MakeBatch();
        }
    }

private:
    // Pieces made at once for each core: enough to share the work out
    // evenly, few enough that the batch stays small beside the shape.
    static constexpr std::size_t kBatchPerCore = 4;

    void MakeBatch() {
        const std::size_t first = made_;
        const std::size_t count = std::min(texts_.size(), pieces_.size() - first);
        const auto make = [&](std::size_t i) {
            std::string& text = texts_[i];
            text.clear();
            try {
                append_(text, pieces_[first + i]);
            } catch (...) {
                failures_[i] = std::current_exception();
            }
        };
        if (parallel_) {
            ForEachOnCores(count, make);
        } else {
            for (std::size_t i = 0; i < count; ++i) make(i);
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (failures_[i]) std::rethrow_exception(failures_[i]);
        }
        made_ += count;
    }

    bool parallel_ = false;
    std::vector<TPiece> pieces_;
    TAppendPiece append_;
    std::vector<std::string> texts_;  // the batch being written
    std::vector<std::exception_ptr> failures_;
    std::size_t made_ = 0;   // pieces formatted
    std::size_t given_ = 0;  // pieces handed out
};

// Writes the text of the pieces CUT gives, naming the file in SufErrorMessage
// when it fails.
bool Save(const std::string& file_name, const std::function<std::vector<TPiece>()>& cut, TAppendPiece append) {
    SufErrorMessage.clear();
    try {
        TShapeText text(cut(), std::move(append));
        try {
            WriteOutputFile(file_name, [&text] { return text.Next(); });
        } catch (const OutputError& error) {
            throw SaveFailure{error.what()};
        }
        return true;
    } catch (const SaveFailure& failure) {
        SetSufErrorMessage({"ファイル「", file_name, "」に保存できません（", failure.cause, "）。"});
    } catch (const std::bad_alloc&) {
        SetSufErrorMessage({"ファイル「", file_name, "」に保存できません（メモリーが枯渇しました）。"});
    }
    return false;
}

}  // namespace

// The lines are made in pieces of a fixed number of polygons in list order;
// each vertex's line ends where LineEnd says in its piece's text, and the
// lines of a polygon follow one another.
struct TSufVertexLines::TState {
    struct TPolygonLines {
        const TVANE_Polygon* Polygon = nullptr;
        std::size_t FirstSlot = 0;  // its first vertex among all of the shape
    };
    struct TPieceText {
        std::string Text;
        bool Made = false;
    };
    // The lines of one polygon as made: corner K's runs from Begin(K) to
    // Ends[K] in Text.
    struct TMadeLines {
        const char* Text = nullptr;
        const std::uint32_t* Ends = nullptr;
        std::size_t First = 0;  // where corner 0's line begins
        std::size_t Corners = 0;
        std::size_t Begin(std::size_t k) const { return k == 0 ? First : Ends[k - 1]; }
    };

    const TVANE_Object* Shape = nullptr;
    std::size_t PiecePolygons = 1;
    std::vector<TPolygonLines> Polygons;  // in list order, and one past the last
    std::vector<std::uint32_t> LineEnd;   // per vertex
    std::vector<TPieceText> Pieces;
    std::once_flag Indexed;
    std::atomic<std::size_t> Next{0};  // the first piece no thread has taken
    std::jthread Aside;
    // Pieces whose lines all stand in the source file are copied from it by
    // Finish, not formatted ahead.
    TSufSource Source;
    std::vector<std::uint8_t> FromSource;  // per piece
    int SourceFd = -1;                     // open while Finish copies
    std::atomic<std::size_t> NextCopy{0};  // the first piece no thread has looked at to copy
    std::atomic<std::size_t> Copied{0};    // polygons

    std::size_t PolygonCount() const { return Polygons.empty() ? 0 : Polygons.size() - 1; }

    // Where each polygon's lines go: one walk over the lists, by the first
    // thread that formats. Throws std::bad_alloc, leaving nothing indexed.
    void Index() {
        try {
            std::size_t slots = 0;
            for (const TVANE_Object* obj = Shape; obj != nullptr; obj = obj->Next) {
                for (const TVANE_Polygon* poly = obj->Polygons; poly != nullptr; poly = poly->Next) {
                    Polygons.push_back({poly, slots});
                    for (const TVANE_Vertex* v = poly->Vertices; v != nullptr; v = v->Next) ++slots;
                }
            }
            Polygons.push_back({nullptr, slots});
            LineEnd.resize(slots);
            Pieces.resize((PolygonCount() + PiecePolygons - 1) / PiecePolygons);
            if (Source.FirstValue.size() != PolygonCount()) std::vector<std::uint64_t>().swap(Source.FirstValue);
            if (!Source.FirstValue.empty()) FromSource.assign(Pieces.size(), 1);
            for (std::size_t p = 0; p < Source.FirstValue.size(); ++p) {
                if (Source.FirstValue[p] == TSufSource::kUnknown && Polygons[p + 1].FirstSlot > Polygons[p].FirstSlot)
                    FromSource[p / PiecePolygons] = 0;
            }
        } catch (...) {
            Polygons.clear();
            LineEnd.clear();
            Pieces.clear();
            FromSource.clear();
            throw;
        }
    }

    bool IsFromSource(std::size_t piece) const { return piece < FromSource.size() && FromSource[piece] != 0; }

    // Formats pieces until none is left to take. A piece that fails stays
    // not made.
    void Format() noexcept {
        try {
            std::call_once(Indexed, [this] { Index(); });
        } catch (...) {
            return;  // another thread may index again; none made here
        }
        for (std::size_t k; (k = Next.fetch_add(1)) < Pieces.size();) {
            if (!IsFromSource(k)) FormatPiece(k);
        }
    }

    // Appends the lines of polygon P to OUT, which will stand at BASE in its
    // piece's text.
    void FormatLines(std::size_t p, std::string& out, std::size_t base) {
        const TVANE_Polygon& poly = *Polygons[p].Polygon;
        const TKindLayout& layout = KindLayout(poly.Kind);
        std::size_t slot = Polygons[p].FirstSlot;
        for (const TVANE_Vertex* v = poly.Vertices; v != nullptr; v = v->Next, ++slot) {
            AppendVertexLine(out, *v, layout);
            if (base + out.size() > UINT32_MAX) throw std::length_error("piece too long");
            LineEnd[slot] = static_cast<std::uint32_t>(base + out.size());
        }
    }

    void FormatPiece(std::size_t k) noexcept {
        TPieceText& piece = Pieces[k];
        piece.Made = false;  // copied before from a file that changed since
        try {
            const std::size_t begin = k * PiecePolygons;
            const std::size_t end = std::min(begin + PiecePolygons, PolygonCount());
            piece.Text.clear();
            piece.Text.reserve((Polygons[end].FirstSlot - Polygons[begin].FirstSlot) * 64);
            for (std::size_t p = begin; p < end; ++p) FormatLines(p, piece.Text, 0);
            piece.Made = true;
        } catch (...) {
            std::string().swap(piece.Text);
        }
    }

    // Copies the pieces whose lines stand in the source file, while it is
    // open; formats those it cannot copy.
    void CopyFromSource() noexcept {
        for (std::size_t k; (k = NextCopy.fetch_add(1)) < Pieces.size();) {
            if (!IsFromSource(k)) continue;
            if (SourceFd < 0 || !CopyPiece(k)) FormatPiece(k);
        }
    }

    // Reads the lines of piece K from the source file, from the first
    // polygon's first line to past the last one's end, and moves them down
    // to follow one another, each checked to be the line the writer writes
    // for its values. A polygon with a line that is not is formatted in the
    // room its lines and the text between leave. False, nothing made, where
    // the piece cannot be made so.
    bool CopyPiece(std::size_t k) noexcept {
        TPieceText& piece = Pieces[k];
        piece.Made = false;
        try {
            const std::size_t begin = k * PiecePolygons;
            const std::size_t end = std::min(begin + PiecePolygons, PolygonCount());
            const auto corners = [&](std::size_t p) { return Polygons[p + 1].FirstSlot - Polygons[p].FirstSlot; };
            std::uint64_t from = UINT64_MAX, to = 0;
            for (std::size_t p = begin; p < end; ++p) {
                if (corners(p) == 0) continue;
                const std::uint64_t at = Source.FirstValue[p];
                if (at < kLineIndent || at > Source.File.Size) return false;
                from = std::min(from, at - kLineIndent);
                to = std::max(to, at - kLineIndent + corners(p) * kMaxVertexLine);
            }
            std::string& text = piece.Text;
            text.clear();
            if (from == UINT64_MAX) {
                piece.Made = true;
                return true;
            }
            to = std::min<std::uint64_t>(to, Source.File.Size);
            if (to <= from || to - from > UINT32_MAX) return false;
            text.resize(to - from);
            for (std::size_t got = 0; got < text.size();) {
                const ssize_t n = pread(SourceFd, text.data() + got, text.size() - got, static_cast<off_t>(from + got));
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) return false;
                got += static_cast<std::size_t>(n);
            }
            const auto lines_at = [&](std::size_t p) { return Source.FirstValue[p] - kLineIndent - from; };
            std::size_t out = 0, copied = 0;
            std::string formatted;
            for (std::size_t p = begin; p < end; ++p) {
                if (corners(p) == 0) continue;
                std::size_t at = lines_at(p);
                if (at < out || at > text.size()) return false;
                const std::size_t first = Polygons[p].FirstSlot, last = Polygons[p + 1].FirstSlot;
                const TKindLayout& layout = KindLayout(Polygons[p].Polygon->Kind);
                const std::size_t start = out;
                std::size_t slot = first;
                for (; slot < last; ++slot) {
                    const std::size_t length = WrittenLineLength(std::string_view(text).substr(at), layout);
                    if (length == 0) break;
                    std::memmove(text.data() + out, text.data() + at, length);
                    out += length;
                    at += length;
                    LineEnd[slot] = static_cast<std::uint32_t>(out);
                }
                if (slot == last) {
                    ++copied;
                    continue;
                }
                // Formatted, up to where the next polygon's lines stand; the
                // last may grow the text, which is read through by then.
                formatted.clear();
                FormatLines(p, formatted, start);
                std::size_t next = p + 1;
                while (next < end && corners(next) == 0) ++next;
                if (next < end) {
                    if (start + formatted.size() > lines_at(next)) return false;
                } else if (start + formatted.size() > text.size()) {
                    text.resize(start + formatted.size());
                }
                std::memcpy(text.data() + start, formatted.data(), formatted.size());
                out = start + formatted.size();
            }
            text.resize(out);
            piece.Made = true;
            Copied += copied;
            return true;
        } catch (...) {
            std::string().swap(piece.Text);
            return false;
        }
    }

    // Copies what can be copied from the source file while it stays the
    // file that was read; formats the rest, and all of it when the file
    // changed meanwhile.
    void Copy() {
        if (FromSource.empty()) return;
        SourceFd = open(Source.FileName.c_str(), O_RDONLY | O_CLOEXEC);
        if (SourceFd >= 0 && !IsSourceFile()) CloseSource();
        ForEachOnCores(CoreCount(), [this](std::size_t) { CopyFromSource(); });
        if (SourceFd >= 0 && !IsSourceFile()) {
            CloseSource();
            Copied = 0;
            NextCopy = 0;
            ForEachOnCores(CoreCount(), [this](std::size_t) { CopyFromSource(); });
        }
        CloseSource();
    }

    // Whether the open source file is still the one read, as it was then.
    bool IsSourceFile() const {
        TSufSource::TIdentity now;
        return now.Of(SourceFd) && now == Source.File;
    }

    void CloseSource() {
        if (SourceFd >= 0) close(SourceFd);
        SourceFd = -1;
    }

    // The lines of POLYGON, at list place INDEX, when they were made and
    // INDEX is its place.
    std::optional<TMadeLines> Lines(const TVANE_Polygon* polygon, std::size_t index) const {
        if (index >= PolygonCount() || Polygons[index].Polygon != polygon) return std::nullopt;
        const std::size_t piece = index / PiecePolygons;
        if (!Pieces[piece].Made) return std::nullopt;
        const std::size_t slot = Polygons[index].FirstSlot;
        return TMadeLines{Pieces[piece].Text.data(), LineEnd.data() + slot,
                          slot == Polygons[piece * PiecePolygons].FirstSlot ? 0 : LineEnd[slot - 1],
                          Polygons[index + 1].FirstSlot - slot};
    }

    // A placed polygon's made lines, and what its save reads of its record.
    struct TPlacedLines {
        const char* Text = nullptr;  // nullptr: not made ahead (or not this shape's polygon)
        std::uint32_t Length = 0;
        std::uint32_t Split = 0;  // where the line written first begins, when the corners run forward
        TPolygonHead Head;
    };

    // The lines of each of PLACED, gathered in list order, which is the
    // order the lines and the records lie in: the save then reads one place
    // of memory per polygon in the placed order, its lines, and reads no
    // record. Throws std::bad_alloc.
    std::vector<TPlacedLines> Gather(std::span<const TPlacedPolygon> placed) const {
        std::vector<TPlacedLines> gathered(placed.size());
        if (PolygonCount() == 0 || placed.size() >= UINT32_MAX) return gathered;
        constexpr std::uint32_t kNowhere = UINT32_MAX;
        std::vector<std::uint32_t> where(PolygonCount(), kNowhere);  // a polygon placed twice: the last place
        for (std::size_t i = 0; i < placed.size(); ++i)
            if (placed[i].Index < where.size()) where[placed[i].Index] = static_cast<std::uint32_t>(i);
        const auto gather = [&](std::size_t piece) {
            const std::size_t begin = piece * PiecePolygons;
            const std::size_t end = std::min(begin + PiecePolygons, PolygonCount());
            for (std::size_t p = begin; p < end; ++p) {
                const std::uint32_t i = where[p];
                if (i == kNowhere) continue;
                const auto lines = Lines(placed[i].Polygon, p);
                if (!lines) continue;
                const std::size_t last = lines->Corners == 0 ? lines->First : lines->Ends[lines->Corners - 1];
                const TVANE_Polygon& record = *Polygons[p].Polygon;
                std::size_t split = 0;
                if (lines->Corners > 0 && !placed[i].Reversed)
                    split = lines->Begin(placed[i].First % lines->Corners) - lines->First;
                gathered[i] = {lines->Text + lines->First, static_cast<std::uint32_t>(last - lines->First),
                               static_cast<std::uint32_t>(split), {record.Attribute, record.Kind}};
            }
        };
        if (PolygonCount() >= SufParallelPolygons && CoreCount() > 1) {
            ForEachOnCores(Pieces.size(), gather);
        } else {
            for (std::size_t piece = 0; piece < Pieces.size(); ++piece) gather(piece);
        }
        return gathered;
    }
};

bool TSufSource::TIdentity::Of(int Fd) {
    struct stat file {};
    if (fstat(Fd, &file) != 0) return false;
    Device = file.st_dev;
    Inode = file.st_ino;
    Size = static_cast<std::uint64_t>(file.st_size);
    Modified = std::int64_t{file.st_mtim.tv_sec} * 1'000'000'000 + file.st_mtim.tv_nsec;
    Changed = std::int64_t{file.st_ctim.tv_sec} * 1'000'000'000 + file.st_ctim.tv_nsec;
    return true;
}

TSufVertexLines::TSufVertexLines(const TVANE_Object* Shape, TSufSource Source) : state_(std::make_unique<TState>()) {
    state_->Shape = Shape;
    state_->Source = std::move(Source);
    state_->PiecePolygons = std::max<std::size_t>(SufPiecePolygons, 1);
}

TSufVertexLines::~TSufVertexLines() {
    // Pieces not taken yet are left; the one being made is waited for.
    state_->Next = SIZE_MAX / 2;
}

void TSufVertexLines::FormatAside() {
    if (CoreCount() < 2 || state_->Aside.joinable()) return;
    try {
        state_->Aside = std::jthread([state = state_.get()] {
            // Only time that no other thread wants: the work the caller
            // goes on with is not slowed.
            const sched_param idle{};
            pthread_setschedparam(pthread_self(), SCHED_IDLE, &idle);
            state->Format();
        });
    } catch (const std::system_error&) {
        // No thread: Finish makes them all.
    }
}

void TSufVertexLines::Finish() {
    ForEachOnCores(CoreCount(), [state = state_.get()](std::size_t) { state->Format(); });
    state_->Copy();
    if (state_->Aside.joinable()) state_->Aside.join();
}

std::size_t TSufVertexLines::CopiedPolygons() const { return state_->Copied; }

bool SaveSufPlaced(const std::string& FileName, const TSufVertexLines& Lines, std::span<const TPlacedObject> Objects,
                   std::span<const TPlacedPolygon> Polygons) {
    const TSufVertexLines::TState& s = *Lines.state_;
    std::vector<TSufVertexLines::TState::TPlacedLines> gathered;
    // The lines of the placed polygons lie anywhere: those of the polygon a
    // few places on are asked for early (hints only). Each is one run of
    // bytes whose place is known, so the hints do not wait on one another.
    const auto ahead = [&](std::size_t at) {
        constexpr std::size_t kAhead = 16;
        if (at + kAhead >= Polygons.size()) return;
        const auto& later = gathered[at + kAhead];
        if (later.Text == nullptr) {
            __builtin_prefetch(Polygons[at + kAhead].Polygon);
            return;
        }
        for (std::size_t byte = 0; byte < later.Length; byte += 64) __builtin_prefetch(later.Text + byte);
        if (later.Length > 0) __builtin_prefetch(later.Text + later.Length - 1);
    };
    const auto append = [&](std::string& out, const TPiece& piece) {
        std::vector<const TVANE_Vertex*> corners;
        std::vector<std::uint32_t> starts;  // of the lines, and their end
        AppendPiece(
            out, piece,
            [&](std::size_t i) {
                ahead(piece.placed + i);
                const auto& lines = gathered[piece.placed + i];
                if (lines.Text != nullptr) return lines.Head;
                const TVANE_Polygon* polygon = Polygons[piece.placed + i].Polygon;
                return TPolygonHead{polygon->Attribute, polygon->Kind};
            },
            [&](std::string& text, std::size_t i, const TKindLayout& layout) {
                const TPlacedPolygon& placed = Polygons[piece.placed + i];
                const auto& lines = gathered[piece.placed + i];
                if (lines.Text != nullptr && !placed.Reversed) {
                    text.append(lines.Text + lines.Split, lines.Length - lines.Split);
                    text.append(lines.Text, lines.Split);
                    return;
                }
                corners.clear();
                starts.clear();
                if (lines.Text != nullptr) {
                    // Backwards. Each line ends with the only line feed in it.
                    for (std::size_t at = 0; at < lines.Length;) {
                        starts.push_back(static_cast<std::uint32_t>(at));
                        const void* feed = std::memchr(lines.Text + at, '\n', lines.Length - at);
                        at = feed == nullptr ? lines.Length : static_cast<const char*>(feed) - lines.Text + 1;
                    }
                    starts.push_back(lines.Length);
                } else {
                    for (const TVANE_Vertex* v = placed.Polygon->Vertices; v != nullptr; v = v->Next)
                        corners.push_back(v);
                }
                const std::size_t n = lines.Text != nullptr ? starts.size() - 1 : corners.size();
                if (n == 0) return;
                const std::size_t first = placed.First < n ? placed.First : placed.First % n;
                for (std::size_t c = 0; c < n; ++c) {
                    std::size_t k = placed.Reversed ? first + n - c : first + c;
                    if (k >= n) k -= n;
                    if (lines.Text != nullptr) {
                        text.append(lines.Text + starts[k], starts[k + 1] - starts[k]);
                    } else {
                        // Not made ahead: made here, failing where a save fails.
                        AppendVertexLine(text, *corners[k], layout);
                    }
                }
            });
    };
    return Save(
        FileName,
        [&] {
            gathered = s.Gather(Polygons);
            return PlacedPieces(Objects, Polygons, std::max<std::size_t>(SufPiecePolygons, 1));
        },
        append);
}

bool TVANE::SaveSuf(const std::string& FileName, TVANE_Object* Shape) {
    return Save(
        FileName, [&] { return ListPieces(Shape, std::max<std::size_t>(SufPiecePolygons, 1)); }, AppendListPiece);
}
