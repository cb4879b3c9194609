#!/usr/bin/env python3
"""The whole program's share of one core while it draws a live bake.

For each rate of gauge packets (10, 100 and 1,000 a second) it starts a
virtual X screen of 1600 x 1000 (Xvfb), the simulator with a bake that starts
by itself, and the program connected to it; the bake's record opens in its
window, maximized as it is by default, and follows the newest point. After a
warm-up it reads the program's processor time (utime + stime in
/proc/PID/stat) over a window of wall-clock time and prints

    share_10: X       (percent of one core)
    share_100: X
    share_1000: X
    ratio: X          (the share at 1,000/s over the one at 10/s)
    load_average: X   (the machine's one-minute load when it ended)

It runs itself in a private network namespace (scripts/isolated) when it is
not in one: the simulator's link and discovery stay on loopback.

Usage: live_cpu_share.py [--build DIR] [--seconds N] [--warmup N]
                         [--rates 10,100,1000] [--speed S]
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SIM_ADDRESS = "127.0.0.2"


def parse_args():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--build", default=os.path.join(ROOT, "build"),
                   help="build folder holding src/shell/calvero and sim/calvero-sim")
    p.add_argument("--seconds", type=float, default=60.0, help="measuring window (default 60)")
    p.add_argument("--warmup", type=float, default=15.0,
                   help="seconds after the bake started before measuring (default 15)")
    p.add_argument("--rates", default="10,100,1000", help="packets a second, comma-separated")
    p.add_argument("--speed", type=float, default=1.0,
                   help="simulated seconds per real second; 1 keeps the bake going for minutes")
    p.add_argument("--keep", action="store_true",
                   help="keep the Output logs and a screenshot of each run, and say where")
    return p.parse_args()


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        stat = f.read()
    # The command name may hold spaces: the fields follow its closing bracket.
    fields = stat[stat.rindex(")") + 2:].split()
    return int(fields[11]) + int(fields[12])  # utime, stime


def free_display():
    for n in range(90, 200):
        if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"):
            return n
    raise RuntimeError("no free X display number")


def wait_for(predicate, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.1)
    raise RuntimeError(f"timed out waiting for {what}")


def stop(proc):
    if proc and proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def measure(args, rate, scratch):
    calvero = os.path.join(args.build, "src", "shell", "calvero")
    sim = os.path.join(args.build, "sim", "calvero-sim")
    display = free_display()
    home = os.path.join(scratch, f"home-{rate}")
    records = os.path.join(scratch, f"records-{rate}")
    os.makedirs(home)
    os.makedirs(records)
    env = dict(os.environ, DISPLAY=f":{display}", HOME=home,
               XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_DATA_HOME=os.path.join(home, ".local", "share"),
               XDG_RUNTIME_DIR=home, QT_QPA_PLATFORM="xcb")
    procs = []
    try:
        xvfb = subprocess.Popen(["Xvfb", f":{display}", "-screen", "0", "1600x1000x24",
                                 "-nolisten", "tcp"], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        procs.append(xvfb)
        wait_for(lambda: os.path.exists(f"/tmp/.X11-unix/X{display}"), 20, "Xvfb")
        simulator = subprocess.Popen([sim, "--bind", SIM_ADDRESS, "--rate", str(rate),
                                      "--speed", str(args.speed), "--autostart", "1", "--quiet"],
                                     stdout=subprocess.DEVNULL)
        procs.append(simulator)
        time.sleep(0.5)
        log = os.path.join(scratch, f"output-{rate}.log")
        program = subprocess.Popen([calvero, "--connect", SIM_ADDRESS, "--records", records,
                                    "--log", log], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        procs.append(program)
        time.sleep(1.0 + args.warmup)  # the bake starts a second after the connection
        for p, name in ((xvfb, "Xvfb"), (simulator, "calvero-sim"), (program, "calvero")):
            if p.poll() is not None:
                raise RuntimeError(f"{name} ended early ({p.returncode})")
        ticks = cpu_ticks(program.pid)
        start = time.monotonic()
        time.sleep(args.seconds)
        ticks = cpu_ticks(program.pid) - ticks
        elapsed = time.monotonic() - start
        if args.keep and shutil.which("xwd"):
            subprocess.run(["xwd", "-root", "-display", f":{display}", "-out",
                            os.path.join(scratch, f"screen-{rate}.xwd")], check=False)
        if program.poll() is not None:
            raise RuntimeError(f"calvero ended while measured ({program.returncode})")
        # A bake that ended early would be measured idle: the record is saved
        # into the records folder when it ends.
        if os.listdir(records):
            raise RuntimeError(f"the bake ended within the measurement at {rate}/s: "
                               "lower --speed or --seconds")
        return 100.0 * ticks / os.sysconf("SC_CLK_TCK") / elapsed
    finally:
        for p in reversed(procs):
            stop(p)


def main():
    if os.environ.get("CALVERO_ISOLATED") != "1":
        isolated = os.path.join(ROOT, "scripts", "isolated")
        os.execv(isolated, [isolated, sys.executable, os.path.abspath(__file__)] + sys.argv[1:])
    args = parse_args()
    rates = [int(r) for r in args.rates.split(",") if r]
    scratch = tempfile.mkdtemp(prefix="live_cpu_share-")
    shares = {}
    try:
        for rate in rates:
            shares[rate] = measure(args, rate, scratch)
            print(f"share_{rate}: {shares[rate]:.2f}", flush=True)
    finally:
        if args.keep:
            print(f"kept: {scratch}", file=sys.stderr)
        else:
            shutil.rmtree(scratch, ignore_errors=True)
    if 10 in shares and 1000 in shares and shares[10] > 0:
        print(f"ratio: {shares[1000] / shares[10]:.2f}")
    print(f"load_average: {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
