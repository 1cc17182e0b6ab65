#include "formats/import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "shape/descriptor.h"
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

// Up to Room bytes of fd at Into; 0 at the end.
std::size_t ReadSome(int fd, char* into, std::size_t room) {
    for (;;) {
        const ssize_t n = ::read(fd, into, room);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) ThrowErrno("cannot read", errno);
    }
}

// Opens FileName, which must be a regular file; throws TImportError.
int OpenRegular(const std::string& file_name) {
    // Not blocking, so a FIFO without a writer does not hold the program up.
    const int fd = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) ThrowErrno("cannot open", errno);
    struct stat st {};
    const int err = ::fstat(fd, &st) != 0 ? errno : 0;
    if (err != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (err != 0) ThrowErrno("cannot open", err);
        throw TImportError("cannot open (not a regular file)");
    }
    return fd;
}

// The bytes of the open regular file fd: as many as its size says, and
// more should it have grown; a small read past them tells its end.
std::string ReadOpenFile(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) ThrowErrno("cannot open", errno);
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.size()) {
            char probe[4096];
            const std::size_t n = ReadSome(fd, probe, sizeof probe);
            if (n == 0) break;
            bytes.resize(std::max(bytes.size() * 2, used + n));
            std::memcpy(bytes.data() + used, probe, n);
            used += n;
            continue;
        }
        const std::size_t n = ReadSome(fd, bytes.data() + used, bytes.size() - used);
        if (n == 0) break;
        used += n;
    }
    bytes.resize(used);
    return bytes;
}

}  // namespace

std::string ReadFileBytes(const std::string& FileName) {
    const TFdCloser file(OpenRegular(FileName));
    return ReadOpenFile(file.fd);
}

TImportedShapes ImportShapes(const std::string& FileName, bool TargetShapes) {
    const std::string ext = LowerExtension(FileName);
    TImportedShapes out;
    if (ext == "obj") {
        // Read a window at a time: never the whole text beside its shape.
        const TFdCloser file(OpenRegular(FileName));
        out.Base.reset(ImportObjStream([&](char* into, std::size_t room) { return ReadSome(file.fd, into, room); }));
        return out;
    }
    const std::string bytes = ReadFileBytes(FileName);
    if (ext == "gltf" || ext == "glb") {
        const std::string base = Directory(FileName);
        return ImportGltfShapes(bytes, ext == "glb", &base, TargetShapes);
    }
    if (ext == "ply") {
        out.Base.reset(ImportPly(bytes));
    } else if (ext == "stl") {
        out.Base.reset(ImportStl(bytes));
    } else {
        throw TImportError("is not of a format that is read");
    }
    return out;
}

TVANE_Object* ImportShape(const std::string& FileName) { return ImportShapes(FileName, false).Base.release(); }
