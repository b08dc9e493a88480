#pragma once

#include <nlohmann/json.hpp>

#include "runtime/runtime_status.hpp"

namespace kelvo {

// The status as the file's JSON object, for documents that embed it.
nlohmann::ordered_json runtime_status_json(const RuntimeStatus& status);

}  // namespace kelvo
