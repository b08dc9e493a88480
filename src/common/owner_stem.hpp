#pragma once

#include <string>
#include <string_view>

namespace kelvo {

// The file name stem of an owner's files (the state file, the runtime status): a plain owner as
// it is; one that is empty, "." or "..", or holds "/", "\", "%" or a control byte, with every
// byte outside A-Z a-z 0-9 . _ - written as %XX (upper-case hex). So the file stays inside its
// folder and no two owners share a file.
std::string owner_file_stem(std::string_view owner);

}  // namespace kelvo
