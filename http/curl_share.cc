#include "http/curl_share.h"

#include <curl/curl.h>

#include <array>
#include <memory>
#include <mutex>

namespace tavrel::curl_share {
namespace {

class Share {
 public:
  explicit Share(bool with_cookies) : share_(curl_share_init()) {
    if (share_ == nullptr) return;
    curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &Share::lock);
    curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &Share::unlock);
    curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    if (with_cookies) curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
  }
  CURLSH* get() const { return share_; }

 private:
  static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<Share*>(self)->mutexes_[index(data)].lock();
  }
  static void unlock(CURL*, curl_lock_data data, void* self) {
    static_cast<Share*>(self)->mutexes_[index(data)].unlock();
  }
  static std::size_t index(curl_lock_data data) {
    auto i = static_cast<std::size_t>(data);
    return i < CURL_LOCK_DATA_LAST ? i : 0;
  }

  CURLSH* share_;
  std::array<std::mutex, CURL_LOCK_DATA_LAST> mutexes_;
};

struct MultiCleanup {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using MultiPtr = std::unique_ptr<CURLM, MultiCleanup>;

}  // namespace

void ensure_global_init() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void* handle(bool with_cookies) {
  ensure_global_init();
  // Never destroyed: worker threads may still be using them while the
  // process exits.
  static Share* const cookies = new Share(true);
  static Share* const plain = new Share(false);
  return with_cookies ? cookies->get() : plain->get();
}

void perform(void* easy, int poll_ms) {
  ensure_global_init();
  CURL* const transfer = static_cast<CURL*>(easy);
  curl_easy_setopt(transfer, CURLOPT_FORBID_REUSE, 1L);
  thread_local const MultiPtr multi(curl_multi_init());
  if (!multi || curl_multi_add_handle(multi.get(), transfer) != CURLM_OK) {
    curl_easy_perform(transfer);
    return;
  }
  int running = 1;
  while (curl_multi_perform(multi.get(), &running) == CURLM_OK && running > 0) {
    if (curl_multi_poll(multi.get(), nullptr, 0, poll_ms, nullptr) != CURLM_OK) break;
  }
  curl_multi_remove_handle(multi.get(), transfer);
}

}  // namespace tavrel::curl_share
