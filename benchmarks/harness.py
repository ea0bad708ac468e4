"""What the benchmark scripts share: free ports, a private Xvfb, the program's settings and
environment in a temporary folder, and reading /proc. Everything stays on 127.0.0.1."""
import os
import socket
import subprocess
import sys
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_xvfb():
    """A private Xvfb on a free display number from :70 on; returns (process, display)."""
    for n in range(70, 100):
        if os.path.exists(f"/tmp/.X{n}-lock") or os.path.exists(f"/tmp/.X11-unix/X{n}"):
            continue
        proc = subprocess.Popen(["Xvfb", f":{n}", "-nolisten", "tcp", "-screen", "0", "1280x1024x24"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and proc.poll() is None:
            with socket.socket(socket.AF_UNIX) as s:
                try:
                    s.connect(f"/tmp/.X11-unix/X{n}")
                    return proc, f":{n}"
                except OSError:
                    time.sleep(0.05)
        proc.kill()
        proc.wait()
    sys.exit("Xvfb did not start")


def program_env(work, platform, display=None):
    """The environment of a run: settings, data and runtime folders below work, no dialogs."""
    os.makedirs(os.path.join(work, "run"), mode=0o700, exist_ok=True)
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"),
               XDG_DATA_HOME=os.path.join(work, "data"),
               XDG_RUNTIME_DIR=os.path.join(work, "run"), OMBRIX_NO_DIALOGS="1")
    if platform == "xvfb":
        env.update(QT_QPA_PLATFORM="xcb", DISPLAY=display)
    else:
        env.update(QT_QPA_PLATFORM="offscreen")
        env.pop("DISPLAY", None)
    return env


def write_settings(work, device, engine_port, status_port, archive=None):
    """The settings file of a run: the station on device, raw logs below work; archive, when not
    None, is written as ArchivePath ("" for none), else the default below XDG_DATA_HOME."""
    conf = os.path.join(work, "config", "Ombrix")
    os.makedirs(conf, exist_ok=True)
    with open(os.path.join(conf, "Ombrix.conf"), "w") as f:
        f.write("[Optionen]\n"
                f"PfadWX={work}/wx/\nLage=5130.00N/00730.00E_\nCallTo=APRS\n"
                "CallFrom=DL1ABC\nCallDigi1=WIDE1-1\nCallDigi2=\nCommPortOmbrix=2\n"
                f"AGWPEPort=0\nCommDevice={device}\nAGWPETcpPort={engine_port}\n"
                f"StatusServerPort={status_port}\n")
        if archive is not None:
            f.write(f"ArchivePath={archive}\n")
        # More keys for one run, as KEY=VALUE separated by ";" (the outputs' figures use it).
        f.writelines(line + "\n" for line in os.environ.get("OMBRIX_BENCH_SETTINGS", "").split(";")
                     if line)


def proc_status(pid):
    """/proc/PID/status as {field: [words]}; PID may be "pid/task/tid"."""
    fields = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, value = line.partition(":")
            fields[key] = value.split()
    return fields


def end_process(proc, terminate=True):
    """Asks the process to end (unless it is ending by itself), waits up to 10 s, then kills it."""
    if proc.poll() is not None:
        return
    if terminate:
        proc.terminate()
    try:
        proc.wait(10)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def remove_stale_lock(device, pid):
    """A program ended by a signal leaves its serial port's lock file behind; remove ours."""
    name = device[len("/dev/"):] if device.startswith("/dev/") else device
    for folder in ("/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp",
                   "/var/tmp"):
        path = os.path.join(folder, "LCK.." + name.replace("/", "_"))
        try:
            with open(path) as f:
                if f.readline().strip() == str(pid):
                    os.remove(path)
        except OSError:
            pass
