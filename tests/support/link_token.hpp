#pragma once

#include <string>

#include "frame/frame_mac.hpp"

namespace kelvo::testing {

// The link token that the unit tests bind and sign with, and the frame key it gives.
inline const std::string kLink = "link-token-1";
inline const FrameKey kKey = derive_frame_key(kLink);

}  // namespace kelvo::testing
