#!/usr/bin/env python3
"""Start-up of the real spooler: from exec to the last command of the printer's
initialisation sequence on the simulator's line (the timer is enabled right after it, once the
history purge has run), and the resident memory two seconds later.

Usage: bench/app/startup.py [BUILD_DIR] [RUNS]
"""
import os, shutil, subprocess, sys, tempfile, time

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
env = dict(os.environ, QT_QPA_PLATFORM="offscreen")


def last_init_time(trace, start_us):
    with open(trace) as f:
        for line in f:
            if line.startswith("# start:"):
                start_us = int(line.split()[2])
            elif " rx " in line and "1B 74 02" in line.upper():
                return start_us + int(line.split()[0])
    return None


results = []
for run in range(runs):
    station = tempfile.mkdtemp(prefix="plinova-startup-")
    trace = os.path.join(station, "trace")
    sim = subprocess.Popen([os.path.join(build, "tools/cardsim/plinova-cardsim"), "--device-file",
                            os.path.join(station, "device"), "--trace", trace, "--quiet"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(200):
        if os.path.exists(os.path.join(station, "device")):
            break
        time.sleep(0.01)
    device = open(os.path.join(station, "device")).read().strip()
    with open(os.path.join(station, "Plinova.ini"), "w") as f:
        f.write("[OPCOES]\r\nCertificadora=1\r\nDispositivo Certificadora=%s\r\n" % device)
    with open(os.path.join(station, "Molvar.ini"), "w") as f:
        f.write("[OPCOES]\r\nPosto=1\r\n")
    with open(os.path.join(station, "Molvar.udl"), "w") as f:
        f.write("Provider=SQLite;Data Source=station.db\r\n")
    shutil.copy(os.path.join(build, "app/plinova"), station)
    subprocess.run([os.path.join(build, "tools/queue/plinova-queue"), "--udl",
                    os.path.join(station, "Molvar.udl"), "init"], check=True)
    t0 = time.monotonic_ns() // 1000
    spooler = subprocess.Popen([os.path.join(station, "plinova")], cwd=station, env=env,
                               stderr=subprocess.DEVNULL)
    ready = None
    for _ in range(500):
        ready = last_init_time(trace, 0)
        if ready:
            break
        time.sleep(0.005)
    time.sleep(2)
    rss = None
    with open("/proc/%d/status" % spooler.pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                rss = int(line.split()[1])
    spooler.terminate()
    spooler.wait()
    sim.terminate()
    sim.wait()
    shutil.rmtree(station)
    results.append(((ready - t0) / 1000.0, rss))

times = sorted(r[0] for r in results)
print("start-up to initialised printer: median %.0f ms, max %.0f ms over %d runs" %
      (times[len(times) // 2], times[-1], runs))
print("resident memory after start-up: %s kB" % ", ".join(str(r[1]) for r in results))
