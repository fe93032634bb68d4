#include "tests/stub/stub_search_engine.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace tavrel::testing {
namespace {

struct AnswerCode {
  LinkAnswer answer;
  char code;
};
constexpr AnswerCode kAnswerCodes[] = {
    {LinkAnswer::found, 'f'},     {LinkAnswer::moved_permanently, 'm'},
    {LinkAnswer::see_other, 's'}, {LinkAnswer::temporary_redirect, 't'},
    {LinkAnswer::ok, 'o'},        {LinkAnswer::found_without_location, 'n'},
    {LinkAnswer::slow, 'w'},      {LinkAnswer::dropped, 'd'},
};

constexpr char kHexDigits[] = "0123456789abcdef";

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A token names the answer in its first letter and the target in hex after it.
std::string make_token(const StubResult& result) {
  std::string token;
  for (const auto& entry : kAnswerCodes) {
    if (entry.answer == result.answer) token += entry.code;
  }
  for (unsigned char c : result.target) {
    token += kHexDigits[c >> 4];
    token += kHexDigits[c & 0x0F];
  }
  return token;
}

std::optional<StubResult> parse_token(std::string_view token) {
  if (token.empty() || token.size() % 2 != 1) return std::nullopt;
  StubResult result;
  bool known = false;
  for (const auto& entry : kAnswerCodes) {
    if (entry.code == token[0]) {
      result.answer = entry.answer;
      known = true;
    }
  }
  if (!known) return std::nullopt;
  for (std::size_t i = 1; i < token.size(); i += 2) {
    const int high = hex_value(token[i]);
    const int low = hex_value(token[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    result.target += static_cast<char>(high * 16 + low);
  }
  return result;
}

std::string html_escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Filler that makes a page as long as a real one: a script holding a comment.
void append_filler(std::string& page, std::size_t bytes) {
  if (bytes == 0) return;
  static constexpr std::string_view kPattern =
      "bds.comm.ubsurl+=\"&rsv_pq=0f1e2d3c4b5a&rsv_t=a1b2c3d4e5f6\";";
  page += "<script>/*";
  for (std::size_t n = 0; n < bytes; n += kPattern.size()) page += kPattern;
  page += "*/</script>";
}

// Titles are made of two-character runs of Chinese, so that their UTF-8 bytes
// also read as whole GBK characters.
std::string result_title(int number) {
  static constexpr std::string_view kTitles[] = {
      "网站首页", "公司简介", "产品中心", "新闻动态", "联系我们",
  };
  return std::string(kTitles[number % 5]) + " " + std::to_string(number) + " 官网";
}

}  // namespace

std::string percent_decode(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '%' && i + 2 < value.size() && hex_value(value[i + 1]) >= 0 &&
        hex_value(value[i + 2]) >= 0) {
      out += static_cast<char>(hex_value(value[i + 1]) * 16 + hex_value(value[i + 2]));
      i += 2;
    } else {
      out += value[i];
    }
  }
  return out;
}

std::string query_value(std::string_view target, std::string_view key) {
  const auto question = target.find('?');
  if (question == std::string_view::npos) return {};
  std::string_view query = target.substr(question + 1);
  while (!query.empty()) {
    const auto amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    const auto eq = pair.find('=');
    if (pair.substr(0, eq) == key) {
      return eq == std::string_view::npos ? std::string() : std::string(pair.substr(eq + 1));
    }
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return {};
}

StubSearchEngine::StubSearchEngine(StubScenario scenario, StubOptions options)
    : scenario_(std::move(scenario)), options_(std::move(options)) {
  server_ = std::make_unique<LoopbackServer>(
      [this](const ReceivedRequest& request, Reply& reply) {
        if (options_.on_request) options_.on_request(request);
        const std::string_view target = request.target;
        const std::string_view path = target.substr(0, target.find('?'));
        if (path == "/s") {
          const std::string term = percent_decode(query_value(target, "wd"));
          const int page = std::atoi(query_value(target, "pn").c_str()) / 10;
          const StubPage stub_page = scenario_(term, page);
          if (stub_page.dropped) return reply.close();
          return reply.send(200, result_page(term, page),
                            {{"Content-Type", "text/html;charset=utf-8"}});
        }
        if (path != "/link") return reply.send(404, "not found");
        const auto result = parse_token(query_value(target, "url"));
        if (!result) return reply.send(404, "unknown link");
        const HeaderList location = {{"Location", result->target}};
        switch (result->answer) {
          case LinkAnswer::found:
            return reply.send(302, "", location);
          case LinkAnswer::moved_permanently:
            return reply.send(301, "", location);
          case LinkAnswer::see_other:
            return reply.send(303, "", location);
          case LinkAnswer::temporary_redirect:
            return reply.send(307, "", location);
          case LinkAnswer::ok:
            return reply.send(200, "<html><body>moved</body></html>",
                              {{"Content-Type", "text/html"}});
          case LinkAnswer::found_without_location:
            return reply.send(302, "");
          case LinkAnswer::slow:
            if (reply.idle(options_.slow_ms)) reply.send(302, "", location);
            return;
          case LinkAnswer::dropped:
            return reply.close();
        }
      },
      options_.ipv6);
}

StubSearchEngine::~StubSearchEngine() = default;

std::string StubSearchEngine::host_port() const { return server_->host_port(); }

std::string StubSearchEngine::link_url(const StubResult& result) const {
  return server_->url("/link?url=" + make_token(result));
}

std::string StubSearchEngine::result_page(std::string_view term, int page) const {
  const StubPage stub_page = scenario_(term, page);
  const std::size_t filler = options_.page_bytes / (stub_page.results.size() + 1);
  std::string html;
  html.reserve(options_.page_bytes + 4096);
  html +=
      "<!DOCTYPE html><html><head><meta http-equiv=\"content-type\" "
      "content=\"text/html;charset=utf-8\"><title>";
  html += html_escape(term);
  html +=
      "_搜索结果</title><style>body{color:#333;background:#fff}.c-container{width:538px;"
      "margin-bottom:14px}.t{font-size:medium;font-weight:400}</style><script>var "
      "s_session={\"logId\":\"3812345678\",\"seqId\":\"1\",\"sid\":\"1429_21\"};</script>"
      "</head><body><div id=\"wrapper\"><div id=\"content_left\">";
  int number = page * 10;
  for (const StubResult& result : stub_page.results) {
    ++number;
    const std::string link = link_url(result);
    const std::string title = result_title(number);
    html += "<div class=\"result c-container new-pmd\" id=\"" + std::to_string(number) +
            "\" srcid=\"1599\" tpl=\"se_com_default\" data-click='{\"rsv_bdr\":\"0\",\"p5\":" +
            std::to_string(number) + "}' data-tools='{\"title\":\"" + title + "\",\"url\":\"" +
            link + "\"}'><h3 class=\"t\"><a href=\"" + link + "\" target=\"_blank\">" + title +
            "</a></h3><div class=\"c-abstract\">欢迎访问我们的网站，了解更多产品信息。</div>"
            "</div><style>.c-abstract{line-height:1.54}</style><script>bds.se.mon({\"p\":" +
            std::to_string(number) + "});</script>";
    append_filler(html, filler);
  }
  html += "</div></div>";
  append_filler(html, filler);
  html += "<div id=\"foot\">&copy;2026</div></body></html>";
  return html;
}

std::vector<ReceivedRequest> StubSearchEngine::requests() const { return server_->requests(); }

void StubSearchEngine::clear_requests() { server_->clear_requests(); }

StubScenario fixed_pages(StubPages pages) {
  return [pages = std::move(pages)](std::string_view term, int page) {
    const auto found = pages.find({std::string(term), page});
    return found == pages.end() ? StubPage{} : found->second;
  };
}

StubScenario default_scenario() {
  return [](std::string_view term, int page) {
    std::uint32_t seed = 2166136261u;
    for (unsigned char c : term) seed = (seed ^ c) * 16777619u;
    StubPage stub_page;
    for (int i = 0; i < 10; ++i) {
      StubResult result;
      const int site = static_cast<int>((seed % 97 + page * 7 + i) % 60);
      result.target = "http://www.site" + std::to_string(site) + ".example/";
      if (i == 4) result.target = "https://www.baidu.com/page" + std::to_string(page);
      if (i == 6 && page % 4 == 1) result.answer = LinkAnswer::ok;
      if (i == 8 && page % 10 == 3) result.answer = LinkAnswer::found_without_location;
      stub_page.results.push_back(std::move(result));
    }
    return stub_page;
  };
}

}  // namespace tavrel::testing
