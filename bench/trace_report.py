#!/usr/bin/env python3
"""Where the time of a request goes under Wine, from a trace of bench/traced_program.cpp.

    trace_report.py TRACE [FIRST_CONNECTION LAST_CONNECTION]

Prints, as medians and 90th percentiles in microseconds: the main loop's wait by how it ended,
the time from one poll to the next, and each step of a request's way through the program, from
its connection's acceptance to the poll that finds it closed.
"""
import collections
import statistics
import sys

EVENTS = {0: "nothing", 1: "accepted", 2: "data", 3: "marker", 4: "closed"}
WAIT_KINDS = {0: "no message", 1: "control", 2: "button up", 3: "close", 4: "end", 5: "message"}


def quantiles(values):
    values = sorted(values)
    if not values:
        return "-"
    pick = lambda f: values[min(len(values) - 1, int(f * len(values)))]
    return f"n={len(values):6d}  median={pick(0.5):9.1f}  p90={pick(0.9):9.1f}  max={values[-1]:9.1f}"


def main():
    path = sys.argv[1]
    connections = (int(sys.argv[2]), int(sys.argv[3])) if len(sys.argv) > 3 else None
    records = []
    with open(path) as f:
        for line in f:
            t, kind, client, value = line.split()
            records.append((float(t), kind, int(client), int(value)))
    if not records:
        print("empty trace")
        return
    if connections:
        # From the first poll naming the first connection to the last record of the last one.
        named = [i for i, r in enumerate(records) if connections[0] <= r[2] <= connections[1]]
        if named:
            records = records[named[0]:named[-1] + 1]

    waits = collections.defaultdict(list)
    polls = collections.defaultdict(list)
    begin = None
    last_poll = None
    wait_end = None
    pointer_done = None
    poll_begin = None
    per_client = collections.defaultdict(dict)
    handlers_started = collections.Counter()
    for t, kind, client, value in records:
        if kind == "wait_begin":
            begin = t
        elif kind == "wait_end" and begin is not None:
            waits[WAIT_KINDS.get(value, str(value))].append(t - begin)
            begin = None
            wait_end = t
        elif kind == "pointer_done":
            if wait_end is not None:
                polls["wait end -> pointer read"].append(t - wait_end)
            pointer_done = t
        elif kind == "poll_begin":
            if pointer_done is not None:
                polls["pointer read -> poll begins"].append(t - pointer_done)
            poll_begin = t
        elif kind == "poll":
            if poll_begin is not None:
                polls["poll itself"].append(t - poll_begin)
                poll_begin = None
            if wait_end is not None:
                polls["wait end -> poll done"].append(t - wait_end)
                wait_end = None
            if last_poll is not None:
                polls["poll to poll"].append(t - last_poll)
            last_poll = t
            name = EVENTS.get(value, str(value))
            polls["events: " + name].append(0)
            steps = per_client[client]
            if value in (1, 2, 4):
                steps.setdefault(name, t)
        elif kind in ("queued", "started", "sent", "finished", "key_begin", "key_end"):
            steps = per_client[client]
            if kind == "started":
                handlers_started[client] += 1
            steps.setdefault(kind, t)
        elif kind == "peek":
            per_client[client].setdefault("peek", t)

    print("main loop wait (time-out 3 ms), by how it ended:")
    for name, values in sorted(waits.items()):
        print(f"  {name:28s} {quantiles(values)}")
    print("polls:")
    for name, values in sorted(polls.items()):
        if name.startswith("events"):
            print(f"  {name:28s} n={len(values)}")
        else:
            print(f"  {name:28s} {quantiles(values)}")

    steps = [
        ("accepted", "data", "accepted -> data seen by a poll"),
        ("data", "queued", "data seen -> handler queued"),
        ("queued", "started", "queued -> handler runs (pool)"),
        ("started", "peek", "handler runs -> first peek"),
        ("peek", "key_begin", "first peek -> key press begins"),
        ("key_begin", "key_end", "key press (SendInput)"),
        ("peek", "sent", "first peek -> answer sent"),
        ("sent", "finished", "answer sent -> handler done (log)"),
        ("accepted", "sent", "accepted -> answer sent"),
        ("sent", "closed", "answer sent -> close seen by a poll"),
    ]
    print("a request's way (connections served once):")
    for a, b, label in steps:
        values = [s[b] - s[a] for c, s in per_client.items()
                  if c and (not connections or connections[0] <= c <= connections[1]) and a in s and b in s and s[b] >= s[a]]
        print(f"  {label:40s} {quantiles(values)}")
    extra = sum(n - 1 for n in handlers_started.values() if n > 1)
    print(f"  handlers started for a connection already being served: {extra}")


if __name__ == "__main__":
    main()
