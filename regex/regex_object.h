// RegexObject: one regular expression run over one GBK subject, answering how
// many matches there are and what a match or one of its groups holds.
//
// Texts cross as GBK (Text). The subject is matched as UTF-16; pattern,
// replacement and every text handed back are converted from and to GBK
// leniently (an invalid byte sequence becomes a replacement character). The
// syntax of patterns and replacements is that of RegExp (regex/reg_exp.h).
//
// Failures are silent: an invalid pattern, a regular-expression component that
// could not be made, a query before the first create, a match or group number
// out of range, or a group that took no part in its match all give the empty
// text or 0.
//
// Positions: match_text and submatch_text write, when position is given, the
// 1-based byte position in the GBK subject at which the returned text starts
// (for an empty text, the position it would start at), or -1 when there is no
// such match or group, the group took no part in the match, or the text does
// not stand at that place in the subject's bytes (possible only where the
// subject held invalid GBK that the conversion replaced).
//
// A RegexObject belongs to the thread that made it; it is constructed, used
// and destroyed there. Nothing is shared between objects.
#pragma once

#include <concepts>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "regex/reg_exp.h"
#include "text/text.h"

namespace tavrel {

// Makes the regular-expression component; a null result means it could not
// be made.
using RegExpFactory = std::function<std::unique_ptr<RegExp>()>;

class RegexObject {
 public:
  RegexObject();
  // Uses factory, rather than RegExp::make, for every create.
  explicit RegexObject(RegExpFactory factory);
  ~RegexObject();
  RegexObject(const RegexObject&) = delete;
  RegexObject& operator=(const RegexObject&) = delete;

  // Compiles pattern and collects its matches in subject. Omitted options take
  // their defaults on every call: case_sensitive false, multiline true, global
  // true. With quote_marker, every "#引号" (GBK) in pattern stands for '"'.
  // True when the search ran (also with no match); false when the pattern is
  // not a valid expression or the component could not be made.
  bool create(std::string_view pattern, std::string_view subject,
              std::optional<bool> case_sensitive = std::nullopt,
              std::optional<bool> multiline = std::nullopt,
              std::optional<bool> global = std::nullopt, bool quote_marker = false);
  // The same, keeping subject itself rather than a copy of it: for a page
  // the caller has no further use for. Only an rvalue Text picks this one.
  template <typename Owned>
  requires std::same_as<Owned, Text>
  bool create(std::string_view pattern, Owned&& subject,
              std::optional<bool> case_sensitive = std::nullopt,
              std::optional<bool> multiline = std::nullopt,
              std::optional<bool> global = std::nullopt, bool quote_marker = false) {
    return create_owned(pattern, std::move(subject), case_sensitive, multiline, global,
                        quote_marker);
  }

  // The pattern of the last create, after the quote-marker replacement.
  Text pattern_text() const;
  // The subject of the last create with its matches replaced by replacement
  // ($1..$99, $&, $`, $', $$); empty when the pattern is not valid.
  Text replace(std::string_view replacement);
  int match_count() const;
  // Match k (1-based).
  Text match_text(int k, int* position = nullptr) const;
  // Group n (1-based) of match k (1-based).
  Text submatch_text(int k, int n, int* position = nullptr) const;
  // Number of capturing groups of the pattern; 0 when there is no match.
  int submatch_count() const;

 private:
  bool create_owned(std::string_view pattern, Text&& subject, std::optional<bool> case_sensitive,
                    std::optional<bool> multiline, std::optional<bool> global, bool quote_marker);
  // 1-based position in the GBK subject of text, which starts at the UTF-16
  // unit index of the subject; -1 when the bytes there are not text.
  int place(int index, std::string_view text) const;

  RegExpFactory factory_;
  std::unique_ptr<RegExp> reg_exp_;
  std::optional<MatchCollection> matches_;
  Text subject_gbk_;
  std::shared_ptr<const std::u16string> subject_;
};

}  // namespace tavrel
