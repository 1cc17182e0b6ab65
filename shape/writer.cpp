// Shape file writer. The text is built in memory (a large shape in pieces on
// every core) and handed in one go to the output layer (shape/output.h),
// which replaces an existing file only once everything is written, flushed
// and closed: a failed save leaves it as it was.
#include <algorithm>
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

// A run of polygons of one object, written as a piece of the text: the
// object's first line when it starts the object, its last when it ends it.
struct TPiece {
    const TVANE_Object* object = nullptr;
    const TVANE_Polygon* first = nullptr;  // nullptr when the object has none
    std::size_t polygons = 0;
    const TVANE_Attribute* written = nullptr;  // the attribute in effect before `first`
    bool opens = false;
    bool closes = false;
};

void AppendPiece(std::string& out, const TPiece& piece) {
    if (piece.opens) {
        CheckName("オブジェクト名", piece.object->Name);
        AppendLine(out, "obj suf ", piece.object->Name, " {");
    }
    // An attribute line is written where the polygons' attribute changes.
    const TVANE_Attribute* written = piece.written;
    const TVANE_Polygon* poly = piece.first;
    for (std::size_t i = 0; i < piece.polygons; ++i, poly = poly->Next) {
        // Records may lie anywhere (a list relinked in another order): the
        // next polygon's vertices and the one after it are asked for while
        // this one is formatted (hints only).
        if (const TVANE_Polygon* next = poly->Next; next != nullptr) {
            __builtin_prefetch(next->Next);
            __builtin_prefetch(next->Vertices);
        }
        if (poly->Attribute != written) {
            written = poly->Attribute;
            if (written != nullptr) {
                CheckName("属性名", written->Name);
                AppendLine(out, "atr ", written->Name);
            }
        }
        const TKindLayout& layout = KindLayout(poly->Kind);
        AppendLine(out, "prim ", layout.Keyword, " (");
        for (const TVANE_Vertex* v = poly->Vertices; v != nullptr; v = v->Next) {
            // A vertex line is made in place and appended whole.
            char line[3 + kMaxKindValues * (2 + kMaxNumberText) + 2];
            char* at = line;
            std::memcpy(at, "   ", 3);
            at += 3;
            for (std::size_t k = 0; k < layout.Count; ++k) {
                *at++ = ' ';
                if (layout.GroupStart[k]) *at++ = ' ';
                at = PutValue(at, v->*layout.Fields[k]);
            }
            std::memcpy(at, kLineEnd.data(), kLineEnd.size());
            at += kLineEnd.size();
            out.append(line, static_cast<std::size_t>(at - line));
        }
        AppendLine(out, ")");
    }
    if (piece.closes) AppendLine(out, "}");
}

// The shape cut into pieces of at most `polygons` polygons each, in order.
std::vector<TPiece> CutIntoPieces(const TVANE_Object* shape, std::size_t polygons) {
    std::vector<TPiece> pieces;
    for (const TVANE_Object* obj = shape; obj != nullptr; obj = obj->Next) {
        pieces.push_back({obj, obj->Polygons, 0, nullptr, true, false});
        const TVANE_Attribute* before = nullptr;
        for (const TVANE_Polygon* poly = obj->Polygons; poly != nullptr; poly = poly->Next) {
            if (pieces.back().polygons == polygons) pieces.push_back({obj, poly, 0, before, false, false});
            ++pieces.back().polygons;
            before = poly->Attribute;
        }
        pieces.back().closes = true;
    }
    return pieces;
}

// The text of the shape, made piece by piece as the output layer asks for
// it. A large shape is formatted on every core, a batch of pieces at a time,
// into buffers that are used again for the next batch: the text is never
// held whole. The first failure in the order of the text is the one raised,
// as formatting in one pass would raise it.
class TShapeText {
public:
    explicit TShapeText(const TVANE_Object* shape) {
        std::size_t polygons = 0;
        for (const TVANE_Object* obj = shape; obj != nullptr && polygons < SufParallelPolygons; obj = obj->Next) {
            for (const TVANE_Polygon* poly = obj->Polygons; poly != nullptr && polygons < SufParallelPolygons;
                 poly = poly->Next) {
                ++polygons;
            }
        }
        parallel_ = polygons >= SufParallelPolygons && CoreCount() > 1;
        pieces_ = CutIntoPieces(shape, std::max<std::size_t>(SufPiecePolygons, 1));
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
                AppendPiece(text, pieces_[first + i]);
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
    std::vector<std::string> texts_;  // the batch being written
    std::vector<std::exception_ptr> failures_;
    std::size_t made_ = 0;   // pieces formatted
    std::size_t given_ = 0;  // pieces handed out
};

void WriteReplacing(const std::string& file_name, const TVANE_Object* shape) {
    TShapeText text(shape);
    try {
        WriteOutputFile(file_name, [&text] { return text.Next(); });
    } catch (const OutputError& error) {
        throw SaveFailure{error.what()};
    }
}

}  // namespace

bool TVANE::SaveSuf(const std::string& FileName, TVANE_Object* Shape) {
    SufErrorMessage.clear();
    try {
        WriteReplacing(FileName, Shape);
        return true;
    } catch (const SaveFailure& failure) {
        SetSufErrorMessage({"ファイル「", FileName, "」に保存できません（", failure.cause, "）。"});
    } catch (const std::bad_alloc&) {
        SetSufErrorMessage({"ファイル「", FileName, "」に保存できません（メモリーが枯渇しました）。"});
    }
    return false;
}
