#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The tokenizer of shape files, for the statement parser. It works on the
// calling thread's reader state (shape/state.h). The views it returns show
// its window or `scratch` and are valid until the next call.

// Next raw word of FileName, opening it at the first line when no file is
// open; "" at the file's end, which closes it. A word ends after the first
// delimiter (shape/vane.h tells them); a line beginning with a delimiter
// gives that byte alone. Throws SufIOError when the file cannot be read.
std::string_view NextWord(const std::string& FileName);

// What the comment rule leaves of Word, a word as NextWord gives it, blanks
// and all: with Inside (a comment), the part after its first "*/" (nothing
// while the comment goes on); otherwise the word without the comment it
// opens (which sets Inside) or holds. Scratch holds the text when a comment was cut
// out of the word's middle.
std::string_view CutComments(std::string_view Word, bool& Inside, std::string& Scratch);

// Next word with comments cut out and blanks trimmed, skipping words that
// come out empty; "" at the file's end. `scratch` holds the word when a
// comment was cut out of its middle.
std::string_view NextToken(const std::string& FileName, std::string& scratch);

// A vertex value standing alone between blanks, read straight from the
// line of the open file FileName; the tokenizer is left where reading it with NextToken and ToValue
// would leave it, and the value is the same. False, with nothing taken, for
// anything else (a comment, a delimiter, the file's end, a file not open).
// Throws SufConvertError as ToValue.
bool NextPlainValue(const std::string& FileName, double& Value);

// Opens FileName for reading as NextWord opens it, giving its size; only a
// regular file. Throws SufIOError with the message NextWord would give.
int OpenSufBytes(const std::string& FileName, std::size_t& Size);
// read() into Into, again when interrupted: the bytes read, 0 at the end.
// Throws SufIOError with the message NextWord would give.
std::size_t ReadSufBytes(int Fd, char* Into, std::size_t Room, const std::string& FileName);

// Closes the file, so that the next word comes from a file opened afresh.
void EndSufFile();

// Reading on several cores: the bytes of a file are cut into pieces at line
// starts, and each piece is turned into tokens on its own. A piece does not
// know whether it begins inside a comment; it is tokenized as the previous
// one ended when that is known, else as outside one and again where that
// guess was wrong.

// A token of a piece: its text in the piece's bytes or, for a word a comment
// was cut out of, in its Side text; and whether it is a number, whose value
// is then the piece's next Value.
struct TSufToken {
    static constexpr std::uint32_t kSide = std::uint32_t{1} << 31;
    static constexpr std::uint32_t kNumber = std::uint32_t{1} << 30;
    static constexpr std::uint32_t kLengthBits = kNumber - 1;
    std::uint32_t Offset = 0;
    std::uint32_t Length = 0;  // with kSide and kNumber
};

// Pieces are at most this long, so that offsets and lengths fit in a token.
inline constexpr std::size_t kMaxSufPieceBytes = std::size_t{1} << 30;

struct TSufPiece {
    std::string_view Bytes;  // whole lines; the last piece of a file may end inside one
    bool StartsInComment = false;
    // What TokenizePiece finds: the tokens NextToken gives for these lines
    // (ending neither with the file's end nor with a comment's), the values
    // of those that ToValue reads, the state the last line leaves, and what
    // the lines add to LineNumber: lines begun and lone LFs (not after a CR).
    std::vector<TSufToken> Tokens;
    std::vector<double> Values;
    std::string Side;
    bool EndsInComment = false;
    std::int64_t Lines = 0;
    std::int64_t LineFeeds = 0;

    std::string_view Text(TSufToken Token) const {
        const std::size_t length = Token.Length & TSufToken::kLengthBits;
        return ((Token.Length & TSufToken::kSide) != 0 ? std::string_view(Side) : Bytes).substr(Token.Offset, length);
    }
};

// Tokenizes Piece afresh from StartsInComment. Throws std::bad_alloc.
void TokenizePiece(TSufPiece& Piece);

// What LineNumber says right after NextToken gave token Index of Piece (an
// index of its Tokens), counted from the piece's start.
std::int64_t PieceTokenLine(const TSufPiece& Piece, std::size_t Index);
