#pragma once
// Reading a watch page: the title, the video id and HTML entities.
// Pages are taken as bytes, without any character-set conversion.
#include <string>
#include <string_view>

// The first <meta name="title" content="..."> tag's content, entities
// decoded; empty when the page has none.
std::string ExtractTitle(std::string_view page);

// The text after H + "/watch?v=" up to the first double quote that follows
// at least one character (further parameters included); empty when the page
// has no such link. H goes into the pattern as it is (its dots match any
// character).
std::string ExtractVideoId(std::string_view page, std::string_view host);

// Decodes &amp; &lt; &gt; &nbsp; &quot; and numeric entities (&#N; decimal,
// or hexadecimal after "$", "x", "X" or "0x"; the ";" may be missing at the
// end of the text). A numeric entity gives its character in UTF-8; one that
// names no character, and an "&" that starts no entity, stay as they are.
// The result is never longer than the text.
std::string DecodeEntities(std::string_view text);

// The first match of a Perl-style pattern, case-sensitive, "." matching line
// breaks; false when there is none or the pattern does not compile.
bool FirstMatch(std::string_view pattern, std::string_view subject, std::string& match);
