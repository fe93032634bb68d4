#include "http/cookies.h"

namespace tavrel {

namespace {

constexpr std::string_view kItemSeparator = ";";
constexpr std::string_view kJoin = "; ";
constexpr std::string_view kDeleted = "=deleted";

}  // namespace

Text merge_cookies(Text& cookie, Text& new_cookies) {
  cookie = text_strip_spaces(cookie);
  new_cookies = text_strip_spaces(new_cookies);

  const TextArray old_items = text_split(cookie, kItemSeparator);
  TextArray items = text_split(new_cookies, kItemSeparator);
  // items grows as this goes on, so of two old items with the same name only
  // the first is carried over.
  for (const Text& item : old_items) {
    if (!has_cookie_name(items, cookie_name(item))) array_append(items, item);
  }

  Text merged;
  for (const Text& item : items) {
    if (text_right(item, text_length(kDeleted)) == kDeleted) continue;
    merged.append(item).append(kJoin);
  }
  merged = text_left(merged, text_length(merged) - text_length(kJoin));
  cookie = join_unique(merged, kJoin);
  return cookie;
}

Text cookie_name(std::string_view item) {
  const int equals = text_find(item, "=");
  return text_trim(equals == -1 ? text_from(item) : text_left(item, equals - 1));
}

bool has_cookie_name(const TextArray& items, std::string_view name) {
  for (const Text& item : items) {
    if (text_compare(cookie_name(item), name) == 0) return true;
  }
  return false;
}

Text join_unique(std::string_view text, std::string_view separator) {
  const Text sep = text_from(separator);
  TextArray kept;
  Text result;
  for (const Text& piece : text_split(text, sep)) {
    if (index_of_text(kept, piece) != -1) continue;
    array_append(kept, piece);
    result.append(piece).append(sep);
  }
  return text_left(result, text_length(result) - text_length(sep));
}

int index_of_text(const TextArray& list, std::string_view text) {
  const int count = array_count(list);
  for (int i = 0; i < count; ++i) {
    if (text_compare(list[static_cast<std::size_t>(i)], text) == 0) return i + 1;
  }
  return -1;
}

}  // namespace tavrel
