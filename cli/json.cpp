#include "cli/json.h"

#include <cassert>
#include <charconv>
#include <cmath>
#include <system_error>

#include "shape/text.h"

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
    for (const char b : NameText(Bytes)) {
        const auto c = static_cast<unsigned char>(b);
        if (c == '"' || c == '\\') {
            std::fputc('\\', out_);
            std::fputc(c, out_);
        } else if (c < 0x20) {
            std::fprintf(out_, "\\u%04x", c);
        } else {
            std::fputc(c, out_);
        }
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
