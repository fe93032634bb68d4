// One harvest: every keyword of the keywords box, 76 result pages each, every
// result link resolved, de-duplicated against the results box, filtered by
// the exclusions box and appended to the results box.
#pragma once

#include "harvest/harvest_host.h"
#include "harvest/resolve_link.h"
#include "text/text.h"

namespace tavrel {

// The web search asked when TAVREL_SEARCH_HOST is not set.
inline constexpr char kDefaultSearchHost[] = "www.baidu.com";

// The host (optionally "host:port") the result pages are asked from: the
// value of the environment variable TAVREL_SEARCH_HOST when it is set and not
// empty, otherwise kDefaultSearchHost.
Text search_host();

struct HarvestSettings {
  Text search_host = kDefaultSearchHost;
  // Makes the request object of each link; null means the real one.
  LinkRequestFactory make_link_request;
};

// The whole work of one harvest worker thread. Reaches the window only
// through host.
void harvest_run(HarvestHost& host);
// The same against the given search host and link requests. (A name of its
// own, so that harvest_run can be handed around as a plain function.)
void harvest_run_with(HarvestHost& host, const HarvestSettings& settings);

}  // namespace tavrel
