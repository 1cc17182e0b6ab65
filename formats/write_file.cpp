// The one place the format writers' bytes reach the disk.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "formats/export.h"

namespace {

[[noreturn]] void Fail(int err) { throw TExportError(std::string("cannot write (") + std::strerror(err) + ")"); }

}  // namespace

void WriteFileBytes(const std::string& FileName, std::string_view Bytes) {
    const std::size_t slash = FileName.rfind('/');
    std::string temp = (slash == std::string::npos ? std::string() : FileName.substr(0, slash + 1)) +
                       ".plivra-save-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) Fail(errno);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    int err = ::fchmod(fd, 0666 & ~mask) == 0 ? 0 : errno;
    while (err == 0 && !Bytes.empty()) {
        const ssize_t n = ::write(fd, Bytes.data(), Bytes.size());
        if (n < 0) {
            if (errno != EINTR) err = errno;
            continue;
        }
        Bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && ::rename(temp.c_str(), FileName.c_str()) != 0) err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        Fail(err);
    }
}
