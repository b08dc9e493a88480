// kelvo-fleet's metrics as a real prometheus-node-exporter reads them from its textfile folder.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "common/clock.hpp"
#include "common/files.hpp"
#include "runtime/runtime_status.hpp"
#include "support/shell_session.hpp"

namespace kelvo::testing {
namespace {

const std::filesystem::path kExporter = "/usr/bin/prometheus-node-exporter";

// A loopback port nobody listens on right now.
int free_port() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

// The process id of a child that has ended and been reaped.
std::int32_t dead_pid() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

void write_status(const std::filesystem::path& dir, RuntimeStatus status) {
  status.version = "0.6.1";
  status.updated = wall_now();
  ASSERT_TRUE(replace_file_unsynced(runtime_status_path(dir, status.owner),
                                    encode_runtime_status(status), dir / "tmp"));
}

TEST(FleetMetrics, NodeExporterServesTheShellsSeries) {
  ASSERT_TRUE(std::filesystem::exists(kExporter))
      << "needs the Debian package prometheus-node-exporter (./scripts/test installs it)";
  TempDir runtime, textfiles;
  RuntimeStatus blocked{};
  blocked.pid = ::getpid();
  blocked.owner = "we\"ird\\owner";
  blocked.shell_id = "KELVO-0";
  blocked.pacing = Pacing::Blocked;
  blocked.nudges_total = 3;
  write_status(runtime.path(), blocked);
  RuntimeStatus gone{};
  gone.pid = dead_pid();
  gone.owner = "gone";
  write_status(runtime.path(), gone);

  const std::string output = (textfiles.path() / "kelvo.prom").string();
  const ProgramRun fleet =
      run_program({fleet_program().string(), "--runtime-dir", runtime.path().string(),
                   "--prometheus", "--output", output});
  EXPECT_EQ(fleet.exit_code, 1) << fleet.err;  // the blocked agent and the gone shell
  EXPECT_EQ(fleet.out + fleet.err, "");

  const std::string address = "127.0.0.1:" + std::to_string(free_port());
  RunningProgram exporter({kExporter.string(), "--web.listen-address=" + address,
                           "--collector.disable-defaults", "--collector.textfile",
                           "--collector.textfile.directory=" + textfiles.path().string()});
  ProgramRun scrape{};
  ASSERT_TRUE(wait_until(
      [&] {
        scrape = run_program({"curl", "-sf", "http://" + address + "/metrics"});
        return scrape.exit_code == 0 || !exporter.running();
      },
      std::chrono::seconds(20)));
  ASSERT_EQ(scrape.exit_code, 0) << exporter.err();
  for (const std::string line :
       {"kelvo_blocked{owner=\"we\\\"ird\\\\owner\",shell_id=\"KELVO-0\"} 1",
        "kelvo_nudges_total{owner=\"we\\\"ird\\\\owner\",shell_id=\"KELVO-0\"} 3",
        "kelvo_up{owner=\"gone\",shell_id=\"\"} 0", "node_textfile_scrape_error 0"}) {
    EXPECT_NE(scrape.out.find("\n" + line + "\n"), std::string::npos) << line << "\n" << scrape.out;
  }
}

}  // namespace
}  // namespace kelvo::testing
