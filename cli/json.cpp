#include "cli/json.h"

#include <cassert>
#include <charconv>
#include <cmath>
#include <system_error>

namespace {

// Length of the valid UTF-8 sequence at the front of text, or 0.
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

}  // namespace

void TJsonWriter::BeforeValue() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (!first_.empty()) {
        if (!first_.back()) std::fputc(',', out_);
        first_.back() = false;
    }
}

void TJsonWriter::BeginObject() {
    BeforeValue();
    std::fputc('{', out_);
    first_.push_back(true);
}

void TJsonWriter::EndObject() {
    assert(!first_.empty() && !after_key_);
    first_.pop_back();
    std::fputc('}', out_);
    if (first_.empty()) std::fputc('\n', out_);
}

void TJsonWriter::BeginArray() {
    BeforeValue();
    std::fputc('[', out_);
    first_.push_back(true);
}

void TJsonWriter::EndArray() {
    assert(!first_.empty());
    first_.pop_back();
    std::fputc(']', out_);
    if (first_.empty()) std::fputc('\n', out_);
}

void TJsonWriter::Key(std::string_view Name) {
    assert(!after_key_);
    String(Name);
    std::fputc(':', out_);
    after_key_ = true;
}

void TJsonWriter::String(std::string_view Bytes) {
    BeforeValue();
    std::fputc('"', out_);
    while (!Bytes.empty()) {
        const auto c = static_cast<unsigned char>(Bytes[0]);
        const std::size_t length = Utf8SequenceLength(Bytes);
        if (c == '"' || c == '\\') {
            std::fputc('\\', out_);
            std::fputc(c, out_);
        } else if (c < 0x20 || length == 0) {
            std::fprintf(out_, "\\u%04x", c);
        } else {
            std::fwrite(Bytes.data(), 1, length, out_);
            Bytes.remove_prefix(length);
            continue;
        }
        Bytes.remove_prefix(1);
    }
    std::fputc('"', out_);
}

void TJsonWriter::Integer(std::int64_t Value) {
    BeforeValue();
    std::fprintf(out_, "%lld", static_cast<long long>(Value));
}

void TJsonWriter::Member(std::string_view Name, std::int64_t Value) {
    Key(Name);
    Integer(Value);
}

void TJsonWriter::Number(Extended Value) {
    // Readers of JSON hold numbers as doubles. From half a unit above the
    // largest double on, an extended real would round to an infinity; NaN
    // fails the comparison too.
    constexpr Extended kDoubleOverflow = 0x1.fffffffffffff8p+1023L;
    if (!(std::fabs(Value) < kDoubleOverflow)) {
        Null();
        return;
    }
    BeforeValue();
    // The shortest text that reads back as the same double.
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, static_cast<double>(Value));
    assert(error == std::errc());
    std::fwrite(text, 1, static_cast<std::size_t>(end - text), out_);
}

void TJsonWriter::Bool(bool Value) {
    BeforeValue();
    std::fputs(Value ? "true" : "false", out_);
}

void TJsonWriter::Null() {
    BeforeValue();
    std::fputs("null", out_);
}

void TJsonWriter::Numbers(const Extended* Values, std::size_t Count) {
    BeginArray();
    for (std::size_t i = 0; i < Count; ++i) Number(Values[i]);
    EndArray();
}
