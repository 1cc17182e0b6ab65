#include "shape/state.h"

#include <unistd.h>

#include <new>

#include "shape/arena.h"
#include "shape/vane.h"

thread_local constinit TSufFile SufFile;
thread_local constinit bool SufFileOpen = false;
thread_local constinit bool InComment = false;
thread_local constinit std::string_view LineBuffer;
thread_local constinit std::int32_t LineNumber = 0;
thread_local std::string SufErrorMessage;
TVANE_Object* TestSuf = nullptr;
Extended ScreenCentreX = 0;
Extended ScreenCentreY = 0;
Extended FocalLength = 0;
// Library start-up sets it again; the value here keeps a program that skips
// the start-up safe.
Extended NearPlane = -1.0L;

void SetSufErrorMessage(std::initializer_list<std::string_view> parts) noexcept {
    try {
        SufErrorMessage.clear();
        for (std::string_view part : parts) SufErrorMessage.append(part);
    } catch (const std::bad_alloc&) {
        SufErrorMessage.clear();
    }
}

void CloseSufFile() {
    LineBuffer = {};
    if (SufFile.Fd >= 0) ::close(SufFile.Fd);
    delete[] SufFile.Window;
    const bool at_end = SufFile.AtEnd;
    SufFile = TSufFile();
    SufFile.AtEnd = at_end;
    SufFileOpen = false;
}

void VANE_SourceInitialize() {
    CloseSufFile();
    SufFile.AtEnd = false;
    InComment = false;
    LineNumber = 0;
    TestSuf = nullptr;
    NearPlane = -1.0L;
}

void VANE_SourceFinalize() {
    CloseSufFile();
    VANE->FreeSuf(TestSuf);
    ReleaseSpareBlocks();
    SufErrorMessage.clear();
}
