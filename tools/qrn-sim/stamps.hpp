#pragma once

#include <cstdint>
#include <string>

namespace kelvo::sim {

// "2024-05-01T12:00:03Z": the boundary time stamps of the digest.
std::string utc_stamp(std::uint64_t ms);

// "2024-05-01 14:00:03" in the local time zone: the inbox as a person reads it.
std::string local_stamp(std::uint64_t ms);

}  // namespace kelvo::sim
