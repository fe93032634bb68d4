// Keeping a Cookie header value up to date with the cookies a response set.
//
// A cookie text is name=value items separated by ";" (with or without
// following spaces). An item's name is the text before its first "=", or the
// whole item, trimmed of spaces; names compare byte for byte, case counts.
#pragma once

#include <string_view>

#include "text/text.h"

namespace tavrel {

// Merges the cookies a response set (new_cookies) into the caller's cookie
// text. Both arguments lose every space (0x20 and A1 A1), values included, and
// are written back. The merged text, also written into cookie, lists the
// response's items in their order, then the caller's items whose names the
// response did not set, in theirs, joined by "; ". Items ending in
// "=deleted" are dropped, and of identical items only the first stays.
// Returns a copy of the merged text.
Text merge_cookies(Text& cookie, Text& new_cookies);

// The item's name: the text before its first "=" (the whole item when it has
// none), trimmed of spaces.
Text cookie_name(std::string_view item);

// True when some item's cookie_name equals name byte for byte.
bool has_cookie_name(const TextArray& items, std::string_view name);

// The pieces of text split at separator, every repeat of an earlier piece left
// out, joined again by separator.
Text join_unique(std::string_view text, std::string_view separator);

// The 1-based index of the first element equal to text, or -1.
int index_of_text(const TextArray& list, std::string_view text);

}  // namespace tavrel
