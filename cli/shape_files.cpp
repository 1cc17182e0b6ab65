#include "cli/shape_files.h"

#include <exception>

#include "cli/progress.h"
#include "formats/import.h"
#include "shape/errors.h"
#include "shape/output.h"
#include "shape/state.h"
#include "shape/vane.h"

TShapeList::~TShapeList() { VANE->FreeSuf(List_); }

void TShapeList::Reset(TVANE_Object* List) {
    VANE->FreeSuf(List_);
    List_ = List;
}

bool LoadShapeFile(const std::string& FileName, TShapeList& Out) {
    TVANE_Object* list = nullptr;
    if (IsImportable(FileName)) {
        try {
            Out.Reset(ImportShape(FileName));
            return true;
        } catch (const TImportError& error) {
            ReportFailure(FileName, error.what());
            return false;
        }
    }
    try {
        list = VANE->LoadSuf(FileName);
    } catch (const SufConvertError& error) {
        ReportFailure(FileName, error.what());
        return false;
    } catch (const SufIOError& error) {
        ReportFailure(FileName, error.what());
        return false;
    }
    if (!list) {
        ReportFailure(FileName, SufErrorMessage.empty()
                                    ? "holds no shape (no obj, atr or prim statement)"
                                    : SufErrorMessage);
        return false;
    }
    Out.Reset(list);
    return true;
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

void ReportFailure(const std::string& FileName, std::string_view Message) {
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
