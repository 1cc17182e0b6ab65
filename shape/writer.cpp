// Shape file writer. The text is built in memory (a large shape in pieces on
// every core) and written in order to a temporary file beside the target,
// which is renamed over the target only once everything is written, flushed
// and closed: a failed save leaves an existing file as it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "shape/errors.h"
#include "shape/kinds.h"
#include "shape/number.h"
#include "shape/parallel.h"
#include "shape/probes.h"
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

// A run of polygons of one object, written as a piece of the text: the
// object's first line when it starts the object, its last when it ends it.
struct TPiece {
    const TVANE_Object* object = nullptr;
    const TVANE_Polygon* first = nullptr;  // nullptr when the object has none
    std::size_t polygons = 0;
    const TVANE_Attribute* written = nullptr;  // the attribute in effect before `first`
    bool opens = false;
    bool closes = false;
};

void AppendPiece(std::string& out, const TPiece& piece) {
    std::size_t estimate = 0;
    const TVANE_Polygon* poly = piece.first;
    for (std::size_t i = 0; i < piece.polygons; ++i, poly = poly->Next) {
        estimate += 16;
        for (const TVANE_Vertex* v = poly->Vertices; v != nullptr; v = v->Next) estimate += 48;
    }
    out.reserve(estimate);
    if (piece.opens) AppendLine(out, "obj suf ", piece.object->Name, " {");
    // An attribute line is written where the polygons' attribute changes.
    const TVANE_Attribute* written = piece.written;
    poly = piece.first;
    for (std::size_t i = 0; i < piece.polygons; ++i, poly = poly->Next) {
        if (poly->Attribute != written) {
            written = poly->Attribute;
            if (written != nullptr) AppendLine(out, "atr ", written->Name);
        }
        const TKindLayout& layout = KindLayout(poly->Kind);
        AppendLine(out, "prim ", layout.Keyword, " (");
        for (const TVANE_Vertex* v = poly->Vertices; v != nullptr; v = v->Next) {
            out.append("   ");
            for (std::size_t k = 0; k < layout.Count; ++k) {
                out.append(layout.GroupStart[k] ? "  " : " ");
                AppendValue(out, v->*layout.Fields[k]);
            }
            out.append(kLineEnd);
        }
        AppendLine(out, ")");
    }
    if (piece.closes) AppendLine(out, "}");
}

// The shape cut into pieces of at most `polygons` polygons each, in order.
std::vector<TPiece> CutIntoPieces(const TVANE_Object* shape, std::size_t polygons) {
    std::vector<TPiece> pieces;
    for (const TVANE_Object* obj = shape; obj != nullptr; obj = obj->Next) {
        pieces.push_back({obj, obj->Polygons, 0, nullptr, true, false});
        const TVANE_Attribute* before = nullptr;
        for (const TVANE_Polygon* poly = obj->Polygons; poly != nullptr; poly = poly->Next) {
            if (pieces.back().polygons == polygons) pieces.push_back({obj, poly, 0, before, false, false});
            ++pieces.back().polygons;
            before = poly->Attribute;
        }
        pieces.back().closes = true;
    }
    return pieces;
}

// The text of the shape as pieces to be written one after the other. A
// large shape is formatted on every core; the first failure in the order of
// the text is the one raised, as formatting in one pass would raise it.
std::vector<std::string> BuildText(const TVANE_Object* shape) {
    std::size_t polygons = 0;
    for (const TVANE_Object* obj = shape; obj != nullptr && polygons < SufParallelPolygons; obj = obj->Next) {
        for (const TVANE_Polygon* poly = obj->Polygons; poly != nullptr && polygons < SufParallelPolygons;
             poly = poly->Next) {
            ++polygons;
        }
    }
    const bool parallel = polygons >= SufParallelPolygons && CoreCount() > 1;
    const std::vector<TPiece> pieces =
        CutIntoPieces(shape, parallel ? std::max<std::size_t>(SufPiecePolygons, 1) : SIZE_MAX);
    std::vector<std::string> texts(pieces.size());
    if (!parallel) {
        for (std::size_t i = 0; i < pieces.size(); ++i) AppendPiece(texts[i], pieces[i]);
        return texts;
    }
    std::vector<std::exception_ptr> failures(pieces.size());
    ForEachOnCores(pieces.size(), [&](std::size_t i) {
        try {
            AppendPiece(texts[i], pieces[i]);
        } catch (...) {
            failures[i] = std::current_exception();
        }
    });
    for (const std::exception_ptr& failure : failures) {
        if (failure) std::rethrow_exception(failure);
    }
    return texts;
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

void WriteReplacing(const std::string& link_or_file, const std::vector<std::string>& pieces) {
    const std::string file_name = ResolveLink(link_or_file);
    std::string temp = Directory(file_name) + ".plivra-save-XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) Fail(errno);
    try {
        if (::fchmod(fd, NewFileMode(file_name)) != 0) Fail(errno);
        for (const std::string& piece : pieces) WriteAll(fd, piece);
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
        WriteReplacing(FileName, BuildText(Shape));
        return true;
    } catch (const SaveFailure& failure) {
        SetSufErrorMessage({"ファイル「", FileName, "」に保存できません（", failure.cause, "）。"});
    } catch (const std::bad_alloc&) {
        SetSufErrorMessage({"ファイル「", FileName, "」に保存できません（メモリーが枯渇しました）。"});
    }
    return false;
}
