#!/usr/bin/env python3
"""Checks that tavrel-sim --pace reads the line at the rate the program set.

   pace_check.py TTY STATS RATE BYTES

Sets the pseudo-terminal to RATE (termios2, any rate), writes BYTES filler
bytes and waits until the simulator reports them all received (as lost bytes:
the receiver listens at another rate, which does not change the pacing).
Prints the measured and the expected line time (11 bits a byte)."""
import fcntl, json, os, struct, sys, time

TCGETS2, TCSETS2 = 0x802C542A, 0x402C542B
BOTHER, CS8, CREAD, CLOCAL = 0o010000, 0o000060, 0o000200, 0o004000
IBSHIFT = 16
FORMAT = "4I B 19s 2I"


def set_rate(fd, rate):
    fields = list(struct.unpack(FORMAT, fcntl.ioctl(fd, TCGETS2, bytes(struct.calcsize(FORMAT)))))
    fields[0] = fields[1] = fields[3] = 0
    fields[2] = BOTHER | (BOTHER << IBSHIFT) | CS8 | CREAD | CLOCAL
    fields[6] = fields[7] = rate
    fcntl.ioctl(fd, TCSETS2, struct.pack(FORMAT, *fields))


def heard(stats_path):
    try:
        with open(stats_path) as f:
            s = json.load(f)
        return s["bytes_lost"] + s["bytes_received"]
    except (OSError, ValueError, KeyError):
        return 0


def main():
    tty, stats, rate, count = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    fd = os.open(tty, os.O_RDWR | os.O_NOCTTY)
    set_rate(fd, rate)
    time.sleep(0.2)   # the simulator samples the rate every 20 ms
    before = heard(stats)
    start = time.monotonic()
    data = b"x" * count
    while data:
        data = data[os.write(fd, data):]
    while heard(stats) - before < count and time.monotonic() - start < 600:
        time.sleep(0.05)
    took = time.monotonic() - start
    os.close(fd)
    expected = count * 11 / rate
    print(f"{rate:>6} bit/s: paced reading of {count} bytes took {took:.2f} s "
          f"(line time {expected:.2f} s, ratio {took / expected:.3f})")


main()
