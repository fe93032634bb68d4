// A small regular-expression component over UTF-16 strings, with the members
// RegexObject drives: the options IgnoreCase, Multiline and Global, the
// Pattern, Execute and Replace, and a match collection whose entries report
// Value, FirstIndex and SubMatches. Indices into the collections are 0-based;
// positions and lengths count UTF-16 code units.
//
// Syntax: the familiar script-language regular expressions. Literal text,
// escaped metacharacters, '.', classes, \d \w \s \b (ASCII), greedy and lazy
// quantifiers, capturing and non-capturing groups, lookahead, back-references
// (to a group that took no part: the empty string), \xhh and \uhhhh escapes.
// '.' matches every character except a line feed; a carriage return is an
// ordinary character. Multiline makes '^' and '$' match after and before a line
// feed; otherwise they match only at the very start and end of the subject.
// IgnoreCase folds letters by Unicode simple case folding.
//
// Replacement syntax: $1 to $99 (the two-digit form when that group exists,
// else the one-digit form, else the text stays literal), $& the match, $` the
// text before it, $' the text after it, $$ one dollar sign. A group that took
// no part inserts nothing.
//
// Bounded cost: matching always runs through the JIT when the platform has
// one, on a JIT stack of fixed size, with match, depth and heap limits for the
// interpreter. When a search gives up on a limit the collection keeps the
// matches found before it (possibly none) and Replace replaces those only.
//
// An instance belongs to one thread; it compiles its pattern once after every
// change of Pattern or an option and reuses it for Execute and Replace.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

// Offsets are kept as [start, end) pairs of UTF-16 units: the whole match,
// then every capturing group, kUnsetOffset for a group that took no part.
inline constexpr std::uint32_t kUnsetOffset = 0xFFFFFFFFu;

class SubMatchCollection {
 public:
  SubMatchCollection(std::shared_ptr<const std::u16string> subject, const std::uint32_t* pairs,
                     int count)
      : subject_(std::move(subject)), pairs_(pairs), count_(count) {}

  // Number of capturing groups of the pattern.
  int Count() const { return count_; }
  // The text captured by group index + 1; nullopt when the group took no part
  // or index is out of range.
  std::optional<std::u16string> Item(int index) const;
  // Where that text starts in the subject; -1 when Item gives nullopt.
  int FirstIndex(int index) const;

 private:
  std::shared_ptr<const std::u16string> subject_;
  const std::uint32_t* pairs_;
  int count_;
};

class Match {
 public:
  Match(std::shared_ptr<const std::u16string> subject, const std::uint32_t* pairs, int groups)
      : subject_(std::move(subject)), pairs_(pairs), groups_(groups) {}

  std::u16string Value() const;
  int FirstIndex() const { return static_cast<int>(pairs_[0]); }
  int Length() const { return static_cast<int>(pairs_[1] - pairs_[0]); }
  SubMatchCollection SubMatches() const {
    return SubMatchCollection(subject_, pairs_ + 2, groups_);
  }

 private:
  std::shared_ptr<const std::u16string> subject_;
  const std::uint32_t* pairs_;
  int groups_;
};

// The matches of one Execute, left to right. Matches handed out by Item stay
// valid only while the collection lives.
class MatchCollection {
 public:
  MatchCollection(std::shared_ptr<const std::u16string> subject, int groups,
                  std::vector<std::uint32_t> offsets)
      : subject_(std::move(subject)), groups_(groups), offsets_(std::move(offsets)) {}

  int Count() const { return static_cast<int>(offsets_.size() / stride()); }
  // Match index (0-based); nullopt when out of range.
  std::optional<Match> Item(int index) const;

 private:
  std::size_t stride() const { return 2 * (1 + static_cast<std::size_t>(groups_)); }

  std::shared_ptr<const std::u16string> subject_;
  int groups_;
  std::vector<std::uint32_t> offsets_;
};

class RegExp {
 public:
  // A new instance with IgnoreCase, Multiline and Global false and an empty
  // pattern; nullptr when the matching engine cannot be set up.
  static std::unique_ptr<RegExp> make();

  ~RegExp();
  RegExp(const RegExp&) = delete;
  RegExp& operator=(const RegExp&) = delete;

  bool IgnoreCase() const { return ignore_case_; }
  void IgnoreCase(bool on);
  bool Multiline() const { return multiline_; }
  void Multiline(bool on);
  bool Global() const { return global_; }
  void Global(bool on) { global_ = on; }
  const std::u16string& Pattern() const { return pattern_; }
  void Pattern(std::u16string_view pattern);

  // Every match in subject (only the first unless Global); nullopt when the
  // pattern is not a valid expression.
  std::optional<MatchCollection> Execute(std::u16string_view subject);
  // The same over a subject the caller shares with the collection, uncopied.
  std::optional<MatchCollection> Execute(std::shared_ptr<const std::u16string> subject);
  // subject with the matches replaced by replacement; nullopt when the
  // pattern is not a valid expression.
  std::optional<std::u16string> Replace(std::u16string_view subject,
                                        std::u16string_view replacement);

 private:
  struct Engine;
  explicit RegExp(std::unique_ptr<Engine> engine);

  // Compiles the pattern when it or an option changed; false when invalid.
  bool compile();
  // Offsets of the matches in subject, as MatchCollection keeps them.
  std::vector<std::uint32_t> search(std::u16string_view subject);

  std::unique_ptr<Engine> engine_;
  bool ignore_case_ = false;
  bool multiline_ = false;
  bool global_ = false;
  std::u16string pattern_;
};

}  // namespace tavrel
