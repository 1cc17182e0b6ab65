// Shape file reader: the statement parser of LoadSuf, over the tokenizer on
// one core, or for a large file over tokens made on every core.
//
// On the cores the file is read window by window. A window ends at a line
// start (a line cut by its end goes on in the next window), is cut into
// pieces at line starts, and the pieces are tokenized at once; each then
// knows how many lines and line feeds it holds, and one that was tokenized
// outside a comment while the piece before it ends inside one is tokenized
// again, so that the tokens and line numbers are those of the one-core
// reader. While the pieces of one window are tokenized, the statement parser
// builds the records of the window before on one of the cores.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "shape/arena.h"
#include "shape/descriptor.h"
#include "shape/errors.h"
#include "shape/extents.h"
#include "shape/kinds.h"
#include "shape/number.h"
#include "shape/parallel.h"
#include "shape/placed.h"
#include "shape/probes.h"
#include "shape/state.h"
#include "shape/tokenizer.h"
#include "shape/vane.h"

// Files of 8 MiB and more are read on every core, through windows of the
// one-core reader's size (1 MiB) in pieces of 64 KiB: larger windows held
// more tokens at once and were no faster.
std::size_t SufCoreReadBytes = std::size_t{8} << 20;
std::size_t SufReadPieceBytes = std::size_t{64} << 10;

namespace {

enum class Outcome { kEnd, kFormatError, kGrammarError };

// Windows smaller than this are tokenized on the calling thread: starting
// threads would cost more.
constexpr std::size_t kRoundOnCoresBytes = std::size_t{64} << 10;

// The records of one load. The list hangs from `result` as soon as a record
// exists, so whoever catches an exception can release it.
struct Builder {
    explicit Builder(TVANE_Object*& list) : result(list) {}

    TVANE_Object*& result;
    TVANE_Object* obj = nullptr;       // current object
    TVANE_Attribute* attr = nullptr;   // current attribute, kept across objects
    TVANE_Polygon* last_poly = nullptr;
    // Every value read is a double, so the box is kept in doubles (cheaper
    // than extended reals) and written to the object as it grows.
    TBoxGrowth<double> box;
    // Every attribute record of the load by name. Each object's list starts
    // as the previous object's list and only grows at its front, so the
    // current object's list holds exactly the records made so far; the index
    // finds them without walking a list that can be millions long.
    std::unordered_map<std::string_view, TVANE_Attribute*> attributes;
    TArenaOf<TVANE_Polygon> polygons;  // where this shape's records come from
    TArenaOf<TVANE_Vertex> vertices;

    // After "obj".
    void NewObject() {
        obj = AppendObject(result, obj);
        last_poly = nullptr;
        box = {};
    }

    // The attribute after "atr".
    void UseAttribute(std::string_view name) {
        auto found = attributes.find(name);
        TVANE_Attribute* a = found != attributes.end() ? found->second : nullptr;
        if (a == nullptr) {
            a = new TVANE_Attribute{obj->Attributes, std::string(name)};
            obj->Attributes = a;
            attributes.emplace(a->Name, a);
        }
        attr = a;
    }

    // After "prim".
    TVANE_Polygon* NewPolygon() {
        auto* poly = polygons.New();
        poly->Prev = last_poly;
        poly->Attribute = attr;
        poly->Marked = 1;
        (last_poly != nullptr ? last_poly->Next : obj->Polygons) = poly;
        last_poly = poly;
        return poly;
    }

    TVANE_Vertex* NewVertex(TVANE_Vertex*& last_vtx) {
        auto* v = vertices.New();
        v->Prev = last_vtx;
        v->Marked = 1;
        (last_vtx != nullptr ? last_vtx->Next : last_poly->Vertices) = v;
        last_vtx = v;
        return v;
    }

    void AddPosition(const double (&position)[3]) {
        if (box.Add(position[0], position[1], position[2])) box.WriteTo(*obj);
    }
};

// The statement parser over the tokenizer of one core.
struct Parser : Builder {
    Parser(const std::string& name, TVANE_Object*& list) : Builder(list), file_name(name) {}

    const std::string& file_name;
    std::string scratch;

    std::string_view Token() { return NextToken(file_name, scratch); }

    // After "obj": returns the last token read.
    std::string_view Object(Outcome& outcome) {
        NewObject();
        if (Token() != "suf") {
            outcome = Outcome::kFormatError;
            return {};
        }
        obj->Name = Token();
        return Token();  // "{" in a well-formed file
    }

    // After "atr": returns the attribute name.
    std::string_view Attribute() {
        std::string_view name = Token();
        UseAttribute(name);
        return name;
    }

    // After "prim": reads the kind and the vertices up to ")".
    std::string_view Primitive() {
        TVANE_Polygon* poly = NewPolygon();
        poly->Kind = KindOf(Token());
        Token();  // "(" in a well-formed file
        const TKindLayout& kind = kKinds[poly->Kind];
        TVANE_Vertex* last_vtx = nullptr;
        for (;;) {
            double value = 0;
            const bool plain = NextPlainValue(file_name, value);
            std::string_view t;
            if (!plain) {
                t = Token();
                if (t == ")") return t;
            }
            TVANE_Vertex* v = NewVertex(last_vtx);
            double position[3];
            if (!plain) value = ToValue(t);
            for (std::size_t i = 0;;) {
                v->*kind.Fields[i] = value;
                if (i < 3) position[i] = value;
                if (++i == kind.Count) break;
                if (!NextPlainValue(file_name, value)) value = ToValue(Token());
            }
            AddPosition(position);
        }
    }

    // Statements are acted on by their keyword; every other token at
    // statement level is passed over.
    Outcome Run() {
        for (;;) {
            std::string_view t = Token();
            if (t == "obj") {
                Outcome outcome = Outcome::kEnd;
                t = Object(outcome);
                if (outcome != Outcome::kEnd) return outcome;
            } else if (t == "atr" || t == "prim") {
                if (obj == nullptr) return Outcome::kGrammarError;
                t = t == "atr" ? Attribute() : Primitive();
            }
            if (t.empty()) return Outcome::kEnd;
        }
    }
};

// The statement parser of Parser, taking the tokens one at a time as they
// come in pieces: each token moves it on from the step it stands at.
struct StepParser : Builder {
    using Builder::Builder;

    enum class Step { kStatement, kForm, kName, kAfterName, kAttribute, kKind, kOpen, kVertex, kValue };
    Step step = Step::kStatement;
    const TKindLayout* kind = nullptr;
    TVANE_Vertex* last_vtx = nullptr;
    TVANE_Vertex* vtx = nullptr;
    std::size_t field = 0;
    double position[3] = {};
    // Where wanted: per polygon, the file offset of its first value when it
    // came with the whole of its vertex (SetFirstValue), else kUnknown.
    std::vector<std::uint64_t>* first_values = nullptr;

    // The first vertex of the current polygon starts at file offset At;
    // only where first_values are wanted.
    void SetFirstValue(std::uint64_t at) {
        if (last_vtx == nullptr) first_values->back() = at;
    }

    // At kVertex, the vertex of the kind's values, all of them numbers.
    void Vertex(const double* values) {
        TVANE_Vertex* v = NewVertex(last_vtx);
        for (std::size_t i = 0; i < kind->Count; ++i) v->*kind->Fields[i] = values[i];
        const double at[3] = {values[0], values[1], values[2]};
        AddPosition(at);
    }

    // Takes token t (its value, when it is a number, in *value); false once
    // the parse is over, with its outcome. The file's end is the empty
    // token, given as often as it is asked for. Throws SufConvertError and
    // std::bad_alloc.
    bool Take(std::string_view t, const double* value, Outcome& outcome) {
        switch (step) {
        case Step::kStatement:
            if (t == "obj") {
                NewObject();
                step = Step::kForm;
            } else if (t == "atr" || t == "prim") {
                if (obj == nullptr) {
                    outcome = Outcome::kGrammarError;
                    return false;
                }
                if (t == "atr") {
                    step = Step::kAttribute;
                } else {
                    NewPolygon();
                    if (first_values != nullptr) first_values->push_back(TSufSource::kUnknown);
                    step = Step::kKind;
                }
            }
            break;
        case Step::kForm:
            if (t != "suf") {
                outcome = Outcome::kFormatError;
                return false;
            }
            step = Step::kName;
            return true;
        case Step::kName:
            obj->Name = t;
            step = Step::kAfterName;
            return true;
        case Step::kAfterName:  // "{" in a well-formed file
            step = Step::kStatement;
            break;
        case Step::kAttribute:
            UseAttribute(t);
            step = Step::kStatement;
            break;
        case Step::kKind:
            last_poly->Kind = KindOf(t);
            kind = &kKinds[last_poly->Kind];
            last_vtx = nullptr;
            step = Step::kOpen;
            return true;
        case Step::kOpen:  // "(" in a well-formed file
            step = Step::kVertex;
            return true;
        case Step::kVertex:
            if (value == nullptr && t == ")") {
                step = Step::kStatement;
                return true;
            }
            vtx = NewVertex(last_vtx);
            field = 0;
            step = Step::kValue;
            [[fallthrough]];
        case Step::kValue: {
            const double v = value != nullptr ? *value : ToValue(t);
            vtx->*kind->Fields[field] = v;
            if (field < 3) position[field] = v;
            if (++field == kind->Count) {
                AddPosition(position);
                step = Step::kVertex;
            }
            return true;
        }
        }
        // Back at statement level, where the file's end ends the parse.
        if (t.empty()) {
            outcome = Outcome::kEnd;
            return false;
        }
        return true;
    }
};

// A thrown exception kept to be thrown again on the calling thread.
struct Caught {
    std::exception_ptr error;
    template <typename TWork>
    void Run(TWork&& work) noexcept {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
    }
    void Rethrow() const {
        if (error) std::rethrow_exception(error);
    }
};

// Too long a line for the core reader: the load is made again on one core.
struct LineTooLong {};

// One window of the file, with the pieces it is cut into.
struct Window {
    std::uint64_t at = 0;  // where its first byte stands in the file
    std::unique_ptr<char[]> bytes;
    std::size_t capacity = 0;
    std::size_t filled = 0;
    std::size_t whole = 0;  // the bytes of whole lines, and of the file's end when it is here
    bool last = false;      // the file ends here
    std::exception_ptr read_error;  // reading the rest failed
    std::vector<TSufPiece> pieces;
    std::size_t used = 0;       // pieces in use
    std::vector<std::int64_t> first_lines;  // LineNumber where each piece begins
    std::vector<Caught> caught;
};

// Reads a file on every core into a StepParser.
class CoreReader {
public:
    // With Source, notes where the polygons' lines stand in the file.
    CoreReader(const std::string& file_name, int fd, TVANE_Object*& result, TSufSource* source)
        : file_name_(file_name), fd_(fd), parser_(result) {
        if (source != nullptr && source->File.Of(fd)) parser_.first_values = &source->FirstValue;
    }

    Outcome Run() {
        try {
            return Windows();
        } catch (const std::bad_alloc&) {
            // Out of memory while reading or joining: the lines joined by then.
            if (!line_set_) SetLineNumber(lines_);
            throw;
        }
    }

private:
    Outcome Windows() {
        window_bytes_ = std::max<std::size_t>(SufWindowBytes, 1);
        Window* done = &windows_[0];
        Window* next = &windows_[1];
        Read(*done, {});
        Round(nullptr, done);
        Join(*done);
        for (;;) {
            const bool more = !done->last && !done->read_error;
            if (more) {
                next->at = done->at + done->whole;
                Read(*next, std::string_view(done->bytes.get() + done->whole, done->filled - done->whole));
            }
            Round(done, more ? next : nullptr);
            if (stopped_) return outcome_;
            if (!more) std::rethrow_exception(done->read_error);
            Join(*next);
            std::swap(done, next);
        }
    }

    // Fills `w` with `carry` (the cut line the window before ended with) and
    // what follows it in the file, up to at least one whole line.
    void Read(Window& w, std::string_view carry) {
        const std::size_t wanted = std::max(window_bytes_, carry.size() * 2);
        if (w.capacity < wanted) {
            w.bytes.reset();
            w.capacity = 0;
            w.bytes = std::make_unique_for_overwrite<char[]>(wanted);
            w.capacity = wanted;
        }
        if (!carry.empty()) std::memmove(w.bytes.get(), carry.data(), carry.size());
        w.filled = carry.size();
        for (;;) {
            while (!drained_ && w.filled < w.capacity) {
                std::size_t n = 0;
                try {
                    n = ReadSufBytes(fd_, w.bytes.get() + w.filled, w.capacity - w.filled, file_name_);
                } catch (const SufIOError&) {
                    w.read_error = std::current_exception();
                    drained_ = true;
                    break;
                }
                const void* stop = std::memchr(w.bytes.get() + w.filled, 26, n);
                if (stop != nullptr) n = static_cast<std::size_t>(static_cast<const char*>(stop) - (w.bytes.get() + w.filled));
                w.filled += n;
                drained_ = n == 0 || stop != nullptr;
            }
            w.last = drained_ && !w.read_error;
            w.whole = w.last ? w.filled : WholeLines(w.bytes.get(), w.filled);
            if (w.whole > 0 || w.last || w.read_error) break;
            // A line longer than the window: twice the room.
            if (w.capacity * 2 > kMaxSufPieceBytes) throw LineTooLong{};
            auto wider = std::make_unique_for_overwrite<char[]>(w.capacity * 2);
            std::memcpy(wider.get(), w.bytes.get(), w.filled);
            w.bytes = std::move(wider);
            w.capacity *= 2;
        }
        Cut(w);
    }

    // Where the whole lines of `size` bytes end: after the last CR (and an
    // LF right behind it) that a byte follows, so that an LF cannot come yet.
    static std::size_t WholeLines(const char* bytes, std::size_t size) {
        for (std::size_t i = size - std::min<std::size_t>(size, 1); i-- > 0;) {
            if (bytes[i] == '\r') return i + 1 + static_cast<std::size_t>(bytes[i + 1] == '\n');
        }
        return 0;
    }

    // The line start at `at` or after it, up to `end`.
    static std::size_t LineStart(const char* bytes, std::size_t at, std::size_t end) {
        if (at == 0 || at >= end) return std::min(at, end);
        // A line starts after a CR; an LF right after one is still its end.
        if (bytes[at - 1] == '\r') return at + static_cast<std::size_t>(bytes[at] == '\n');
        const void* cr = std::memchr(bytes + at, '\r', end - at);
        if (cr == nullptr) return end;
        std::size_t i = static_cast<std::size_t>(static_cast<const char*>(cr) - bytes) + 1;
        if (i < end && bytes[i] == '\n') ++i;
        return i;
    }

    // Cuts the whole lines of `w` into pieces of about SufReadPieceBytes.
    void Cut(Window& w) {
        const std::size_t size = std::max<std::size_t>(SufReadPieceBytes, 1);
        w.used = 0;
        for (std::size_t at = 0; at < w.whole;) {
            const std::size_t end = LineStart(w.bytes.get(), std::min(w.whole, at + size), w.whole);
            if (w.used == w.pieces.size()) w.pieces.emplace_back();
            TSufPiece& piece = w.pieces[w.used++];
            if (end - at > kMaxSufPieceBytes) throw LineTooLong{};
            piece.Bytes = std::string_view(w.bytes.get() + at, end - at);
            piece.StartsInComment = false;
            at = end;
        }
        if (w.used > 0) w.pieces[0].StartsInComment = in_comment_;
        w.first_lines.resize(w.used);
        w.caught.assign(w.used, {});
    }

    // Parses the tokens of `parse` and tokenizes the pieces of `tokenize`
    // at once (either may be missing), on the cores when there is enough.
    void Round(Window* parse, Window* tokenize) {
        const std::size_t pieces = tokenize != nullptr ? tokenize->used : 0;
        const std::size_t bytes = (parse != nullptr ? parse->whole : 0) + (tokenize != nullptr ? tokenize->whole : 0);
        const bool on_cores = CoreCount() > 1 && pieces > 0 && bytes >= kRoundOnCoresBytes;
        // Task 0 parses, the others tokenize.
        const std::size_t first = parse != nullptr ? 1 : 0;
        Caught parsing;
        const auto work = [&](std::size_t i) {
            if (i < first) {
                parsing.Run([&] { Parse(*parse); });
            } else {
                TSufPiece& piece = tokenize->pieces[i - first];
                tokenize->caught[i - first].Run([&] { TokenizePiece(piece); });
            }
        };
        if (on_cores) {
            ForEachOnCores(first + pieces, work);
        } else {
            for (std::size_t i = 0; i < first + pieces; ++i) work(i);
        }
        if (parse != nullptr && (stopped_ || parsing.error)) {
            SetLineNumber(StopLine(*parse));
            parsing.Rethrow();
            return;
        }
        for (std::size_t i = 0; i < pieces; ++i) {
            if (!tokenize->caught[i].error) continue;
            SetLineNumber(lines_);  // where the parse got to
            tokenize->caught[i].Rethrow();
        }
    }

    // Gives the parser the tokens of `w`, and at the file's end the empty
    // token until it stops.
    void Parse(Window& w) {
        for (piece_ = 0; piece_ < w.used; ++piece_) {
            const TSufPiece& p = w.pieces[piece_];
            const double* value = p.Values.data();
            const std::size_t count = p.Tokens.size();
            for (token_ = 0; token_ < count; ++token_) {
                const TSufToken t = p.Tokens[token_];
                const bool number = (t.Length & TSufToken::kNumber) != 0;
                if (number && parser_.step == StepParser::Step::kVertex) {
                    // The values of a whole vertex at once, when they are here.
                    const std::size_t values = parser_.kind->Count;
                    std::size_t n = 1;
                    while (n < values && token_ + n < count && (p.Tokens[token_ + n].Length & TSufToken::kNumber) != 0) ++n;
                    if (n == values) {
                        if (parser_.first_values != nullptr && (t.Length & TSufToken::kSide) == 0)
                            parser_.SetFirstValue(w.at + static_cast<std::uint64_t>(p.Bytes.data() - w.bytes.get()) + t.Offset);
                        parser_.Vertex(value);
                        value += values;
                        token_ += values - 1;
                        continue;
                    }
                }
                if (!parser_.Take(p.Text(t), number ? value : nullptr, outcome_)) {
                    stopped_ = true;
                    return;
                }
                value += number ? 1 : 0;
            }
        }
        if (!w.last) return;
        at_end_ = true;
        while (parser_.Take({}, nullptr, outcome_)) {
        }
        stopped_ = true;
    }

    void SetLineNumber(std::int64_t lines) {
        LineNumber = static_cast<std::int32_t>(std::min<std::int64_t>(lines, INT32_MAX));
        line_set_ = true;
    }

    // LineNumber where the parse of `w` stopped.
    std::int64_t StopLine(const Window& w) const {
        if (at_end_ || piece_ >= w.used) return lines_;
        return w.first_lines[piece_] + PieceTokenLine(w.pieces[piece_], token_);
    }

    // Tokenizes again, in order, each piece of `w` that was tokenized
    // outside a comment but begins inside one, and counts the lines.
    void Join(Window& w) {
        for (std::size_t i = 0; i < w.used; ++i) {
            TSufPiece& piece = w.pieces[i];
            if (piece.StartsInComment != in_comment_) {
                piece.StartsInComment = in_comment_;
                TokenizePiece(piece);
            }
            in_comment_ = piece.EndsInComment;
            w.first_lines[i] = lines_;
            lines_ += piece.Lines + piece.LineFeeds;
        }
        // An LF that is the very last byte ends the last line; it begins none.
        if (w.last && w.filled > 0 && w.bytes[w.filled - 1] == '\n' && (w.filled < 2 || w.bytes[w.filled - 2] != '\r'))
            --lines_;
    }

    const std::string& file_name_;
    int fd_;
    StepParser parser_;
    Window windows_[2];
    std::size_t window_bytes_ = 0;
    bool drained_ = false;
    bool in_comment_ = false;     // where the pieces joined so far end
    std::int64_t lines_ = 0;      // LineNumber after the pieces joined so far
    bool stopped_ = false;
    bool at_end_ = false;
    bool line_set_ = false;  // LineNumber tells where the parse stopped
    Outcome outcome_ = Outcome::kEnd;
    std::size_t piece_ = 0, token_ = 0;  // where the parse stands
};

// The parse of FileName: on the cores when it is large and there are
// several (or, for tests, when every file is to be read so), else on this
// thread.
Outcome Load(const std::string& FileName, TVANE_Object*& result, TSufSource* source) {
    {
        std::size_t size = 0;
        const TFdCloser file(OpenSufBytes(FileName, size));
        if (size >= SufCoreReadBytes && (SufCoreReadBytes == 0 || CoreCount() > 1)) {
            try {
                CoreReader reader(FileName, file.fd, result, source);
                return reader.Run();
            } catch (const LineTooLong&) {
                VANE->FreeSuf(result);
                if (source != nullptr) source->FirstValue.clear();
                LineNumber = 0;
            }
        }
    }
    Parser parser(FileName, result);
    return parser.Run();
}

TVANE_Object* LoadSufWith(const std::string& FileName, TSufSource* source) {
    SufErrorMessage.clear();
    EndSufFile();
    LineNumber = 0;
    TVANE_Object* result = nullptr;
    Outcome outcome = Outcome::kEnd;
    try {
        outcome = Load(FileName, result, source);
    } catch (const std::bad_alloc&) {
        VANE->FreeSuf(result);
        EndSufFile();
        SetSufErrorMessage({std::to_string(LineNumber), "行目でメモリーが枯渇しました。"});
        return nullptr;
    } catch (...) {
        VANE->FreeSuf(result);
        EndSufFile();
        throw;
    }
    EndSufFile();
    switch (outcome) {
    case Outcome::kEnd: return result;
    case Outcome::kFormatError:
        SetSufErrorMessage({std::to_string(LineNumber), "行において未知の形式の形状ファイルです。"});
        break;
    case Outcome::kGrammarError:
        SetSufErrorMessage({"形状データの文法が", std::to_string(LineNumber), "行において変です。"});
        break;
    }
    VANE->FreeSuf(result);
    return nullptr;
}

}  // namespace

TVANE_Object* TVANE::LoadSuf(const std::string& FileName) { return LoadSufWith(FileName, nullptr); }

TVANE_Object* LoadSufKeepingSource(const std::string& FileName, TSufSource& Source) {
    Source = {};
    Source.FileName = FileName;
    TVANE_Object* shape = LoadSufWith(FileName, &Source);
    if (shape == nullptr) Source.FirstValue.clear();
    return shape;
}
