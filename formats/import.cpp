#include "formats/import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "shape/vane.h"

namespace {

std::string Directory(const std::string& file_name) {
    const std::size_t slash = file_name.rfind('/');
    return slash == std::string::npos ? std::string() : file_name.substr(0, slash + 1);
}

}  // namespace

std::string LowerExtension(std::string_view file_name) {
    const std::size_t dot = file_name.rfind('.');
    const std::size_t slash = file_name.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    std::string ext(file_name.substr(dot + 1));
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return ext;
}

bool IsImportable(std::string_view FileName) {
    const std::string ext = LowerExtension(FileName);
    return ext == "obj" || ext == "gltf" || ext == "glb" || ext == "ply" || ext == "stl";
}

namespace {

[[noreturn]] void ThrowErrno(const char* what, int err) {
    throw TImportError(std::string(what) + " (" + std::strerror(err) + ")");
}

// The bytes of the open file fd, which must be a regular file.
std::string ReadOpenFile(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) ThrowErrno("cannot open", errno);
    if (!S_ISREG(st.st_mode)) throw TImportError("cannot open (not a regular file)");
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.size()) bytes.resize(std::max<std::size_t>(4096, bytes.size() * 2));
        const ssize_t n = ::read(fd, bytes.data() + used, bytes.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowErrno("cannot read", errno);
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    bytes.resize(used);
    return bytes;
}

}  // namespace

std::string ReadFileBytes(const std::string& FileName) {
    // Not blocking, so a FIFO without a writer does not hold the program up.
    const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) ThrowErrno("cannot open", errno);
    std::string bytes;
    try {
        bytes = ReadOpenFile(fd);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
    return bytes;
}

TImportedShapes ImportShapes(const std::string& FileName, bool TargetShapes) {
    const std::string ext = LowerExtension(FileName);
    const std::string bytes = ReadFileBytes(FileName);
    TImportedShapes out;
    if (ext == "gltf" || ext == "glb") {
        const std::string base = Directory(FileName);
        return ImportGltfShapes(bytes, ext == "glb", &base, TargetShapes);
    }
    if (ext == "obj") {
        out.Base.reset(ImportObj(bytes));
    } else if (ext == "ply") {
        out.Base.reset(ImportPly(bytes));
    } else if (ext == "stl") {
        out.Base.reset(ImportStl(bytes));
    } else {
        throw TImportError("is not of a format that is read");
    }
    return out;
}

TVANE_Object* ImportShape(const std::string& FileName) { return ImportShapes(FileName, false).Base.release(); }
