#pragma once
// Naming a downloaded file: the title made into a file name that does not
// overwrite anything (the hidden file that receives the stream and its
// rename are THiddenFile's, hidden_file.h).
#include "util_funcs.h"

#include <string>
#include <string_view>

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
