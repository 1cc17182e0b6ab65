#include "shape/state.h"

#include <new>

#include "shape/arena.h"
#include "shape/vane.h"

TSufFile SufFile;
bool SufFileOpen = false;
bool InComment = false;
std::string_view LineBuffer;
std::int32_t LineNumber = 0;
std::string SufErrorMessage;
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
    // Release the content rather than keep a large buffer alive between loads.
    SufFile.Storage = TByteBuffer();
    SufFile.Bytes = {};
    SufFile.Pos = SufFile.LineEnd = SufFile.Counted = 0;
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
