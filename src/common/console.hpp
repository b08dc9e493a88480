#pragma once

#include <string>
#include <string_view>

#include "common/urgency.hpp"

namespace kelvo {

// Writes "kelvo-shell: " + message + LF to standard error in one write, so lines from several
// processes never interleave mid-line. When standard error is the journal (JOURNAL_STREAM names
// its device and inode), the line begins with the urgency's "<N>" prefix, which the journal takes
// as the line's priority; anywhere else the line is the same without it. Standard output is never
// used.
void report(Urgency urgency, std::string_view message);

// The line as report() writes it, given whether standard error is the journal.
std::string console_line(Urgency urgency, std::string_view message, bool to_journal);

// Whether `journal_stream` ("<device>:<inode>", JOURNAL_STREAM's form) names the file that
// `stderr_device` and `stderr_inode` describe.
bool names_stream(std::string_view journal_stream, unsigned long long stderr_device,
                  unsigned long long stderr_inode);

}  // namespace kelvo
