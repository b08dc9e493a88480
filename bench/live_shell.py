#!/usr/bin/env python3
"""The real kelvo-shell against the real qrn-sim, in a throw-away host home.

  live_shell.py respond --shell S --sim M [--count 200]   operator `status` round trips
  live_shell.py soak --shell S --sim M [--seconds 600]    peak resident size over a long run

Each prints one JSON object on standard output: figures only, no verdicts.
"""
import argparse
import json
import math
import os
import random
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

OWNER = "demo"
SHELL_ID = "KELVO-0"


class Session:
    """A qrn-sim home with one link for OWNER and the shell running against it."""

    def __init__(self, shell, sim):
        self.sim = sim
        self.home = tempfile.mkdtemp(prefix="kelvo-bench-home-")
        self.state_dir = tempfile.mkdtemp(prefix="kelvo-bench-state-")
        self.env = dict(os.environ, QRN_SIM_HOME=self.home)
        self.inbox_path = os.path.join(self.home, "inbox", OWNER + ".jsonl")
        self.link = self.verb("link", "new", "--owner", OWNER).strip()
        self.verb("agent", "busy", OWNER)  # a fresh endpoint is idle since its link was made
        self.err = open(os.path.join(self.state_dir, "shell.err"), "wb")
        self.shell = subprocess.Popen(
            [shell, "--link", self.link, "--qrn", sim, "--state-dir", self.state_dir],
            env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=self.err)
        self.wait_for_messages(1, timeout=10)  # the intro

    def verb(self, *args):
        done = subprocess.run([self.sim, *args], env=self.env, capture_output=True, text=True)
        if done.returncode != 0:
            raise RuntimeError(f"qrn-sim {' '.join(args)}: {done.stderr.strip()}")
        return done.stdout

    def inbox(self):
        try:
            with open(self.inbox_path, encoding="utf-8") as f:
                return [json.loads(line) for line in f if line.strip()]
        except FileNotFoundError:
            return []

    def inbox_size(self):
        try:
            return os.stat(self.inbox_path).st_size
        except FileNotFoundError:
            return 0

    def wait_for_messages(self, count, timeout):
        end = time.monotonic() + timeout
        while len(self.inbox()) < count:
            if time.monotonic() > end or self.shell.poll() is not None:
                raise RuntimeError(f"no message {count} in the inbox; shell: {self.shell_err()}")
            time.sleep(0.01)

    def shell_err(self):
        with open(self.err.name, encoding="utf-8", errors="replace") as f:
            return f.read()

    def peak_resident_kib(self):
        with open(f"/proc/{self.shell.pid}/status", encoding="utf-8") as f:
            fields = dict(line.split(":", 1) for line in f if ":" in line)
        return {k: int(fields[k].split()[0]) for k in ("VmHWM", "VmRSS")}

    def close(self):
        if self.shell.poll() is None:
            self.shell.send_signal(signal.SIGTERM)
            self.shell.wait(timeout=10)
        self.err.close()
        shutil.rmtree(self.home, ignore_errors=True)
        shutil.rmtree(self.state_dir, ignore_errors=True)


def percentile(values, p):
    """Nearest rank: the smallest value with at least p % of the values at or below it."""
    ordered = sorted(values)
    return ordered[max(0, math.ceil(p / 100 * len(ordered)) - 1)]


def respond(args):
    """Queues `status` at a random moment and times until its reply lands, `count` times."""
    session = Session(args.shell, args.sim)
    try:
        latencies = []
        for _ in range(args.count):
            # Commands come at any point of the shell's cycle, not just after its last reply.
            time.sleep(random.uniform(0, 0.6))
            size = session.inbox_size()
            session.verb("shell", "cmd", SHELL_ID, "status")
            queued = time.monotonic()
            while session.inbox_size() == size:
                if time.monotonic() - queued > 10:
                    raise RuntimeError(f"no status reply; shell: {session.shell_err()}")
                time.sleep(0.001)
            latencies.append((time.monotonic() - queued) * 1000)
            if " status \u2014 " not in session.inbox()[-1]["text"]:
                raise RuntimeError("the message that landed is no status reply")
        # The host's own call time: one poll of the (now empty) queue, as the shell makes it.
        poll_call = ["api", "--adapter", "KELVO", "poll", SHELL_ID, "--link", session.link]
        calls = []
        for _ in range(50):
            start = time.monotonic()
            session.verb(*poll_call)
            calls.append((time.monotonic() - start) * 1000)
        print(json.dumps({
            "count": len(latencies),
            "p50_ms": statistics.median(latencies),
            "p99_ms": percentile(latencies, 99),
            "max_ms": max(latencies),
            "host_poll_median_ms": statistics.median(calls),
        }))
    finally:
        session.close()


# What the agent and the operator do during the soak, in turn, one step every half second.
SOAK_STEPS = [
    ("agent", "say", OWNER, "Working through the review comments now."),
    ("agent", "say", OWNER, "CI is running, back soon. !!wait=1!!"),
    ("shell", "cmd", SHELL_ID, "status"),
    ("agent", "idle", OWNER, "--ago", "61"),
    ("agent", "say", OWNER, "A long report that the host cuts short. " * 20, "--truncate", "64"),
    ("shell", "cmd", SHELL_ID, "delay", "30"),
    ("agent", "busy", OWNER),
    ("agent", "say", OWNER, "!!classify=zzzzzz-1:ci_run!! and !!done!!"),
    ("shell", "cmd", SHELL_ID, "classify", "zzzzzz-1", "ci_run"),
    ("shell", "cmd", SHELL_ID, "retire", "ci_run peer_wait"),
    ("boundary", OWNER),
    ("shell", "cmd", SHELL_ID, "pause"),
]


def soak(args):
    """Plays the agent and the operator for `seconds`, then reads the shell's peak resident size."""
    session = Session(args.shell, args.sim)
    try:
        start = time.monotonic()
        steps = 0
        while time.monotonic() - start < args.seconds:
            session.verb(*SOAK_STEPS[steps % len(SOAK_STEPS)])
            steps += 1
            time.sleep(0.5)
        if session.shell.poll() is not None:
            raise RuntimeError(f"the shell ended during the soak: {session.shell_err()}")
        memory = session.peak_resident_kib()
        print(json.dumps({
            "seconds": round(time.monotonic() - start),
            "steps": steps,
            "messages": len(session.inbox()),
            "vmhwm_kib": memory["VmHWM"],
            "vmrss_kib": memory["VmRSS"],
        }))
    finally:
        session.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("mode", choices=["respond", "soak"])
    parser.add_argument("--shell", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--count", type=int, default=200)
    parser.add_argument("--seconds", type=float, default=600)
    args = parser.parse_args()
    try:
        (respond if args.mode == "respond" else soak)(args)
    except RuntimeError as error:
        print(f"live_shell: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
