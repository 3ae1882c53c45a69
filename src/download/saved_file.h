#pragma once
// Naming and placing a downloaded file: the title made into a file name, a
// hidden ".part" file that receives the stream, and the rename into a name
// that does not overwrite anything.
#include <string>
#include <string_view>

// Longest file name the file systems here take, in bytes.
inline constexpr size_t MaxFileNameBytes = 255;

// The text cut to at most maxBytes bytes at a UTF-8 character boundary.
std::string CutAtCharBoundary(std::string_view text, size_t maxBytes);

// What a download is named after: the title without leading dots (a name
// starting with one is hidden); when nothing but dots and blanks is left, the
// video id likewise, else "video".
std::string SavedFileTitle(std::string_view title, std::string_view videoId);

// Title + extension as a file name: control characters and the characters
// SafeFileName refuses become "_".
std::string DownloadFileName(std::string_view title, std::string_view extension);

// A name for title-name + extension that does not exist in the folder yet:
// the name, else "(n)" before the extension (UniqueFileName). A name that
// would pass MaxFileNameBytes is shortened at a character boundary, keeping
// the extension and the "(n)" suffix.
std::string UniqueDownloadName(std::string_view name, std::string_view extension, std::string_view folder);

// Creates a new hidden "." + name + ".part" file in the folder (never one that
// exists). Returns its full path, or empty with errno set when it cannot be
// created.
std::string CreatePartFile(std::string_view folder, std::string_view name);

// Moves the part file to folder + a unique name for name/extension without
// ever replacing a file. Returns the full path, or empty with errno set.
std::string CommitPartFile(const std::string& partPath, std::string_view folder, std::string_view name,
                           std::string_view extension);
