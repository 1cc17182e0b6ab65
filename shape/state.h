#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "shape/arena.h"
#include "shape/records.h"

// Library-level state shared by the reader, the writer, the list operations
// and the test window. One of each for the whole program.

// The file being read: its whole content up to the first byte 26 (which ends
// a shape file), loaded in one go by the first word of a load, and where the
// tokenizer stands in it.
struct TSufFile {
    TByteBuffer Storage;  // owns what Bytes shows
    std::string_view Bytes;
    std::size_t Pos = 0;      // start of the next unread line
    std::size_t LineEnd = 0;  // end of the current line's bytes (its CR or the file's end)
    std::size_t Counted = 0;  // line feeds before this offset are in LineNumber
    bool AtEnd = false;       // end reached within the current load: not reopened
};
extern TSufFile SufFile;
extern bool SufFileOpen;
extern bool InComment;
// Unread rest of the current line: a view into SufFile.Bytes, so taking a word
// off its front costs nothing.
extern std::string_view LineBuffer;
// Lines read from the current file. CR, CR LF and a lone LF each end a line.
extern std::int32_t LineNumber;
extern std::string SufErrorMessage;
extern TVANE_Object* TestSuf;

// Projection state of the perspective view. SetPerspective overwrites the
// first three for every object drawn; NearPlane is set at library start-up.
extern Extended ScreenCentreX;  // pixel column of the camera axis: half the bitmap width
extern Extended ScreenCentreY;  // pixel row of the camera axis: half the bitmap height
extern Extended FocalLength;    // pixels from the eye to the picture plane; 0 draws nothing
extern Extended NearPlane;      // depth of the near clipping plane, negative

// Start of the library unit: empty tokenizer state, no test shape, near plane
// of the perspective view at -1.0. Once, before any window is created.
void VANE_SourceInitialize();
// Stop of the library unit: closes a file left open, releases TestSuf.
void VANE_SourceFinalize();

// Sets SufErrorMessage to the parts joined. Also used right after memory ran
// out, so it never throws: if the text cannot be built, the message is empty.
void SetSufErrorMessage(std::initializer_list<std::string_view> parts) noexcept;

// Closes the file being read (if any) and forgets its content; the next load
// reads its file from the first line.
void CloseSufFile();
