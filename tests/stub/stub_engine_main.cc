// Serves the sample scenario of the stub search engine on the loopback
// interface until interrupted, so that Tavrel can be tried without internet:
//
//   TAVREL_SEARCH_HOST=127.0.0.1:PORT ./scripts/launch
#include <signal.h>

#include <cstdio>
#include <mutex>

#include "tests/stub/stub_search_engine.h"

int main() {
  // Block the stop signals before any server thread starts, then wait for one.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  std::mutex print_mutex;
  tavrel::testing::StubOptions options;
  options.on_request = [&](const tavrel::testing::ReceivedRequest& request) {
    std::lock_guard lock(print_mutex);
    std::printf("%s %s\n", request.method.c_str(), request.target.c_str());
    std::fflush(stdout);
  };
  tavrel::testing::StubSearchEngine engine(tavrel::testing::default_scenario(), options);
  std::printf("Stub search engine listening on %s\n", engine.host_port().c_str());
  std::printf("Try Tavrel against it:  TAVREL_SEARCH_HOST=%s ./scripts/launch\n",
              engine.host_port().c_str());
  std::printf("Press Ctrl+C to stop.\n");
  std::fflush(stdout);

  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  return 0;
}
