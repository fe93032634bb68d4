// Closes its own main window while workers are running, paused and waiting
// on a message box, then leaves the exit to the start-up code. The closing
// test expects the process to end promptly with status 0.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <atomic>

#include "app/app_main.h"
#include "app/main_window.h"

namespace {

std::atomic<int> started{0};
std::atomic<bool> waiting_on_box{false};
std::atomic<int> appended{0};

void body(tavrel::HarvestHost& host) {
  switch (started++) {
    case 0:  // waits on a message box
      waiting_on_box = true;
      host.message_box("still open");
      return;
    case 1:  // appends without end; paused from outside
    default:
      for (;;) {
        host.wait_at_gate();
        host.append_edit_text(tavrel::EditBox::results, "x.example\r\n");
        ++appended;
      }
  }
}

}  // namespace

int main(int argc, char** argv) {
  tavrel::run_app(argc, argv, body, [](tavrel::MainWindow& window) {
    auto click = [&window](const char16_t* name) {
      window.findChild<QPushButton*>(QString::fromUtf16(name))->click();
    };
    click(u"按钮_开始");  // the message-box worker
    click(u"按钮_开始");  // a worker that will be paused
    click(u"按钮_暂停");
    click(u"按钮_开始");  // workers that keep appending
    click(u"按钮_开始");
    click(u"按钮_开始");
    // Close once a box is up and lines are arriving.
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, &window, [&window, poll] {
      bool box_shown = false;
      for (QWidget* w : QApplication::topLevelWidgets())
        box_shown = box_shown || (qobject_cast<QMessageBox*>(w) && w->isVisible());
      if (!box_shown || !waiting_on_box || appended < 100) return;
      poll->stop();
      window.close();
    });
    poll->start(1);
  });
}
