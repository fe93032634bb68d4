#include "harvest/resolve_link.h"

namespace tavrel {
namespace {

constexpr int kResolveTimeoutMs = 5000;
constexpr int kConnectTimeoutMs = 5000;
constexpr int kSendTimeoutMs = 30000;
constexpr int kReceiveTimeoutMs = 5000;
constexpr int kStatusFound = 302;

// "对象创建失败！自己百度查！" in GBK.
constexpr char kCreationFailedMessage[] =
    "\xB6\xD4\xCF\xF3\xB4\xB4\xBD\xA8\xCA\xA7\xB0\xDC\xA3\xA1\xD7\xD4\xBC\xBA\xB0\xD9\xB6\xC8"
    "\xB2\xE9\xA3\xA1";

}  // namespace

Text resolve_result_link(HarvestHost& host, Text& link, const LinkRequestFactory& make_request) {
  std::unique_ptr<LinkRequest> request =
      make_request ? make_request() : std::make_unique<LinkRequest>();
  if (!request) {
    host.message_box(kCreationFailedMessage);
    return {};
  }
  request->SetTimeouts(kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs, kReceiveTimeoutMs);
  request->Option(LinkRequest::kOptionEnableRedirects, 0);
  request->open("GET", link, false);
  request->send();
  if (request->status() == kStatusFound) link = request->GetResponseHeader("Location");
  return link;
}

}  // namespace tavrel
