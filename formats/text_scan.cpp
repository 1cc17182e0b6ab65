#include "formats/text_scan.h"

#include "shape/errors.h"
#include "shape/number.h"

namespace {

bool IsSpace(char c) { return static_cast<unsigned char>(c) <= 32; }

}  // namespace

std::string_view TWordScanner::Next() {
    while (pos_ < bytes_.size() && IsSpace(bytes_[pos_])) {
        if (bytes_[pos_] == '\n' || (bytes_[pos_] == '\r' && (pos_ + 1 == bytes_.size() || bytes_[pos_ + 1] != '\n')))
            ++line_;
        ++pos_;
    }
    const std::size_t start = pos_;
    while (pos_ < bytes_.size() && !IsSpace(bytes_[pos_])) ++pos_;
    return bytes_.substr(start, pos_ - start);
}

std::string_view TWordScanner::Need(const char* What) {
    const std::string_view word = Next();
    if (word.empty()) throw TImportError(std::string("ends early, in ") + What);
    return word;
}

std::string_view TWordScanner::RestOfLine() {
    std::size_t end = pos_;
    while (end < bytes_.size() && bytes_[end] != '\n' && bytes_[end] != '\r') ++end;
    std::string_view rest = bytes_.substr(pos_, end - pos_);
    pos_ = end;
    while (!rest.empty() && IsSpace(rest.front())) rest.remove_prefix(1);
    while (!rest.empty() && IsSpace(rest.back())) rest.remove_suffix(1);
    return rest;
}

double TWordScanner::Number(const char* What) {
    const std::string_view word = Need(What);
    try {
        return ToValue(word);
    } catch (const SufConvertError&) {
        Fail("'" + std::string(word) + "' is not a number");
    }
}

void TWordScanner::Fail(const std::string& What) const {
    throw TImportError("line " + std::to_string(line_) + ": " + What);
}
