#!/usr/bin/env python3
"""Runs each converter on the same S3 file, in one run, and reports CPU time
(user + system, best of N) and peak memory of each, with the CPU-time ratios
of Tavrel's conversion against srec_cat and objcopy."""
import os
import subprocess
import sys


def run(argv):
    """CPU seconds and peak resident memory (KiB) of one child process."""
    pid = os.fork()
    if pid == 0:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, 1)
        os.execvp(argv[0], argv)
    _, status, usage = os.wait4(pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"failed: {' '.join(argv)}")
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def best(argv, repeats):
    runs = [run(argv) for _ in range(repeats)]
    return min(r[0] for r in runs), max(r[1] for r in runs)


def main():
    bench, work, repeats = sys.argv[1], sys.argv[2], int(sys.argv[3])
    results = {}
    for label in ("small", "large"):
        s3 = os.path.join(work, f"{label}.s3")
        results[label] = {
            "tavrel": best([bench, s3], repeats),
            "srec_cat": best(["srec_cat", s3, "-o", os.path.join(work, f"{label}.srec_cat.bin"), "-binary"], repeats),
            "objcopy": best(["objcopy", "-I", "srec", "-O", "binary", s3, os.path.join(work, f"{label}.objcopy.bin")], repeats),
        }
    for label, tools in results.items():
        size = os.path.getsize(os.path.join(work, f"{label}.s3"))
        print(f"{label} S3 file: {size / 1048576:.1f} MiB")
        for tool, (cpu, rss) in tools.items():
            print(f"  {tool:9s} cpu {cpu:7.3f} s   peak memory {rss / 1024:7.1f} MiB")
    large = results["large"]
    print(f"ratio tavrel/srec_cat (CPU time): {large['tavrel'][0] / large['srec_cat'][0]:.2f}")
    print(f"ratio tavrel/objcopy  (CPU time): {large['tavrel'][0] / large['objcopy'][0]:.2f}")
    grow = large["tavrel"][1] / results["small"]["tavrel"][1]
    print(f"tavrel peak memory, large file / small file: {grow:.2f}")


if __name__ == "__main__":
    main()
