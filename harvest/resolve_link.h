// Asks a search result's redirect link, once and without following it, for
// the address of the site it leads to.
#pragma once

#include <functional>
#include <memory>

#include "harvest/harvest_host.h"
#include "http/link_request.h"
#include "text/text.h"

namespace tavrel {

// Makes the request object for one link; null when it cannot be made.
using LinkRequestFactory = std::function<std::unique_ptr<LinkRequest>()>;

// Requests link with a GET that does not follow redirects. On an answer with
// status exactly 302 the link becomes the value of its "Location" header (the
// empty text when there is none); any other answer, or none, leaves it as it
// is. Returns a copy of the link as it then stands.
//
// When the request object cannot be made, shows "对象创建失败！自己百度查！"
// through host, and once it is dismissed returns the empty text, leaving the
// link untouched. make_request null means the real request object.
Text resolve_result_link(HarvestHost& host, Text& link,
                         const LinkRequestFactory& make_request = nullptr);

}  // namespace tavrel
