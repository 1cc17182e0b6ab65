#pragma once
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

// The one way the programs write an output file (shape files, pictures).

// Why an output file could not be written. what() is the cause in Japanese
// without the file name, e.g. "ディスクの空き容量が足りません"; the caller
// names the file (SaveFailureText).
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes Bytes as the whole content of FileName.
//
// - No file or a regular file there: Bytes go to a temporary file beside it,
//   which is flushed to the disk and renamed over FileName. A file replaced
//   keeps its owner and group where the process may set them, its
//   permission bits and its extended attributes (ACLs among them). When the
//   owner cannot be kept the setuid and setgid bits are dropped, and the
//   setgid bit when the group cannot be kept; a file the process may not
//   write is refused as the shell's > refuses it; a group that cannot be kept
//   while it grants more than everybody has, or an extended attribute that
//   cannot be set, refuses the save.
// - Anything else there (a device, a FIFO, a socket): Bytes are written into
//   it as it stands. A FIFO waits for its reader.
// - /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N: Bytes are
//   written into the process's open descriptor, at its position.
// - A symbolic link is followed and the file it leads to is written, the
//   link kept; a dangling link is replaced. A link in a sticky folder that
//   everybody may write, owned neither by the folder's owner nor by the
//   saving user, is not followed (others may plant such links) and refuses
//   the save.
//
// On failure throws OutputError; what stood at FileName is as it was and no
// temporary file remains. SIGINT, SIGTERM and SIGHUP while the temporary
// file exists remove it and end the program as the signal would have, when
// the program left them at their default action. Saves of several threads
// take turns. Throws std::bad_alloc when memory runs out.
void WriteOutputFile(const std::string& FileName, std::string_view Bytes);
// The same with the content given as pieces, written in order.
void WriteOutputFile(const std::string& FileName, std::span<const std::string_view> Bytes);

// The content of a file made while it is written: each call gives the next
// piece, valid until the following call, and an empty piece at the end.
using TNextPiece = std::function<std::string_view()>;

// The same with the content made while it is written, so that it is never
// held whole. What NextPiece throws ends the save as any failure does: a
// regular file is left as it was. Into anything else (a device, a FIFO, a
// descriptor) nothing is written until the whole content is made.
void WriteOutputFile(const std::string& FileName, const TNextPiece& NextPiece);

// "ファイル「FileName」に保存できません（Cause）。", the message of every
// failed save.
std::string SaveFailureText(std::string_view FileName, std::string_view Cause);
