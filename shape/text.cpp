#include "shape/text.h"

#include <iconv.h>

#include <cerrno>

namespace {

// Length of the valid UTF-8 sequence at the front of text (not empty), or 0.
std::size_t Utf8SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const auto continuation = [&](std::size_t i) { return i < text.size() && (byte(i) & 0xC0) == 0x80; };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return continuation(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (!continuation(1) || !continuation(2)) return 0;
        // No overlong forms and no surrogates.
        if (lead == 0xE0 && byte(1) < 0xA0) return 0;
        if (lead == 0xED && byte(1) >= 0xA0) return 0;
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (!continuation(1) || !continuation(2) || !continuation(3)) return 0;
        if (lead == 0xF0 && byte(1) < 0x90) return 0;
        if (lead == 0xF4 && byte(1) >= 0x90) return 0;
        return 4;
    }
    return 0;
}

// One CP932 decoder per thread, opened on first use: an iconv_t keeps state
// between calls and may not be shared.
class TShiftJisDecoder {
public:
    TShiftJisDecoder() : cd_(iconv_open("UTF-8", "CP932")) {}
    ~TShiftJisDecoder() {
        if (Usable()) iconv_close(cd_);
    }
    TShiftJisDecoder(const TShiftJisDecoder&) = delete;
    TShiftJisDecoder& operator=(const TShiftJisDecoder&) = delete;

    // Decodes the whole of bytes into text; false when any sequence is not
    // CP932 or the last one is cut short (text is then unspecified).
    bool Decode(std::string_view bytes, std::string& text) {
        if (!Usable()) return false;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // the state a failed call left
        // A CP932 character of one or two bytes is at most three bytes of UTF-8.
        text.assign(3 * bytes.size(), '\0');
        char* in = const_cast<char*>(bytes.data());  // iconv's type; it does not write there
        std::size_t in_left = bytes.size();
        char* out = text.data();
        std::size_t out_left = text.size();
        if (iconv(cd_, &in, &in_left, &out, &out_left) == static_cast<std::size_t>(-1) || in_left != 0)
            return false;
        text.resize(text.size() - out_left);
        return true;
    }

private:
    bool Usable() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    iconv_t cd_;
};

std::string Latin1Text(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char b : bytes) {
        const auto c = static_cast<unsigned char>(b);
        if (c < 0x80) {
            text.push_back(b);
        } else {
            text.push_back(static_cast<char>(0xC0 | c >> 6));
            text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return text;
}

}  // namespace

bool IsUtf8(std::string_view Bytes) {
    while (!Bytes.empty()) {
        const std::size_t length = Utf8SequenceLength(Bytes);
        if (length == 0) return false;
        Bytes.remove_prefix(length);
    }
    return true;
}

std::string NameText(std::string_view Bytes) {
    if (IsUtf8(Bytes)) return std::string(Bytes);
    thread_local TShiftJisDecoder decoder;
    std::string text;
    if (decoder.Decode(Bytes, text)) return text;
    return Latin1Text(Bytes);
}
