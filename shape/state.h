#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "shape/records.h"

// Library-level state shared by the reader, the writer, the list operations
// and the test window. What the reader keeps is one per thread, so several
// threads can read at once and each sees what one thread alone would.

// The file being read, seen through a window of its bytes up to the first
// byte 26 (which ends a shape file). The window is filled again as the
// tokenizer moves on, keeping the unread rest of the current line; it grows
// only for a line whose unread rest would not fit. Offsets are into Window.
struct TSufFile {
    int Fd = -1;
    char* Window = nullptr;  // owned; released by CloseSufFile
    std::size_t Capacity = 0;
    std::size_t Filled = 0;   // bytes of the file now in the window
    bool Drained = false;     // the file's end (or its byte 26) is in the window
    std::size_t Pos = 0;      // start of the next unread line, once the current one is whole
    std::size_t LineEnd = 0;  // end of the current line's bytes (its CR, or Filled while cut)
    bool LineCut = false;     // the current line goes on past the window
    bool LineTrimmed = false;  // the current line's first word is read: blanks at its end are no part of a word
    bool SkipLineFeed = false;  // the window ends right after a CR: an LF that comes next belongs to it
    std::size_t Counted = 0;  // line feeds before this offset are in LineNumber
    bool AtEnd = false;       // end reached within the current load: not reopened
};
extern thread_local constinit TSufFile SufFile;
extern thread_local constinit bool SufFileOpen;
extern thread_local constinit bool InComment;
// Unread rest of the current line: a view into SufFile's window, so taking a
// word off its front costs nothing.
extern thread_local constinit std::string_view LineBuffer;
// Lines read from the current file. CR, CR LF and a lone LF each end a line.
extern thread_local constinit std::int32_t LineNumber;
// The message of the last failed operation of this thread.
extern thread_local std::string SufErrorMessage;
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

// Closes the file being read (if any) and releases its window; the next
// load reads its file from the first line.
void CloseSufFile();
