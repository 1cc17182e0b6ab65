#pragma once
#include <cstdint>
#include <string>

#include "shape/records.h"

// Library-level state shared by the reader, the writer, the list operations
// and the test window. One of each for the whole program.

// The file being read: its whole content, loaded in one go when the first
// word of a load is asked for, and the offset of the next unread byte.
struct TSufFile {
    std::string Bytes;
    std::size_t Pos = 0;
    bool AtEnd = false;  // end reached within the current load: not reopened
};
extern TSufFile SufFile;
extern bool SufFileOpen;
extern bool InComment;
extern std::string LineBuffer;
extern std::int32_t LineNumber;
extern std::string SufErrorMessage;
extern TVANE_Object* TestSuf;

// Start of the library unit: empty tokenizer state, no test shape, near plane
// of the perspective view at -1.0. Once, before any window is created.
void VANE_SourceInitialize();
// Stop of the library unit: closes a file left open, releases TestSuf.
void VANE_SourceFinalize();
