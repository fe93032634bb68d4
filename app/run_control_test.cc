// Start, Pause and Continue pressed on the window, with a body that passes
// the gate in a loop and counts how often it got through.
#include <sys/syscall.h>
#include <unistd.h>

#include <QPushButton>
#include <QTest>
#include <array>
#include <atomic>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"

namespace tavrel {
namespace {

// What one worker has done, as seen from outside.
struct Probe {
  std::atomic<long> tid{0};
  std::atomic<int> passed{0};
  std::atomic<int> limit{1 << 30};  // passes before the body returns
  std::atomic<bool> ended{false};
};

// True while the thread sleeps in the kernel. A probe body blocks nowhere
// but at the gate, so a sleeping worker is one held by its gate.
bool sleeping(const Probe& probe) {
  std::ifstream stat("/proc/self/task/" + std::to_string(probe.tid.load()) + "/stat");
  std::string line;
  std::getline(stat, line);
  const auto close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'S';
}

}  // namespace

class RunControlTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    // A worker left paused keeps its thread and its probe to the end, also
    // past the test object: the probes are never freed.
    static auto& all_probes = *new std::vector<std::unique_ptr<std::array<Probe, 4>>>;
    all_probes.push_back(std::make_unique<std::array<Probe, 4>>());
    probes_ = all_probes.back().get();
    started_ = 0;
    auto* probes = probes_;
    auto* started = &started_;
    launches_left_ = 1 << 30;
    window_ = std::make_unique<MainWindow>(
        [probes, started](HarvestHost& host) {
          Probe& probe = (*probes)[size_t((*started)++)];
          probe.tid = long(syscall(SYS_gettid));
          while (probe.passed < probe.limit) {
            host.wait_at_gate();
            ++probe.passed;
            std::this_thread::yield();
          }
          probe.ended = true;
        },
        [this](std::function<void()> body) {
          if (launches_left_-- <= 0) return false;
          std::thread(std::move(body)).detach();
          return true;
        });
    window_->show();
  }
  void cleanup() {
    // Let every worker that can still be reached finish.
    for (Probe& probe : *probes_) probe.limit = 0;
    window_.reset();
  }

  void pauses_are_counted() {
    Probe& worker = probe(0);
    click(u"按钮_开始");
    QTRY_VERIFY(worker.passed > 0);
    click(u"按钮_暂停");
    click(u"按钮_暂停");
    QTRY_VERIFY(sleeping(worker));
    const int held_at = worker.passed;
    click(u"按钮_继续");
    QVERIFY(sleeping(worker));
    QCOMPARE(worker.passed.load(), held_at);
    click(u"按钮_继续");
    QTRY_VERIFY(worker.passed > held_at);
    // A Continue while running does not bank a pause.
    click(u"按钮_继续");
    click(u"按钮_暂停");
    QTRY_VERIFY(sleeping(worker));
    click(u"按钮_继续");
    QTRY_VERIFY(worker.passed > held_at + 1);
  }

  // Pause and Continue reach only the newest worker; a worker paused when
  // Start is pressed again stays paused.
  void only_the_newest_worker_is_held() {
    Probe& first = probe(0);
    Probe& second = probe(1);
    click(u"按钮_开始");
    click(u"按钮_暂停");
    QTRY_VERIFY(first.tid != 0 && sleeping(first));
    click(u"按钮_开始");
    QTRY_VERIFY(second.passed > 0);
    click(u"按钮_暂停");
    QTRY_VERIFY(second.tid != 0 && sleeping(second));
    click(u"按钮_继续");
    QTRY_VERIFY(second.passed > 1000);
    QVERIFY(sleeping(first));
    click(u"按钮_继续");  // still the second's: runs already, nothing banked
    click(u"按钮_暂停");
    QTRY_VERIFY(sleeping(second));
    QVERIFY(sleeping(first));
    const int second_at = second.passed;
    click(u"按钮_继续");
    QTRY_VERIFY(second.passed > second_at);
    // Two workers side by side, the older one not held.
    Probe& third = probe(2);
    click(u"按钮_开始");
    click(u"按钮_暂停");
    QTRY_VERIFY(third.tid != 0 && sleeping(third));
    const int at = second.passed;
    QTRY_VERIFY(second.passed > at + 1000);
  }

  void pause_and_continue_without_a_live_worker_do_nothing() {
    click(u"按钮_暂停");  // before any Start
    click(u"按钮_继续");
    Probe& first = probe(0);
    first.limit = 100;
    click(u"按钮_开始");
    QTRY_VERIFY(first.ended);
    QCOMPARE(first.passed.load(), 100);
    click(u"按钮_继续");  // after the end
    click(u"按钮_暂停");

    // A Start that cannot make its thread leaves no worker to hold, so the
    // one started before it runs on through Pause.
    Probe& second = probe(1);
    click(u"按钮_开始");
    QTRY_VERIFY(second.passed > 0);
    launches_left_ = 0;
    click(u"按钮_开始");
    click(u"按钮_暂停");
    const int at = second.passed;
    QTRY_VERIFY(second.passed > at + 1000);
    QCOMPARE(started_.load(), 2);
  }

 private:
  Probe& probe(int i) { return (*probes_)[size_t(i)]; }
  void click(const char16_t* name) {
    auto* button = window_->findChild<QPushButton*>(QString::fromUtf16(name));
    QVERIFY(button != nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
  }

  std::array<Probe, 4>* probes_ = nullptr;
  std::atomic<int> started_{0};
  std::atomic<int> launches_left_{0};
  std::unique_ptr<MainWindow> window_;
};

}  // namespace tavrel

QTEST_MAIN(tavrel::RunControlTest)
#include "run_control_test.moc"
