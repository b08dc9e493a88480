#!/usr/bin/env python3
"""Prints the one summary table of scripts/bench from the figures its runs wrote.

  summary.py BENCH_JSON RESPOND_JSON SOAK_JSON

BENCH_JSON is Google Benchmark's JSON output (medians of repetitions where there are any), the
other two are live_shell.py's. Figures and verdict words only; the exit code says nothing about
the targets.
"""
import json
import sys

NS_PER_UNIT = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}


def load_runs(path):
    """name -> run: the median aggregate where there are repetitions, else the single run."""
    with open(path, encoding="utf-8") as f:
        document = json.load(f)
    runs = {}
    for run in document["benchmarks"]:
        name = run.get("run_name", run["name"]).split("/")[0]
        if run.get("run_type") == "aggregate":
            if run.get("aggregate_name") == "median":
                runs[name] = run
        else:
            runs.setdefault(name, run)
    return runs, document["context"]


def ns(run, clock):
    return run[clock] * NS_PER_UNIT[run["time_unit"]]


def verdict(met):
    return "meets" if met else "MISSES"


def main():
    runs, context = load_runs(sys.argv[1])
    with open(sys.argv[2], encoding="utf-8") as f:
        respond = json.load(f)
    with open(sys.argv[3], encoding="utf-8") as f:
        soak = json.load(f)

    rows = []
    # One MAC check a line: the floor is one HMAC-SHA256 of the same bytes, the arithmetic alone.
    for line in ("CommandLine", "IoLine"):
        pipeline = ns(runs[f"BM_Sort{line}"], "cpu_time")
        one_shot = ns(runs[f"BM_HmacOneShot{line}"], "cpu_time")
        arithmetic = ns(runs[f"BM_HmacArithmetic{line}"], "cpu_time")
        rows.append((f"line pipeline, {line[:-4].lower()} line (1 MAC check)",
                     f"{pipeline:,.0f} ns/line = {1e9 / pipeline:,.0f} lines/s",
                     f"1 HMAC-SHA256 {arithmetic:,.0f} ns (one-shot HMAC() "
                     f"{one_shot:,.0f} ns); target ratio <= 1.3",
                     f"{pipeline / arithmetic:.2f} {verdict(pipeline / arithmetic <= 1.3)} "
                     f"({pipeline / one_shot:.2f} vs HMAC())"))

    host = ns(runs["BM_RunHostTrivial"], "real_time")
    spawn = ns(runs["BM_BareSpawnTrivial"], "real_time")
    rows.append(("host call: run_host of /bin/true (wall)", f"{host / 1e3:,.0f} us",
                 f"bare posix_spawn+waitpid {spawn / 1e3:,.0f} us; target ratio <= 1.10",
                 f"{host / spawn:.2f} {verdict(host / spawn <= 1.10)}"))

    for name, label, target_us in (("BM_CycleEmptyPoll", "empty poll", 20),
                                   ("BM_CyclePoll100Frames", "poll of 100 frames", 1000)):
        cpu_us = ns(runs[name], "cpu_time") / 1e3
        rows.append((f"resting cost, own CPU per cycle, {label}", f"{cpu_us:,.1f} us",
                     f"target < {target_us:,} us", verdict(cpu_us < target_us)))

    peak_mib = soak["vmhwm_kib"] / 1024
    rows.append((f"peak RSS (VmHWM), real shell, {soak['seconds']} s vs qrn-sim",
                 f"{peak_mib:.2f} MiB", "target < 8 MiB", verdict(peak_mib < 8)))

    growth = runs["BM_MemoryGrowthMillionCycles"]
    rss_growth = growth["rss_growth_KiB"]
    rows.append(("growth over 1,000,000 in-process cycles",
                 f"RSS {rss_growth:+,.0f} KiB, heap {growth['heap_growth_B']:+,.0f} B",
                 "target < 64 KiB", verdict(rss_growth < 64 and growth["heap_growth_B"] < 65536)))

    host_ms = respond["host_poll_median_ms"]
    budget = 600 + host_ms
    rows.append((f"status round trip, {respond['count']} commands",
                 f"p50 {respond['p50_ms']:.0f} ms, p99 {respond['p99_ms']:.0f} ms, "
                 f"max {respond['max_ms']:.0f} ms",
                 f"p99 < 600 ms + host poll {host_ms:.1f} ms = {budget:.0f} ms",
                 verdict(respond["p99_ms"] < budget)))

    header = ("measure", "figure", "floor / target", "ratio / verdict")
    widths = [max(len(row[i]) for row in rows + [header]) for i in range(4)]
    line = lambda cells: "| " + " | ".join(c.ljust(w) for c, w in zip(cells, widths)) + " |"
    print(f"machine: {context.get('num_cpus')} CPUs at {context.get('mhz_per_cpu')} MHz, "
          f"run {context.get('date')}")
    print(line(header))
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for row in rows:
        print(line(row))


if __name__ == "__main__":
    main()
