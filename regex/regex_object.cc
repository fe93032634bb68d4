#include "regex/regex_object.h"

#include <utility>

#include "text/codepage.h"

namespace tavrel {
namespace {

// "#引号" in GBK: stands for one double-quote character in a pattern.
constexpr std::string_view kQuoteMarker = "#\xD2\xFD\xBA\xC5";

// A caller's 1-based number as a 0-based index; -1 (never valid) below 1.
int to_index(int number) { return number < 1 ? -1 : number - 1; }

}  // namespace

RegexObject::RegexObject() : RegexObject(&RegExp::make) {}

RegexObject::RegexObject(RegExpFactory factory) : factory_(std::move(factory)) {}

RegexObject::~RegexObject() = default;

bool RegexObject::create(std::string_view pattern, std::string_view subject,
                         std::optional<bool> case_sensitive, std::optional<bool> multiline,
                         std::optional<bool> global, bool quote_marker) {
  // A page is about a megabyte: the buffer of the last subject is reused.
  Text kept = std::move(subject_gbk_);
  kept.assign(subject);
  return create_owned(pattern, std::move(kept), case_sensitive, multiline, global, quote_marker);
}

bool RegexObject::create_owned(std::string_view pattern, Text&& subject,
                               std::optional<bool> case_sensitive, std::optional<bool> multiline,
                               std::optional<bool> global, bool quote_marker) {
  reg_exp_.reset();
  matches_.reset();
  reg_exp_ = factory_ ? factory_() : nullptr;
  subject_gbk_ = std::move(subject);
  subject_gbk_.resize(static_cast<std::size_t>(text_length(subject_gbk_)));
  // The units of the last subject are reused when nothing else holds them
  // any more.
  if (subject_ && subject_.use_count() == 1) {
    auto units = std::const_pointer_cast<std::u16string>(std::move(subject_));
    gbk_to_u16(subject_gbk_, *units);
    subject_ = std::move(units);
  } else {
    subject_ = std::make_shared<const std::u16string>(gbk_to_u16(subject_gbk_));
  }
  if (!reg_exp_) return false;
  reg_exp_->IgnoreCase(!case_sensitive.value_or(false));
  reg_exp_->Multiline(multiline.value_or(true));
  reg_exp_->Global(global.value_or(true));
  const Text used = quote_marker ? text_replace(pattern, kQuoteMarker, "\"", 1, std::nullopt, true)
                                 : text_from(pattern);
  reg_exp_->Pattern(gbk_to_u16(used));
  matches_ = reg_exp_->Execute(subject_);
  return matches_.has_value();
}

Text RegexObject::pattern_text() const {
  return reg_exp_ ? u16_to_gbk(reg_exp_->Pattern()) : Text();
}

Text RegexObject::replace(std::string_view replacement) {
  if (!reg_exp_) return Text();
  std::optional<std::u16string> replaced = reg_exp_->Replace(*subject_, gbk_to_u16(replacement));
  return replaced ? u16_to_gbk(*replaced) : Text();
}

int RegexObject::match_count() const { return matches_ ? matches_->Count() : 0; }

Text RegexObject::match_text(int k, int* position) const {
  std::optional<Match> match = matches_ ? matches_->Item(to_index(k)) : std::nullopt;
  Text value = match ? u16_to_gbk(match->Value()) : Text();
  if (position) *position = match ? place(match->FirstIndex(), value) : -1;
  return value;
}

Text RegexObject::submatch_text(int k, int n, int* position) const {
  std::optional<Match> match = matches_ ? matches_->Item(to_index(k)) : std::nullopt;
  std::optional<std::u16string> value;
  int index = -1;
  if (match) {
    SubMatchCollection groups = match->SubMatches();
    value = groups.Item(to_index(n));
    index = groups.FirstIndex(to_index(n));
  }
  Text text = value ? u16_to_gbk(*value) : Text();
  if (position) *position = value ? place(index, text) : -1;
  return text;
}

int RegexObject::submatch_count() const {
  std::optional<Match> first = matches_ ? matches_->Item(0) : std::nullopt;
  return first ? first->SubMatches().Count() : 0;
}

int RegexObject::place(int index, std::string_view text) const {
  std::u16string_view before = std::u16string_view(*subject_).substr(0, index);
  const std::size_t at = u16_to_gbk(before).size();
  // Invalid GBK in the subject can shift the converted text against the
  // bytes; a text not found where it should stand cannot be placed.
  if (at > subject_gbk_.size() || subject_gbk_.compare(at, text.size(), text) != 0) return -1;
  return static_cast<int>(at) + 1;
}

}  // namespace tavrel
