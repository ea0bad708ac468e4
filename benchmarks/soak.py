#!/usr/bin/env python3
"""Runs the real program against the station simulator and measures it from /proc.

Everything stays on this machine: the simulator's pseudo-terminal is the serial line, a listening
socket on 127.0.0.1 plays the AGWPE engine (it reads and discards), the status server gets a free
port, and the settings live in a temporary XDG_CONFIG_HOME. Each mode ends by itself.

  soak  (default)  the simulator sends a burst every --interval seconds for --minutes minutes;
                   VmRSS, CPU and the threads' context switches are sampled every --sample
                   seconds; at the end the RSS of minute 2 and of the last minute are compared.
  load             while bursts arrive, benchmarks' status-load runs --repeat times against the
                   status server: one client after another; --clients clients at once in waves
                   100 ms apart; --clients clients at once, each asking again as soon as it is
                   answered.
  idle             no data on the serial line: CPU time and context switches of every thread over
                   --minutes minutes (a thread whose timer fires wakes up and switches). With
                   --after-burst the simulator sends one burst first (then nothing for 90 s), so
                   the quiet that is measured follows a decoded set, a shown table and a status
                   line.

  benchmarks/soak.py [soak|load|idle] [--minutes M] [--interval S] [--sample S] [--repeat N]
                     [--clients N] [--no-engine] [--after-burst] [--platform offscreen|xvfb]
                     [--build DIR] [--keep]
"""
import argparse
import os
import pty
import selectors
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

from harness import (end_process, free_port, proc_status, program_env, remove_stale_lock,
                     start_xvfb, write_settings)

HERE = os.path.dirname(os.path.abspath(__file__))
TICKS = os.sysconf("SC_CLK_TCK")


class Engine(threading.Thread):
    """A stand-in for the AGWPE engine on 127.0.0.1: takes connections, reads and discards."""

    def __init__(self):
        super().__init__(daemon=True)
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        self.listener.setblocking(False)
        self.port = self.listener.getsockname()[1]
        self.bytes = 0
        self.stopping = False

    def run(self):
        sel = selectors.DefaultSelector()
        sel.register(self.listener, selectors.EVENT_READ)
        while not self.stopping:
            for key, _ in sel.select(0.5):
                if key.fileobj is self.listener:
                    conn, _ = self.listener.accept()
                    conn.setblocking(False)
                    sel.register(conn, selectors.EVENT_READ)
                    continue
                try:
                    data = key.fileobj.recv(65536)
                except OSError:
                    data = b""
                if data:
                    self.bytes += len(data)
                else:
                    sel.unregister(key.fileobj)
                    key.fileobj.close()
        self.listener.close()


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        rest = f.read().rsplit(")", 1)[1].split()
    return int(rest[11]) + int(rest[12])  # utime + stime


def thread_switches(pid):
    """{thread id: (name, voluntary + involuntary context switches)}"""
    out = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            st = proc_status(f"{pid}/task/{tid}")
            out[tid] = (" ".join(st["Name"]),
                        int(st["voluntary_ctxt_switches"][0]) +
                        int(st["nonvoluntary_ctxt_switches"][0]))
        except (FileNotFoundError, KeyError):
            pass
    return out


def status_reply(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=2) as s:
            s.sendall(b"?")
            data = b""
            while True:
                chunk = s.recv(4096)
                if not chunk:
                    return data
                data += chunk
    except OSError:
        return None


class Run:
    def __init__(self, args):
        self.args = args
        self.bin = os.path.abspath(os.path.join(args.build, "bin"))
        self.work = tempfile.mkdtemp(prefix="ombrix-soak-")
        self.procs = []
        self.engine = None
        self.pty = None
        self.status_port = free_port()
        self.ombrix = None

    def spawn(self, argv, **kw):
        p = subprocess.Popen(argv, **kw)
        self.procs.append(p)
        return p

    def start(self, with_station):
        a = self.args
        display = None
        if a.platform == "xvfb":
            xvfb, display = start_xvfb()
            self.procs.append(xvfb)
        env = program_env(self.work, a.platform, display)
        if with_station:
            device = os.path.join(self.work, "station")
            self.sim_log = open(os.path.join(self.work, "sim.log"), "w")
            count = int(a.minutes * 60 / a.interval) + 30
            if a.mode == "idle":
                count = 2  # one burst now, the next after a.interval
            self.spawn([os.path.join(self.bin, "ombrix-sim"), "--link", device, "--interval",
                        str(a.interval), "--seed", "7", "--count", str(count)],
                       stdout=self.sim_log, stderr=subprocess.STDOUT, env=env)
            deadline = time.monotonic() + 10
            while not os.path.exists(device):
                if time.monotonic() > deadline:
                    sys.exit("the simulator made no pseudo-terminal")
                time.sleep(0.05)
        else:
            master, slave = pty.openpty()
            self.pty = (master, slave)
            device = os.ttyname(slave)
        engine_port = free_port()
        if not a.no_engine:
            self.engine = Engine()
            self.engine.start()
            engine_port = self.engine.port
        self.device = device
        write_settings(self.work, device, engine_port, self.status_port)
        self.ombrix_log = open(os.path.join(self.work, "ombrix.log"), "w")
        self.ombrix = self.spawn([os.path.join(self.bin, "ombrix")], env=env, cwd=self.work,
                                 stdout=self.ombrix_log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 20
        while status_reply(self.status_port) is None:
            if self.ombrix.poll() is not None or time.monotonic() > deadline:
                sys.exit("Ombrix did not start: " + open(self.ombrix_log.name).read())
            time.sleep(0.1)

    def wait_for_status_line(self, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            reply = status_reply(self.status_port)
            if reply:
                return reply
            time.sleep(0.5)
        return None

    def stop(self):
        for p in reversed(self.procs):
            end_process(p)
        if getattr(self, "ombrix", None) is not None:
            remove_stale_lock(self.device, self.ombrix.pid)
        if self.engine:
            self.engine.stopping = True
            self.engine.join(2)
        if self.pty:
            os.close(self.pty[0])
            os.close(self.pty[1])
        if not self.args.keep:
            shutil.rmtree(self.work, ignore_errors=True)
        else:
            print(f"kept {self.work}")


def soak(run):
    a = run.args
    pid = run.ombrix.pid
    start = time.monotonic()
    ticks0 = cpu_ticks(pid)
    samples = []  # (minutes, rss KiB, cpu % since last sample, threads)
    last_t, last_ticks = start, ticks0
    print(f"{'min':>6} {'VmRSS KiB':>10} {'CPU %':>6} {'threads':>7}")
    while time.monotonic() - start < a.minutes * 60:
        time.sleep(a.sample)
        if run.ombrix.poll() is not None:
            sys.exit("Ombrix ended during the soak")
        now, ticks = time.monotonic(), cpu_ticks(pid)
        st = proc_status(pid)
        cpu = 100.0 * (ticks - last_ticks) / TICKS / (now - last_t)
        samples.append(((now - start) / 60, int(st["VmRSS"][0]), cpu, int(st["Threads"][0])))
        print(f"{samples[-1][0]:6.2f} {samples[-1][1]:10d} {cpu:6.2f} {samples[-1][3]:7d}",
              flush=True)
        last_t, last_ticks = now, ticks
    st = proc_status(pid)
    total_cpu = 100.0 * (cpu_ticks(pid) - ticks0) / TICKS / (time.monotonic() - start)
    after2 = [s for s in samples if s[0] >= 2.0]
    print(f"bursts sent: {sum(1 for _ in open(run.sim_log.name))} lines of simulator output, "
          f"engine got {run.engine.bytes if run.engine else 0} bytes")
    print(f"VmHWM {st['VmHWM'][0]} KiB, VmRSS at end {st['VmRSS'][0]} KiB, "
          f"mean CPU {total_cpu:.2f} %")
    if len(after2) >= 2:
        first, last = after2[0], after2[-1]
        xs = [s[0] for s in after2]
        ys = [s[1] for s in after2]
        mx = statistics.mean(xs)
        slope = sum((x - mx) * (y - statistics.mean(ys)) for x, y in zip(xs, ys)) / \
            max(1e-9, sum((x - mx) ** 2 for x in xs))
        print(f"VmRSS minute {first[0]:.1f}: {first[1]} KiB, minute {last[0]:.1f}: {last[1]} KiB, "
              f"difference {last[1] - first[1]} KiB, fitted slope {slope:.1f} KiB/min, "
              f"max after minute 2: {max(ys)} KiB")


def load(run):
    a = run.args
    line = run.wait_for_status_line(60)
    if not line:
        sys.exit("no status line within 60 s")
    print(f"status line: {line.decode(errors='replace')}")
    client = os.path.join(run.bin, "status-load")
    loads = [
        ("one after another", ["--clients", "1", "--requests", "20000", "--seconds", "8"]),
        (f"{a.clients} at once, in waves 100 ms apart",
         ["--clients", str(a.clients), "--waves", "100", "--requests", "100000", "--seconds", "8"]),
        (f"{a.clients} at once, kept busy",
         ["--clients", str(a.clients), "--requests", "40000", "--seconds", "8"]),
    ]
    for name, argv in loads:
        for i in range(a.repeat):
            ticks0 = cpu_ticks(run.ombrix.pid)
            out = subprocess.run([client, "--port", str(run.status_port)] + argv,
                                 capture_output=True, text=True, timeout=120)
            ticks = cpu_ticks(run.ombrix.pid) - ticks0
            words = out.stdout.split()
            requests = int(words[words.index("requests") + 1]) if "requests" in words else 0
            per_request = f" cpu_us_per_request {1e6 * ticks / TICKS / requests:.0f}" \
                if requests else ""
            print(f"{name} #{i + 1}: {out.stdout.strip()}{per_request} {out.stderr.strip()}",
                  flush=True)
            time.sleep(1)
    if run.ombrix.poll() is not None:
        sys.exit("Ombrix ended under load")
    print(f"VmRSS after the load: {proc_status(run.ombrix.pid)['VmRSS'][0]} KiB")


def idle(run):
    a = run.args
    pid = run.ombrix.pid
    if a.after_burst:
        if not run.wait_for_status_line(30):
            sys.exit("the burst was not decoded")
    time.sleep(3)  # past the pause timer's expiry and the engine's connect
    t0, ticks0, sw0 = time.monotonic(), cpu_ticks(pid), thread_switches(pid)
    time.sleep(a.minutes * 60)
    t1, ticks1, sw1 = time.monotonic(), cpu_ticks(pid), thread_switches(pid)
    seconds = t1 - t0
    print(f"idle {seconds:.0f} s: CPU {100.0 * (ticks1 - ticks0) / TICKS / seconds:.3f} % "
          f"({ticks1 - ticks0} ticks of 1/{TICKS} s)")
    for tid, (name, n1) in sorted(sw1.items(), key=lambda kv: int(kv[0])):
        n0 = sw0.get(tid, (name, 0))[1]
        main = " (main thread)" if int(tid) == pid else ""
        print(f"  thread {tid} {name}{main}: {n1 - n0} context switches "
              f"({60.0 * (n1 - n0) / seconds:.1f}/min)")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("mode", nargs="?", choices=["soak", "load", "idle"], default="soak")
    ap.add_argument("--minutes", type=float, default=None)
    ap.add_argument("--interval", type=float, default=2.0, help="seconds from burst to burst")
    ap.add_argument("--sample", type=float, default=10.0, help="seconds between samples")
    ap.add_argument("--repeat", type=int, default=3, help="runs of each load")
    ap.add_argument("--clients", type=int, default=50)
    ap.add_argument("--no-engine", action="store_true", help="no AGWPE engine listening")
    ap.add_argument("--after-burst", action="store_true",
                    help="idle: measure the quiet after one decoded burst")
    ap.add_argument("--platform", choices=["offscreen", "xvfb"], default="offscreen")
    ap.add_argument("--build", default=os.path.join(HERE, "..", "build-perf"))
    ap.add_argument("--keep", action="store_true", help="keep the temporary folder")
    args = ap.parse_args()
    if args.minutes is None:
        args.minutes = {"soak": 10.0, "load": 2.0, "idle": 1.0}[args.mode]
    if not 0 < args.minutes <= 60:
        sys.exit("--minutes must be above 0, at most 60")
    run = Run(args)
    try:
        if args.mode == "idle" and args.after_burst:
            args.interval = 90.0
            if args.minutes > 1.3:
                sys.exit("--after-burst measures at most 1.3 minutes (the next burst is due)")
        run.start(with_station=args.mode != "idle" or args.after_burst)
        print(f"mode {args.mode}, platform {args.platform}, load average "
              f"{os.getloadavg()[0]:.2f}, Ombrix pid {run.ombrix.pid}", flush=True)
        {"soak": soak, "load": load, "idle": idle}[args.mode](run)
    finally:
        run.stop()


if __name__ == "__main__":
    main()
