// One HTTP request for a single link, made the way the harvest asks a result
// link for the address it leads to: a synchronous GET with four time-outs, an
// optional ban on following redirects, and the status and headers of the
// answer. Every failure is silent: the status reads 0 and header values read
// empty. The body of the answer is never read; the request ends as soon as the
// answer's headers are in.
#pragma once

#include <memory>
#include <string_view>

#include "text/text.h"

namespace tavrel {

class LinkRequest {
 public:
  // The index of Option() that switches redirect following (on by default).
  static constexpr int kOptionEnableRedirects = 6;

  LinkRequest();
  ~LinkRequest();
  LinkRequest(const LinkRequest&) = delete;
  LinkRequest& operator=(const LinkRequest&) = delete;

  // Milliseconds for name resolution, connecting, sending the request and
  // each wait for data of the answer. A value <= 0 means no limit. When all
  // four are set, the whole request never takes much longer than their sum.
  void SetTimeouts(int resolve_ms, int connect_ms, int send_ms, int receive_ms);
  // Sets option `index`; only kOptionEnableRedirects is known (0 turns
  // following off), every other index is ignored.
  void Option(int index, int value);
  // Prepares a request. Only "GET" over http and https is supported, and only
  // synchronously (async must be false); anything else leaves the request
  // unusable, so that send() fails.
  void open(std::string_view verb, std::string_view url, bool async);
  // Sends the request and waits for the answer's headers, or fails.
  void send();
  // The status code of the answer; 0 before send() or when it failed.
  int status() const;
  // The value of the first header of that name (ASCII case ignored) of the
  // answer, without surrounding blanks; empty when absent or without answer.
  Text GetResponseHeader(std::string_view name) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tavrel
