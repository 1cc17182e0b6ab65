// Shape file writer. The text is built in memory and written in one go to a
// temporary file beside the target, which is renamed over the target only
// once everything is written, flushed and closed: a failed save leaves an
// existing file as it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "shape/errors.h"
#include "shape/kinds.h"
#include "shape/number.h"
#include "shape/state.h"
#include "shape/vane.h"

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Why a save stopped; `cause` is the Japanese text shown in the message.
struct SaveFailure {
    std::string cause;
};

void AppendLine(std::string& out, std::string_view a, std::string_view b = {},
                std::string_view c = {}) {
    out.append(a);
    out.append(b);
    out.append(c);
    out.append(kLineEnd);
}

void AppendValue(std::string& out, Extended value) {
    char text[kMaxNumberText];
    std::size_t n = FormatNumber(value, text);
    if (n == 0) {
        // The reader would reject the written text: refuse the whole shape.
        std::string shown = std::isnan(value) ? "非数" : std::isinf(value) ? "無限大" : "";
        if (shown.empty()) {
            char wide[64];
            std::snprintf(wide, sizeof wide, "%.15LG", value);
            shown = wide;
        }
        throw SaveFailure{"値 " + shown + " は倍精度浮動小数点数の範囲を超えています"};
    }
    out.append(text, n);
}

std::string BuildText(const TVANE_Object* shape) {
    std::string out;
    std::size_t estimate = 0;
    for (const TVANE_Object* obj = shape; obj != nullptr; obj = obj->Next) {
        for (const TVANE_Polygon* poly = obj->Polygons; poly != nullptr; poly = poly->Next) {
            for (const TVANE_Vertex* v = poly->Vertices; v != nullptr; v = v->Next) estimate += 48;
        }
    }
    out.reserve(estimate);
    for (const TVANE_Object* obj = shape; obj != nullptr; obj = obj->Next) {
        AppendLine(out, "obj suf ", obj->Name, " {");
        const TVANE_Attribute* written = nullptr;
        for (const TVANE_Polygon* poly = obj->Polygons; poly != nullptr; poly = poly->Next) {
            if (poly->Attribute != written) {
                written = poly->Attribute;
                if (written != nullptr) AppendLine(out, "atr ", written->Name);
            }
            const TKindLayout& layout = KindLayout(poly->Kind);
            AppendLine(out, "prim ", layout.Keyword, " (");
            for (const TVANE_Vertex* v = poly->Vertices; v != nullptr; v = v->Next) {
                out.append("   ");
                for (std::size_t i = 0; i < layout.Count; ++i) {
                    out.append(layout.GroupStart[i] ? "  " : " ");
                    AppendValue(out, v->*layout.Fields[i]);
                }
                out.append(kLineEnd);
            }
            AppendLine(out, ")");
        }
        AppendLine(out, "}");
    }
    return out;
}

std::string Directory(const std::string& file_name) {
    std::size_t slash = file_name.rfind('/');
    return slash == std::string::npos ? std::string() : file_name.substr(0, slash + 1);
}

// Permissions of the new file: those of the file it replaces, otherwise what
// creating a file would give.
mode_t NewFileMode(const std::string& file_name) {
    struct stat st {};
    if (::stat(file_name.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

[[noreturn]] void Fail(int err) { throw SaveFailure{SufErrnoText(err)}; }

void WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

// Saving through a symbolic link replaces the file it points to and keeps
// the link.
std::string ResolveLink(const std::string& file_name) {
    struct stat st {};
    if (::lstat(file_name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return file_name;
    char* resolved = ::realpath(file_name.c_str(), nullptr);
    if (resolved == nullptr) return file_name;  // a dangling link is replaced
    std::string target = resolved;
    std::free(resolved);
    return target;
}

void WriteReplacing(const std::string& link_or_file, std::string_view bytes) {
    const std::string file_name = ResolveLink(link_or_file);
    std::string temp = Directory(file_name) + ".plivra-save-XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) Fail(errno);
    try {
        if (::fchmod(fd, NewFileMode(file_name)) != 0) Fail(errno);
        WriteAll(fd, bytes);
        if (::fsync(fd) != 0) Fail(errno);
    } catch (...) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw;
    }
    // A failing close can mean data did not reach the disk: a failure too.
    int closed = ::close(fd);
    int err = errno;
    if (closed != 0 || ::rename(temp.c_str(), file_name.c_str()) != 0) {
        if (closed == 0) err = errno;
        ::unlink(temp.c_str());
        Fail(err);
    }
}

}  // namespace

bool TVANE::SaveSuf(const std::string& FileName, TVANE_Object* Shape) {
    SufErrorMessage.clear();
    try {
        std::string text = BuildText(Shape);
        WriteReplacing(FileName, text);
        return true;
    } catch (const SaveFailure& failure) {
        SetSufErrorMessage({"ファイル「", FileName, "」に保存できません（", failure.cause, "）。"});
    } catch (const std::bad_alloc&) {
        SetSufErrorMessage({"ファイル「", FileName, "」に保存できません（メモリーが枯渇しました）。"});
    }
    return false;
}
