#pragma once
// Text that came from the video site, made safe to show: in a terminal a
// line break, ESC or BEL could forge lines or change the terminal, and in
// the window a line break or a direction override could disguise the text.
#include <string>
#include <string_view>

// The text with every control character replaced by a space: C0 controls
// and DEL, C1 controls (raw or UTF-8 encoded), and the Unicode line and
// paragraph separators and direction marks, overrides and isolates. Every
// other byte stays as it is.
std::string PrintableText(std::string_view text);
