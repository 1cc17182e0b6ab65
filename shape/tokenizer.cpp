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

// Opens the file with an empty window. Only regular files are read: a pipe,
// a device or a socket may never end (a FIFO without a writer, /dev/zero),
// so they are refused like a missing file.
void OpenSufFile(const std::string& file_name) {
    thread_local TThreadExitCloser closer;
    // Not blocking, so opening a FIFO that nobody writes returns at once.
    const int fd = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) ThrowIOError("を開けません", file_name, errno);
    struct stat st {};
    const int err = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (err != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (err != 0) ThrowIOError("を開けません", file_name, err);
        ThrowNotRegular(file_name);
    }
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
    for (;;) {
        const ssize_t n = ::read(f.Fd, window + kept, f.Capacity - kept);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowIOError("を読み込めません", *reading_name, errno);
        }
        if (n == 0) {
            f.Drained = true;
            return false;
        }
        const auto* stop = static_cast<const char*>(std::memchr(window + kept, kCtrlZ, static_cast<std::size_t>(n)));
        f.Filled = stop != nullptr ? Offset(stop) : kept + static_cast<std::size_t>(n);
        f.Drained = stop != nullptr;
        return f.Filled > kept;
    }
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
std::string_view NextToken(const std::string& FileName, std::string& scratch) {
    for (;;) {
        std::string_view word;
        if (InComment) {
            std::size_t close = std::string_view::npos;
            while (close == std::string_view::npos) {
                word = NextWord(FileName);
                if (word.empty()) {
                    InComment = false;
                    return {};
                }
                close = word.find("*/");
            }
            word.remove_prefix(close + 2);
            InComment = false;
        } else {
            word = NextWord(FileName);
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
