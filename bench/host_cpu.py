#!/usr/bin/env python3
"""The CPU one qrn-sim host call costs, for one or more qrn-sim builds side by side.

  host_cpu.py SIM [SIM…] [--reference PROGRAM…] [--links 200] [--calls 200] [--rounds 5]

Each build gets a home of its own holding `links` bound links, one owner each; then, in
`rounds` rounds that take the builds in turn, `calls` polls and as many drive-polls on those
links, each an empty poll as a shell makes it most of the time. A reference program (a no-op
such as /bin/true) is run as often without arguments: the cost of a process start alone. The
CPU of a call is the child's user and system time (wait4); the figure is the median of the
rounds' means, in microseconds. Prints one JSON object a program.
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


def mean_cpu_us(argv_of, env, calls):
    devnull = os.open(os.devnull, os.O_RDWR)
    total = 0.0
    for i in range(calls):
        args = argv_of(i)
        pid = os.posix_spawn(args[0], args, env, file_actions=[
            (os.POSIX_SPAWN_DUP2, devnull, 0), (os.POSIX_SPAWN_DUP2, devnull, 1),
            (os.POSIX_SPAWN_DUP2, devnull, 2)])
        _, status, usage = os.wait4(pid, 0)
        if os.waitstatus_to_exitcode(status) != 0:
            raise RuntimeError(f"{' '.join(args)} failed")
        total += usage.ru_utime + usage.ru_stime
    os.close(devnull)
    return total / calls * 1e6


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("sims", nargs="+")
    parser.add_argument("--reference", nargs="+", default=[])
    parser.add_argument("--links", type=int, default=200)
    parser.add_argument("--calls", type=int, default=200)
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    homes = {sim: populate(sim, args.links) for sim in args.sims}
    calls = ("poll", "drive-poll")
    means = {(sim, call): [] for sim in args.sims for call in calls}
    means.update({(program, None): [] for program in args.reference})
    try:
        for _ in range(args.rounds):
            for sim, (_, env, bound) in homes.items():
                for call in calls:
                    def argv_of(i, sim=sim, call=call, bound=bound):
                        token, shell_id = bound[i % len(bound)]
                        return [sim, "api", "--adapter", "KELVO", call, shell_id, "--link", token]
                    means[(sim, call)].append(mean_cpu_us(argv_of, env, args.calls))
            for program in args.reference:
                means[(program, None)].append(
                    mean_cpu_us(lambda i, program=program: [program], os.environ, args.calls))
    finally:
        for home, _, _ in homes.values():
            shutil.rmtree(home, ignore_errors=True)
    median = lambda key: round(statistics.median(means[key]))
    for sim in args.sims:
        print(json.dumps({"sim": sim, "links": args.links, "poll_cpu_us": median((sim, "poll")),
                          "drive_poll_cpu_us": median((sim, "drive-poll"))}))
    for program in args.reference:
        print(json.dumps({"reference": program, "cpu_us": median((program, None))}))


if __name__ == "__main__":
    main()
