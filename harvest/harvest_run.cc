#include "harvest/harvest_run.h"

namespace tavrel {

void harvest_run(HarvestHost& host) {}

}  // namespace tavrel
