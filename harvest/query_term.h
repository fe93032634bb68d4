// Turns a keyword line into the percent-encoded term of a search query.
#pragma once

#include <string_view>

#include "text/text.h"

namespace tavrel {

// The keyword (GBK) percent-encoded, ASCII only. With keep_unreserved the 64
// bytes "-", ".", 0-9, A-Z and a-z stay as they are; every other byte becomes
// "%" and two upper-case hex digits (a space is "%20", never "+"). With
// to_utf8 the UTF-8 form of the keyword is encoded, otherwise its GBK bytes.
// An empty keyword gives the empty text. Runs in time linear in the keyword.
Text encode_query_term(std::string_view keyword, bool keep_unreserved = false,
                       bool to_utf8 = false);

}  // namespace tavrel
