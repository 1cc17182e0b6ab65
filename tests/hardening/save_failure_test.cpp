// SaveSuf on a full disk and into a folder it may not write: false with a
// message naming the file and the cause, the old target byte for byte as it
// was, and no temporary file left beside it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "shape/state.h"
#include "shape/vane.h"
#include "tests/hardening/child.h"
#include "tests/shape/test_util.h"

namespace {

using hardening::InChild;
using test_util::ReadFile;
using test_util::WriteFile;

// A shape whose file is far beyond the 4 KB limit below: 1000 vertices.
std::string BigShapeText() {
    std::string text = "obj suf big {\r\natr red\r\nprim poly (\r\n";
    for (int i = 0; i < 1000; ++i) text += "    " + std::to_string(i) + " 0.5 -0.25\r\n";
    return text + ")\r\n}\r\n";
}

constexpr char kOldTarget[] = "old target\r\nthat must survive\r\n";

std::vector<std::string> Entries(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

class SaveFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        VANE_SourceInitialize();
        shape_ = files_.Load(BigShapeText(), "big.suf");
        ASSERT_NE(shape_, nullptr);
        std::filesystem::create_directory(out_dir_);
        WriteFile(target_, kOldTarget);
    }

    // Saves in a child prepared by `prepare` (which returns "" to go on or
    // a reason to skip); returns "saved", "skip: ...", or the message.
    std::string SaveInChild(const std::function<std::string()>& prepare) {
        return InChild(
            [&] {
                std::string reason = prepare();
                if (!reason.empty()) return "skip: " + reason;
                return VANE->SaveSuf(target_, shape_) ? std::string("saved") : SufErrorMessage;
            },
            60);
    }

    test_util::ShapeFiles files_;
    TVANE_Object* shape_ = nullptr;
    std::filesystem::path out_dir_ = files_.dir.Root() / "out";
    std::string target_ = (out_dir_ / "target.suf").string();
};

TEST_F(SaveFailureTest, FullDiskLeavesTheOldTarget) {
    // The size limit makes write() fail with EFBIG once the file would grow
    // beyond it, as a full disk makes it fail with ENOSPC; the signal that
    // would end the process is ignored, so the writer sees the error.
    const std::string result = SaveInChild([] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        return setrlimit(RLIMIT_FSIZE, &limit) == 0 ? "" : "setrlimit failed";
    });
    EXPECT_EQ(result, "ファイル「" + target_ + "」に保存できません（ファイルが大きすぎます）。");
    EXPECT_EQ(ReadFile(target_), kOldTarget);
    EXPECT_EQ(Entries(out_dir_), std::vector<std::string>{"target.suf"});

    // The same save without the limit succeeds: the shape was not the cause.
    ASSERT_TRUE(VANE->SaveSuf(target_, shape_)) << SufErrorMessage;
    EXPECT_GT(ReadFile(target_).size(), 4096u);
}

TEST_F(SaveFailureTest, FolderWithoutWritePermissionLeavesTheOldTarget) {
    // Root passes over permission bits, so a root test process saves as the
    // unprivileged user "nobody" in the child; the folders on the way stay
    // readable for it.
    ASSERT_EQ(chmod(files_.dir.Root().c_str(), 0755), 0);
    ASSERT_EQ(chmod(out_dir_.c_str(), 0555), 0);
    const std::string result = SaveInChild([] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            return "cannot drop root's privileges";
        }
        return "";
    });
    chmod(out_dir_.c_str(), 0755);
    if (result.rfind("skip: ", 0) == 0) GTEST_SKIP() << result;
    EXPECT_EQ(result, "ファイル「" + target_ + "」に保存できません（アクセスが拒否されました）。");
    EXPECT_EQ(ReadFile(target_), kOldTarget);
    EXPECT_EQ(Entries(out_dir_), std::vector<std::string>{"target.suf"});
}

}  // namespace
