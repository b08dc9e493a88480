/* The floor of the fleet benchmark: all that any shell has to do per cycle under the host
 * contract, and nothing more. Two host runs, poll and drive-poll, whose outputs are read and
 * dropped, then a 500 ms sleep; until it is killed.
 *
 *   fleet_floor HOST SHELL_ID LINK
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

/* Runs the host with both outputs on one pipe, reads them to the end and reaps it. */
static void run_host(char* const argv[]) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
  pid_t pid;
  const int error = posix_spawn(&pid, argv[0], &actions, NULL, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (error == 0) {
    char buffer[4096];
    for (;;) {
      const ssize_t n = read(out[0], buffer, sizeof buffer);
      if (n == 0 || (n < 0 && errno != EINTR)) break;
    }
    while (waitpid(pid, NULL, 0) < 0 && errno == EINTR) {
    }
  }
  close(out[0]);
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: fleet_floor HOST SHELL_ID LINK\n");
    return 2;
  }
  char api[] = "api", adapter[] = "--adapter", kelvo[] = "KELVO", poll[] = "poll",
       drive_poll[] = "drive-poll", link[] = "--link";
  char* const poll_args[] = {argv[1], api, adapter, kelvo, poll, argv[2], link, argv[3], NULL};
  char* const drive_args[] = {argv[1], api,  adapter, kelvo, drive_poll,
                              argv[2], link, argv[3], NULL};
  for (;;) {
    run_host(poll_args);
    run_host(drive_args);
    struct timespec rest = {0, 500000000};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
  }
}
