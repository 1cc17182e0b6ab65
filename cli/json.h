#pragma once
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "shape/records.h"

// Writes one JSON value to a stream as it is built, on one line, with the
// commas and colons in place: Key() before each member of an object.
// Strings are bytes, written as the text NameText makes of them (UTF-8,
// else Shift-JIS, else Latin-1), so the output is always valid JSON.
class TJsonWriter {
public:
    explicit TJsonWriter(std::FILE* Out) : out_(Out) {}

    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    void Key(std::string_view Name);
    void String(std::string_view Bytes);
    void Integer(std::int64_t Value);
    // Key(Name) and Integer(Value): one whole-number member of an object.
    void Member(std::string_view Name, std::int64_t Value);
    // Value rounded to a double, in the shortest text that reads back as that
    // double; null for a value the double range cannot hold (an infinity, NaN,
    // or an extended real beyond the largest double).
    void Number(Extended Value);
    void Bool(bool Value);
    void Null();
    // [X, Y, Z]
    void Numbers(const Extended* Values, std::size_t Count);

private:
    void BeforeValue();

    std::FILE* out_;
    std::vector<bool> first_;  // per open object or array: nothing written in it yet
    bool after_key_ = false;
};
