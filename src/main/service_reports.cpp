#include "main/service_reports.hpp"

#include <utility>

#include "cycle/service_status.hpp"

namespace kelvo {

void ServiceReports::ready(const RunSettings& run, const ShellState& state) {
  last_status_ = service_status(run, state);
  manager_.notify("READY=1\nSTATUS=" + last_status_);
}

void ServiceReports::cycle_done(const RunSettings& run, const ShellState& state) {
  std::string notice = manager_.watchdog_wanted() ? "WATCHDOG=1" : "";
  std::string status = service_status(run, state);
  if (status != last_status_) {
    if (!notice.empty()) notice += '\n';
    notice += "STATUS=" + status;
    last_status_ = std::move(status);
  }
  if (!notice.empty()) manager_.notify(notice);
}

void ServiceReports::stopping() { manager_.notify("STOPPING=1"); }

}  // namespace kelvo
