#pragma once

namespace kelvo {

// How much a standard-error line matters to a person, as the journal files it: the values are
// sd-daemon(3) levels.
enum class Urgency {
  Error = 3,    // the run ends, or a save was lost
  Warning = 4,  // needs a look: the host failing, a call hung, a state file kept aside, a loss
  Notice = 5,   // worth knowing: supersession, recovery
  Info = 6,     // everything else
};

}  // namespace kelvo
