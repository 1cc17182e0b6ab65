// Shape file tokenizer: a line reader and word splitter (ReadWord) and a
// token layer that removes comments (ReadToken).
//
// The file is read through a window of a few MiB that is filled again as
// the words are taken, so a load holds no copy of the whole file. Lines are
// found in the window; a line cut at the window's end is carried to the
// window's front with its unread rest and completed from the file. Words and
// line numbers come out as if the whole file were at hand.
#include "shape/tokenizer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <cassert>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "shape/errors.h"
#include "shape/number.h"
#include "shape/probes.h"
#include "shape/state.h"
#include "shape/vane.h"

bool SufPlainValues = true;
std::size_t SufWindowBytes = std::size_t{1} << 20;

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

std::string_view TrimFront(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    return s;
}

std::string_view Trim(std::string_view s) {
    s = TrimFront(s);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool AllBlank(std::string_view s) { return TrimFront(s).empty(); }

[[noreturn]] void ThrowIOError(const char* what, const std::string& file_name, int err) {
    throw SufIOError("ファイル「" + file_name + "」" + what + "（" + SufErrnoText(err) + "）。");
}

[[noreturn]] void ThrowNotRegular(const std::string& file_name) {
    throw SufIOError("ファイル「" + file_name + "」を開けません（通常のファイルではありません）。");
}

// Closes the thread's file when the thread ends with one open.
struct TThreadExitCloser {
    TThreadExitCloser() = default;
    TThreadExitCloser(const TThreadExitCloser&) = delete;
    TThreadExitCloser& operator=(const TThreadExitCloser&) = delete;
    ~TThreadExitCloser() { CloseSufFile(); }
};

// The name of the open file as the present call of the tokenizer was
// given it, for the message of a failed read.
thread_local constinit const std::string* reading_name = nullptr;

std::size_t Offset(const char* p) { return static_cast<std::size_t>(p - SufFile.Window); }

}  // namespace

// Only regular files are read: a pipe, a device or a socket may never end
// (a FIFO without a writer, /dev/zero), so they are refused like a missing
// file.
int OpenSufBytes(const std::string& FileName, std::size_t& Size) {
    // Not blocking, so opening a FIFO that nobody writes returns at once.
    const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) ThrowIOError("を開けません", FileName, errno);
    struct stat st {};
    const int err = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (err != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (err != 0) ThrowIOError("を開けません", FileName, err);
        ThrowNotRegular(FileName);
    }
    Size = static_cast<std::size_t>(st.st_size);
    return fd;
}

std::size_t ReadSufBytes(int Fd, char* Into, std::size_t Room, const std::string& FileName) {
    for (;;) {
        const ssize_t n = ::read(Fd, Into, Room);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) ThrowIOError("を読み込めません", FileName, errno);
    }
}

namespace {

// Opens the file with an empty window.
void OpenSufFile(const std::string& file_name) {
    thread_local TThreadExitCloser closer;
    std::size_t size = 0;
    const int fd = OpenSufBytes(file_name, size);
    CloseSufFile();
    SufFile.Fd = fd;
    const std::size_t capacity = std::max<std::size_t>(SufWindowBytes, 1);
    SufFile.Window = new char[capacity];  // read() fills what is used
    SufFile.Capacity = capacity;
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
    const char* first = SufFile.Window + SufFile.Counted;
    const char* last = SufFile.Window + upto;
    std::int64_t lines = LineNumber + std::count(first, last, '\n');
    LineNumber = static_cast<std::int32_t>(std::min<std::int64_t>(lines, INT32_MAX));
    SufFile.Counted = upto;
}

// Moves the bytes from `keep` on to the window's front and reads more of the
// file behind them, growing the window when they fill half of it. Counts
// the line feeds of what is dropped first: every caller would count them
// before it returns anyway. Returns whether any byte came.
bool Fill(std::size_t keep) {
    TSufFile& f = SufFile;
    CountLineFeeds(keep);
    // An empty rest of line may still point just before what is kept; it
    // moves to the front with the rest.
    const std::size_t offset = Offset(LineBuffer.data());
    const std::size_t line = offset >= keep ? offset - keep : 0;
    const std::size_t kept = f.Filled - keep;
    char* window = f.Window;
    if (kept > f.Capacity / 2) {
        const std::size_t capacity = f.Capacity * 2;
        window = new char[capacity];
        f.Capacity = capacity;
    }
    std::memmove(window, f.Window + keep, kept);
    if (window != f.Window) {
        delete[] f.Window;
        f.Window = window;
    }
    f.Filled = kept;
    f.Pos = f.Pos > keep ? f.Pos - keep : 0;
    f.LineEnd = f.LineEnd > keep ? f.LineEnd - keep : 0;
    f.Counted -= keep;
    LineBuffer = std::string_view(window + line, LineBuffer.size());
    if (f.Drained) return false;
    const std::size_t n = ReadSufBytes(f.Fd, window + kept, f.Capacity - kept, *reading_name);
    if (n == 0) {
        f.Drained = true;
        return false;
    }
    const auto* stop = static_cast<const char*>(std::memchr(window + kept, kCtrlZ, n));
    f.Filled = stop != nullptr ? Offset(stop) : kept + n;
    f.Drained = stop != nullptr;
    return f.Filled > kept;
}

// Where the first CR or LF at or after `from` stands, or `to`. Lines are
// short and many, so sixteen bytes are looked at in one step.
std::size_t FindLineBreak(const char* p, std::size_t from, std::size_t to) {
    std::size_t i = from;
#ifdef __SSE2__
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    for (; to - i >= 16; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const int found = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, cr), _mm_cmpeq_epi8(chunk, lf)));
        if (found != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(found)));
    }
#endif
    for (; i < to; ++i) {
        if (p[i] == '\r' || p[i] == '\n') return i;
    }
    return to;
}

// Ends the current line at its CR at `cr`, or leaves it cut at the window's
// end when `cr` is Filled, or ends it with the file.
void EndLineAt(std::size_t cr) {
    TSufFile& f = SufFile;
    f.LineCut = cr == f.Filled && !f.Drained;
    f.LineEnd = cr;
    if (cr == f.Filled) {
        f.Pos = f.Filled;
        return;
    }
    f.Pos = cr + 1;
    if (f.Pos < f.Filled) {
        if (f.Window[f.Pos] == '\n') ++f.Pos;
    } else {
        f.SkipLineFeed = !f.Drained;
    }
}

// The unread rest of the current line from `rest` on: after the line's first
// word without the blanks at its front, and once the line is whole without
// those at its end too.
void SetLineRest(std::string_view rest) {
    rest = TrimFront(rest);
    if (!SufFile.LineCut) rest = Trim(rest);
    LineBuffer = rest;
    SufFile.LineTrimmed = true;
}

// Reads more of the cut current line into the window; LineBuffer keeps its
// front.
void ExtendLine() {
    TSufFile& f = SufFile;
    assert(f.LineCut);
    const std::size_t front = Offset(LineBuffer.data());
    std::size_t searched = f.Filled;
    // Keeps the last byte too: an LF that ends the file is no line of its own,
    // which ReachEnd can only tell while it is there.
    const std::size_t keep = std::min(front, f.Filled - 1);
    Fill(keep);
    searched -= keep;
    std::size_t cr = f.Filled;
    if (searched < f.Filled) {
        const void* found = std::memchr(f.Window + searched, '\r', f.Filled - searched);
        if (found != nullptr) cr = Offset(static_cast<const char*>(found));
    }
    EndLineAt(cr);
    const std::string_view rest(f.Window + front - keep, f.LineEnd - (front - keep));
    if (f.LineTrimmed) {
        SetLineRest(rest);
    } else {
        LineBuffer = rest;
    }
}

// Starts the next line at Pos, which is in the window.
void ReadNextLine() {
    TSufFile& f = SufFile;
    // Every LF of the line left behind is followed by at least its CR, so each
    // began a line.
    CountLineFeeds(f.LineEnd);
    const std::size_t start = f.Pos;
    std::size_t cr = FindLineBreak(f.Window, start, f.Filled);
    // A line without a lone LF has nothing to count: say so at once, rather
    // than count the bytes behind every word. A line cut at the window's end
    // may have some further on.
    bool line_feeds = cr < f.Filled && f.Window[cr] == '\n';
    if (line_feeds) {
        const void* found = std::memchr(f.Window + cr, '\r', f.Filled - cr);
        cr = found != nullptr ? Offset(static_cast<const char*>(found)) : f.Filled;
    }
    EndLineAt(cr);
    line_feeds = line_feeds || f.LineCut;
    LineBuffer = std::string_view(f.Window + start, f.LineEnd - start);
    f.LineTrimmed = false;
    f.Counted = line_feeds ? start : f.LineEnd;
    if (LineNumber < INT32_MAX) ++LineNumber;
}

// Drops the lines read and fills the window with the next ones; false at
// the file's end.
bool FillNextLines() {
    TSufFile& f = SufFile;
    CountLineFeeds(f.LineEnd);
    LineBuffer = std::string_view(f.Window, f.Filled).substr(f.Filled);  // empty, at the end
    f.Counted = f.Filled;
    while (f.Pos >= f.Filled) {
        if (!Fill(f.Filled)) return false;
        if (f.SkipLineFeed) {
            f.SkipLineFeed = false;
            // The LF of a CR LF split by the window ends no line of its own.
            if (f.Window[0] == '\n') f.Pos = f.Counted = 1;
        }
    }
    return true;
}

void ReachEnd() {
    // An LF that is the very last byte ends the last line; it begins none.
    std::size_t upto = SufFile.LineEnd;
    if (upto == SufFile.Filled && upto > SufFile.Counted && SufFile.Window[upto - 1] == '\n') --upto;
    CountLineFeeds(upto);
    CloseSufFile();
    SufFile.AtEnd = true;
}

// Reads lines until one holds a word; false at the file's end.
bool ReachWord() {
    while (AllBlank(LineBuffer)) {
        TSufFile& f = SufFile;
        if (f.LineCut) {
            ExtendLine();
            continue;
        }
        if (f.Pos >= f.Filled && (f.Drained || !FillNextLines())) return false;
        ReadNextLine();
    }
    return true;
}

}  // namespace

std::string_view NextWord(const std::string& FileName) {
    reading_name = &FileName;
    if (!SufFileOpen) {
        if (SufFile.AtEnd) return {};
        OpenSufFile(FileName);
    }
    if (!ReachWord()) {
        ReachEnd();
        return {};
    }
    CountLineFeeds(Offset(LineBuffer.data()));
    // The delimiter that ends a word belongs to it; a line that begins with a
    // delimiter gives that one byte as its word.
    std::size_t len = 0;
    for (std::size_t from = 0;;) {
        std::size_t i = from;
        while (i < LineBuffer.size() && !kDelimiter[static_cast<unsigned char>(LineBuffer[i])]) ++i;
        // On a cut line a blank with only blanks behind it may yet be one the
        // line ends with, which is no part of a word after the first.
        const bool open = SufFile.LineCut && (i == LineBuffer.size() ||
                                              (SufFile.LineTrimmed && AllBlank(LineBuffer.substr(i))));
        if (!open) {
            len = std::min(i + 1, LineBuffer.size());
            break;
        }
        from = i;
        ExtendLine();
    }
    const std::string_view word = LineBuffer.substr(0, len);
    SetLineRest(LineBuffer.substr(len));
    return word;
}

// Comments are searched for inside words, so "/*" and "*/" act only where
// the word splitting leaves them: only the first "/*" of a word opens one, and
// after "*/" the rest of that word is not searched again.
std::string_view CutComments(std::string_view Word, bool& Inside, std::string& Scratch) {
    if (Inside) {
        const std::size_t close = Word.find("*/");
        if (close == std::string_view::npos) return {};
        Inside = false;
        return Word.substr(close + 2);
    }
    const std::size_t open = Word.find("/*");
    if (open == std::string_view::npos) return Word;
    const std::size_t close = Word.find("*/");
    if (close == std::string_view::npos) {
        Inside = true;
        return Word.substr(0, open);
    }
    if (close + 2 <= open) return Word;
    // Cut the bytes from "/*" up to and including the first "*/" of the
    // word, wherever that stands.
    Scratch.assign(Word.substr(0, open));
    Scratch.append(Word.substr(close + 2));
    return Scratch;
}

std::string_view NextToken(const std::string& FileName, std::string& scratch) {
    for (;;) {
        const std::string_view word = NextWord(FileName);
        if (word.empty()) {
            InComment = false;
            return {};
        }
        const std::string_view token = Trim(CutComments(word, InComment, scratch));
        if (!token.empty()) return token;
    }
}

bool NextPlainValue(const std::string& FileName, double& Value) {
    if (InComment || !SufFileOpen || !SufPlainValues) return false;
    reading_name = &FileName;
    if (!ReachWord()) return false;
    std::size_t skip = 0;
    while (IsBlank(LineBuffer[skip])) ++skip;  // each blank would be a word of its own
    const std::string_view rest = LineBuffer.substr(skip);
    // The token path would count as far before it gives a value or a
    // message, whatever the bytes are.
    CountLineFeeds(Offset(rest.data()));
    // A value cut at the window's end is left to the token path, which
    // reads the rest of it first.
    const std::size_t length = ReadPlainValue(rest, SufFile.LineCut, Value);
    if (length == 0) return false;
    SetLineRest(rest.substr(std::min(length + 1, rest.size())));
    return true;
}

void EndSufFile() {
    CloseSufFile();
    SufFile.AtEnd = false;
    InComment = false;
}

namespace {

bool MayBeNumber(char c) { return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.'; }

// What the walk over a line tells bytes apart by.
enum : std::uint8_t { kOther, kSlash, kPunctuation, kBlank, kReturn };
constexpr std::array<std::uint8_t, 256> MakeClassTable() {
    std::array<std::uint8_t, 256> table{};
    for (std::size_t c = 0; c < 256; ++c) {
        table[c] = c == '\r' ? kReturn : c <= 32 ? kBlank : kDelimiter[c] ? kPunctuation : kOther;
    }
    table['/'] = kSlash;
    return table;
}
constexpr std::array<std::uint8_t, 256> kClass = MakeClassTable();

// Passes the tokens of `bytes` (whole lines but maybe the last) to
// Take(token, where its word begins, lines begun so far) as NextToken would
// give them, the comment state starting and ending in `in_comment`, until
// Take returns false. Returns the lines begun; `pairs` counts the CR LF
// pairs. Words split as NextWord splits them: each after the blanks before
// it up to and including the delimiter that ends it, short of the line's
// CR. (A line's first word is taken from its first byte, so a blank there is
// a word alone; the blank gives no token, whatever the comment state, so it
// is passed over like the others.)
template <typename TTake>
std::int64_t WalkTokens(std::string_view bytes, bool& in_comment, std::string& scratch, std::size_t& pairs,
                        TTake&& take) {
    const char* const data = bytes.data();
    const std::size_t size = bytes.size();
    std::int64_t lines = size > 0 ? 1 : 0;
    std::size_t p = 0;
    for (;;) {
        while (p < size && kClass[static_cast<unsigned char>(data[p])] == kBlank) ++p;
        if (p == size) return lines;
        if (data[p] == '\r') {
            ++p;
            if (p < size && data[p] == '\n') ++p, ++pairs;
            lines += p < size ? 1 : 0;
            continue;
        }
        const std::size_t begin = p;
        if (!in_comment && MayBeNumber(data[p])) {
            // A value standing alone between blanks is the most common token.
            double value = 0;
            const std::size_t length = TryPlainValue(bytes.substr(p), value);
            if (length > 0) {
                p += length + static_cast<std::size_t>(p + length < size && data[p + length] != '\r');
                if (!take(bytes.substr(begin, length), begin, lines, &value)) return lines;
                continue;
            }
        }
        bool slash = false;
        std::uint8_t c = kOther;
        while (p < size && (c = kClass[static_cast<unsigned char>(data[p])]) <= kSlash) {
            slash = slash || c == kSlash;
            ++p;
        }
        p += static_cast<std::size_t>(p < size && c != kReturn);
        std::string_view word = bytes.substr(begin, p - begin);
        if (in_comment || slash) word = CutComments(word, in_comment, scratch);
        word = Trim(word);
        if (!word.empty() && !take(word, begin, lines, nullptr)) return lines;
    }
}

// The LFs of `bytes` but `pairs` of them, those right after a CR.
std::int64_t LoneLineFeeds(std::string_view bytes, std::size_t pairs) {
    std::size_t count = 0, i = 0;
#ifdef __SSE2__
    // Sixteen counts of up to 255 in a register at a time, then summed.
    const __m128i lf = _mm_set1_epi8('\n');
    while (bytes.size() - i >= 16) {
        __m128i counts = _mm_setzero_si128();
        for (int n = 0; n < 255 && bytes.size() - i >= 16; ++n, i += 16) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + i));
            counts = _mm_sub_epi8(counts, _mm_cmpeq_epi8(chunk, lf));
        }
        const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
        count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
                 static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
    }
#endif
    count += static_cast<std::size_t>(std::count(bytes.begin() + static_cast<std::ptrdiff_t>(i), bytes.end(), '\n'));
    return static_cast<std::int64_t>(count) - static_cast<std::int64_t>(pairs);
}

}  // namespace

void TokenizePiece(TSufPiece& Piece) {
    Piece.Tokens.clear();
    Piece.Values.clear();
    Piece.Side.clear();
    bool in_comment = Piece.StartsInComment;
    std::string scratch;
    std::size_t pairs = 0;
    const char* const data = Piece.Bytes.data();
    const auto take = [&](std::string_view token, std::size_t, std::int64_t, const double* value) {
        TSufToken t{static_cast<std::uint32_t>(token.data() - data), static_cast<std::uint32_t>(token.size())};
        if (value != nullptr) {
            t.Length |= TSufToken::kNumber;
            Piece.Values.push_back(*value);
        } else {
            if (token.data() < data || token.data() >= data + Piece.Bytes.size()) {
                t.Offset = static_cast<std::uint32_t>(Piece.Side.size());
                t.Length |= TSufToken::kSide;
                Piece.Side.append(token);
            }
            double read = 0;
            if (MayBeNumber(token.front()) && TryToValue(token, read)) {
                t.Length |= TSufToken::kNumber;
                Piece.Values.push_back(read);
            }
        }
        Piece.Tokens.push_back(t);
        return true;
    };
    Piece.Lines = WalkTokens(Piece.Bytes, in_comment, scratch, pairs, take);
    Piece.EndsInComment = in_comment;
    Piece.LineFeeds = LoneLineFeeds(Piece.Bytes, pairs);
}

std::int64_t PieceTokenLine(const TSufPiece& Piece, std::size_t Index) {
    bool in_comment = Piece.StartsInComment;
    std::string scratch;
    std::size_t count = 0, begin = 0, pairs = 0;
    std::int64_t lines = 0;
    const auto take = [&](std::string_view, std::size_t word, std::int64_t line, const double*) {
        begin = word;
        lines = line;
        return count++ < Index;
    };
    WalkTokens(Piece.Bytes, in_comment, scratch, pairs, take);
    pairs = 0;
    const std::string_view before = Piece.Bytes.substr(0, begin);
    for (std::size_t i = 1; i < before.size(); ++i) pairs += static_cast<std::size_t>(before[i - 1] == '\r' && before[i] == '\n');
    return lines + LoneLineFeeds(before, pairs);
}

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
