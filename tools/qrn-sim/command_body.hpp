#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kelvo::sim {

// The JSON arguments an operator's words make for a shell_command:
//   delay 30               → {"minutes":30}   (a word that isn't a JSON number stays a string)
//   classify abc234-2 ci_run → {"id":"abc234-2","name":"ci_run"}
//   retire a b             → {"names":"a b"}
//   pause, status          → {}
// Any other op, or a known op with the wrong number of words, gives {"args":[…]}.
std::string shell_command_body(std::string_view op, const std::vector<std::string>& words);

}  // namespace kelvo::sim
