#!/usr/bin/python3
"""Brevant side by side with Network UPS Tools' upsmon; run through bench/compare-upsmon.sh.

Starts a private NUT server (the tests' fixture), upsmon in a mount namespace of its own, Brevant
on that NUT server and Brevant on the simulated UPS, then measures detection latency, idle cost
and the shutdown path and writes them as Markdown. Every shutdown command is a recorder script.
"""

import argparse
import datetime
import os
import random
import re
import shlex
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

EVENT_TEXTS = {
    "OB": "the mains failed: the UPS runs on battery",
    "OL": "the mains is back",
    "LB": "the UPS battery is low",
}
UPSMON_NOTIFY = {"OB": "ONBATT", "OL": "ONLINE"}
SIM_STATE = {"OB": "onbattery", "OL": "online", "LB": "lowbattery"}
NUT_STATUS = {"OB": "OB", "OL": "OL", "LB": "OB LB"}
WINDOW_TITLE = "^Brevant System $"
# Brevant's log: wall-clock time stamps with milliseconds (the program runs with TZ=UTC).
MESSAGE_PATTERN = "%{time yyyy-MM-ddThh:mm:ss.zzz} %{category} %{message}"
LOG_LINE = re.compile(r"^(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}) (\S+) (.*)$")
# Low-battery shutdown delay for the shutdown-path run, in minutes (0.1 = 6 s).
SHUTDOWN_DELAY_MINUTES = "0.1"


def log(message):
    print(f"[compare] {message}", flush=True)


def parse_log_time(text):
    return datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%S.%f").replace(tzinfo=datetime.timezone.utc).timestamp()


def write_file(path, text):
    tmp = Path(str(path) + ".new")
    tmp.write_text(text)
    os.replace(tmp, path)


def recorder(path, label):
    """A harmless stand-in for a shutdown command: it appends its start time to <path>.log."""
    path.write_text(f'#!/bin/sh\necho "$(date +%s.%N) {label} $*" >> "{path}.log"\n')
    path.chmod(0o755)
    return path


class ProcessFigures:
    """CPU time, context switches and memory of a set of processes, from /proc."""

    def __init__(self, pids):
        self.pids = pids

    def tasks(self):
        for pid in self.pids:
            try:
                for tid in os.listdir(f"/proc/{pid}/task"):
                    yield f"/proc/{pid}/task/{tid}"
            except OSError:
                continue

    def counters(self):
        """{task: (cpu ns, context switches)} for every live thread."""
        result = {}
        for task in self.tasks():
            try:
                cpu_ns = int(Path(task, "schedstat").read_text().split()[0])
                switches = sum(int(line.split()[1]) for line in Path(task, "status").read_text().splitlines()
                               if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")))
            except (OSError, ValueError, IndexError):
                continue
            result[task] = (cpu_ns, switches)
        return result

    def memory_kb(self):
        rss = pss = 0
        for pid in self.pids:
            try:
                for line in Path(f"/proc/{pid}/smaps_rollup").read_text().splitlines():
                    key, _, rest = line.partition(":")
                    if key == "Rss":
                        rss += int(rest.split()[0])
                    elif key == "Pss":
                        pss += int(rest.split()[0])
            except OSError:
                continue
        return rss, pss


def measure_idle(groups, seconds):
    """Measures every group over the same window; a thread that starts meanwhile counts from 0,
    one that ends meanwhile is not counted."""
    before = {name: figures.counters() for name, figures in groups.items()}
    start = time.monotonic()
    time.sleep(seconds)
    elapsed = time.monotonic() - start
    results = {}
    for name, figures in groups.items():
        after = figures.counters()
        cpu_ns = sum(a[0] - before[name].get(t, (0, 0))[0] for t, a in after.items())
        switches = sum(a[1] - before[name].get(t, (0, 0))[1] for t, a in after.items())
        rss, pss = figures.memory_kb()
        results[name] = {
            "cpu_percent": cpu_ns / 1e9 / elapsed * 100,
            "wakeups": switches / elapsed,
            "rss_mb": rss / 1024,
            "pss_mb": pss / 1024,
            "threads": len(after),
        }
    return results, elapsed


class LogWatcher:
    """Reads a growing text file; remembers the lines read so far."""

    def __init__(self, path):
        self.path = Path(path)
        self.offset = 0
        self.lines = []

    def poll(self):
        try:
            with open(self.path, "rb") as file:
                file.seek(self.offset)
                data = file.read()
        except OSError:
            return []
        end = data.rfind(b"\n") + 1
        self.offset += end
        new = data[:end].decode(errors="replace").splitlines()
        self.lines += new
        return new


class Brevant:
    """One monitor process with a private directory, on a virtual display."""

    def __init__(self, name, title, build, work, extra_env):
        self.name = name
        self.title = title
        self.build = build
        self.dir = work / name
        (self.dir / "app").mkdir(parents=True)
        (self.dir / "run").mkdir(mode=0o700)
        self.shutdown_recorder = recorder(self.dir / "shutdown-command", "shutdown")
        self.env = dict(os.environ)
        self.env.update({
            "BREVANT_APP_DIR": str(self.dir / "app"),
            "XDG_RUNTIME_DIR": str(self.dir / "run"),
            "BREVANT_SHUTDOWN_COMMAND": str(self.shutdown_recorder),
            "QT_MESSAGE_PATTERN": MESSAGE_PATTERN,
            "TZ": "UTC",
        })
        self.env.update(extra_env)
        self.settings = self.dir / "app" / "UpsConfigure.ini"
        settings = (build.root / "src/config/UpsConfigure.ini").read_text()
        # The same first-install settings, with a short low-battery delay for the shutdown path.
        settings = re.sub(r"(\[UpsLowBattery\][^\[]*?Delaytime=)[^\r\n]*", rf"\g<1>{SHUTDOWN_DELAY_MINUTES}", settings)
        self.settings.write_text(settings)
        self.log_path = self.dir / "brevant.log"
        self.log = LogWatcher(self.log_path)
        self.process = None
        self.window = None

    def start(self):
        with open(self.log_path, "ab") as err:
            self.process = subprocess.Popen([str(self.build.bin / "brevant")], env=self.env, stdin=subprocess.DEVNULL,
                                            stdout=err, stderr=err)

    def find_window(self):
        """The program's main window (xdotool's --pid filter alone also lists other programs')."""
        def mine():
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", WINDOW_TITLE],
                                   capture_output=True, text=True).stdout.split()
            for window in found:
                owner = subprocess.run(["xdotool", "getwindowpid", window], capture_output=True, text=True)
                if owner.stdout.strip() == str(self.process.pid):
                    self.window = window
                    return True
            return False

        if not wait_for(mine, 60, step=0.2):
            raise RuntimeError(f"{self.name}: no window after 60 s; see {self.log_path}")

    def geometry(self):
        out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", self.window], capture_output=True, text=True,
                             check=True).stdout
        return {k: int(v) for k, v in (line.split("=") for line in out.split()) if k in ("X", "Y", "WIDTH", "HEIGHT")}

    def move(self, x, y):
        subprocess.run(["xdotool", "windowmove", self.window, str(x), str(y)], check=True)

    def click_minimise(self):
        """Clicks the minimise image, as bench/wakeups.sh does."""
        g = self.geometry()
        subprocess.run(["xdotool", "mousemove", str(g["X"] + g["WIDTH"] - 32), str(g["Y"] + 15)], check=True)
        time.sleep(0.5)  # the image lights up under the pointer first
        subprocess.run(["xdotool", "click", "1"], check=True)

    def main_thread_switches(self):
        main_thread = f"/proc/{self.process.pid}/task/{self.process.pid}"
        return ProcessFigures([self.process.pid]).counters()[main_thread][1]

    def show(self):
        """A second start knocks on the running program, which brings its window up."""
        with open(self.log_path, "ab") as err:
            subprocess.run([str(self.build.bin / "brevant")], env=self.env, stdin=subprocess.DEVNULL, stdout=err,
                           stderr=err, timeout=30, check=False)

    def events(self):
        """[(time, message)] of the power events and shutdown steps logged so far."""
        self.log.poll()
        result = []
        for line in self.log.lines:
            match = LOG_LINE.match(line)
            if match and match.group(2) in ("brevant.monitor", "brevant.shutdown"):
                result.append((parse_log_time(match.group(1)), match.group(3)))
        return result

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class NutServer:
    def __init__(self, build, work):
        self.fixture = build.root / "tests/support/nut/nut-fixture.sh"
        self.dir = work / "nut"
        subprocess.run(["bash", str(self.fixture), "start", str(self.dir)], check=True, stdout=subprocess.DEVNULL)
        self.port = int((self.dir / "port").read_text())
        self.ups = f"dummy@127.0.0.1:{self.port}"
        self.dev = self.dir / "etc/dummy.dev"

    def pids(self):
        return [int((self.dir / name).read_text()) for name in ("driver.pid", "upsd.pid")]

    def ask_status(self):
        """upsd's ups.status now, on a connection of its own; empty without an answer."""
        try:
            with socket.create_connection(("127.0.0.1", self.port), timeout=1) as connection:
                connection.sendall(b"GET VAR dummy ups.status\n")
                answer = b""
                while not answer.endswith(b"\n"):
                    chunk = connection.recv(256)
                    if not chunk:
                        break
                    answer += chunk
            return answer.decode(errors="replace").split('"')[1] if answer.count(b'"') >= 2 else ""
        except OSError:
            return ""

    def when_served(self, state, timeout=5.0):
        """The time upsd first answers `state` (asked every 5 ms), or None."""
        end = time.time() + timeout
        while time.time() < end:
            if self.ask_status() == NUT_STATUS[state]:
                return time.time()
            time.sleep(0.005)
        return None

    def set_state(self, state):
        # dummy-ups re-reads the file when its time stamp changes, once a second.
        write_file(self.dev, f"ups.status: {NUT_STATUS[state]}\nbattery.charge: 100\nups.mfr: Brevant tests\n")
        return time.time()

    def stop(self):
        subprocess.run(["bash", str(self.fixture), "stop", str(self.dir)], check=False)


class Upsmon:
    """upsmon as a primary of the private server, in a mount namespace whose /run is a private
    tmpfs, so its PID file never meets the system's NUT."""

    def __init__(self, nut, work):
        self.dir = work / "upsmon"
        self.dir.mkdir(mode=0o700)
        notify = self.dir / "notify"
        notify.write_text(f'#!/bin/sh\necho "$(date +%s.%N) $NOTIFYTYPE $*" >> "{self.dir}/notify.log"\n')
        notify.chmod(0o755)
        self.shutdown_recorder = recorder(self.dir / "shutdown-command", "shutdown")
        flags = "".join(f"NOTIFYFLAG {kind} SYSLOG+EXEC\n"
                        for kind in ("ONLINE", "ONBATT", "LOWBATT", "FSD", "SHUTDOWN", "COMMOK", "COMMBAD"))
        conf = self.dir / "upsmon.conf"
        conf.write_text(f"RUN_AS_USER root\nMONITOR {nut.ups} 1 monitor secret primary\nMINSUPPLIES 1\n"
                        f'SHUTDOWNCMD "{self.shutdown_recorder}"\nNOTIFYCMD {notify}\n'
                        f"POWERDOWNFLAG {self.dir}/killpower\n{flags}")
        conf.chmod(0o600)
        (self.dir / "nut.conf").write_text("MODE=netclient\n")
        env = dict(os.environ, NUT_CONFPATH=str(self.dir), NUT_STATEPATH=str(self.dir))
        script = "mount -t tmpfs -o mode=755 tmpfs /run && mkdir -p /run/nut && exec /lib/nut/upsmon -F"
        with open(self.dir / "upsmon.log", "wb") as out:
            self.process = subprocess.Popen(["unshare", "-m", "sh", "-c", script], env=env, stdin=subprocess.DEVNULL,
                                            stdout=out, stderr=out)
        self.notify = LogWatcher(self.dir / "notify.log")

    def pids(self):
        pids = [self.process.pid]
        try:
            pids += [int(p) for p in Path(f"/proc/{self.process.pid}/task/{self.process.pid}/children").read_text().split()]
        except OSError:
            pass
        return pids

    def events(self):
        self.notify.poll()
        result = []
        for line in self.notify.lines:
            parts = line.split(maxsplit=2)
            if len(parts) >= 2:
                result.append((float(parts[0]), parts[1]))
        return result

    def stop(self):
        for pid in reversed(self.pids()):
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        try:
            self.process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def hide_all(monitors):
    """Minimises every window until every main thread has gone quiet: out of sight the program
    stops its animation (about 16 wakeups/s) and wakes only for its poll. Without a window manager
    a click on one window can bring another back, so all are checked together."""
    busy = list(monitors)
    for _ in range(4):
        for monitor in busy:
            monitor.click_minimise()
        subprocess.run(["xdotool", "mousemove", "2390", "1190"], check=True)  # off every window
        time.sleep(1)
        before = {m: m.main_thread_switches() for m in monitors}
        time.sleep(3)
        busy = [m for m in monitors if m.main_thread_switches() - before[m] > 5]
        if not busy:
            return
    log("still busy after minimising: " + ", ".join(m.name for m in busy) + "; measuring anyway")


def upsmon_possible():
    if os.geteuid() != 0:
        return "not root: upsmon needs a private mount namespace for its PID file under /run"
    if not Path("/lib/nut/upsmon").exists():
        return "/lib/nut/upsmon is missing (install nut-client)"
    if subprocess.run(["unshare", "-m", "true"], capture_output=True).returncode != 0:
        return "unshare -m is not allowed here"
    return None


def wait_for(condition, timeout, step=0.01):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(step)
    return condition()


def first_after(events, since, wanted):
    for when, what in events:
        if what == wanted and when >= since - 0.5:
            return when
    return None


def measure_latency(args, sim, nutmon, nut, upsmon):
    samples = {"Brevant, simulated UPS": [], "Brevant, NUT backend": [],
               "Brevant, NUT backend, from upsd's change": []}
    if upsmon:
        samples["upsmon (POLLFREQ 5)"] = []
    counts = {"sim": 0, "nut": 0, "upsmon": 0}
    state = "OL"
    for i in range(args.samples):
        state = "OB" if state == "OL" else "OL"
        # A random phase against every monitor's poll (2.2 s, 1 s worker, 5 s upsmon).
        time.sleep(random.uniform(0.5, 5.5))
        t_nut = nut.set_state(state)
        write_file(sim.sim_file, SIM_STATE[state] + "\n")
        t_sim = time.time()
        # When dummy-ups's read of its file brought the change to upsd: what the NUT backend could
        # see from then on.
        t_upsd = nut.when_served(state)
        text = EVENT_TEXTS[state]
        seen = {}

        def detected():
            if "sim" not in seen:
                when = first_after(sim.events()[counts["sim"]:], t_sim, text)
                if when is not None:
                    seen["sim"] = when - t_sim
            if "nut" not in seen:
                when = first_after(nutmon.events()[counts["nut"]:], t_nut, text)
                if when is not None:
                    seen["nut"] = when - t_nut
            if upsmon and "upsmon" not in seen:
                when = first_after(upsmon.events()[counts["upsmon"]:], t_nut, UPSMON_NOTIFY[state])
                if when is not None:
                    seen["upsmon"] = when - t_nut
            return len(seen) == (3 if upsmon else 2)

        if not wait_for(detected, 20):
            log(f"sample {i + 1}: not every monitor saw {state} within 20 s: {seen}")
        counts = {"sim": len(sim.events()), "nut": len(nutmon.events()),
                  "upsmon": len(upsmon.events()) if upsmon else 0}
        for key, name in (("sim", "Brevant, simulated UPS"), ("nut", "Brevant, NUT backend"),
                          ("upsmon", "upsmon (POLLFREQ 5)")):
            if key in seen:
                samples[name].append(seen[key])
        if "nut" in seen and t_upsd is not None:
            samples["Brevant, NUT backend, from upsd's change"].append(seen["nut"] - (t_upsd - t_nut))
        served = f", upsd had it after {t_upsd - t_nut:.3f} s" if t_upsd is not None else ""
        log(f"sample {i + 1}/{args.samples} {state}: " + ", ".join(f"{k} {v:.3f} s" for k, v in seen.items())
            + served)
    if state != "OL":
        nut.set_state("OL")
        write_file(sim.sim_file, "online\n")
        time.sleep(6)
    return samples


def measure_shutdown(sim, nutmon, nut, upsmon, timeout):
    """Low battery on both UPS at once; every step of each monitor's shutdown, in seconds from
    the change."""
    watched = [(m, m.settings) for m in (sim, nutmon)]
    handovers = {}
    t_nut = nut.set_state("LB")
    write_file(sim.sim_file, "lowbattery\n")
    t_sim = time.time()
    start = {sim: t_sim, nutmon: t_nut}

    def finished():
        for monitor, settings in watched:
            if monitor not in handovers:
                try:
                    stat = settings.stat()
                    if re.search(r"^ShutDown=1", settings.read_text(), re.M):
                        handovers[monitor] = stat.st_mtime_ns / 1e9
                except OSError:
                    pass
        done = all(Path(str(m.shutdown_recorder) + ".log").exists() for m in (sim, nutmon))
        if upsmon:
            done = done and Path(str(upsmon.shutdown_recorder) + ".log").exists()
        return done

    wait_for(finished, timeout, step=0.002)
    time.sleep(1)
    steps = {}
    for monitor in (sim, nutmon):
        t0 = start[monitor]
        events = monitor.events()
        row = {}
        low = first_after(events, t0, EVENT_TEXTS["LB"])
        row["low battery seen"] = low
        countdown = next(((w, m) for w, m in events if w >= t0 - 0.5 and m.startswith("shutdown in")), None)
        if countdown:
            delay = float(re.search(r"shutdown in ([\d.]+)", countdown[1]).group(1))
            row["countdown end (its start + delay)"] = countdown[0] + delay
        row["hand-over ([Schema] ShutDown=1 written)"] = handovers.get(monitor)
        row["UPS-off command"] = first_after(events, t0, "switching the UPS off")
        row["power-off asked"] = first_after(events, t0, "asking the system to power off")
        row["shutdown command started"] = recorder_time(monitor.shutdown_recorder)
        steps[monitor.title] = {k: (v - t0 if v is not None else None) for k, v in row.items()}
    if upsmon:
        events = upsmon.events()
        row = {
            "low battery seen": first_after(events, t_nut, "LOWBATT"),
            "SHUTDOWN notified": first_after(events, t_nut, "SHUTDOWN"),
            "shutdown command started": recorder_time(upsmon.shutdown_recorder),
        }
        steps["upsmon"] = {k: (v - t_nut if v is not None else None) for k, v in row.items()}
    return steps


def recorder_time(path):
    try:
        return float(Path(str(path) + ".log").read_text().split()[0])
    except (OSError, IndexError, ValueError):
        return None


def run_benchmark(build, repetitions):
    program = build.bin / "bench_poll_tick"
    if not program.exists():
        return None, None
    command = [str(program), f"--benchmark_repetitions={repetitions}", "--benchmark_report_aggregates_only=true",
               "--benchmark_format=csv"]
    out = subprocess.run(command, capture_output=True, text=True, check=False, cwd=build.bin).stdout
    medians = {}
    for line in out.splitlines():
        fields = line.split(",")
        if fields and fields[0].endswith('_median"'):
            medians[fields[0].strip('"').removesuffix("_median").split("/")[0]] = (float(fields[2]), float(fields[3]))
    return medians, " ".join(["build/bin/bench_poll_tick"] + command[1:])


def machine():
    model = cores = "?"
    for line in subprocess.run(["lscpu"], capture_output=True, text=True).stdout.splitlines():
        key, _, value = line.partition(":")
        if key == "Model name":
            model = value.strip()
        elif key == "CPU(s)":
            cores = value.strip()
    return model, cores


def load():
    return Path("/proc/loadavg").read_text().split()[:3]


def fmt(value, digits=2):
    return "—" if value is None else f"{value:.{digits}f}"


def write_report(args, results):
    model, cores = machine()
    lines = [
        "# Performance, side by side with upsmon",
        "",
        "Written by `bench/compare-upsmon.sh`; run it again to measure your machine. Everything runs",
        "privately on loopback: the tests' NUT server (dummy-ups + upsd, `tests/support/nut/nut-fixture.sh`),",
        "upsmon as its primary in a mount namespace of its own, Brevant on that server through the NUT",
        "backend, and Brevant on the simulated UPS, both on a virtual display (xvfb-run). Every shutdown",
        "command is a recorder script.",
        "",
        f"- Machine: {model}, {cores} CPUs; {results['kernel']}",
        f"- Date: {results['date']}",
        f"- Load average (1, 5, 15 min) before: {' '.join(results['load_before'])}; after: {' '.join(results['load_after'])}",
        f"- Command: `{results['command']}` ({'quick mode' if args.quick else 'full run'}: "
        f"{args.samples} latency samples, idle windows of {args.window:g} s)",
    ]
    if results.get("upsmon_skipped"):
        lines.append(f"- upsmon was skipped: {results['upsmon_skipped']}")
    hidden = results["idle"].get(("Brevant, simulated UPS", "hidden"))
    if hidden:
        goals = [("Wakeups/s, window hidden", hidden["wakeups"], 0.5, "{:.2f}"),
                 ("CPU, window hidden (% of a core)", hidden["cpu_percent"], 0.05, "{:.3f}"),
                 ("RSS, window hidden (MB)", hidden["rss_mb"], 40.0, "{:.1f}")]
        on_nut = results["idle"].get(("Brevant, NUT backend", "hidden"))
        if on_nut:
            goals.append(("Wakeups/s, window hidden, on the NUT backend", on_nut["wakeups"], 0.6, "{:.2f}"))
        lines += ["", "## Goals (Brevant on the simulated UPS; the last row on NUT)", "",
                  "| Figure | Measured | Goal | Met |",
                  "|---|---:|---:|---|"]
        lines += [f"| {name} | {form.format(value)} | ≤ {goal:g} | {'yes' if value <= goal else 'no'} |"
                  for name, value, goal, form in goals]
    lines += [
        "",
        "## Detection latency",
        "",
        "The UPS state is flipped between on-line and on-battery at a random moment (0.5–5.5 s after the",
        "previous change was seen), on the NUT server (dummy-ups's state file) and on the simulated UPS at",
        "once. Latency runs from that write to Brevant's log line of the event (its time stamp, in",
        "milliseconds) or to upsmon's NOTIFYCMD time stamp. The record row itself carries whole seconds",
        "only, and is written in the same tick as the log line. The NUT path includes dummy-ups's own",
        "one-second poll of its file: a change it has not brought to upsd by Brevant's poll waits a whole",
        "poll more, so the NUT row depends on how the two Brevants' polls and dummy-ups's fall against",
        "each other in a run. The row \"from upsd's change\" counts from the moment upsd first answers the",
        "new state (asked every 5 ms on a connection of its own): what the NUT backend itself adds,",
        "comparable with the simulated UPS's row. `bench/halvic/nut-detection.py` compares the",
        "library's two ways of asking upsd on the same changes.",
        "",
        "| Monitor | Samples | Median (s) | Max (s) |",
        "|---|---:|---:|---:|",
    ]
    for name, values in results["latency"].items():
        if values:
            lines.append(f"| {name} | {len(values)} | {statistics.median(values):.2f} | {max(values):.2f} |")
        else:
            lines.append(f"| {name} | 0 | — | — |")
    lines += [
        "",
        "## Idle cost",
        "",
        f"Each row over the same {results['idle_seconds_hidden']:.0f} s window (the shown rows over a second window),",
        "UPS on-line: CPU time of all threads (from `/proc/PID/task/*/schedstat`) as a percentage of one",
        "core; wakeups = context switches of all threads per second; RSS and PSS from",
        "`/proc/PID/smaps_rollup` at the end of the window. Brevant's window is hidden with its minimise",
        "image and shown again by a second start, as `bench/wakeups.sh` does.",
        "",
        "| Process(es) | Window | CPU (% of a core) | Wakeups/s | RSS (MB) | PSS (MB) | Threads |",
        "|---|---|---:|---:|---:|---:|---:|",
    ]
    for (name, window), r in results["idle"].items():
        lines.append(f"| {name} | {window} | {r['cpu_percent']:.3f} | {r['wakeups']:.2f} | {r['rss_mb']:.1f} | "
                     f"{r['pss_mb']:.1f} | {r['threads']} |")
    lines += [
        "",
        "Reading the rows: Brevant wakes for its poll every 2.2 s; on the NUT backend the poll finds",
        "upsd's answer waiting in a socket: the poll before handed the request to the kernel, which",
        "sent it 15 ms before this poll (TCP pacing; docs/halvic.md, \"Pacing\"), so no thread of the",
        "program wakes for it and the library's worker sleeps without a timer",
        "(`bench/halvic/nut-wakeups.py` shows the library's share). upsmon asks upsd every POLLFREQ",
        "(5 s). The NUT server's own cost",
        "(dummy-ups reads its file every second here) is shared by every monitor that uses it. RSS counts",
        "the Qt libraries, which every Qt program of the session shares; PSS is the process's own share.",
        "CPU time on a shared machine includes the cache misses other load causes: see the load above.",
    ]
    lines += [
        "",
        "## Shutdown path",
        "",
        "Low battery set on both UPS at once (Brevant's low-battery delay set to",
        f"{SHUTDOWN_DELAY_MINUTES} minute for this run; upsmon's FINALDELAY is its default 5 s). Seconds",
        "from the change: Brevant's steps from its log, the hand-over from the settings file's time",
        "stamp when `[Schema] ShutDown=1` is read, the shutdown command from its recorder; the alarm",
        "window's four-second bar runs between the countdown's end and the hand-over. upsmon, the NUT",
        "server's primary here, sets the forced shutdown (FSD) as it sees the low battery: Brevant on NUT",
        "starts its shutdown at its next poll, and its four seconds end before its own countdown would.",
        "",
    ]
    columns = list(results["shutdown"])
    steps = list(dict.fromkeys(step for row in results["shutdown"].values() for step in row))
    lines += ["| Step (s after the change) | " + " | ".join(columns) + " |",
              "|---|" + "---:|" * len(columns)]
    for step in steps:
        lines.append(f"| {step} | " + " | ".join(fmt(results["shutdown"][c].get(step)) for c in columns) + " |")
    lines.append("")
    if results.get("bench"):
        lines += [
            "## One poll tick (Google Benchmark)",
            "",
            f"`{results['bench_command']}`, medians of the repetitions:",
            "",
            "| Case | Real time (µs) | CPU time (µs) |",
            "|---|---:|---:|",
        ]
        for name, (real, cpu) in results["bench"].items():
            lines.append(f"| {name} | {real:.1f} | {cpu:.1f} |")
        lines.append("")
    Path(args.output).write_text("\n".join(lines).rstrip() + "\n")


class Build:
    def __init__(self, root, build):
        self.root = Path(root)
        self.bin = Path(build) / "bin"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--root", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--quick", action="store_true", help="6 samples, 10 s windows, 3 benchmark repetitions")
    parser.add_argument("--samples", type=int, help="latency samples (default 20)")
    parser.add_argument("--window", type=float, help="idle window in seconds (default 60)")
    parser.add_argument("--output", help="Markdown file to write (default docs/performance.md)")
    parser.add_argument("--no-benchmark", action="store_true", help="leave out bench_poll_tick")
    args = parser.parse_args()
    args.samples = args.samples or (6 if args.quick else 20)
    args.window = args.window or (10.0 if args.quick else 60.0)
    args.output = args.output or str(Path(args.root) / "docs/performance.md")
    build = Build(args.root, args.build)

    results = {
        "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
        "kernel": f"Linux {os.uname().release}",
        "load_before": load(),
        "command": " ".join(([f"BREVANT_BUILD_DIR={args.build}"] if Path(args.build) != Path(args.root) / "build" else [])
                            + ["bench/compare-upsmon.sh"] + [shlex.quote(a) for a in sys.argv[5:]]).strip(),
    }
    work = Path(tempfile.mkdtemp(prefix="brevant-cmp."))
    nut = upsmon = None
    monitors = []
    try:
        nut = NutServer(build, work)
        log(f"NUT server on 127.0.0.1:{nut.port}")
        reason = upsmon_possible()
        if reason:
            log(f"upsmon skipped: {reason}")
            results["upsmon_skipped"] = reason
        else:
            upsmon = Upsmon(nut, work)
        sim = Brevant("brevant-sim", "Brevant, simulated UPS", build, work, {"HALVIC_BACKEND": "sim"})
        sim.sim_file = sim.dir / "app" / "halvic-sim.state"
        sim.env["HALVIC_SIM_FILE"] = str(sim.sim_file)
        write_file(sim.sim_file, "online\n")
        nutmon = Brevant("brevant-nut", "Brevant, NUT backend", build, work, {
            "HALVIC_BACKEND": "nut", "HALVIC_NUT_UPS": nut.ups, "HALVIC_NUT_USER": "admin",
            "HALVIC_NUT_PASSWORD": "secret"})
        monitors = [sim, nutmon]
        for monitor in monitors:
            monitor.start()
        time.sleep(5)  # the splash, the first polls, upsmon's first poll
        x = 0
        for monitor in monitors:
            monitor.find_window()
            monitor.move(x, 0)  # side by side, so that each minimise image can be clicked
            x += monitor.geometry()["WIDTH"] + 16

        log("detection latency")
        results["latency"] = measure_latency(args, sim, nutmon, nut, upsmon)

        log("idle, windows hidden")
        hide_all(monitors)
        groups = {("Brevant, simulated UPS", "hidden"): ProcessFigures([sim.process.pid]),
                  ("Brevant, NUT backend", "hidden"): ProcessFigures([nutmon.process.pid]),
                  ("NUT server (upsd + dummy-ups)", "—"): ProcessFigures(nut.pids())}
        if upsmon:
            groups[("upsmon (both processes)", "—")] = ProcessFigures(upsmon.pids())
        idle, elapsed = measure_idle(groups, args.window)
        results["idle_seconds_hidden"] = elapsed
        log("idle, windows shown")
        for monitor in monitors:
            monitor.show()
        time.sleep(3)
        shown, _ = measure_idle({("Brevant, simulated UPS", "shown"): ProcessFigures([sim.process.pid]),
                                 ("Brevant, NUT backend", "shown"): ProcessFigures([nutmon.process.pid])}, args.window)
        results["idle"] = {**idle, **shown}
        for (name, window), r in results["idle"].items():
            log(f"{name} {window}: {r['cpu_percent']:.3f} % CPU, {r['wakeups']:.2f} wakeups/s, "
                f"RSS {r['rss_mb']:.1f} MB, PSS {r['pss_mb']:.1f} MB")

        log("shutdown path")
        results["shutdown"] = measure_shutdown(sim, nutmon, nut, upsmon, timeout=60)
        for name, steps in results["shutdown"].items():
            log(f"{name}: " + ", ".join(f"{k} {fmt(v)}" for k, v in steps.items()))
    finally:
        for monitor in monitors:
            monitor.stop()
        if upsmon:
            upsmon.stop()
        if nut:
            nut.stop()
        if os.environ.get("BREVANT_COMPARE_KEEP"):
            log(f"kept {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)

    if not args.no_benchmark:
        log("bench_poll_tick")
        results["bench"], results["bench_command"] = run_benchmark(build, 3 if args.quick else 10)
    results["load_after"] = load()
    write_report(args, results)
    log(f"wrote {args.output}")


if __name__ == "__main__":
    main()
