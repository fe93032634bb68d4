// A user's harvest through the real window: keywords typed into the keywords
// box, Start clicked, the stub search engine answering on loopback, and the
// results box compared byte for byte.
#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "app/main_window.h"
#include "harvest/harvest_run.h"
#include "tests/stub/stub_search_engine.h"

namespace tavrel {
namespace {

using testing::LinkAnswer;
using testing::StubPage;
using testing::StubResult;
using testing::StubSearchEngine;

constexpr int kTimeoutMs = 30000;

// Holds every request whose target contains `marker` until released.
class RequestLatch {
 public:
  explicit RequestLatch(std::string marker) : marker_(std::move(marker)) {}
  ~RequestLatch() { release(); }
  void on_request(const testing::ReceivedRequest& request) {
    if (request.target.find(marker_) == std::string::npos) return;
    std::unique_lock lock(mutex_);
    held_ = true;
    released_cv_.wait(lock, [this] { return released_; });
  }
  bool holding() {
    std::lock_guard lock(mutex_);
    return held_;
  }
  void release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    released_cv_.notify_all();
  }

 private:
  std::string marker_;
  std::mutex mutex_;
  std::condition_variable released_cv_;
  bool held_ = false;
  bool released_ = false;
};

}  // namespace

class HarvestEndToEndTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    window_ = std::make_unique<MainWindow>(harvest_run);
    window_->show();
  }
  void cleanup() { window_.reset(); }

  void typed_keywords_fill_the_results_box() {
    const StubResult a{"http://www.a.example/"}, a_upper{"http://WWW.A.example/"},
        b{"https://b.example/shop?id=7"}, c{"http://c.example/"}, d{"http://d.example/end"},
        portal{"http://www.Baidu.com/s?wd=x"},
        moved{"http://moved.example/", LinkAnswer::moved_permanently};
    const std::string chinese = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文 as the query sends it
    StubSearchEngine engine(testing::fixed_pages({
        {{"alpha", 0}, {false, {a, b, portal, a}}},
        {{"alpha", 5}, {false, {moved, a_upper}}},
        {{chinese, 0}, {false, {b, c}}},
        {{chinese, 75}, {false, {d}}},
    }));
    qputenv("TAVREL_SEARCH_HOST", QByteArray::fromStdString(engine.host_port()));

    auto* keywords = edit(u"编辑框1");
    QTest::keyClicks(keywords, "alpha");
    QTest::keyClick(keywords, Qt::Key_Return);
    // Chinese arrives the way an input method commits it.
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf16(u"中文"));
    QCoreApplication::sendEvent(keywords, &commit);
    click(u"按钮_开始");

    const std::string expected = a.target + "\r\n" + b.target + "\r\n" + engine.link_url(moved) +
                                 "\r\n" + a_upper.target + "\r\n" + c.target + "\r\n" + d.target +
                                 "\r\n";
    QTRY_COMPARE_WITH_TIMEOUT(results(), QByteArray::fromStdString(expected), kTimeoutMs);
    QCOMPARE(count_requests(engine, "/s?"), 2 * 76);
    QCOMPARE(count_requests(engine, "/link?"), 4 + 2 + 2 + 1);
  }

  void pause_holds_the_run_until_as_many_continues() {
    const StubResult a{"http://a.example/"}, b{"http://b.example/"}, c{"http://c.example/"};
    RequestLatch latch("&pn=20&");
    testing::StubOptions options;
    options.on_request = [&latch](const testing::ReceivedRequest& r) { latch.on_request(r); };
    StubSearchEngine engine(
        testing::fixed_pages({{{"p", 2}, {false, {a, b}}}, {{"p", 75}, {false, {c}}}}), options);
    qputenv("TAVREL_SEARCH_HOST", QByteArray::fromStdString(engine.host_port()));

    QTest::keyClicks(edit(u"编辑框1"), "p");
    click(u"按钮_开始");
    // The run is inside the request for page 3 when Pause is pressed twice.
    QTRY_VERIFY_WITH_TIMEOUT(latch.holding(), kTimeoutMs);
    click(u"按钮_暂停");
    click(u"按钮_暂停");
    latch.release();

    // Held: the page is answered, but its links are not asked and nothing is
    // appended. Watched for a while, as a user would.
    const int served = static_cast<int>(engine.requests().size());
    QCOMPARE(served, 3);
    QTest::qWait(400);
    QCOMPARE(static_cast<int>(engine.requests().size()), served);
    click(u"按钮_继续");
    QTest::qWait(400);
    QCOMPARE(static_cast<int>(engine.requests().size()), served);
    QCOMPARE(results(), QByteArray());

    click(u"按钮_继续");
    const std::string expected = a.target + "\r\n" + b.target + "\r\n" + c.target + "\r\n";
    QTRY_COMPARE_WITH_TIMEOUT(results(), QByteArray::fromStdString(expected), kTimeoutMs);
    QCOMPARE(count_requests(engine, "/s?"), 76);
  }

 private:
  QPlainTextEdit* edit(const char16_t* name) {
    auto* found = window_->findChild<QPlainTextEdit*>(QString::fromUtf16(name));
    Q_ASSERT(found);
    return found;
  }
  void click(const char16_t* name) {
    auto* button = window_->findChild<QPushButton*>(QString::fromUtf16(name));
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
  }
  // The results box as the harvest reads it: GBK, CR LF line breaks.
  QByteArray results() {
    return QByteArray::fromStdString(window_->read_control_text(EditBox::results));
  }
  static int count_requests(const StubSearchEngine& engine, std::string_view prefix) {
    int n = 0;
    for (const auto& request : engine.requests()) n += request.target.starts_with(prefix);
    return n;
  }

  std::unique_ptr<MainWindow> window_;
};

}  // namespace tavrel

QTEST_MAIN(tavrel::HarvestEndToEndTest)
#include "harvest_e2e_test.moc"
