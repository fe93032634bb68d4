#include "regex/reg_exp.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

namespace tavrel {
namespace {

// Work bounds for one search call. A page from the network may be built to
// make a lazy run scan to the end of the subject from every opening; these
// cut such a search off, and it then keeps the matches found so far. With
// the match limit below, a hostile 10 MB page stops after some tens of
// milliseconds in the JIT and well under a second in the interpreter, while a
// real result page needs a small fraction of it. The JIT stack has a fixed
// ceiling; the interpreter keeps its backtracking frames on the heap, under
// the depth and heap limits.
constexpr std::uint32_t kMatchLimit = 10'000'000;
constexpr std::uint32_t kDepthLimit = 10'000;
constexpr std::uint32_t kHeapLimitKiB = 16 * 1024;
constexpr std::size_t kJitStackStart = 32 * 1024;
constexpr std::size_t kJitStackMax = 1024 * 1024;

constexpr std::uint32_t kCompileOptions = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_ALT_BSUX |
                                          PCRE2_ALLOW_EMPTY_CLASS | PCRE2_MATCH_UNSET_BACKREF |
                                          PCRE2_ALT_CIRCUMFLEX | PCRE2_NEVER_BACKSLASH_C;

struct CodeFree {
  void operator()(pcre2_code* p) const { pcre2_code_free(p); }
};
struct CompileContextFree {
  void operator()(pcre2_compile_context* p) const { pcre2_compile_context_free(p); }
};
struct MatchContextFree {
  void operator()(pcre2_match_context* p) const { pcre2_match_context_free(p); }
};
struct JitStackFree {
  void operator()(pcre2_jit_stack* p) const { pcre2_jit_stack_free(p); }
};
struct MatchDataFree {
  void operator()(pcre2_match_data* p) const { pcre2_match_data_free(p); }
};

bool is_high_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Units to step over after an empty match at pos: one, or two for a pair.
std::size_t step_at(std::u16string_view s, std::size_t pos) {
  if (pos + 1 < s.size() && is_high_surrogate(s[pos]) && is_low_surrogate(s[pos + 1])) return 2;
  return 1;
}

std::u16string_view span(std::u16string_view s, const std::uint32_t* pair) {
  return s.substr(pair[0], pair[1] - pair[0]);
}

bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Writes replacement for the match at pairs into out, expanding $-references.
void expand(std::u16string_view replacement, std::u16string_view subject,
            const std::uint32_t* pairs, int groups, std::u16string& out) {
  auto group = [&](int n) {
    const std::uint32_t* p = pairs + 2 * n;
    if (p[0] != kUnsetOffset) out.append(span(subject, p));
  };
  for (std::size_t i = 0; i < replacement.size(); ++i) {
    char16_t c = replacement[i];
    if (c != u'$' || i + 1 == replacement.size()) {
      out.push_back(c);
      continue;
    }
    char16_t next = replacement[i + 1];
    if (next == u'$') {
      out.push_back(u'$');
      ++i;
    } else if (next == u'&') {
      group(0);
      ++i;
    } else if (next == u'`') {
      out.append(subject.substr(0, pairs[0]));
      ++i;
    } else if (next == u'\'') {
      out.append(subject.substr(pairs[1]));
      ++i;
    } else if (is_digit(next)) {
      int one = next - u'0';
      if (i + 2 < replacement.size() && is_digit(replacement[i + 2])) {
        int two = one * 10 + (replacement[i + 2] - u'0');
        if (two >= 1 && two <= groups) {
          group(two);
          i += 2;
          continue;
        }
      }
      if (one >= 1 && one <= groups) {
        group(one);
        ++i;
      } else {
        out.push_back(u'$');
      }
    } else {
      out.push_back(u'$');
    }
  }
}

}  // namespace

// --- collections -------------------------------------------------------------

std::optional<std::u16string> SubMatchCollection::Item(int index) const {
  if (index < 0 || index >= count_) return std::nullopt;
  const std::uint32_t* p = pairs_ + 2 * index;
  if (p[0] == kUnsetOffset) return std::nullopt;
  return std::u16string(span(*subject_, p));
}

int SubMatchCollection::FirstIndex(int index) const {
  if (index < 0 || index >= count_) return -1;
  const std::uint32_t* p = pairs_ + 2 * index;
  return p[0] == kUnsetOffset ? -1 : static_cast<int>(p[0]);
}

std::u16string Match::Value() const { return std::u16string(span(*subject_, pairs_)); }

std::optional<Match> MatchCollection::Item(int index) const {
  if (index < 0 || index >= Count()) return std::nullopt;
  return Match(subject_, offsets_.data() + stride() * static_cast<std::size_t>(index), groups_);
}

// --- the engine --------------------------------------------------------------

struct RegExp::Engine {
  std::unique_ptr<pcre2_compile_context, CompileContextFree> compile_context;
  std::unique_ptr<pcre2_match_context, MatchContextFree> match_context;
  std::unique_ptr<pcre2_jit_stack, JitStackFree> jit_stack;  // null without a JIT
  std::unique_ptr<pcre2_code, CodeFree> code;
  bool stale = true;  // pattern or options changed since the last compile
  int groups = 0;
};

std::unique_ptr<RegExp> RegExp::make() {
  auto engine = std::make_unique<Engine>();
  engine->compile_context.reset(pcre2_compile_context_create(nullptr));
  engine->match_context.reset(pcre2_match_context_create(nullptr));
  if (!engine->compile_context || !engine->match_context) return nullptr;
  // Only a line feed ends a line: '.' matches a carriage return.
  pcre2_set_newline(engine->compile_context.get(), PCRE2_NEWLINE_LF);
  pcre2_match_context* m = engine->match_context.get();
  pcre2_set_match_limit(m, kMatchLimit);
  pcre2_set_depth_limit(m, kDepthLimit);
  pcre2_set_heap_limit(m, kHeapLimitKiB);
  std::uint32_t has_jit = 0;
  pcre2_config(PCRE2_CONFIG_JIT, &has_jit);
  if (has_jit) {
    engine->jit_stack.reset(pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr));
    if (!engine->jit_stack) return nullptr;
    pcre2_jit_stack_assign(m, nullptr, engine->jit_stack.get());
  }
  return std::unique_ptr<RegExp>(new RegExp(std::move(engine)));
}

RegExp::RegExp(std::unique_ptr<Engine> engine) : engine_(std::move(engine)) {}
RegExp::~RegExp() = default;

void RegExp::IgnoreCase(bool on) {
  if (on != ignore_case_) engine_->stale = true;
  ignore_case_ = on;
}

void RegExp::Multiline(bool on) {
  if (on != multiline_) engine_->stale = true;
  multiline_ = on;
}

void RegExp::Pattern(std::u16string_view pattern) {
  if (pattern != pattern_) engine_->stale = true;
  pattern_.assign(pattern);
}

bool RegExp::compile() {
  if (!engine_->stale) return engine_->code != nullptr;
  engine_->stale = false;
  engine_->code.reset();
  std::uint32_t options = kCompileOptions;
  if (ignore_case_) options |= PCRE2_CASELESS;
  // Without Multiline, '$' matches only at the very end, not before a final
  // line feed.
  options |= multiline_ ? PCRE2_MULTILINE : PCRE2_DOLLAR_ENDONLY;
  int error = 0;
  PCRE2_SIZE error_offset = 0;
  engine_->code.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern_.data()), pattern_.size(),
                                    options, &error, &error_offset,
                                    engine_->compile_context.get()));
  if (!engine_->code) return false;
  // Without the JIT (not built, or no executable memory) the interpreter runs
  // under the limits of the match context.
  if (engine_->jit_stack) pcre2_jit_compile(engine_->code.get(), PCRE2_JIT_COMPLETE);
  std::uint32_t captures = 0;
  pcre2_pattern_info(engine_->code.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
  engine_->groups = static_cast<int>(captures);
  return true;
}

std::vector<std::uint32_t> RegExp::search(std::u16string_view subject) {
  std::vector<std::uint32_t> offsets;
  // Offsets are kept in 32 bits; longer subjects are not searched.
  if (subject.size() >= kUnsetOffset) return offsets;
  std::unique_ptr<pcre2_match_data, MatchDataFree> data(
      pcre2_match_data_create_from_pattern(engine_->code.get(), nullptr));
  if (!data) return offsets;
  const auto* units = reinterpret_cast<PCRE2_SPTR>(subject.data());
  const std::size_t pairs = 1 + static_cast<std::size_t>(engine_->groups);
  std::size_t start = 0;
  while (start <= subject.size()) {
    int rc = pcre2_match(engine_->code.get(), units, subject.size(), start, 0, data.get(),
                         engine_->match_context.get());
    // No further match, or a limit or other failure: keep what was found.
    if (rc < 0) break;
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data.get());
    for (std::size_t i = 0; i < pairs; ++i) {
      bool set = i < static_cast<std::size_t>(rc) && ov[2 * i] != PCRE2_UNSET;
      offsets.push_back(set ? static_cast<std::uint32_t>(ov[2 * i]) : kUnsetOffset);
      offsets.push_back(set ? static_cast<std::uint32_t>(ov[2 * i + 1]) : kUnsetOffset);
    }
    if (!global_) break;
    start = ov[1] > ov[0] ? ov[1] : ov[1] + step_at(subject, ov[1]);
  }
  return offsets;
}

std::optional<MatchCollection> RegExp::Execute(std::u16string_view subject) {
  return Execute(std::make_shared<const std::u16string>(subject));
}

std::optional<MatchCollection> RegExp::Execute(std::shared_ptr<const std::u16string> subject) {
  if (!subject || !compile()) return std::nullopt;
  std::vector<std::uint32_t> offsets = search(*subject);
  return MatchCollection(std::move(subject), engine_->groups, std::move(offsets));
}

std::optional<std::u16string> RegExp::Replace(std::u16string_view subject,
                                              std::u16string_view replacement) {
  if (!compile()) return std::nullopt;
  const std::vector<std::uint32_t> offsets = search(subject);
  const std::size_t stride = 2 * (1 + static_cast<std::size_t>(engine_->groups));
  std::u16string out;
  out.reserve(subject.size());
  std::size_t done = 0;
  for (std::size_t m = 0; m < offsets.size(); m += stride) {
    const std::uint32_t* pairs = offsets.data() + m;
    if (pairs[0] < done) continue;
    out.append(subject.substr(done, pairs[0] - done));
    expand(replacement, subject, pairs, engine_->groups, out);
    done = pairs[1];
  }
  out.append(subject.substr(done));
  return out;
}

}  // namespace tavrel
