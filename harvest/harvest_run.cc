#include "harvest/harvest_run.h"

#include <cstdlib>

#include "harvest/query_term.h"
#include "http/fetch_page.h"
#include "regex/regex_object.h"

namespace tavrel {
namespace {

constexpr char kLineBreak[] = "\r\n";
constexpr int kPagesPerKeyword = 76;
// Picks a result's redirect link out of the data-tools attribute of a result
// page: {"title":"...","url":"LINK"}'>
constexpr char kResultPattern[] = R"re(\{"title":".*?","url":"(.*?)"\}'>)re";

Text query_url(const Text& host, const Text& keyword, int page) {
  const Text term = encode_query_term(keyword, true, true);
  const Text offset = number_to_text(static_cast<double>(page - 1));
  return text_concat("http://", host, "/s?wd=", term, "&pn=", offset, "0&ie=utf-8&usm=1");
}

// True when one of the exclusion entries occurs in link, ASCII case ignored.
// An empty entry occurs in every link.
bool excluded(const Text& link, const Text& exclusions) {
  for (const Text& entry : text_split(exclusions, kLineBreak)) {
    if (text_find(link, entry, std::nullopt, true) != -1) return true;
  }
  return false;
}

}  // namespace

Text search_host() {
  const char* value = std::getenv("TAVREL_SEARCH_HOST");
  if (value == nullptr || *value == '\0') return kDefaultSearchHost;
  return text_from(value);
}

void harvest_run(HarvestHost& host) {
  HarvestSettings settings;
  settings.search_host = search_host();
  harvest_run_with(host, settings);
}

void harvest_run_with(HarvestHost& host, const HarvestSettings& settings) {
  RegexObject regex;
  const TextArray keywords = text_split(host.read_control_text(EditBox::keywords), kLineBreak);
  for (const Text& keyword : keywords) {
    for (int page = 1; page <= kPagesPerKeyword; ++page) {
      const Text url = query_url(settings.search_host, keyword, page);
      host.wait_at_gate();
      regex.create(kResultPattern, fetch_page_text(url));
      const int matches = regex.match_count();
      for (int k = 1; k <= matches; ++k) {
        Text raw_link = regex.submatch_text(k, 1);
        host.wait_at_gate();
        Text link = resolve_result_link(host, raw_link, settings.make_link_request);
        // Both boxes are read as they stand now, so the user's edits count
        // from the next link on. Present anywhere in the results box, letter
        // case significant, means present.
        if (text_find(host.read_control_text(EditBox::results), link) != -1) continue;
        if (excluded(link, host.read_control_text(EditBox::exclusions))) link.clear();
        if (text_compare(link, "") == 0) continue;
        host.wait_at_gate();
        host.append_edit_text(EditBox::results, text_concat(link, kLineBreak));
      }
    }
  }
}

}  // namespace tavrel
