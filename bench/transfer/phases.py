#!/usr/bin/env python3
"""Time to a loaded board, phase by phase, from the log of one transfer.

   phases.py run LOG STAMPS -- COMMAND...
       Runs COMMAND, follows LOG as it grows and writes every new log line to
       STAMPS with the time it appeared (seconds since COMMAND started, to the
       millisecond: the log's own time stamps carry whole seconds only). The
       last line of STAMPS holds the exit time, the exit code and the CPU time
       (user + system) of COMMAND.

   phases.py report CASE STAMPS STATS SIMLOG PAYLOAD RATE IMAGE_OK
       Prints one case: each phase's time, the data phase as the board saw it
       (from the simulator's summary), the ratio of the whole command to the
       payload line time (PAYLOAD bytes x 11 bits / RATE), the fixed phases
       (everything but the data), the line's rate changes and tavrel-cli's CPU
       time over its wall time.
"""
import json
import os
import re
import subprocess
import sys
import time

POLL_S = 0.005   # how often the log is looked at while the command runs

# Phases, each ending at the first line (after the previous phase's end)
# that matches its pattern. The identification ends when the step machine
# opens the release (the "===" line of the board); the restart
# identification begins with the first identification query or search after
# the end of the data.
PHASES = [
    ("identification (with any rate search)", re.compile(r"^; ===============$")),
    ("relays, transfer mode, rate, erase, announce", re.compile(r"^; Envoi du fichier ")),
    ("data (program's side, with the end pause)", re.compile(r"^; Fin du fichier\.$")),
    ("checksum, end of transfer mode, rates back", re.compile(r">\$PKVR,IDENT<|,n,8,2$")),
    ("identification after the restart", re.compile(r"^; End of transfer$")),
    ("end report and exit", None),
]
DATA_PHASE = 2


def run(log, stamps, command):
    pos = os.path.getsize(log) if os.path.exists(log) else 0
    start = time.monotonic()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    pending = b""
    lines = []

    def follow():
        nonlocal pos, pending
        try:
            with open(log, "rb") as f:
                f.seek(pos)
                data = f.read()
        except OSError:
            return
        pos += len(data)
        pending += data
        now = time.monotonic() - start
        while b"\n" in pending:
            line, pending = pending.split(b"\n", 1)
            lines.append((now, line.decode("utf-8", "replace").rstrip("\r")))

    status = None
    while status is None:
        follow()
        pid, status_word, usage = os.wait4(child.pid, os.WNOHANG)
        if pid == child.pid:
            status = os.waitstatus_to_exitcode(status_word)
            cpu = usage.ru_utime + usage.ru_stime
            break
        time.sleep(POLL_S)
    end = time.monotonic() - start
    follow()
    with open(stamps, "w") as out:
        for t, text in lines:
            out.write(f"{t:.3f} {text}\n")
        out.write(f"{end:.3f} <exit {status} cpu {cpu:.3f}>\n")
    return status


def read_stamps(path):
    lines, end, code, cpu = [], 0.0, None, 0.0
    with open(path) as f:
        for raw in f:
            t, _, text = raw.rstrip("\n").partition(" ")
            m = re.match(r"<exit (-?\d+) cpu ([\d.]+)>", text)
            if m:
                end, code, cpu = float(t), int(m.group(1)), float(m.group(2))
            else:
                lines.append((float(t), text))
    # The log of the transfer begins with its banner line.
    first = next((i for i, (_, text) in enumerate(lines) if "Début du transfert" in text), 0)
    return lines[first:], end, code, cpu


def phase_times(lines, end):
    """[(name, seconds or None)], and the index of the line where the restart
    identification begins (None when it was not reached)."""
    times, at, index, restart = [], 0.0, 0, None
    for name, pattern in PHASES:
        if pattern is None:
            times.append((name, end - at))
            break
        hit = next((i for i in range(index, len(lines)) if pattern.search(lines[i][1])), None)
        if hit is None:
            times.append((name, None))
            continue
        times.append((name, lines[hit][0] - at))
        if len(times) == DATA_PHASE + 2:
            restart = hit
        at, index = lines[hit][0], hit + 1
    return times, restart


def first_answer_after(lines, start):
    """Time of the first identification answer received from line `start` on."""
    for t, text in lines[start:]:
        if re.search(r" : \$PKVR,IDENT,", text):
            return t
    return None


def rate_changes(simlog):
    try:
        with open(simlog) as f:
            return sum(1 for line in f if "line rate set to" in line)
    except OSError:
        return None


def report(case, stamps, stats_path, simlog, payload, rate, image_ok):
    lines, end, code, cpu = read_stamps(stamps)
    payload_s = int(payload) * 11 / int(rate)
    with open(stats_path) as f:
        stats = json.load(f)
    board = stats.get("data_phase") or {}
    times, restart = phase_times(lines, end)
    data = times[DATA_PHASE][1]
    print(f"== {case}: exit {code}, board image {'equals' if image_ok == '1' else 'DIFFERS FROM'} the release")
    for name, seconds in times:
        print(f"   {name:<46} {'   -' if seconds is None else f'{seconds:6.2f} s'}")
        if name.startswith("identification after") and restart is not None and seconds is not None:
            heard = first_answer_after(lines, restart)
            if heard is not None:
                begun = lines[restart][0]
                print(f"   {'  board first heard after':<46} {heard - begun:6.2f} s, "
                      f"then {begun + seconds - heard:.2f} s to count as up (\"Reserved 3\")")
    seen = board.get("elapsed_s")
    if seen is not None and data is not None:
        print(f"   {'  data as the board saw it':<46} {seen:6.2f} s  (line {100 * board.get('utilisation', 0):.1f} % "
              f"busy at {board.get('rate')} bit/s; program's side - board's = {data - seen:.2f} s)")
    fixed = end - data if data is not None else None
    print(f"   {'whole command':<46} {end:6.2f} s = {end / payload_s:.2f} x payload line time "
          f"({payload_s:.2f} s); goal 1.3 x + 8 s = {1.3 * payload_s + 8:.2f} s")
    if fixed is not None:
        print(f"   {'fixed phases (all but the data)':<46} {fixed:6.2f} s")
    changes = rate_changes(simlog)
    print(f"   line rate changes seen by the receiver: {changes}; "
          f"tavrel-cli CPU {cpu:.2f} s over {end:.1f} s wall = {100 * cpu / end:.2f} %")
    with open(os.environ.get("SUMMARY", os.devnull), "a") as summary:
        summary.write(f"{case:<20} {end:8.2f} {end / payload_s:6.2f} {'-' if data is None else f'{data:6.2f}':>8} "
                      f"{'-' if fixed is None else f'{fixed:6.2f}':>8}  {'ok' if image_ok == '1' else 'IMAGE DIFFERS'}\n")


def main():
    if len(sys.argv) > 4 and sys.argv[1] == "run" and sys.argv[4] == "--":
        sys.exit(run(sys.argv[2], sys.argv[3], sys.argv[5:]))
    if len(sys.argv) == 9 and sys.argv[1] == "report":
        report(*sys.argv[2:])
        return
    sys.exit(__doc__)


if __name__ == "__main__":
    main()
