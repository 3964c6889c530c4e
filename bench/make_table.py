#!/usr/bin/env python3
"""The table of bench/run.sh, from its results file: one line a measurement, "figure side value...".

Each figure is the median of its rounds, with their spread (lowest to highest); the ratio is ours
over the reference's value of the same run.
"""
import collections
import statistics
import sys


def load(path):
    values = collections.defaultdict(list)
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 3:
                values[(parts[0], parts[1])].append(parts[2:])
    return values


def numbers(values, figure, side, scale=1.0):
    out = []
    for row in values.get((figure, side), []):
        try:
            out.append(float(row[0]) * scale)
        except ValueError:
            pass
    return out


def summary(xs, digits):
    if not xs:
        return "-", None
    m = statistics.median(xs)
    if len(xs) == 1:
        return f"{m:.{digits}f}", m
    return f"{m:.{digits}f} [{min(xs):.{digits}f}-{max(xs):.{digits}f}]", m


def main():
    values = load(sys.argv[1])
    rows = []

    def add(figure, ours, reference, ratio, target, met):
        rows.append((figure, ours, reference, ratio, target, "yes" if met else ("NO" if met is not None else "-")))

    # Press latency, in milliseconds.
    ours_text, ours = summary(numbers(values, "latency_median", "ours", 1e-3), 2)
    ref_text, ref = summary(numbers(values, "latency_median", "reference", 1e-3), 2)
    ratio = ours / ref if ours is not None and ref else None
    add("press latency, median (ms)", ours_text, ref_text, f"{ratio:.1f}" if ratio else "-",
        "<= 2 ms and <= 2.5 x ref", None if ratio is None else (ours <= 2.0 and ratio <= 2.5))
    ours_text, ours = summary(numbers(values, "latency_p99", "ours", 1e-3), 2)
    ref_text, ref = summary(numbers(values, "latency_p99", "reference", 1e-3), 2)
    add("press latency, 99th percentile (ms)", ours_text, ref_text, f"{ours / ref:.1f}" if ours and ref else "-",
        "<= 10 ms", None if ours is None else ours <= 10.0)

    # Throughput under Wine, requests a second.
    ours_text, ours = summary(numbers(values, "throughput", "ours"), 0)
    ref_text, ref = summary(numbers(values, "throughput", "reference"), 0)
    ratio = ours / ref if ours is not None and ref else None
    add("throughput, 16 clients (requests/s)", ours_text, ref_text, f"{ratio:.3f}" if ratio else "-", ">= 0.5 x ref",
        None if ratio is None else ratio >= 0.5)
    logged = values.get(("logged", "ours"), [])
    if logged:
        pairs = [(int(a), int(b)) for a, b in logged]
        add("log's Anfragen = requests sent, per round", ", ".join(f"{a}/{b}" for a, b in pairs), "-", "-", "equal",
            all(a == b for a, b in pairs))

    # Page load, milliseconds.
    ours_text, ours = summary(numbers(values, "page_median", "ours", 1e-3), 1)
    ref_text, ref = summary(numbers(values, "page_median", "reference", 1e-3), 1)
    add("page load, median of 100 (ms)", ours_text, ref_text, f"{ours / ref:.1f}" if ours and ref else "-", "<= 30 ms",
        None if ours is None else ours <= 30.0)

    # Idle cost, percent of one core.
    ours_text, ours = summary(numbers(values, "idle", "ours"), 1)
    ref_text, ref = summary(numbers(values, "idle", "reference"), 1)
    add("idle cost, program + wineserver (% of a core)", ours_text, ref_text, f"{ours / ref:.1f}" if ours and ref else "-",
        "<= 5 %", None if ours is None else ours <= 5.0)
    prog_text, _ = summary(numbers(values, "idle_program", "ours"), 1)
    server_text, _ = summary(numbers(values, "idle_wineserver", "ours"), 1)
    add("  of which the program / the wineserver", f"{prog_text} / {server_text}", "-", "-", "-", None)
    threads = values.get(("idle_threads", "ours"), [])
    if threads:
        columns = min(len(t) for t in threads)
        shares = [statistics.median(float(t[i]) for t in threads) for i in range(columns)]
        add("  the program's threads, main first", " / ".join(f"{x:.1f}" for x in shares), "-", "-", "-", None)

    # Memory around the throughput rounds.
    def rss(side):
        return [(int(a), int(b)) for a, b in values.get(("rss", side), [])]

    ours_rss, ref_rss = rss("ours"), rss("reference")
    if ours_rss:
        ours_text, ours = summary([b / a for a, b in ours_rss], 3)
        ref_text, ref = summary([b / a for a, b in ref_rss], 3) if ref_rss else ("-", None)
        add("memory after / before throughput", ours_text, ref_text, "-", "<= 1.10", ours <= 1.10)
        growth = ours_rss[-1][1] / ours_rss[0][1]
        ref_growth = ref_rss[-1][1] / ref_rss[0][1] if ref_rss else None
        # Wine's heap and the X pixmaps move the resident size by up to about 1 MB between rounds
        # either way; a leak grows it round after round.
        add("memory, last round's after / first round's after", f"{growth:.3f}",
            f"{ref_growth:.3f}" if ref_growth else "-", "-", "<= 1.05 (no growth)", growth <= 1.05)
        add("  resident KB before/after, per round", ", ".join(f"{a}/{b}" for a, b in ours_rss),
            ", ".join(f"{a}/{b}" for a, b in ref_rss), "-", "-", None)
        threads = [(int(a), int(b)) for a, b in values.get(("threads", "ours"), [])]
        if threads:
            add("  the program's threads before/after, per round", ", ".join(f"{a}/{b}" for a, b in threads),
                "-", "-", "-", None)
        settled = values.get(("rss_settled", "ours"), [])
        if settled:
            kb, count = (int(v) for v in settled[-1])
            add("  resident KB once the pool's idle threads ended, / first before", f"{kb / ours_rss[0][0]:.3f}",
                "-", "-", f"({kb} KB, {count} threads)", None)

    # The native core against nginx.
    ours_text, ours = summary(numbers(values, "native", "ours"), 0)
    ref_text, ref = summary(numbers(values, "native", "reference"), 0)
    ratio = ours / ref if ours is not None and ref else None
    add("native core vs nginx, 16 clients (requests/s)", ours_text, ref_text, f"{ratio:.2f}" if ratio else "-",
        ">= 0.5 x nginx", None if ratio is None else ratio >= 0.5)
    failed = numbers(values, "native_failed", "ours")
    if failed:
        add("  native core: requests refused or reset, per round", ", ".join(f"{x:.0f}" for x in failed),
            ", ".join(f"{x:.0f}" for x in numbers(values, "native_failed", "reference")), "-", "0", all(x == 0 for x in failed))

    # The status frame, natively.
    ours_text, ours = summary(numbers(values, "frame", "ours", 1e-6), 3)
    ref_text, ref = summary(numbers(values, "frame", "reference", 1e-6), 4)
    add("status frame, natively (ms)", ours_text, ref_text + " (memcpy)", f"{ours / ref:.0f}" if ours and ref else "-",
        "< 0.5 ms", None if ours is None else ours < 0.5)

    failures = []
    for key in ("latency_failed", "page_failed", "throughput_failed"):
        for side in ("ours", "reference"):
            n = sum(numbers(values, key, side))
            if n:
                failures.append(f"{key} {side}: {n:.0f}")
    exit_code = values.get(("exit", "ours"), [])

    headers = ("figure", "ours", "reference", "ratio", "target", "met")
    widths = [max(len(str(r[i])) for r in rows + [headers]) for i in range(6)]
    line = lambda r: "| " + " | ".join(str(c).ljust(w) for c, w in zip(r, widths)) + " |"
    print(line(headers))
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for r in rows:
        print(line(r))
    print()
    print("medians of the rounds, [lowest-highest]; references: the minimal Winsock server under Wine "
          "(press latency, throughput, page load, memory), a 3 ms wait loop with a window (idle), "
          "nginx natively (native core), a memcpy of the canvas (frame)")
    if exit_code:
        print(f"the program's exit code at the end: {exit_code[0][0] if exit_code[0] else '?'}")
    if failures:
        print("failed requests: " + "; ".join(failures))


if __name__ == "__main__":
    main()
