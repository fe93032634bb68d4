// One read of the results box plus one appended line, as a harvest worker
// does them for every new address, with the box already holding 0, 10,000
// or 100,000 lines (about 5 MB at the largest). The window runs on the main
// thread with its event loop; the benchmarks run on a worker thread.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <cstdio>
#include <thread>

#include "app/main_window.h"

namespace {

tavrel::MainWindow* window = nullptr;

QString lines(int count) {
  QString text;
  text.reserve(qsizetype(count) * 51);
  for (int i = 0; i < count; ++i)
    text += QString::asprintf("http://site-%07d.example.com/path/to/page.html\n", i);
  return text;
}

void BM_ReadAndAppend(benchmark::State& state) {
  const QString filled = lines(int(state.range(0)));
  QMetaObject::invokeMethod(
      window,
      [&] { window->findChild<QPlainTextEdit*>(QStringLiteral("编辑框2"))->setPlainText(filled); },
      Qt::BlockingQueuedConnection);
  // The first read after a change not made by an append converts the box.
  benchmark::DoNotOptimize(window->read_control_text(tavrel::EditBox::results));

  const tavrel::Text line = "http://new-site.example.com/\r\n";
  size_t bytes = 0;
  for (auto _ : state) {
    const tavrel::Text text = window->read_control_text(tavrel::EditBox::results);
    bytes = text.size();
    window->append_edit_text(tavrel::EditBox::results, line);
  }
  state.counters["box_bytes"] = double(bytes);
}
BENCHMARK(BM_ReadAndAppend)
    ->Arg(0)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The first read after the user has edited the box converts its whole text.
void BM_ReadAfterUserEdit(benchmark::State& state) {
  const QString filled = lines(int(state.range(0)));
  auto* results = window->findChild<QPlainTextEdit*>(QStringLiteral("编辑框2"));
  QMetaObject::invokeMethod(
      window, [&] { results->setPlainText(filled); }, Qt::BlockingQueuedConnection);
  for (auto _ : state) {
    QMetaObject::invokeMethod(
        window, [&] { QTextCursor(results->document()).insertText(QStringLiteral("x")); },
        Qt::BlockingQueuedConnection);
    benchmark::DoNotOptimize(window->read_control_text(tavrel::EditBox::results));
  }
}
BENCHMARK(BM_ReadAfterUserEdit)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  tavrel::MainWindow main_window([](tavrel::HarvestHost&) {});
  main_window.show();
  window = &main_window;

  std::thread runner([&app] {
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    QMetaObject::invokeMethod(
        &app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
  });
  app.exec();
  runner.join();
  return 0;
}
