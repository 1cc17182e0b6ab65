#include "cli/shape_files.h"

#include <sys/stat.h>

#include <exception>
#include <thread>

#include "cli/progress.h"
#include "formats/import.h"
#include "shape/errors.h"
#include "shape/output.h"
#include "shape/text.h"
#include "shape/state.h"
#include "shape/vane.h"

namespace {

// What one LoadSuf gave: the list, or the text that reports its failure.
struct TLoaded {
    TShapeList List;
    std::string Failure;
};

void Load(const std::string& file_name, TLoaded& out) {
    if (IsImportable(file_name)) {
        try {
            out.List.Reset(ImportShape(file_name));
        } catch (const TImportError& error) {
            out.Failure = error.what();
        }
        return;
    }
    try {
        out.List.Reset(VANE->LoadSuf(file_name));
    } catch (const SufConvertError& error) {
        out.Failure = error.what();
        return;
    } catch (const SufIOError& error) {
        out.Failure = error.what();
        return;
    }
    if (!out.List.Get()) {
        out.Failure = SufErrorMessage.empty() ? "holds no shape (no obj, atr or prim statement)"
                                              : SufErrorMessage;
    }
}

// Moves what Load gave into Out, or reports the failure.
bool Take(const std::string& file_name, TLoaded& loaded, TShapeList& out) {
    if (!loaded.List.Get()) {
        ReportFailure(file_name, loaded.Failure);
        return false;
    }
    out.Reset(loaded.List.Get());
    loaded.List.Release();
    return true;
}

// Below this many bytes a file reads faster than a thread starts.
constexpr off_t kThreadFileBytes = off_t{1} << 20;

bool WorthAThread(const std::string& file_name) {
    struct stat st {};
    return ::stat(file_name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= kThreadFileBytes;
}

}  // namespace

TShapeList::~TShapeList() { VANE->FreeSuf(List_); }

void TShapeList::Reset(TVANE_Object* List) {
    VANE->FreeSuf(List_);
    List_ = List;
}

bool LoadShapeFile(const std::string& FileName, TShapeList& Out) {
    TLoaded loaded;
    Load(FileName, loaded);
    return Take(FileName, loaded, Out);
}

bool LoadShapeFiles(const std::string& StartName, TShapeList& Start, const std::string& TargetName,
                    TShapeList& Target) {
    if (!WorthAThread(StartName) || !WorthAThread(TargetName))
        return LoadShapeFile(StartName, Start) && LoadShapeFile(TargetName, Target);
    TLoaded start, target;
    std::exception_ptr target_error;
    {
        // Each thread reads with a tokenizer of its own.
        std::jthread reader([&] {
            try {
                Load(TargetName, target);
            } catch (...) {
                target_error = std::current_exception();
            }
        });
        Load(StartName, start);
    }
    // Reported as reading one after the other would: START's failure first,
    // and then nothing of TARGET.
    if (!Take(StartName, start, Start)) return false;
    if (target_error) std::rethrow_exception(target_error);
    return Take(TargetName, target, Target);
}

bool SaveShapeFile(const std::string& FileName, TVANE_Object* Shape) {
    bool saved = false;
    try {
        saved = VANE->SaveSuf(OutputPath(FileName), Shape);
    } catch (const std::exception& error) {
        ReportFailure(FileName, error.what());
        return false;
    }
    if (!saved) ReportFailure(FileName, SufErrorMessage);
    return saved;
}

void PutBytes(std::string_view Text, std::FILE* Out) {
    std::fwrite(Text.data(), 1, Text.size(), Out);
}

void PutName(std::string_view Bytes, std::FILE* Out) { PutBytes(NameText(Bytes), Out); }

namespace {
thread_local std::string* captured_failures = nullptr;
}  // namespace

TFailureCapture::TFailureCapture(std::string& Text) : outer_(captured_failures) { captured_failures = &Text; }
TFailureCapture::~TFailureCapture() { captured_failures = outer_; }

void ReportFailure(const std::string& FileName, std::string_view Message) {
    if (captured_failures != nullptr) {
        captured_failures->append(FileName).append(": ").append(Message).push_back('\n');
        return;
    }
    ClearProgress();
    PutBytes(FileName, stderr);
    std::fputs(": ", stderr);
    PutBytes(Message, stderr);
    std::fputc('\n', stderr);
}

std::string OutputPath(const std::string& FileName) {
    if (FileName != "-") return FileName;
    // What was printed before goes out before the file's bytes.
    std::fflush(stdout);
    return "/dev/stdout";
}

bool WriteOutput(const std::string& FileName, std::string_view Bytes) {
    const std::string path = OutputPath(FileName);
    try {
        WriteOutputFile(path, Bytes);
    } catch (const OutputError& failure) {
        ReportFailure(FileName, SaveFailureText(path, failure.what()));
        return false;
    }
    return true;
}
