#pragma once
// Small path, name, time and text routines shared by the whole program.
// Paths use the platform separator '/'.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr char PathDelim = '/';

// The path followed by a separator unless it already ends with one.
// An empty path stays empty: on this platform the separator alone would name
// the root folder, and an empty folder field must never turn into "/".
std::string IncludeTrailingSeparator(std::string_view path);

// A name that does not yet exist in the folder: the name itself, else the
// name with "(n)" inserted before its extension, n = 1, 2, ... 32768.
std::string UniqueFileName(std::string_view name, std::string_view folder);

// Longest file name the file systems here take, in bytes.
inline constexpr size_t MaxFileNameBytes = 255;

// The text cut to at most maxBytes bytes at a UTF-8 character boundary.
std::string CutAtCharBoundary(std::string_view text, size_t maxBytes);

// The first of base + extension, base + "(1)" + extension, ... "(32768)" that
// taken() does not refuse; a candidate longer than maxBytes has its base cut
// at a character boundary, keeping the "(n)" and the extension. Empty when
// every one is taken. The one routine behind every free name of the program.
std::string FreeFileName(std::string_view base, std::string_view extension,
                         const std::function<bool(const std::string& name)>& taken,
                         size_t maxBytes = MaxFileNameBytes);
// Any directory entry of that path counts as taken: a folder, a dangling
// link, or an entry that cannot be looked at.
bool PathTaken(const std::string& path);

// The name with \ : / * ? < > | and " replaced by "_" when it is not valid.
std::string SafeFileName(std::string_view name);
bool IsValidFileName(std::string_view name);
// The name an output gets from one the user typed (without the extension):
// spaces around it trimmed and the format's own extension left off, since it
// is added again. Empty when the text names no file of a folder: empty, "."
// or "..", or holding "/".
std::string OutputBaseName(std::string_view typed, std::string_view extension);
bool ContainsAnyChar(std::string_view text, std::string_view chars);

// "%.2d:%.2d:%.2d.%.3d"; hours are not limited to two digits.
std::string FormatMicroseconds(int64_t us);
// "%0.2d:%0.2d:%0.2d" (hours, minutes, seconds with at least two digits)
std::string FormatSeconds(int32_t seconds);

// The text after the first start marker up to the next end marker; empty
// when the end marker does not follow.
std::string TextBetween(std::string_view text, std::string_view start, std::string_view end);
// The pieces between separators; empty pieces are kept except a last one.
// An empty separator cannot split anything: the text comes back as one piece.
std::vector<std::string> SplitText(std::string_view text, std::string_view separator);

// File-system helpers used by the folder rules.
// The path made absolute against the current folder and normalised ("" when
// the current folder cannot be read).
std::string AbsolutePath(const std::string& path);
bool DirectoryExists(const std::string& path);
bool FileExists(const std::string& path);
// Creates the folder with every missing parent; true when it exists afterwards.
// An empty path is never created.
bool ForceDirectories(const std::string& path);
// Folder of the running executable, with a trailing separator.
std::string ExecutableFolder();
// Extension from the last '.' of the file-name part, dot included.
std::string ExtractFileExt(std::string_view path);
// Part of the path after its last separator.
std::string ExtractFileName(std::string_view path);
// Part of the path up to and including its last separator.
std::string ExtractFilePath(std::string_view path);
std::string LowerCase(std::string_view text);
std::string Trim(std::string_view text);
