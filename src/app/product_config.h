#pragma once
// The product configuration "lamecore.dll": INI text whose line bytes are
// stored complemented (255 - b), line breaks plain. Read once at start-up.
#include "global_vars.h"

#include <string>
#include <string_view>

inline constexpr char ProductConfigFileName[] = "lamecore.dll";

struct TProductDefaults {
    int DefaultVideo = 0, DefaultDevice = 0, DefaultAudio = 0, DefaultClass = 0;
};

// "lamecore.dll" in the executable's folder.
std::string ProductConfigPath();
// Byte i of the result is the complement of byte i of the line.
std::string DescrambleLine(std::string_view line);
// Complements every byte of the text except line breaks; its own inverse.
std::string ScrambleText(std::string_view text);
// True exactly for "True" and "Yes".
bool IsTrueText(std::string_view text);

// Reads the descrambled INI text into g (every key in table order) and the
// Default... values. Returns an error text (empty on success): a missing,
// empty or non-integer "Skin" or Default... value is an error.
std::string ParseProductConfig(std::string_view iniText, TGlobalVars& g, TProductDefaults& defaults);
// Reads and descrambles the file, then parses it as above.
std::string ReadProductConfig(const std::string& path, TGlobalVars& g, TProductDefaults& defaults);
// Stores the Default... values: the class only when it is 0, 1 or 2; the
// format codes as their low byte.
void ApplyProductDefaults(const TProductDefaults& defaults, TGlobalVars& g);
