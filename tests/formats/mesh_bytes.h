#pragma once
// Builds the bytes of binary mesh files in tests: text and values appended
// in either byte order, and the known-answer check that imports them.
#include <gtest/gtest.h>

#include <bit>
#include <initializer_list>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "formats/import.h"
#include "tests/shape/test_util.h"

namespace test_util {

// The bytes of values as they lie in memory (little-endian machines).
template <typename T>
std::string Bytes(std::initializer_list<T> values) {
    std::string out;
    for (const T v : values) {
        char b[sizeof(T)];
        std::memcpy(b, &v, sizeof(T));
        out.append(b, sizeof(T));
    }
    return out;
}

// Bytes in base64, as a data URI holds them.
inline std::string Base64(std::string_view bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t n = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 2]);
        const std::size_t used = std::min<std::size_t>(3, bytes.size() - i);
        for (std::size_t k = 0; k < 4; ++k) out += k <= used ? kDigits[n >> (18 - 6 * k) & 63] : '=';
    }
    return out;
}

class TBytes {
public:
    explicit TBytes(bool big_endian = false) : big_(big_endian) {}

    TBytes& Text(std::string_view text) {
        bytes_ += text;
        return *this;
    }
    template <typename T>
    TBytes& Put(T value) {
        char b[sizeof(T)];
        std::memcpy(b, &value, sizeof b);
        if (big_ == (std::endian::native == std::endian::little)) {
            for (std::size_t i = 0; i < sizeof b / 2; ++i) std::swap(b[i], b[sizeof b - 1 - i]);
        }
        bytes_.append(b, sizeof b);
        return *this;
    }
    template <typename T, typename... More>
    TBytes& Put(T value, More... more) {
        Put(value);
        return Put(more...);
    }
    const std::string& str() const { return bytes_; }

private:
    bool big_;
    std::string bytes_;
};

// One file of a format and the shape file it must import as, value for value.
struct TKnownAnswer {
    const char* label;
    std::string bytes;
    const char* suf;
};

// One file of a format that must be refused with the message.
struct TRefusal {
    const char* label;
    std::string bytes;
    const char* message;
};

using TImporter = TVANE_Object* (*)(std::string_view);

inline void ExpectKnownAnswers(TImporter import, const std::vector<TKnownAnswer>& rows) {
    ShapeFiles files;
    for (const TKnownAnswer& row : rows) {
        try {
            Shape imported(import(row.bytes));
            TVANE_Object* want = files.Load(row.suf);
            ASSERT_NE(want, nullptr) << row.label;
            EXPECT_EQ(Dump(imported.get()), Dump(want)) << row.label;
        } catch (const TImportError& error) {
            ADD_FAILURE() << row.label << ": refused: " << error.what();
        }
    }
}

inline void ExpectRefusals(TImporter import, const std::vector<TRefusal>& rows) {
    for (const TRefusal& row : rows) {
        try {
            Shape imported(import(row.bytes));
            ADD_FAILURE() << row.label << ": accepted";
        } catch (const TImportError& error) {
            EXPECT_STREQ(error.what(), row.message) << row.label;
        }
    }
}

}  // namespace test_util
