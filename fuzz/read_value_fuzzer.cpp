// Reads one vertex value from a file and checks it against a plain reading
// of the literal: the grammar checked by hand, the value from the C
// library's strtod (correctly rounded). The reader takes a faster path for
// short literals; both must give the same double, and the same refusals.
// A literal taken as written the way the writer writes its value must be
// written so again.
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shape/errors.h"
#include "shape/number.h"
#include "shape/state.h"
#include "shape/vane.h"

namespace {

std::string g_path;

bool Digit(char c) { return c >= '0' && c <= '9'; }

// Sign, digits with at most one '.', at least a digit or the '.', then an
// optional exponent with an optional sign and at least one digit.
bool IsLiteral(const std::string& t, bool& has_digit) {
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t mantissa = 0;
    bool point = false;
    has_digit = false;
    for (; i < t.size() && (Digit(t[i]) || (t[i] == '.' && !point)); ++i, ++mantissa) {
        point = point || t[i] == '.';
        has_digit = has_digit || Digit(t[i]);
    }
    if (mantissa == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        std::size_t start = i;
        while (i < t.size() && Digit(t[i])) ++i;
        if (i == start) return false;
    }
    return i == t.size();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    VANE_SourceInitialize();
    const char* tmp = std::getenv("TMPDIR");
    if (tmp == nullptr) tmp = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    g_path = std::string(tmp) + "/plivra-fuzz-value-" + std::to_string(getpid()) + ".suf";
    std::atexit([] { std::remove(g_path.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Only the bytes a literal can hold, so the token stays one word.
    std::string token;
    for (std::size_t i = 0; i < size && token.size() < 400; ++i) {
        char c = static_cast<char>(data[i]);
        if (Digit(c) || (c != 0 && std::strchr(".eE+-", c) != nullptr)) token += c;
    }
    if (token.empty()) return 0;
    FILE* f = std::fopen(g_path.c_str(), "wb");
    if (f == nullptr) std::abort();
    std::fprintf(f, "obj suf a {\rprim poly (\r%s 0 0\r)\r}\r", token.c_str());
    std::fclose(f);

    bool has_digit = false;
    bool refused = !IsLiteral(token, has_digit);
    double want = 0;
    if (!refused) {
        const bool negative = token[0] == '-';
        if (has_digit) {
            errno = 0;
            want = std::strtod(token.c_str(), nullptr);
            refused = std::isinf(want);  // beyond the largest double
        } else {
            want = negative ? -0.0 : 0.0;  // ".", "-.", ".e5"
        }
    }

    bool got_refused = false;
    double got = 0;
    try {
        TVANE_Object* shape = VANE->LoadSuf(g_path);
        if (shape == nullptr || shape->Polygons == nullptr || shape->Polygons->Vertices == nullptr) {
            std::fprintf(stderr, "no vertex for '%s'\n", token.c_str());
            std::abort();
        }
        got = static_cast<double>(shape->Polygons->Vertices->X);
        VANE->FreeSuf(shape);
    } catch (const SufConvertError&) {
        got_refused = true;
    }
    // Bit for bit, so -0 and 0 differ.
    if (got_refused != refused ||
        (!refused && std::bit_cast<std::uint64_t>(got) != std::bit_cast<std::uint64_t>(want))) {
        std::fprintf(stderr, "'%s' read as %s%.17g, want %s%.17g\n", token.c_str(),
                     got_refused ? "refused " : "", got, refused ? "refused " : "", want);
        std::abort();
    }
    if (IsFormattedNumber(token)) {
        char text[kMaxNumberText];
        const std::size_t n = refused ? 0 : FormatNumber(got, text);
        if (std::string(text, n) != token) {
            std::fprintf(stderr, "'%s' taken as written, but written as '%s'\n", token.c_str(), std::string(text, n).c_str());
            std::abort();
        }
    }
    return 0;
}
