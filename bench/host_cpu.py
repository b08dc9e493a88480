#!/usr/bin/env python3
"""The CPU one qrn-sim host call costs, for one or more qrn-sim builds side by side.

  host_cpu.py SIM [SIM…] [--links 200] [--calls 200] [--rounds 5]

Each build gets a home of its own holding `links` bound links, one owner each; then, in
`rounds` rounds that take the builds in turn, `calls` polls and as many drive-polls on those
links, each an empty poll as a shell makes it most of the time. The CPU of a call is the child's
user and system time (wait4); the figure is the median of the rounds' means, in microseconds.
Prints one JSON object a build.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import tempfile


def populate(sim, links):
    home = tempfile.mkdtemp(prefix="kelvo-host-cpu-")
    env = dict(os.environ, QRN_SIM_HOME=home)
    bound = []
    for i in range(links):
        run = lambda *args: subprocess.run([sim, *args], env=env, check=True, text=True,
                                           capture_output=True).stdout
        token = run("link", "new", "--owner", f"owner-{i:03}").strip()
        reply = run("api", "--adapter", "KELVO", "bind-shell", "--link", token)
        bound.append((token, reply.split("BOUND_SHELL:")[1].split()[0]))
    return home, env, bound


def mean_cpu_us(sim, env, bound, call, calls):
    devnull = os.open(os.devnull, os.O_RDWR)
    total = 0.0
    for i in range(calls):
        token, shell_id = bound[i % len(bound)]
        args = [sim, "api", "--adapter", "KELVO", call, shell_id, "--link", token]
        pid = os.posix_spawn(sim, args, env, file_actions=[
            (os.POSIX_SPAWN_DUP2, devnull, 0), (os.POSIX_SPAWN_DUP2, devnull, 1),
            (os.POSIX_SPAWN_DUP2, devnull, 2)])
        _, status, usage = os.wait4(pid, 0)
        if os.waitstatus_to_exitcode(status) != 0:
            raise RuntimeError(f"{sim} {call} failed")
        total += usage.ru_utime + usage.ru_stime
    os.close(devnull)
    return total / calls * 1e6


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("sims", nargs="+")
    parser.add_argument("--links", type=int, default=200)
    parser.add_argument("--calls", type=int, default=200)
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    homes = {sim: populate(sim, args.links) for sim in args.sims}
    means = {(sim, call): [] for sim in args.sims for call in ("poll", "drive-poll")}
    try:
        for _ in range(args.rounds):
            for sim, (_, env, bound) in homes.items():
                for call in ("poll", "drive-poll"):
                    means[(sim, call)].append(mean_cpu_us(sim, env, bound, call, args.calls))
    finally:
        for home, _, _ in homes.values():
            shutil.rmtree(home, ignore_errors=True)
    for sim in args.sims:
        print(json.dumps({"sim": sim, "links": args.links,
                          "poll_cpu_us": round(statistics.median(means[(sim, "poll")])),
                          "drive_poll_cpu_us": round(statistics.median(means[(sim, "drive-poll")]))}))


if __name__ == "__main__":
    main()
