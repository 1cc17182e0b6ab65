// The output layer: what stands at a path decides how it is written, a
// replaced file keeps owner, group, mode and extended attributes, and a
// signal during a save leaves neither a temporary file nor a cut target.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "shape/output.h"
#include "shape/state.h"
#include "shape/vane.h"
#include "tests/hardening/child.h"
#include "tests/shape/test_util.h"

namespace {

volatile sig_atomic_t signal_in_fsync = 0;

}  // namespace

// Stands in for the C library's fsync in this test program, so that a
// signal can arrive at a known point of a save: after the bytes went to the
// temporary file, before the rename.
extern "C" int fsync(int fd) {
    if (signal_in_fsync != 0) raise(signal_in_fsync);
    return static_cast<int>(syscall(SYS_fsync, fd));
}

namespace {

using hardening::InChild;
using test_util::ReadFile;
using test_util::TempDir;
using test_util::WriteFile;

constexpr char kOld[] = "old content\r\n";
constexpr char kNew[] = "new content, longer than the old\r\n";

// "" when written, else the cause.
std::string Write(const std::string& path, std::string_view bytes) {
    try {
        WriteOutputFile(path, bytes);
    } catch (const OutputError& error) {
        return error.what();
    }
    return "";
}

std::vector<std::string> Entries(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct stat Stat(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st;
}

std::string Attribute(const std::string& path, const char* name) {
    char value[256];
    const ssize_t n = lgetxattr(path.c_str(), name, value, sizeof value);
    return n < 0 ? "<" + std::string(std::strerror(errno)) + ">" : std::string(value, static_cast<std::size_t>(n));
}

// An access ACL in the kernel's extended-attribute form: owner rw, user
// 4321 r, owning group r, mask r, others nothing.
std::string AclBytes() {
    struct Entry {
        std::uint16_t tag, perm;
        std::uint32_t id;
    };
    const std::uint32_t version = 2;
    const Entry entries[] = {{0x01, 6, ~0u}, {0x02, 4, 4321}, {0x04, 4, ~0u}, {0x10, 4, ~0u}, {0x20, 0, ~0u}};
    std::string bytes(reinterpret_cast<const char*>(&version), sizeof version);
    bytes.append(reinterpret_cast<const char*>(entries), sizeof entries);
    return bytes;
}

bool IsRoot() { return geteuid() == 0; }

// Runs body as the unprivileged user "nobody" in a child; "skip" unless root.
std::string AsNobody(const std::function<std::string()>& body) {
    if (!IsRoot()) return "skip";
    return InChild(
        [&] {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) return std::string("setuid failed");
            return body();
        },
        60);
}

class OutputFileTest : public ::testing::Test {
protected:
    TempDir dir_;
    std::string target_ = dir_.Path("out.suf");
};

TEST_F(OutputFileTest, DevicesFifosAndDescriptorsAreWrittenAsTheyStand) {
    // A FIFO waits for its reader and stays a FIFO; SaveSuf goes the same
    // way. In a child: a reader of a FIFO that was replaced waits for ever.
    const std::string fifo = dir_.Path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string read = InChild(
        [&] {
            std::string got;
            std::thread reader([&] { got = ReadFile(fifo); });
            std::string result = Write(fifo, kNew);
            reader.join();
            std::thread shape_reader([&] { got += "|" + ReadFile(fifo); });
            VANE_SourceInitialize();
            if (!VANE->SaveSuf(fifo, nullptr)) result += SufErrorMessage;
            shape_reader.join();
            return result + got;
        },
        60);
    EXPECT_EQ(read, std::string(kNew) + "|");
    EXPECT_TRUE(S_ISFIFO(Stat(fifo).st_mode));

    // A name of an open descriptor writes where the descriptor stands, as a
    // shell's redirection does.
    const std::string log = dir_.Path("log");
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "head\n", 5), 5);
    EXPECT_EQ(Write("/proc/self/fd/" + std::to_string(fd), "tail\n"), "");
    EXPECT_EQ(Write("/dev/fd/" + std::to_string(fd), "end\n"), "");
    close(fd);
    EXPECT_EQ(ReadFile(log), "head\ntail\nend\n");
    EXPECT_EQ(Write("/dev/fd/999", "x"), std::strerror(EBADF));
    EXPECT_EQ(Entries(dir_.Root()), (std::vector<std::string>{"fifo", "log"}));

    // A character device (a copy of /dev/null) stays a device.
    if (!IsRoot()) GTEST_SKIP() << "making a device needs root";
    const std::string null = dir_.Path("null");
    ASSERT_EQ(mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    EXPECT_EQ(Write(null, kNew), "");
    EXPECT_TRUE(S_ISCHR(Stat(null).st_mode));
}

TEST_F(OutputFileTest, ReplacingKeepsOwnerGroupModeAndAttributes) {
    if (!IsRoot()) GTEST_SKIP() << "giving a file to another user needs root";
    WriteFile(target_, kOld);
    ASSERT_EQ(chown(target_.c_str(), 12345, 12346), 0);
    ASSERT_EQ(chmod(target_.c_str(), 04750), 0);
    const bool attributes = setxattr(target_.c_str(), "user.x", "kept", 4, 0) == 0;
    const std::string acl = AclBytes();
    if (attributes) {
        ASSERT_EQ(setxattr(target_.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0), 0);
    }
    const struct stat old = Stat(target_);

    EXPECT_EQ(Write(target_, kNew), "");
    EXPECT_EQ(ReadFile(target_), kNew);
    const struct stat st = Stat(target_);
    EXPECT_NE(st.st_ino, old.st_ino);
    EXPECT_EQ(st.st_uid, 12345u);
    EXPECT_EQ(st.st_gid, 12346u);
    EXPECT_EQ(st.st_mode & 07777, old.st_mode & 07777);
    EXPECT_TRUE((st.st_mode & S_ISUID) != 0);
    EXPECT_EQ(Entries(dir_.Root()), std::vector<std::string>{"out.suf"});
    if (!attributes) GTEST_SKIP() << "no extended attributes on this file system";
    EXPECT_EQ(Attribute(target_, "user.x"), "kept");
    EXPECT_EQ(Attribute(target_, "system.posix_acl_access"), acl);
}

TEST_F(OutputFileTest, WhatTheSavingUserCannotKeepIsDroppedOrRefused) {
    if (!IsRoot()) GTEST_SKIP() << "needs root to prepare files of other users";
    ASSERT_EQ(chmod(dir_.Root().c_str(), 0777), 0);
    struct Case {
        const char* name;
        uid_t uid;
        gid_t gid;
        mode_t mode;
        std::string result;  // "" saved, else the cause
        mode_t mode_after;
    };
    const Case cases[] = {
        // Somebody else's setuid file that everybody may write becomes
        // nobody's, without the bits.
        {"setuid", 12345, 12345, 06757, "", 0757},
        // A file nobody may not write stays, as the shell's > leaves it,
        // though the folder would allow replacing it.
        {"readonly", 65534, 65534, 0444, "アクセスが拒否されました", 0444},
        {"foreign", 12345, 12345, 0644, "アクセスが拒否されました", 0644},
        // Nobody's own file of a group nobody is no member of: the group
        // goes, which is harmless while it had no more than everybody.
        {"own", 65534, 12345, 0644, "", 0644},
        // ... and refused while the group had rights of its own.
        {"group", 65534, 12345, 0660, "ファイルのグループ（ID 12345）を保てず、そのグループだけに許された権限が失われます", 0660},
    };
    for (const Case& c : cases) {
        const std::string path = dir_.Path(c.name);
        WriteFile(path, kOld);
        ASSERT_EQ(chown(path.c_str(), c.uid, c.gid), 0);
        ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
        EXPECT_EQ(AsNobody([&] { return Write(path, kNew); }), c.result) << c.name;
        const struct stat st = Stat(path);
        EXPECT_EQ(st.st_mode & 07777, c.mode_after) << c.name;
        EXPECT_EQ(ReadFile(path), c.result.empty() ? kNew : kOld) << c.name;
        EXPECT_EQ(st.st_uid, c.result.empty() ? 65534u : c.uid) << c.name;
    }

    // A file capability only a privileged process may set refuses the save.
    const std::string capable = dir_.Path("capable");
    WriteFile(capable, kOld);
    ASSERT_EQ(chown(capable.c_str(), 65534, 65534), 0);
    const std::uint32_t capability[5] = {0x02000000, 1u << 10, 0, 0, 0};  // v2, cap_net_bind_service
    if (setxattr(capable.c_str(), "security.capability", capability, sizeof capability, 0) != 0)
        GTEST_SKIP() << "no file capabilities on this file system";
    EXPECT_EQ(AsNobody([&] { return Write(capable, kNew); }),
              "拡張属性「security.capability」を保てません（アクセスが拒否されました）");
    EXPECT_EQ(ReadFile(capable), kOld);
    EXPECT_EQ(Entries(dir_.Root()), (std::vector<std::string>{"capable", "foreign", "group", "own", "readonly", "setuid"}));
}

TEST_F(OutputFileTest, SignalDuringASaveRemovesTheTemporaryFileAndEnds) {
    WriteFile(target_, kOld);
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            signal_in_fsync = signal_number;
            Write(target_, kNew);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << strsignal(signal_number);
        EXPECT_EQ(ReadFile(target_), kOld);
        EXPECT_EQ(Entries(dir_.Root()), std::vector<std::string>{"out.suf"});
    }

    // A signal the program ignores (nohup) does not end it: the save goes on.
    EXPECT_EQ(InChild(
                  [&] {
                      signal(SIGHUP, SIG_IGN);
                      signal_in_fsync = SIGHUP;
                      return Write(target_, kNew);
                  },
                  60),
              "");
    EXPECT_EQ(ReadFile(target_), kNew);
    // The handlers are there only during a save.
    EXPECT_EQ(Write(target_, kOld), "");
    struct sigaction action {};
    sigaction(SIGTERM, nullptr, &action);
    EXPECT_EQ(action.sa_handler, SIG_DFL);
}

TEST_F(OutputFileTest, ForeignLinkInAStickyFolderIsNotFollowed) {
    if (!IsRoot()) GTEST_SKIP() << "giving a link to another user needs root";
    const std::string shared = dir_.Path("shared");
    ASSERT_EQ(mkdir(shared.c_str(), 01777), 0);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    const std::string victim = dir_.Path("victim");
    WriteFile(victim, kOld);
    const std::string planted = shared + "/planted", own = shared + "/own";
    ASSERT_EQ(symlink(victim.c_str(), planted.c_str()), 0);
    ASSERT_EQ(lchown(planted.c_str(), 12345, 12345), 0);
    EXPECT_EQ(Write(planted, kNew),
              "誰でも書き込めるスティッキーなフォルダーにある他のユーザーのシンボリックリンク「" + planted + "」はたどりません");
    EXPECT_EQ(ReadFile(victim), kOld);
    EXPECT_EQ(Entries(shared), std::vector<std::string>{"planted"});

    // The saving user's own link there is followed, and the link stays.
    ASSERT_EQ(symlink(victim.c_str(), own.c_str()), 0);
    EXPECT_EQ(Write(own, kNew), "");
    EXPECT_EQ(ReadFile(victim), kNew);
    EXPECT_TRUE(S_ISLNK(Stat(own).st_mode));
}

}  // namespace
