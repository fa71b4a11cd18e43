#pragma once
// Text cut-outs and the header and cookie helpers of both request paths.
//
// Every search here goes through FindText / FindLastText: bytes compare exactly, and the text is
// walked one character at a time from its start, a byte of 0x80 or more and the byte after it
// (a GBK double-byte character) counting as one, so a match never begins on a character's
// second byte. Text arguments are read up to their first zero byte.
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace sucaigang {

// Position of the first occurrence of `marker` that begins at character boundary `from` or
// later (boundaries counted from the start of `text`), or npos. An empty marker occurs at the
// first boundary at or after `from` that is inside a non-empty text.
std::size_t FindText(std::string_view text, std::string_view marker, std::size_t from = 0);
// Position of the last occurrence of `marker`, or npos; an empty marker never occurs.
std::size_t FindLastText(std::string_view text, std::string_view marker);

// The same searches without regard to ASCII case. Lowering ASCII letters leaves every GBK byte
// alone, so positions and character boundaries are those of the text itself.
Text LowerAscii(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);
std::size_t FindTextNoCase(std::string_view text, std::string_view marker, std::size_t from = 0);
bool ContainsNoCase(std::string_view text, std::string_view marker);
// The text with every occurrence of `marker` (a non-empty marker) taken out.
Text RemoveAllText(std::string_view text, std::string_view marker, bool ignoreCase = false);

// Pieces between the separators in order; an empty last piece is dropped, empty inner pieces
// stay, an empty text gives none. An empty separator gives the whole text as one piece.
std::vector<Text> SplitText(std::string_view text, std::string_view separator);
Text JoinText(std::span<const Text> items, std::string_view separator);
// Removes ASCII spaces and GBK full-width spaces (A1 A1) at both ends; nothing else.
Text TrimSpaces(std::string_view text);

// The text between the first `startMarker` and the next `endMarker` after it; empty when either
// is missing. "#引号" in a marker stands for a double quote.
Text TextBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker);
// The text before the first occurrence of `marker`; empty when it does not occur.
Text TextLeftOf(std::string_view text, std::string_view marker);
// The text after the last occurrence of `marker`; empty when it does not occur.
Text TextRightOf(std::string_view text, std::string_view marker);

// The value of the first "\r\n"-separated line that begins with `name` (exactly, case included).
Text GetHeaderValue(std::string_view headers, std::string_view name);
// Each header name capitalised part by part (user-agent -> User-Agent, other letters unchanged),
// lines without a colon dropped, no final line break.
Text NormaliseHeaderNames(std::string_view headers);
Text CapitaliseFirst(std::string_view text);

// Merges the cookies of an answer into a cookie text: the new items in their order, then the old
// items whose name no new item has; items ending in "=deleted" left out, repeats removed. The
// result is also written into `oldCookies`.
Text MergeCookies(Text& oldCookies, std::string_view newCookies);
// An item's text before its first "=" (all of it without one), trimmed.
Text CookieName(std::string_view item);
bool HasCookieName(std::span<const Text> items, std::string_view name);
// The text's items in order with repeats left out, joined by `separator`.
Text RemoveDuplicateItems(std::string_view text, std::string_view separator);
// 1-based position of the first item equal to `text`, or -1.
int FindItem(std::span<const Text> items, std::string_view text);

}  // namespace sucaigang
