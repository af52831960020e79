#pragma once

#include <string>

#include "model/invocation.h"

namespace truvello::cli {

// One row per sample, tagged with its run:
//   run,repeat,benchmark,status,index,t,dt,ops,rate
// Numbers are written exactly (shortest round-trip form).
std::string csv_text(const Invocation& invocation);

}  // namespace truvello::cli
