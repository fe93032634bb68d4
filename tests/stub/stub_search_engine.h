// A stand-in for the web search, on the loopback interface, for tests, the
// benchmark and trying Tavrel without internet.
//
//   /s?wd=TERM&pn=N0&...  a UTF-8 result page shaped like the real ones: one
//                         long line of HTML with the results of the scenario,
//                         each carrying its data in a single-quoted attribute
//                         data-tools='{"title":"...","url":"<redirect link>"}'>
//                         with scripts and styles between the results.
//   /link?url=TOKEN       the redirect service: answers as the result asks
//                         (302 with a Location, or another answer).
//
// Everything is deterministic: the page for a term and offset is a function of
// the scenario, and a redirect link carries its result in its token, so the
// same result gives the same link on every page.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/loopback_server.h"

namespace tavrel::testing {

// How /link answers for a result.
enum class LinkAnswer {
  found,                   // 302 with Location: target
  moved_permanently,       // 301 with Location: target
  see_other,               // 303 with Location: target
  temporary_redirect,      // 307 with Location: target
  ok,                      // 200 with a small page, no Location
  found_without_location,  // 302 without a Location header
  slow,                    // 302 with Location: target, after StubOptions::slow_ms
  dropped,                 // the connection is closed without an answer
};

struct StubResult {
  std::string target;  // the address the result leads to (ASCII or UTF-8)
  LinkAnswer answer = LinkAnswer::found;
};

struct StubPage {
  bool dropped = false;  // close the connection instead of answering
  std::vector<StubResult> results;
};

// The page for a search term (percent-decoded: UTF-8 as the tool sends it)
// and a zero-based page number (pn / 10).
using StubScenario = std::function<StubPage(std::string_view term, int page)>;

// Fixed pages by (term, page number); every other page has no result.
using StubPages = std::map<std::pair<std::string, int>, StubPage>;
StubScenario fixed_pages(StubPages pages);

struct StubOptions {
  // Result pages are padded with filler scripts to at least this many bytes.
  std::size_t page_bytes = 0;
  // How long a LinkAnswer::slow result waits before it answers.
  int slow_ms = 300;
  bool ipv6 = false;
  // Called for every request before it is answered, on the server's thread.
  std::function<void(const ReceivedRequest&)> on_request;
};

class StubSearchEngine {
 public:
  explicit StubSearchEngine(StubScenario scenario, StubOptions options = {});
  ~StubSearchEngine();
  StubSearchEngine(const StubSearchEngine&) = delete;
  StubSearchEngine& operator=(const StubSearchEngine&) = delete;

  // "127.0.0.1:PORT" (or "[::1]:PORT"): the value for TAVREL_SEARCH_HOST.
  std::string host_port() const;
  // The redirect link that stands for the result on a page.
  std::string link_url(const StubResult& result) const;
  // The page /s answers for a term and page number.
  std::string result_page(std::string_view term, int page) const;

  // Every request read so far, in order: the log of the engine.
  std::vector<ReceivedRequest> requests() const;
  void clear_requests();

 private:
  StubScenario scenario_;
  StubOptions options_;
  std::unique_ptr<LoopbackServer> server_;
};

// Percent-decodes a query value ("%E4%B8%AD" -> the bytes E4 B8 AD).
std::string percent_decode(std::string_view value);

// The value of key in the query of a request target ("" when absent).
std::string query_value(std::string_view target, std::string_view key);

// A sample for trying the tool: ten results a page, some addresses repeated
// across pages and keywords, some on large portals that the default
// exclusions drop, and a few links that do not answer 302.
StubScenario default_scenario();

}  // namespace tavrel::testing
