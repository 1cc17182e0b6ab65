// Shape file reader: a line reader and word splitter (ReadWord), a token layer
// that removes comments (ReadToken) and the statement parser (LoadSuf).
//
// The whole file is read in one go; LineBuffer is a view into it, so taking a
// word off the front of a line costs nothing and a load is linear in the file
// size. The word functions below return views into the file content (or into
// a scratch string once a comment was cut out of a word); the members wrap
// them into strings.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>

#include "shape/arena.h"
#include "shape/errors.h"
#include "shape/extents.h"
#include "shape/kinds.h"
#include "shape/number.h"
#include "shape/probes.h"
#include "shape/state.h"
#include "shape/vane.h"

bool SufPlainValues = true;

namespace {

constexpr char kCtrlZ = 26;  // ends a shape file; nothing after it is read

constexpr std::array<bool, 256> MakeDelimiterTable() {
    std::array<bool, 256> table{};
    for (int c = 0; c <= 32; ++c) table[static_cast<std::size_t>(c)] = true;
    for (unsigned char c : std::string_view(",(){}[]`\"'")) table[c] = true;
    return table;
}
constexpr std::array<bool, 256> kDelimiter = MakeDelimiterTable();

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

[[noreturn]] void ThrowIOError(const char* what, const std::string& file_name, int err) {
    throw SufIOError("ファイル「" + file_name + "」" + what + "（" + SufErrnoText(err) + "）。");
}

[[noreturn]] void ThrowNotRegular(const std::string& file_name) {
    throw SufIOError("ファイル「" + file_name + "」を開けません（通常のファイルではありません）。");
}

// Reads the whole file into SufFile.Bytes, cut at the first byte 26. Only
// regular files are read: a pipe, a device or a socket may never end (a FIFO
// without a writer, /dev/zero), so they are refused like a missing file.
void ReadWholeFile(const std::string& file_name) {
    // Not blocking, so opening a FIFO that nobody writes returns at once.
    int fd = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) ThrowIOError("を開けません", file_name, errno);
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};

    struct stat st {};
    if (::fstat(fd, &st) != 0) ThrowIOError("を開けません", file_name, errno);
    if (S_ISDIR(st.st_mode)) ThrowIOError("を開けません", file_name, EISDIR);
    if (!S_ISREG(st.st_mode)) ThrowNotRegular(file_name);

    // One read of the size the file has, plus one byte to see its end; the
    // buffer grows if the file grows meanwhile (or reports no size, as files
    // under /proc do).
    // The buffer is not cleared first: read() fills what is used.
    TByteBuffer bytes(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.Size()) {
            TByteBuffer larger(bytes.Size() * 2);
            std::memcpy(larger.Data(), bytes.Data(), used);
            bytes = std::move(larger);
        }
        ssize_t n = ::read(fd, bytes.Data() + used, bytes.Size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowIOError("を読み込めません", file_name, errno);
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    std::string_view content(bytes.Data(), used);
    content = content.substr(0, content.find(kCtrlZ));
    SufFile.Storage = std::move(bytes);
    SufFile.Bytes = content;
}

void OpenSufFile(const std::string& file_name) {
    ReadWholeFile(file_name);
    SufFile.Pos = SufFile.LineEnd = SufFile.Counted = 0;
    SufFileOpen = true;
    InComment = false;
    LineBuffer = {};
    LineNumber = 0;
}

// A line ends at CR (with an LF right behind it) as far as words are
// concerned; an LF elsewhere stays in the line and separates words like a
// blank. For LineNumber a lone LF ends a line too, so files with LF line ends
// get the right line in messages. Those LFs are counted lazily, up to where
// the tokenizer has come.
void CountLineFeeds(std::size_t upto) {
    if (upto <= SufFile.Counted) return;
    auto first = SufFile.Bytes.begin() + static_cast<std::ptrdiff_t>(SufFile.Counted);
    auto last = SufFile.Bytes.begin() + static_cast<std::ptrdiff_t>(upto);
    std::int64_t lines = LineNumber + std::count(first, last, '\n');
    LineNumber = static_cast<std::int32_t>(std::min<std::int64_t>(lines, INT32_MAX));
    SufFile.Counted = upto;
}

// Where the first CR or LF at or after `from` stands, or the size of bytes.
// Lines are short and many, so sixteen bytes are looked at in one step.
std::size_t FindLineBreak(std::string_view bytes, std::size_t from) {
    const char* p = bytes.data();
    const std::size_t n = bytes.size();
    std::size_t i = from;
#ifdef __SSE2__
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    for (; n - i >= 16; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const int found = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, cr), _mm_cmpeq_epi8(chunk, lf)));
        if (found != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(found)));
    }
#endif
    for (; i < n; ++i) {
        if (p[i] == '\r' || p[i] == '\n') return i;
    }
    return n;
}

void ReadNextLine() {
    // Every LF of the line left behind is followed by at least its CR, so each
    // began a line.
    CountLineFeeds(SufFile.LineEnd);
    const std::string_view bytes = SufFile.Bytes;
    std::size_t start = SufFile.Pos;
    std::size_t cr = FindLineBreak(bytes, start);
    // A line without a lone LF has nothing to count: say so at once, rather
    // than count the bytes behind every word.
    const bool line_feeds = cr < bytes.size() && bytes[cr] == '\n';
    if (line_feeds) cr = std::min(bytes.find('\r', cr), bytes.size());
    if (cr == bytes.size()) {
        SufFile.LineEnd = SufFile.Pos = bytes.size();
    } else {
        SufFile.LineEnd = cr;
        SufFile.Pos = cr + 1;
        if (SufFile.Pos < bytes.size() && bytes[SufFile.Pos] == '\n') ++SufFile.Pos;
    }
    LineBuffer = std::string_view(bytes).substr(start, SufFile.LineEnd - start);
    SufFile.Counted = line_feeds ? start : SufFile.LineEnd;
    if (LineNumber < INT32_MAX) ++LineNumber;
}

void ReachEnd() {
    // An LF that is the very last byte ends the last line; it begins none.
    std::size_t upto = SufFile.LineEnd;
    const std::string_view bytes = SufFile.Bytes;
    if (upto == bytes.size() && upto > SufFile.Counted && bytes[upto - 1] == '\n') --upto;
    CountLineFeeds(upto);
    CloseSufFile();
    SufFile.AtEnd = true;
}

// Reads lines until one holds a word; false at the file's end.
bool ReachWord() {
    while (Trim(LineBuffer).empty()) {
        if (SufFile.Pos >= SufFile.Bytes.size()) return false;
        ReadNextLine();
    }
    return true;
}

std::string_view NextWord(const std::string& file_name) {
    if (!SufFileOpen) {
        if (SufFile.AtEnd) return {};
        OpenSufFile(file_name);
    }
    if (!ReachWord()) {
        ReachEnd();
        return {};
    }
    CountLineFeeds(static_cast<std::size_t>(LineBuffer.data() - SufFile.Bytes.data()));
    // The delimiter that ends a word belongs to it; a line that begins with a
    // delimiter gives that one byte as its word.
    std::size_t len = LineBuffer.size();
    for (std::size_t i = 0; i < LineBuffer.size(); ++i) {
        if (kDelimiter[static_cast<unsigned char>(LineBuffer[i])]) {
            len = i + 1;
            break;
        }
    }
    std::string_view word = LineBuffer.substr(0, len);
    LineBuffer = Trim(LineBuffer.substr(len));
    return word;
}

// Comments are searched for inside words, so "/*" and "*/" act only where
// the word splitting leaves them: only the first "/*" of a word opens one, and
// after "*/" the rest of that word is not searched again.
std::string_view NextToken(const std::string& file_name, std::string& scratch) {
    for (;;) {
        std::string_view word;
        if (InComment) {
            std::size_t close = std::string_view::npos;
            while (close == std::string_view::npos) {
                word = NextWord(file_name);
                if (word.empty()) {
                    InComment = false;
                    return {};
                }
                close = word.find("*/");
            }
            word.remove_prefix(close + 2);
            InComment = false;
        } else {
            word = NextWord(file_name);
            std::size_t open = word.find("/*");
            if (open != std::string_view::npos) {
                std::size_t close = word.find("*/");
                if (close == std::string_view::npos) {
                    word = word.substr(0, open);
                    InComment = true;
                } else if (close + 2 > open) {
                    // Cut the bytes from "/*" up to and including the first "*/"
                    // of the word, wherever that stands.
                    scratch.assign(word.substr(0, open));
                    scratch.append(word.substr(close + 2));
                    word = scratch;
                }
            }
        }
        word = Trim(word);
        if (!word.empty() || !SufFileOpen) return word;
    }
}

[[noreturn]] void ThrowNotANumber(std::string_view token) {
    std::string text = "'";
    text.append(token);
    text.append("' は浮動小数点数ではありません");
    throw SufConvertError(text);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// 10^0 .. 10^22, every one an exact double.
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Where the parts of a decimal literal stand in its text: optional sign,
// digits with an optional '.' and more digits (a digit or the point must be
// there), an optional exponent with an optional sign and at least one digit.
struct TLiteral {
    bool valid = false;  // the text up to `end` is a literal
    std::size_t end = 0;  // where the literal's grammar stopped
    bool negative = false;
    std::uint64_t digits = 0;  // the significant digits, while there are at most 19
    std::int64_t significant = 0;
    std::size_t int_begin = 0, int_end = 0, frac_begin = 0, frac_end = 0;
    std::size_t first = 0;  // the first nonzero digit, or frac_end when there is none
    std::int64_t exponent = 0;  // clamped to +-10^9
};

// Eight ASCII digits at p as one number; false when a byte is no digit.
[[gnu::always_inline]] inline bool EightDigits(const char* p, std::uint64_t& value) {
    std::uint64_t x;
    std::memcpy(&x, p, 8);  // the first digit in the lowest byte
    // Each byte is 0x30..0x39: high half 3, and adding 6 does not carry out of the low half.
    constexpr std::uint64_t kHigh = 0xF0F0F0F0F0F0F0F0u;
    if (((x & kHigh) | (((x + 0x0606060606060606u) & kHigh) >> 4)) != 0x3333333333333333u) {
        return false;
    }
    x -= 0x3030303030303030u;
    x = x * 10 + (x >> 8);  // pairs of digits
    constexpr std::uint64_t kMask = 0x000000FF000000FFu;
    x = ((x & kMask) * (100 + (1000000ull << 32)) + ((x >> 16) & kMask) * (1 + (10000ull << 32))) >> 32;
    value = x;
    return true;
}

// Scans the longest literal at the front of t; inlined, as it runs for
// every value read.
[[gnu::always_inline]] inline TLiteral ScanLiteral(std::string_view t) {
    TLiteral lit;
    const std::size_t n = t.size();
    std::size_t i = 0;
    if (i < n && (t[i] == '+' || t[i] == '-')) lit.negative = t[i++] == '-';
    // Gathers a run of digits into lit.digits, eight at a time where it can;
    // past 19 significant digits the sum wraps, which nobody then reads.
    auto gather = [&] {
        std::uint64_t eight = 0;
        while (n - i >= 8 && EightDigits(t.data() + i, eight)) {
            lit.digits = lit.digits * 100000000u + eight;
            i += 8;
        }
        for (; i < n && IsDigit(t[i]); ++i) lit.digits = lit.digits * 10 + static_cast<std::uint64_t>(t[i] - '0');
    };
    lit.int_begin = i;
    gather();
    lit.int_end = lit.frac_begin = lit.frac_end = i;
    bool point = false;
    if (i < n && t[i] == '.') {
        point = true;
        lit.frac_begin = ++i;
        gather();
        lit.frac_end = i;
    }
    lit.end = i;
    if (lit.int_begin == lit.int_end && !point) return lit;
    // Leading zeros are not significant.
    lit.first = lit.int_begin;
    while (lit.first < lit.int_end && t[lit.first] == '0') ++lit.first;
    std::size_t leading = lit.first - lit.int_begin;
    if (lit.first == lit.int_end) {
        lit.first = lit.frac_begin;
        while (lit.first < lit.frac_end && t[lit.first] == '0') ++lit.first;
        leading += lit.first - lit.frac_begin;
    }
    const std::size_t all = (lit.int_end - lit.int_begin) + (lit.frac_end - lit.frac_begin);
    lit.significant = static_cast<std::int64_t>(all - leading);
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        bool exp_negative = false;
        if (i < n && (t[i] == '+' || t[i] == '-')) exp_negative = t[i++] == '-';
        const std::size_t exp_begin = i;
        while (i < n && IsDigit(t[i])) {
            lit.exponent = std::min<std::int64_t>(lit.exponent * 10 + (t[i] - '0'), 1'000'000'000);
            ++i;
        }
        lit.end = i;
        if (i == exp_begin) return lit;
        if (exp_negative) lit.exponent = -lit.exponent;
    }
    lit.valid = true;
    return lit;
}

// The value of the literal t, scanned whole into lit, when LiteralValue has
// no quick answer: from the C++ library's conversion.
double ConvertLiteral(std::string_view t, const TLiteral& lit) {
    const double zero = lit.negative ? -0.0 : 0.0;
    const std::size_t n = t.size();
    const char* first = t.data() + (t[0] == '+' ? 1 : 0);
    double value = 0;
    auto [end, ec] = std::from_chars(first, t.data() + n, value);
    if (end != t.data() + n) ThrowNotANumber(t);
    if (ec == std::errc::result_out_of_range) {
        // Tell overflow from underflow by the place of the first nonzero digit.
        constexpr std::size_t kMost = 1'000'000'000'000;
        const std::int64_t magnitude =
            lit.first < lit.int_end
                ? static_cast<std::int64_t>(std::min(lit.int_end - lit.first, kMost))
                : -static_cast<std::int64_t>(std::min(lit.first - lit.frac_begin, kMost));
        if (magnitude + lit.exponent > 0) ThrowNotANumber(t);
        return zero;
    }
    if (ec != std::errc()) ThrowNotANumber(t);
    return value;
}

// The value of the literal t, scanned whole into lit: the nearest double;
// one that underflows becomes that nearest double (0 or subnormal), one
// whose nearest double would be beyond the largest finite one is rejected
// like a token that is not a number. Inlined into the readers of values.
[[gnu::always_inline]] inline double LiteralValue(std::string_view t, const TLiteral& lit) {
    if (lit.int_begin == lit.int_end && lit.frac_begin == lit.frac_end) {
        return lit.negative ? -0.0 : 0.0;  // ".", "-.", ".e5"
    }
    // Clinger's fast path: with at most 15 significant digits and a power of
    // ten up to 10^22, both factors are exact doubles, so one multiplication
    // or division gives the correctly rounded double, as from_chars would.
    const std::int64_t scale = lit.exponent - static_cast<std::int64_t>(lit.frac_end - lit.frac_begin);
    if (lit.significant <= 15 && scale >= -22 && scale <= 22) {
        const double d = static_cast<double>(lit.digits);
        const double value = scale >= 0 ? d * kPowersOfTen[scale] : d / kPowersOfTen[-scale];
        return lit.negative ? -value : value;
    }
    return ConvertLiteral(t, lit);
}

// A vertex value token: the whole of t must be a literal.
double ToValue(std::string_view t) {
    const TLiteral lit = ScanLiteral(t);
    if (!lit.valid || lit.end != t.size()) ThrowNotANumber(t);
    return LiteralValue(t, lit);
}

// Most vertex values stand alone between blanks. Such a one is read here
// straight from the line, leaving the tokenizer where reading it as a token
// would have left it; false, with nothing taken, for anything else (a
// comment, a delimiter, the file's end), which the token path then reads.
bool NextPlainValue(double& value) {
    if (InComment || !SufFileOpen || !SufPlainValues) return false;
    if (!ReachWord()) return false;
    std::size_t skip = 0;
    while (IsBlank(LineBuffer[skip])) ++skip;  // each blank would be a word of its own
    const std::string_view rest = LineBuffer.substr(skip);
    const TLiteral lit = ScanLiteral(rest);
    if (!lit.valid || (lit.end < rest.size() && !IsBlank(rest[lit.end]))) return false;
    CountLineFeeds(static_cast<std::size_t>(rest.data() - SufFile.Bytes.data()));
    value = LiteralValue(rest.substr(0, lit.end), lit);
    LineBuffer = Trim(rest.substr(std::min(lit.end + 1, rest.size())));
    return true;
}

enum class Outcome { kEnd, kFormatError, kGrammarError };

// What one load builds. The list hangs from `result` as soon as a record
// exists, so whoever catches an exception can release it.
struct Parser {
    Parser(const std::string& name, TVANE_Object*& list) : file_name(name), result(list) {}

    const std::string& file_name;
    TVANE_Object*& result;
    std::string scratch;
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

    std::string_view Token() { return NextToken(file_name, scratch); }

    // After "obj": returns the last token read.
    std::string_view Object(Outcome& outcome) {
        auto* o = new TVANE_Object;
        o->Prev = obj;
        if (obj != nullptr) {
            obj->Next = o;
            o->Attributes = obj->Attributes;
        } else {
            result = o;
        }
        obj = o;
        last_poly = nullptr;
        box = {};
        if (Token() != "suf") {
            outcome = Outcome::kFormatError;
            return {};
        }
        o->Name = Token();
        return Token();  // "{" in a well-formed file
    }

    // After "atr": returns the attribute name.
    std::string_view Attribute() {
        std::string_view name = Token();
        auto found = attributes.find(name);
        TVANE_Attribute* a = found != attributes.end() ? found->second : nullptr;
        if (a == nullptr) {
            a = new TVANE_Attribute{obj->Attributes, std::string(name)};
            obj->Attributes = a;
            attributes.emplace(a->Name, a);
        }
        attr = a;
        return name;
    }

    // After "prim": reads the kind and the vertices up to ")".
    std::string_view Primitive() {
        auto* poly = polygons.New();
        poly->Prev = last_poly;
        poly->Attribute = attr;
        poly->Marked = 1;
        (last_poly != nullptr ? last_poly->Next : obj->Polygons) = poly;
        last_poly = poly;
        poly->Kind = KindOf(Token());
        Token();  // "(" in a well-formed file
        const TKindLayout& kind = kKinds[poly->Kind];
        TVANE_Vertex* last_vtx = nullptr;
        for (;;) {
            double value = 0;
            const bool plain = NextPlainValue(value);
            std::string_view t;
            if (!plain) {
                t = Token();
                if (t == ")") return t;
            }
            auto* v = vertices.New();
            v->Prev = last_vtx;
            v->Marked = 1;
            (last_vtx != nullptr ? last_vtx->Next : poly->Vertices) = v;
            last_vtx = v;
            double position[3];
            if (!plain) value = ToValue(t);
            for (std::size_t i = 0;;) {
                v->*kind.Fields[i] = value;
                if (i < 3) position[i] = value;
                if (++i == kind.Count) break;
                if (!NextPlainValue(value)) value = ToValue(Token());
            }
            if (box.Add(position[0], position[1], position[2])) box.WriteTo(*obj);
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

// Leaves the tokenizer closed, so the next load starts afresh.
void EndLoad() {
    CloseSufFile();
    SufFile.AtEnd = false;
    InComment = false;
}

}  // namespace

double ReadSufValue(std::string_view Text) { return ToValue(Text); }

bool TVANE::IsTokenDelimiter(unsigned char c) { return kDelimiter[c]; }

// Outside a load nothing ends a load, so a call after the end starts one: it
// opens the file it names again from its first line.
std::string TVANE::ReadWord(const std::string& FileName) {
    if (!SufFileOpen) SufFile.AtEnd = false;
    return std::string(NextWord(FileName));
}

std::string TVANE::ReadToken(const std::string& FileName) {
    if (!SufFileOpen) SufFile.AtEnd = false;
    std::string scratch;
    return std::string(NextToken(FileName, scratch));
}

TVANE_Object* TVANE::LoadSuf(const std::string& FileName) {
    SufErrorMessage.clear();
    EndLoad();
    LineNumber = 0;
    TVANE_Object* result = nullptr;
    Outcome outcome = Outcome::kEnd;
    try {
        Parser parser(FileName, result);
        outcome = parser.Run();
    } catch (const std::bad_alloc&) {
        FreeSuf(result);
        EndLoad();
        SetSufErrorMessage({std::to_string(LineNumber), "行目でメモリーが枯渇しました。"});
        return nullptr;
    } catch (...) {
        FreeSuf(result);
        EndLoad();
        throw;
    }
    EndLoad();
    switch (outcome) {
    case Outcome::kEnd: return result;
    case Outcome::kFormatError:
        SetSufErrorMessage({std::to_string(LineNumber), "行において未知の形式の形状ファイルです。"});
        break;
    case Outcome::kGrammarError:
        SetSufErrorMessage({"形状データの文法が", std::to_string(LineNumber), "行において変です。"});
        break;
    }
    FreeSuf(result);
    return nullptr;
}
