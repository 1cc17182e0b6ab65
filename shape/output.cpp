// Output files. A regular file is never written in place: a half-written
// file, a full disk or a signal would leave the old content cut. Its
// replacement is written beside it and renamed over it, carrying the old
// file's owner, permissions and extended attributes. Devices, FIFOs and
// sockets cannot be replaced that way and are what the user asked to write
// into, so they are written as they stand.
#include "shape/output.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstring>
#include <iterator>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "shape/errors.h"

namespace {

// The kernel follows at most 40 links in one name; so do we.
constexpr int kMaxLinks = 40;

[[noreturn]] void Fail(int err) { throw OutputError(SufErrnoText(err)); }

// The bytes of a file as pieces written one after the other.
using TPieces = std::span<const std::string_view>;

TNextPiece EachOf(TPieces pieces) {
    return [pieces, next = std::size_t{0}]() mutable {
        // An empty piece in the list is skipped, never taken for the end.
        while (next < pieces.size() && pieces[next].empty()) ++next;
        return next < pieces.size() ? pieces[next++] : std::string_view{};
    };
}

// Writes every piece. Writeback, where asked for, is started each time some
// megabytes more are written, so that the disk writes while the rest is
// made and the last flush has little left to do (a hint: failures show at
// the flush).
void WriteAll(int fd, const TNextPiece& next_piece, bool start_writeback = false) {
    constexpr off_t kWritebackBytes = off_t{8} << 20;
    off_t written = 0, flushed = 0;
    for (std::string_view bytes; !(bytes = next_piece()).empty();) {
        while (!bytes.empty()) {
            const ssize_t n = ::write(fd, bytes.data(), bytes.size());
            if (n < 0) {
                if (errno == EINTR) continue;
                Fail(errno);
            }
            bytes.remove_prefix(static_cast<std::size_t>(n));
            written += n;
        }
        if (start_writeback && written - flushed >= kWritebackBytes) {
            ::sync_file_range(fd, flushed, written - flushed, SYNC_FILE_RANGE_WRITE);
            flushed = written;
        }
    }
}

std::string Directory(const std::string& file_name) {
    const std::size_t slash = file_name.rfind('/');
    return slash == std::string::npos ? std::string() : file_name.substr(0, slash + 1);
}

// The descriptor a name stands for when it names one of the process's own
// open files, else -1. Opening such a name again would not do: it starts
// a file at its beginning instead of where the descriptor stands, a socket
// cannot be opened at all, and following it as a link would replace the
// link by a regular file.
int NamedDescriptor(std::string_view name) {
    if (name == "/dev/stdout") return STDOUT_FILENO;
    if (name == "/dev/stderr") return STDERR_FILENO;
    for (const std::string_view prefix : {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/")}) {
        if (!name.starts_with(prefix)) continue;
        const std::string_view digits = name.substr(prefix.size());
        int fd = -1;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), fd);
        if (!digits.empty() && ec == std::errc() && end == digits.data() + digits.size() && fd >= 0) return fd;
    }
    return -1;
}

// The rule the kernel applies when it opens a name through a link: in a
// sticky folder that everybody may write (/tmp), a link that belongs
// neither to the folder's owner nor to the user following it may have been
// planted by someone else to redirect the write.
void RefuseForeignLink(const std::string& link, const struct stat& link_stat) {
    const std::string folder = Directory(link);
    struct stat folder_stat {};
    if (::stat(folder.empty() ? "." : folder.c_str(), &folder_stat) != 0) return;
    const bool shared = (folder_stat.st_mode & S_ISVTX) != 0 && (folder_stat.st_mode & S_IWOTH) != 0;
    if (shared && link_stat.st_uid != folder_stat.st_uid && link_stat.st_uid != ::geteuid()) {
        throw OutputError("誰でも書き込めるスティッキーなフォルダーにある他のユーザーのシンボリックリンク「" + link +
                          "」はたどりません");
    }
}

std::string ReadLink(const std::string& link) {
    std::vector<char> text(PATH_MAX);
    const ssize_t n = ::readlink(link.c_str(), text.data(), text.size());
    if (n < 0) Fail(errno);
    if (static_cast<std::size_t>(n) == text.size()) Fail(ENAMETOOLONG);
    return std::string(text.data(), static_cast<std::size_t>(n));
}

// Where a save to file_name writes: the end of its chain of links (saving
// through a link writes the file it leads to and keeps the link), the
// descriptor when the chain reaches one of the process's own, or file_name
// itself when the chain ends nowhere (a dangling link is replaced).
struct TTarget {
    std::string Path;
    int Descriptor = -1;
};

TTarget ResolveTarget(const std::string& file_name) {
    std::string current = file_name;
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        if (const int fd = NamedDescriptor(current); fd >= 0) return {current, fd};
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0) return {file_name};
        if (!S_ISLNK(st.st_mode)) return {current};
        RefuseForeignLink(current, st);
        const std::string next = ReadLink(current);
        current = next.starts_with('/') ? next : Directory(current) + next;
    }
    Fail(ELOOP);
}

// ---- Extended attributes ---------------------------------------------------

std::string AttributeFailure(const std::string& name, int err) {
    return "拡張属性「" + name + "」を保てません（" + SufErrnoText(err) + "）";
}

// The names of a file's extended attributes; `list` is llistxattr or
// flistxattr bound to the file. None where the file system keeps none.
template <class List>
std::vector<std::string> AttributeNames(List list) {
    for (;;) {
        const ssize_t size = list(nullptr, 0);
        if (size < 0) {
            if (errno == ENOTSUP) return {};
            Fail(errno);
        }
        std::vector<char> buffer(static_cast<std::size_t>(size));
        const ssize_t got = list(buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == ERANGE) continue;  // the list grew meanwhile
            Fail(errno);
        }
        std::vector<std::string> names;
        for (std::size_t at = 0; at < static_cast<std::size_t>(got); at += names.back().size() + 1)
            names.emplace_back(buffer.data() + at);
        return names;
    }
}

// One attribute's value; `get` is lgetxattr or fgetxattr bound to the file
// and the name. Returns the error number, ENODATA when it is absent, 0 when
// read.
template <class Get>
int AttributeValue(Get get, std::string& value) {
    for (;;) {
        const ssize_t size = get(nullptr, 0);
        if (size < 0) return errno;
        value.resize(static_cast<std::size_t>(size));
        const ssize_t got = get(value.data(), value.size());
        if (got < 0) {
            if (errno == ERANGE) continue;
            return errno;
        }
        value.resize(static_cast<std::size_t>(got));
        return 0;
    }
}

// Gives the new file exactly the extended attributes of the old one: each
// of the old one's (its ACL is one) set, and those the new one got on its
// own (a folder's default ACL) removed.
void CopyAttributes(int fd, const std::string& old_file) {
    const std::vector<std::string> wanted = AttributeNames(
        [&](char* list, std::size_t size) { return ::llistxattr(old_file.c_str(), list, size); });
    std::string value, current;
    for (const std::string& name : wanted) {
        const int err = AttributeValue(
            [&](void* data, std::size_t size) { return ::lgetxattr(old_file.c_str(), name.c_str(), data, size); },
            value);
        if (err == ENODATA) continue;  // removed meanwhile
        if (err != 0) throw OutputError(AttributeFailure(name, err));
        // A label the new file already carries (set by the system) is left as it is.
        const int has = AttributeValue(
            [&](void* data, std::size_t size) { return ::fgetxattr(fd, name.c_str(), data, size); }, current);
        if (has == 0 && current == value) continue;
        if (::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0)
            throw OutputError(AttributeFailure(name, errno));
    }
    const std::vector<std::string> present =
        AttributeNames([&](char* list, std::size_t size) { return ::flistxattr(fd, list, size); });
    for (const std::string& name : present) {
        if (std::find(wanted.begin(), wanted.end(), name) != wanted.end()) continue;
        if (::fremovexattr(fd, name.c_str()) != 0 && errno != ENODATA)
            throw OutputError(AttributeFailure(name, errno));
    }
}

// ---- Owner, group and permissions ------------------------------------------

// Rights the group has beyond what everybody has.
mode_t GroupOnlyRights(mode_t mode) { return (mode & S_IRWXG) & ~((mode & S_IRWXO) << 3); }

// Gives the new file the old one's owner, group, extended attributes and
// permissions, as far as the process may. Only a privileged process gives
// a file to another user, so the replacement of somebody else's file
// becomes the saving user's; its setuid and setgid bits go, since they
// would now grant the saving user's identity. A group the saving user is no
// member of cannot be kept either: the new file then has the saving user's
// group, which is harmless while the old group had no more rights than
// everybody, and refused when it had (those rights would silently move to
// another group).
void KeepMetadata(int fd, const std::string& old_file, const struct stat& old) {
    mode_t mode = old.st_mode & 07777;
    struct stat now {};
    if (::fstat(fd, &now) != 0) Fail(errno);
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) && ::fchown(fd, old.st_uid, old.st_gid) != 0) {
        if (errno != EPERM) Fail(errno);
        if (now.st_uid != old.st_uid) mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
        if (now.st_gid != old.st_gid && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
            if (errno != EPERM) Fail(errno);
            if (GroupOnlyRights(mode) != 0)
                throw OutputError("ファイルのグループ（ID " + std::to_string(old.st_gid) +
                                  "）を保てず、そのグループだけに許された権限が失われます");
            mode &= ~static_cast<mode_t>(S_ISGID);
        }
    }
    // After the owner: a change of owner clears file capabilities, and
    // setting an ACL rewrites the group bits that fchmod sets last.
    CopyAttributes(fd, old_file);
    if (::fchmod(fd, mode) != 0) Fail(errno);
}

// Permissions of a new file: what creating a file gives.
mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// ---- The temporary file and the signals that remove it ---------------------

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The temporary file of the save under way. The signal handler reads it, so
// it lives in a static buffer, filled while the signals are blocked.
char temp_name[PATH_MAX + 32];
volatile std::sig_atomic_t temp_made = 0;

// One replacement at a time owns temp_name.
std::mutex save_lock;

extern "C" void RemoveTempAndEnd(int signal_number) {
    if (temp_made != 0) ::unlink(temp_name);
    // End as the signal ends a program that does not catch it, so that the
    // parent sees it (a shell reports status 128 + signal). The signal is
    // blocked while this handler runs and arrives again when it returns.
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

sigset_t SaveSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int s : kSignals) sigaddset(&set, s);
    return set;
}

// A temporary file beside the target, removed unless committed, with
// handlers that remove it when a signal ends the program meanwhile. Only
// signals left at their default action are caught: one the program ignores
// or handles itself does not end it here.
class TTempFile {
public:
    // Pattern: mkostemp's pattern, shorter than temp_name. Descriptor() is
    // -1 and Error() the cause when the file could not be made.
    explicit TTempFile(const std::string& pattern) {
        const sigset_t signals = SaveSignals();
        pthread_sigmask(SIG_BLOCK, &signals, &caller_mask_);
        for (std::size_t i = 0; i < std::size(kSignals); ++i) {
            sigaction(kSignals[i], nullptr, &previous_[i]);
            if ((previous_[i].sa_flags & SA_SIGINFO) != 0 || previous_[i].sa_handler != SIG_DFL) continue;
            struct sigaction action {};
            action.sa_handler = RemoveTempAndEnd;
            action.sa_mask = signals;
            installed_[i] = sigaction(kSignals[i], &action, nullptr) == 0;
        }
        std::memcpy(temp_name, pattern.c_str(), pattern.size() + 1);
        fd_ = ::mkostemp(temp_name, O_CLOEXEC);
        error_ = errno;
        if (fd_ >= 0) temp_made = 1;
        pthread_sigmask(SIG_SETMASK, &caller_mask_, nullptr);
    }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    ~TTempFile() {
        const sigset_t signals = SaveSignals();
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);
        if (fd_ >= 0) ::close(fd_);
        if (temp_made != 0) ::unlink(temp_name);
        temp_made = 0;
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            if (installed_[i]) sigaction(kSignals[i], &previous_[i], nullptr);
        // A signal that came meanwhile arrives now, under the program's own action.
        pthread_sigmask(SIG_SETMASK, &caller_mask_, nullptr);
    }

    int Descriptor() const { return fd_; }
    int Error() const { return error_; }

    // Closes the file and renames it over target.
    void Commit(const std::string& target) {
        // From here a signal waits: the rename either happens whole or not.
        const sigset_t signals = SaveSignals();
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);
        // A failing close can mean data did not reach the disk: a failure too.
        const int closed = ::close(fd_);
        fd_ = -1;
        if (closed != 0) Fail(errno);
        if (::rename(temp_name, target.c_str()) != 0) Fail(errno);
        temp_made = 0;
    }

private:
    sigset_t caller_mask_{};
    struct sigaction previous_[std::size(kSignals)] = {};
    bool installed_[std::size(kSignals)] = {};
    int fd_ = -1;
    int error_ = 0;
};

// Writes bytes to a temporary file beside target and renames it over
// target; old is what stands at target now, if anything.
void Replace(const std::string& target, const struct stat* old, const TNextPiece& bytes) {
    // The folder decides whether a file may be replaced, but a file the
    // user may not write is not the user's to replace: refused as the
    // shell's > refuses it (a privileged user may write any file).
    if (old != nullptr && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES)
        Fail(EACCES);
    const std::string pattern = Directory(target) + ".plivra-save-XXXXXX";
    if (pattern.size() >= sizeof temp_name) Fail(ENAMETOOLONG);
    const std::lock_guard<std::mutex> lock(save_lock);
    TTempFile temp(pattern);
    const int fd = temp.Descriptor();
    if (fd < 0) Fail(temp.Error());
    WriteAll(fd, bytes, true);
    // After the bytes: writing clears setuid bits and file capabilities.
    if (old != nullptr) {
        KeepMetadata(fd, target, *old);
    } else if (::fchmod(fd, NewFileMode()) != 0) {
        Fail(errno);
    }
    if (::fsync(fd) != 0) Fail(errno);
    temp.Commit(target);
}

void WriteToDescriptor(int fd, const TNextPiece& bytes) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) Fail(errno);
    WriteAll(fd, bytes);
}

// Writes into what stands at target (not a regular file) as it is.
void WriteInto(const std::string& target, const TNextPiece& bytes) {
    // No O_TRUNC: a device or FIFO has nothing to cut.
    const int fd = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) Fail(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISREG(st.st_mode)) {
        // Replaced by a regular file since it was looked at: that one is
        // replaced, never cut.
        const int err = errno;
        ::close(fd);
        if (!S_ISREG(st.st_mode)) Fail(err);
        Replace(target, &st, bytes);
        return;
    }
    try {
        WriteAll(fd, bytes);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0) Fail(errno);
}

// Writes the pieces NEXT_PIECE makes to FILE_NAME; STREAMED when they are
// made as they are asked for (rather than standing ready).
void Write(const std::string& file_name, const TNextPiece& next_piece, bool streamed) {
    const TTarget target = ResolveTarget(file_name);
    struct stat st {};
    const bool found = target.Descriptor < 0 && ::lstat(target.Path.c_str(), &st) == 0;
    // A missing folder on the way fails in Replace with its own cause.
    if (target.Descriptor < 0 && !found && errno != ENOENT) Fail(errno);
    const bool replaced = target.Descriptor < 0 && (!found || S_ISLNK(st.st_mode) || S_ISREG(st.st_mode));
    // What is written into stays there: made whole first when it is made
    // as it is written.
    const bool whole_first = streamed && !replaced;
    std::string whole;
    if (whole_first)
        for (std::string_view piece; !(piece = next_piece()).empty();) whole.append(piece);
    const std::string_view bytes = whole;
    const TNextPiece whole_piece = EachOf(TPieces(&bytes, 1));
    const TNextPiece& pieces = whole_first ? whole_piece : next_piece;
    if (target.Descriptor >= 0) {
        WriteToDescriptor(target.Descriptor, pieces);
    } else if (!found || S_ISLNK(st.st_mode)) {
        Replace(target.Path, nullptr, pieces);  // nothing there, or a dangling link
    } else if (S_ISREG(st.st_mode)) {
        Replace(target.Path, &st, pieces);
    } else {
        WriteInto(target.Path, pieces);
    }
}

}  // namespace

void WriteOutputFile(const std::string& FileName, std::string_view Bytes) {
    WriteOutputFile(FileName, TPieces(&Bytes, 1));
}

void WriteOutputFile(const std::string& FileName, std::span<const std::string_view> Bytes) {
    Write(FileName, EachOf(Bytes), false);
}

void WriteOutputFile(const std::string& FileName, const TNextPiece& NextPiece) {
    Write(FileName, NextPiece, true);
}

std::string SaveFailureText(std::string_view FileName, std::string_view Cause) {
    std::string text = "ファイル「";
    text.append(FileName);
    text.append("」に保存できません（");
    text.append(Cause);
    text.append("）。");
    return text;
}
