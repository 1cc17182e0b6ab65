#include "cli/shape_files.h"

#include <sys/stat.h>

#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "cli/progress.h"
#include "formats/shape_io.h"
#include "shape/output.h"
#include "shape/text.h"

namespace {

// The files the command has read: an output must not replace one of them
// (import m.obj m.obj would put a shape file where the OBJ was).
std::mutex inputs_lock;
std::vector<std::string> inputs;

void NoteInput(const std::string& file_name) {
    const std::lock_guard<std::mutex> lock(inputs_lock);
    inputs.push_back(file_name);
}

// Reports and returns true when FileName is one of the inputs.
bool IsAnInput(const std::string& file_name, const std::string& path) {
    const std::lock_guard<std::mutex> lock(inputs_lock);
    for (const std::string& input : inputs) {
        if (SameFile(input, path)) {
            ReportFailure(file_name, "is also an input of this command; nothing was written");
            return true;
        }
    }
    return false;
}

// Moves what a load gave into Out, or reports the failure.
bool Take(const std::string& file_name, TLoadedShape& loaded, TShapePtr& out) {
    if (!loaded.Shape) {
        ReportFailure(file_name, loaded.Outcome.Message());
        return false;
    }
    NoteInput(file_name);
    out = std::move(loaded.Shape);
    return true;
}

// Below this many bytes a file reads faster than a thread starts.
constexpr off_t kThreadFileBytes = off_t{1} << 20;

bool WorthAThread(const std::string& file_name) {
    struct stat st {};
    return ::stat(file_name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= kThreadFileBytes;
}

}  // namespace

void KeepToExit(TShapePtr& Shape) {
    // Never destroyed: its destructor would free them after all.
    static auto* const kept = new std::vector<TVANE_Object*>;
    if (Shape) kept->push_back(Shape.release());
}

bool LoadShapeFile(const std::string& FileName, TShapePtr& Out, TSufSource* Source) {
    TLoadedShape loaded = LoadAnyShape(FileName, false, Source);
    return Take(FileName, loaded, Out);
}

bool LoadShapeFile(const std::string& FileName, TShapePtr& Out, std::vector<TImportedTarget>& Targets,
                   bool TargetShapes) {
    TLoadedShape loaded = LoadAnyShape(FileName, TargetShapes);
    Targets = std::move(loaded.Targets);
    return Take(FileName, loaded, Out);
}

bool LoadShapeFiles(const std::string& StartName, TShapePtr& Start, const std::string& TargetName,
                    TShapePtr& Target, TSufSource* TargetSource) {
    if (!WorthAThread(StartName) || !WorthAThread(TargetName))
        return LoadShapeFile(StartName, Start) && LoadShapeFile(TargetName, Target, TargetSource);
    TLoadedShape start, target;
    std::exception_ptr target_error;
    {
        // Each thread reads with a tokenizer of its own.
        std::jthread reader([&] {
            try {
                target = LoadAnyShape(TargetName, false, TargetSource);
            } catch (...) {
                target_error = std::current_exception();
            }
        });
        start = LoadAnyShape(StartName);
    }
    // Reported as reading one after the other would: START's failure first,
    // and then nothing of TARGET.
    if (!Take(StartName, start, Start)) return false;
    if (target_error) std::rethrow_exception(target_error);
    return Take(TargetName, target, Target);
}

namespace {

// Writes an output of the command by WRITE to the path FileName stands for,
// unless it is one of the inputs; reports a failure.
bool WriteOutput(const std::string& FileName, const std::function<TFileOutcome(const std::string&)>& write) {
    const std::string path = OutputPath(FileName);
    if (IsAnInput(FileName, path)) return false;
    const TFileOutcome written = write(path);
    if (!written) ReportFailure(FileName, written.Message());
    return written.Ok();
}

}  // namespace

bool SaveShapeFile(const std::string& FileName, TVANE_Object* Shape) {
    return WriteOutput(FileName, [&](const std::string& path) { return SaveAnyShape(path, Shape); });
}

bool SavePlacedShapeFile(const std::string& FileName, const TSufVertexLines& Lines,
                         std::span<const TPlacedObject> Objects, std::span<const TPlacedPolygon> Polygons) {
    return WriteOutput(FileName,
                       [&](const std::string& path) { return SaveSufPlacedFile(path, Lines, Objects, Polygons); });
}

bool ExportShapeFile(const std::string& FileName, const TVANE_Object* Start,
                     const std::vector<TGltfTarget>& Targets, const TGltfAnimation& Animation) {
    return WriteOutput(FileName,
                       [&](const std::string& path) { return ExportShapes(path, Start, Targets, Animation); });
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
    if (IsAnInput(FileName, path)) return false;
    const TFileOutcome written = WriteAnyFile(path, Bytes);
    if (!written) ReportFailure(FileName, written.Message());
    return written.Ok();
}
