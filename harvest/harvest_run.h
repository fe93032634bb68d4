// One harvest: every keyword of the keywords box, 76 result pages each, every
// result link resolved, de-duplicated against the results box, filtered by
// the exclusions box and appended to the results box.
#pragma once

#include "harvest/harvest_host.h"

namespace tavrel {

// The whole work of one harvest worker thread. Reaches the window only
// through host.
void harvest_run(HarvestHost& host);

}  // namespace tavrel
