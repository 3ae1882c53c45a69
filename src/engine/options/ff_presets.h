#pragma once
// Encoder presets: the built-in libx264 table and preset files, each a list of
// generic options, one per line.
#include <string>
#include <vector>

struct TOptionState;
class IOptionHost;

// The 36 built-in names in table order.
const std::vector<std::string>& BuiltinPresetNames();
// The text of a built-in preset (name compared without regard to case);
// empty when there is none.
std::string BuiltinPresetText(const std::string& name);

// "apre", "vpre", "spre": a built-in name, else the pending codec of that
// kind + "-" + the name, else a file; "fpre": always a file. An empty value
// loads nothing. Raises FFmpegException when the preset is missing or one of
// its lines cannot be applied.
void LoadPreset(TOptionState& state, IOptionHost& host, const std::string& option, const std::string& value);
