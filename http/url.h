// Small text routines that take a URL apart, and one that reads the text
// between two markers. None of them fails: any input gives a text (often
// empty) or a number. The URL is parsed afresh on every call.
#pragma once

#include <optional>
#include <string_view>

#include "text/text.h"

namespace tavrel {

// Stands for one double quote inside the markers of text_between: the GBK
// bytes of "#引号".
inline constexpr std::string_view kQuoteMarker = "#\xD2\xFD\xBA\xC5";

// The bytes after the first `before` found from `start` up to, not including,
// the first `after` found from there. When `before` is missing the search for
// `after` runs from the first byte; the result is empty when either marker is
// missing. kQuoteMarker in either marker stands for a double quote.
Text text_between(std::string_view text, std::string_view before, std::string_view after,
                  int start = 0, bool ignore_case = false);

// The host of the URL in lower case.
//
// Without dot_count: the text after a leading "https://", or after the first
// "http://" anywhere in the URL (the URL is read as if it began with "http://"
// when it holds none), up to the next "/". With domain_only only the last two
// dot-separated labels are kept.
//
// With dot_count N: every "http://" and "https://" is removed, the text is cut
// before its first "/", and the last N + 2 labels are kept (N + 1 with
// domain_only); a "." in the very last byte is not counted.
//
// Unless keep_port, everything from the first ":" on is dropped.
Text url_host(std::string_view url, bool domain_only = false, bool keep_port = false,
              std::optional<int> dot_count = std::nullopt);

// The leading decimal digits after the last ":" of the host (0 when there are
// none); without a port 443 for a URL starting "https", otherwise 80.
int url_port(std::string_view url);

// The URL from the first "/" after its host to its end, in the URL's own
// letter case, query and fragment included; "/" when there is none.
Text url_path(std::string_view url);

}  // namespace tavrel
