// Three harvests started one after the other on the real window against the
// stub search engine, with Pause and Continue pressed at moments drawn from a
// fixed seed: every run ends, no appended line goes missing, and every line
// is an address the stub's links resolve to.
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "harvest/harvest_run.h"
#include "tests/stub/stub_search_engine.h"

namespace tavrel {
namespace {

using testing::StubPage;
using testing::StubResult;
using testing::StubSearchEngine;

constexpr int kTimeoutMs = 60000;

// Every line the runs appended, in the order their appends returned.
struct AppendLog {
  std::mutex mutex;
  std::vector<std::string> lines;
  std::atomic<int> runs_ended{0};
};

// Passes everything through to the worker's own host and notes each append
// once the window has made it.
class RecordingHost final : public HarvestHost {
 public:
  RecordingHost(HarvestHost& inner, AppendLog& log) : inner_(inner), log_(log) {}
  Text read_control_text(EditBox box) override { return inner_.read_control_text(box); }
  void append_edit_text(EditBox box, const Text& text) override {
    inner_.append_edit_text(box, text);
    std::lock_guard lock(log_.mutex);
    log_.lines.push_back(text);
  }
  void message_box(const Text& text) override { inner_.message_box(text); }
  void wait_at_gate() override { inner_.wait_at_gate(); }

 private:
  HarvestHost& inner_;
  AppendLog& log_;
};

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start + 2));
  }
  if (start != text.size()) lines.push_back(text.substr(start));  // a line without its CR LF
  return lines;
}

}  // namespace

class SeveralWorkersTest : public QObject {
  Q_OBJECT

 private slots:
  void three_runs_with_random_pauses_lose_no_line() {
    // Addresses spread over the first eight pages, some on several.
    std::vector<StubResult> pool;
    for (int i = 0; i < 12; ++i) pool.push_back({"http://site" + std::to_string(i) + ".example/"});
    testing::StubPages pages;
    for (int page = 0; page < 8; ++page) {
      StubPage& p = pages[{"w", page}];
      for (int k = 0; k < 3; ++k) p.results.push_back(pool[(page * 5 + k * 7) % pool.size()]);
    }
    StubSearchEngine engine(testing::fixed_pages(pages));
    HarvestSettings settings;
    settings.search_host = engine.host_port();

    AppendLog log;
    MainWindow window([&log, settings](HarvestHost& host) {
      RecordingHost recording(host, log);
      harvest_run_with(recording, settings);
      ++log.runs_ended;
    });
    window.show();
    auto* keywords = window.findChild<QPlainTextEdit*>(QString::fromUtf16(u"编辑框1"));
    QVERIFY(keywords);
    keywords->setPlainText("w");

    std::mt19937 random(20261211);
    int held = 0;  // Pause presses on the newest run not yet matched
    auto press = [&](const char16_t* name) {
      auto* button = window.findChild<QPushButton*>(QString::fromUtf16(name));
      QVERIFY(button);
      QTest::mouseClick(button, Qt::LeftButton);
    };
    auto release_newest = [&] {
      for (; held > 0; --held) press(u"按钮_继续");
    };
    for (int run = 0; run < 3; ++run) {
      // Pause and Continue only reach the newest run: an older one must not
      // be left held when the next Start takes its place.
      release_newest();
      press(u"按钮_开始");
      const int presses = std::uniform_int_distribution(2, 6)(random);
      for (int i = 0; i < presses; ++i) {
        QTest::qWait(std::uniform_int_distribution(0, 30)(random));
        if (std::bernoulli_distribution(0.5)(random)) {
          press(u"按钮_暂停");
          ++held;
        } else {
          press(u"按钮_继续");
          held = std::max(0, held - 1);
        }
      }
    }
    release_newest();
    QTRY_COMPARE_WITH_TIMEOUT(log.runs_ended.load(), 3, kTimeoutMs);

    std::set<std::string> resolved;
    for (const auto& [key, page] : pages) {
      for (const StubResult& r : page.results) resolved.insert(r.target + "\r\n");
    }
    const std::string box = window.read_control_text(EditBox::results);
    std::vector<std::string> shown = split_lines(box);
    std::vector<std::string> appended;
    {
      std::lock_guard lock(log.mutex);
      appended = log.lines;
    }
    std::sort(shown.begin(), shown.end());
    std::sort(appended.begin(), appended.end());
    QVERIFY(shown == appended);
    for (const std::string& line : shown) QVERIFY2(resolved.count(line) == 1, line.c_str());
    // Two runs may both append an address, but none is missing.
    QVERIFY(std::set<std::string>(shown.begin(), shown.end()) == resolved);

    int page_requests = 0;
    for (const auto& request : engine.requests())
      page_requests += request.target.starts_with("/s?");
    QCOMPARE(page_requests, 3 * 76);
  }
};

}  // namespace tavrel

QTEST_MAIN(tavrel::SeveralWorkersTest)
#include "several_workers_test.moc"
