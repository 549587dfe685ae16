#pragma once
// The picture file of the OEM download: a text file of hexadecimal byte constants, typically a
// source-code array ("0XFF,0X00,0X1F," lines after a first line naming the array).
//
// - Everything up to and including the first line feed is a header and ignored.
// - After it, each "0X" (capital X) followed by two hexadecimal digits gives one byte, in the order
//   of appearance; everything else (commas, blanks, line breaks, braces, lower-case "0x") is
//   skipped. A "0X" followed by anything but two hexadecimal digits makes the file unreadable; one
//   that starts fewer than four characters before the end is not looked at.
// - The file is read as text in pieces of 4096 bytes: within each piece only the bytes before its
//   first zero byte count.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantiro {

inline constexpr std::size_t kPictureFilePiece = 4096;
// The largest picture taken (a recorder screen is far smaller); a file yielding more is unreadable,
// so a huge or hostile file costs no more memory than this.
inline constexpr std::size_t kMaxPictureBytes = 8u * 1024 * 1024;

// Empties `bytes`, then fills it from the file at `path`. False when the path is not an existing
// regular file (nothing is ever created), on a read error, a malformed constant, or a picture
// above kMaxPictureBytes. True otherwise, also when no byte was found.
bool ReadPictureFile(const std::string& path, std::vector<std::uint8_t>& bytes);

// The same over the text of a whole file held in memory (the pieces cut as a file's would be).
bool ParsePictureText(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& bytes);

}  // namespace vantiro
