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
#include "support/shell_script.hpp"
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
  ASSERT_TRUE(
      replace_shared_file(runtime_status_path(dir, status.owner), encode_runtime_status(status)));
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
  gone.pacing = Pacing::Blocked;  // its last word, no longer true
  write_status(runtime.path(), gone);
  RuntimeStatus stopped{};
  stopped.pid = dead_pid();
  stopped.owner = "stop\x1b]52;c;eA==\x07\u202eped";  // drives no terminal that shows the metrics
  stopped.ended = RuntimeEnd{"stopped", 0, wall_now(), "stopped"};
  write_status(runtime.path(), stopped);
  std::filesystem::create_symlink("/proc/self/pagemap", runtime.path() / "planted.json");

  // The output's name, planted as a link to a file the writer must not touch.
  const auto output = textfiles.path() / "kelvo.prom";
  const auto victim = runtime.path() / "victim";
  ASSERT_TRUE(replace_shared_file(victim, "kept\n"));
  std::filesystem::create_symlink(victim, output);
  const ProgramRun fleet =
      run_program({fleet_program().string(), "--runtime-dir", runtime.path().string(),
                   "--prometheus", "--output", output.string()});
  EXPECT_EQ(fleet.exit_code, 1)
      << fleet.err;  // the blocked agent, the gone shell, the planted file
  EXPECT_EQ(fleet.out + fleet.err, "kelvo-fleet: skipped planted.json: a symbolic link\n");
  EXPECT_EQ(read_file(victim), "kept\n");
  EXPECT_FALSE(std::filesystem::is_symlink(output));

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
        "kelvo_up{owner=\"gone\",shell_id=\"\"} 0", "kelvo_gone{owner=\"gone\",shell_id=\"\"} 1",
        "kelvo_ended{cause=\"stopped\",owner=\"stop\\\\x1b]52;c;eA==\\\\x07\\\\u202eped\","
        "shell_id=\"\"} 1",
        "kelvo_files_skipped 1", "node_textfile_scrape_error 0"}) {
    EXPECT_NE(scrape.out.find("\n" + line + "\n"), std::string::npos) << line << "\n" << scrape.out;
  }
  EXPECT_EQ(scrape.out.find("kelvo_blocked{owner=\"gone\""), std::string::npos) << scrape.out;
  EXPECT_EQ(scrape.out.find_first_of("\x1b\x07"), std::string::npos) << scrape.out;
}

}  // namespace
}  // namespace kelvo::testing
