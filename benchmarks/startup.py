#!/usr/bin/env python3
"""Start-up of the real program: time from launch to the first painted window, and resident memory.

Each run starts build-perf/bin/ombrix (or the one in --build) with OMBRIX_STARTUP_PROBE set, a
pseudo-terminal as its serial line, a listening socket as its AGWPE engine and a free port for its
status server, all on 127.0.0.1, with its settings in a temporary XDG_CONFIG_HOME. The program
writes the steady clock when its window is first painted; the difference to the clock read just
before launch is the start-up time. Runs are --pause seconds apart. With --rss the program is left
running for a second after that and its VmRSS is read from /proc.

With --baseline the same is done for benchmarks' startup-baseline, an empty Qt window that opens
the same serial device and the same two sockets: the yardstick for what Ombrix itself adds.

  benchmarks/startup.py [--build DIR] [--runs N] [--platform offscreen|xvfb] [--rss] [--baseline]
                        [--archive FILE]
"""
import argparse
import os
import pty
import select
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

from harness import (end_process, free_port, proc_status, program_env, remove_stale_lock,
                     start_xvfb, write_settings)

HERE = os.path.dirname(os.path.abspath(__file__))


def one_run(argv, env, rss, device):
    """Returns (milliseconds to the first painted window, VmRSS in KiB or None)."""
    env = dict(env, OMBRIX_STARTUP_PROBE="1" if rss else "quit")
    t0 = time.monotonic_ns()
    proc = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                            cwd=env["OMBRIX_WORKDIR"])
    shown = None
    deadline = time.monotonic() + 20
    buf = b""
    while shown is None and time.monotonic() < deadline:
        ready, _, _ = select.select([proc.stderr], [], [], 1)
        if not ready:
            if proc.poll() is not None:
                break
            continue
        chunk = os.read(proc.stderr.fileno(), 4096)
        if not chunk:
            break
        buf += chunk
        for line in buf.split(b"\n"):
            if line.startswith(b"shown "):
                shown = int(line.split()[1])
    kib = None
    if shown is not None and rss:
        time.sleep(1.0)
        kib = int(proc_status(proc.pid)["VmRSS"][0])
    end_process(proc, terminate=rss or shown is None)  # with "quit" it ends by itself
    remove_stale_lock(device, proc.pid)
    if shown is None:
        sys.exit("no window shown; stderr: " + buf.decode(errors="replace"))
    return (shown - t0) / 1e6, kib


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default=os.path.join(HERE, "..", "build-perf"))
    ap.add_argument("--baseline", action="store_true",
                    help="measure startup-baseline (empty window, same port and sockets)")
    ap.add_argument("--runs", type=int, default=21)
    ap.add_argument("--platform", choices=["offscreen", "xvfb"], default="offscreen")
    ap.add_argument("--rss", action="store_true", help="also read VmRSS one second after showing")
    ap.add_argument("--pause", type=float, default=0.5,
                    help="seconds of rest before each run (default 0.5): back to back, a start "
                         "meets the X server still tearing down the last window")
    ap.add_argument("--archive", default=None,
                    help="the archive file (ArchivePath; \"\" for none); default: the program's "
                         "default, made by the first run in the run's own data folder")
    args = ap.parse_args()

    work = tempfile.mkdtemp(prefix="ombrix-startup-")
    xvfb = None
    master, slave = pty.openpty()
    engine = socket.socket()
    try:
        engine.bind(("127.0.0.1", 0))
        engine.listen(64)
        status_port = free_port()
        write_settings(work, os.ttyname(slave), engine.getsockname()[1], status_port,
                       args.archive)
        display = None
        if args.platform == "xvfb":
            xvfb, display = start_xvfb()
        env = dict(program_env(work, args.platform, display), OMBRIX_WORKDIR=work)

        if args.baseline:
            argv = [os.path.join(args.build, "bin", "startup-baseline"), os.ttyname(slave),
                    str(engine.getsockname()[1]), str(status_port)]
        else:
            argv = [os.path.join(args.build, "bin", "ombrix")]
        device = os.ttyname(slave)
        one_run(argv, env, False, device)  # warm the page cache and the font cache
        times, rss = [], []
        for _ in range(args.runs):
            time.sleep(args.pause)
            ms, kib = one_run(argv, env, args.rss, device)
            # The engine's backlog takes each connection; drop them so it never fills.
            engine.setblocking(False)
            try:
                while True:
                    engine.accept()[0].close()
            except BlockingIOError:
                pass
            times.append(ms)
            if kib is not None:
                rss.append(kib)
        times.sort()
        what = "startup-baseline" if args.baseline else "ombrix"
        print(f"{what}, platform {args.platform}, {args.runs} runs {args.pause} s apart, "
              f"load {os.getloadavg()[0]:.2f}")
        print(f"start-up to shown window: median {statistics.median(times):.1f} ms, "
              f"min {times[0]:.1f}, max {times[-1]:.1f}")
        if rss:
            print(f"VmRSS one second after showing: median {statistics.median(rss) / 1024:.1f} MiB "
                  f"({statistics.median(rss)} KiB), min {min(rss)}, max {max(rss)} KiB")
    finally:
        if xvfb is not None:
            xvfb.terminate()
            xvfb.wait()
        engine.close()
        os.close(master)
        os.close(slave)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
