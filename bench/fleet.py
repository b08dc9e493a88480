#!/usr/bin/env python3
"""N real shells and N floor loops side by side against one qrn-sim home.

  fleet.py --shell S --sim M --floor F --count N [--seconds 60] [--json FILE]

Each shell and each floor loop (bench/fleet_floor.c: the two host calls and a 500 ms sleep, with
nothing else) has an owner and a link of its own; every endpoint is busy, so no shell sends a
nudge. qrn-sim logs the time of every poll it answers, a file per link (QRN_SIM_POLL_LOG), which
measures shells and floor loops the same way. Over a window of `seconds`, once every shell has
sent its intro and `settle` seconds more:

  cycles/s    per loop, from its polls inside the window: the mean over the loops of a kind, and
              the median and slowest loop
  interval    poll to poll, p50 and p99 over every interval of a kind inside the window
  own CPU     per cycle: the loops' own run time (/proc/PID/schedstat) over their cycles
  host CPU    per cycle: the loops' reaped children, qrn-sim (/proc/PID/stat cutime+cstime)
  idle        the machine's idle share over the window (/proc/stat)

Prints a table; with --json, also writes the figures there. Figures only, no verdicts but the
targets' words.
"""
import argparse
import json
import math
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

TICKS = os.sysconf("SC_CLK_TCK")
KINDS = ("shell", "floor")


def percentile(values, p):
    """Nearest rank: the smallest value with at least p % of the values at or below it."""
    ordered = sorted(values)
    return ordered[max(0, math.ceil(p / 100 * len(ordered)) - 1)]


class Fleet:
    def __init__(self, args):
        self.args = args
        self.work = tempfile.mkdtemp(prefix="kelvo-fleet-")
        self.logs = os.path.join(self.work, "polls")
        os.mkdir(self.logs)
        self.env = dict(os.environ, QRN_SIM_HOME=os.path.join(self.work, "home"),
                        QRN_SIM_POLL_LOG=self.logs)
        self.errors = open(os.path.join(self.work, "stderr"), "wb")
        self.loops = []  # (kind, owner, link, Popen)

    def sim(self, *args):
        done = subprocess.run([self.args.sim, *args], env=self.env, capture_output=True,
                              text=True)
        if done.returncode != 0:
            raise RuntimeError(f"qrn-sim {' '.join(args)}: {done.stderr.strip()}")
        return done.stdout

    def new_link(self, owner):
        link = self.sim("link", "new", "--owner", owner).strip()
        self.sim("agent", "busy", owner)
        return link

    def start(self):
        sim = os.path.abspath(self.args.sim)
        state_dir = os.path.join(self.work, "state")
        quiet = dict(env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=self.errors)
        # Every link first, on a machine still quiet; then shells and floor loops in turn, so
        # neither kind starts first.
        commands = []
        for i in range(self.args.count):
            owner = f"shell-{i:03}"
            link = self.new_link(owner)
            commands.append(("shell", owner, link, [self.args.shell, "--link", link, "--qrn", sim,
                                                    "--state-dir", state_dir]))
            owner = f"floor-{i:03}"
            link = self.new_link(owner)
            bound = self.sim("api", "--adapter", "KELVO", "bind-shell", "--link", link)
            shell_id = bound.split("BOUND_SHELL:")[1].split()[0]
            commands.append(("floor", owner, link, [self.args.floor, sim, shell_id, link]))
        for kind, owner, link, argv in commands:
            self.loops.append((kind, owner, link, subprocess.Popen(argv, **quiet)))

    def wait_for_intros(self, timeout):
        """Every shell has bound and sent its intro: it is in its steady cycle."""
        inbox = os.path.join(self.env["QRN_SIM_HOME"], "inbox")
        end = time.monotonic() + timeout
        for kind, owner, _, process in self.loops:
            if kind != "shell":
                continue
            while not os.path.exists(os.path.join(inbox, owner + ".jsonl")):
                if process.poll() is not None or time.monotonic() > end:
                    raise RuntimeError(f"{owner} sent no intro; stderr: {self.stderr()}")
                time.sleep(0.1)

    def messages_after_intros(self):
        """Messages the shells sent besides their intros: each is one more host call."""
        inbox = os.path.join(self.env["QRN_SIM_HOME"], "inbox")
        count = 0
        for kind, owner, _, _ in self.loops:
            if kind == "shell":
                with open(os.path.join(inbox, owner + ".jsonl"), encoding="utf-8") as f:
                    count += sum(1 for line in f if line.strip()) - 1
        return count

    def stderr(self):
        with open(self.errors.name, encoding="utf-8", errors="replace") as f:
            return f.read()

    def snapshot(self):
        with open("/proc/stat", encoding="ascii") as f:
            cpu = [int(v) for v in f.readline().split()[1:9]]
        loops = []
        for _, _, _, process in self.loops:
            with open(f"/proc/{process.pid}/stat", encoding="ascii") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            with open(f"/proc/{process.pid}/schedstat", encoding="ascii") as f:
                run_ns = int(f.read().split()[0])
            # Fields 14-17 of stat, counted from the state (field 3): utime stime cutime cstime.
            children_ticks = int(fields[13]) + int(fields[14])
            loops.append({"own_ns": run_ns, "children_s": children_ticks / TICKS})
        return {"ms": time.time() * 1000, "cpu": cpu, "loops": loops,
                "load": os.getloadavg()[0]}

    def stop(self):
        for _, _, _, process in self.loops:
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
        for _, _, _, process in self.loops:
            process.wait(timeout=30)
        self.errors.close()
        shutil.rmtree(self.work, ignore_errors=True)


def polls_in(log, start_ms, end_ms):
    """The times of the polls a link's log holds, inside the window."""
    try:
        with open(log, encoding="ascii") as f:
            return [int(line) for line in f if start_ms <= int(line) <= end_ms]
    except FileNotFoundError:
        return []


def figures(fleet, before, after):
    seconds = (after["ms"] - before["ms"]) / 1000
    kinds = {kind: {"rates": [], "intervals": [], "cycles": 0, "own_s": 0.0, "host_s": 0.0}
             for kind in KINDS}
    for i, (kind, owner, link, process) in enumerate(fleet.loops):
        if process.poll() is not None:
            raise RuntimeError(f"{owner} ended during the run; stderr: {fleet.stderr()}")
        log = os.path.join(fleet.logs, link + ".log")
        times = sorted(polls_in(log, before["ms"], after["ms"]))
        if len(times) < 2:
            raise RuntimeError(f"{owner} polled {len(times)} time(s) in {seconds:.0f} s")
        k = kinds[kind]
        k["rates"].append((len(times) - 1) / ((times[-1] - times[0]) / 1000))
        k["intervals"] += [b - a for a, b in zip(times, times[1:])]
        k["cycles"] += len(times)
        k["own_s"] += (after["loops"][i]["own_ns"] - before["loops"][i]["own_ns"]) / 1e9
        k["host_s"] += after["loops"][i]["children_s"] - before["loops"][i]["children_s"]
    cpu = [b - a for a, b in zip(before["cpu"], after["cpu"])]
    result = {"count": fleet.args.count, "seconds": round(seconds, 1),
              "polls_per_s": sum(k["cycles"] for k in kinds.values()) / seconds,
              "idle_share": (cpu[3] + cpu[4]) / sum(cpu),
              "load_before": before["load"], "load_after": after["load"],
              "shell_messages_after_intros": fleet.messages_after_intros()}
    for kind, k in kinds.items():
        result[kind] = {
            "cycles_per_s": sum(k["rates"]) / len(k["rates"]),
            "slowest_loop_cycles_per_s": min(k["rates"]),
            "median_loop_cycles_per_s": percentile(k["rates"], 50),
            "interval_p50_ms": percentile(k["intervals"], 50),
            "interval_p99_ms": percentile(k["intervals"], 99),
            "own_cpu_per_cycle_us": k["own_s"] / k["cycles"] * 1e6,
            "host_cpu_per_cycle_us": k["host_s"] / k["cycles"] * 1e6,
        }
    return result


def table(r):
    shell, floor = r["shell"], r["floor"]
    ratio = shell["cycles_per_s"] / floor["cycles_per_s"]
    rows = [("cycles/s per loop", "{cycles_per_s:.3f}"),
            ("  median, slowest", "{median_loop_cycles_per_s:.2f}, {slowest_loop_cycles_per_s:.2f}"),
            ("poll interval p50", "{interval_p50_ms:.0f} ms"),
            ("poll interval p99", "{interval_p99_ms:.0f} ms"),
            ("own CPU per cycle", "{own_cpu_per_cycle_us:,.0f} us"),
            ("host CPU per cycle", "{host_cpu_per_cycle_us:,.0f} us")]
    lines = [f"fleet: {r['count']} shells and {r['count']} floor loops, {r['seconds']:.0f} s; "
             f"qrn-sim answered {r['polls_per_s']:.0f} polls/s (and as many drive-polls); "
             f"idle {r['idle_share']:.0%}; load average {r['load_before']:.1f} at the start, "
             f"{r['load_after']:.1f} at the end; the shells sent "
             f"{r['shell_messages_after_intros']} message(s) after their intros",
             f"| {'':<20} | {'shells':>12} | {'floor':>12} |",
             f"|{'-' * 22}|{'-' * 14}|{'-' * 14}|"]
    for label, form in rows:
        lines.append(f"| {label:<20} | {form.format(**shell):>12} | {form.format(**floor):>12} |")
    lines.append(f"shell rate / floor rate {ratio:.3f} (target >= 0.95: "
                 f"{'meets' if ratio >= 0.95 else 'MISSES'}); shell p99 "
                 f"{shell['interval_p99_ms']:.0f} ms (target at N = 50: < 1000 ms)")
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--shell", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--floor", required=True)
    parser.add_argument("--count", type=int, required=True)
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--settle", type=float, default=5, help="seconds after the last intro")
    parser.add_argument("--json")
    args = parser.parse_args()
    fleet = Fleet(args)
    try:
        fleet.start()
        fleet.wait_for_intros(timeout=60 + args.count)
        time.sleep(args.settle)
        before = fleet.snapshot()
        time.sleep(args.seconds)
        after = fleet.snapshot()
        result = figures(fleet, before, after)
    except RuntimeError as error:
        print(f"fleet: {error}", file=sys.stderr)
        return 1
    finally:
        fleet.stop()
    print(table(result))
    if args.json:
        with open(args.json, "w", encoding="utf-8") as f:
            json.dump(result, f, indent=2)
    return 0


if __name__ == "__main__":
    sys.exit(main())
