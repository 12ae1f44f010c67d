#!/usr/bin/python3
"""The system service's command line as systemd runs it, on the demo plant: the shipped
configuration (its listen address, metrics file, state folder and schedule changed for the
check), as an unprivileged user of its own when run as root, with a notification socket in
place of systemd's.

- It says READY=1 once its first cycle has ended, and feeds the watchdog.
- Its metrics file lands in a textfile folder, readable by another user (node_exporter).
- A reload (SIGHUP) after an edit takes the new station name without dropping a client of the
  live feed: each keeps receiving the cycles.
- Its discovery merges: a record the plant no longer answers for is kept and marked, one at an
  old address is updated, each an event in the journal.
- A person's station started on the same host makes it lend the element ports: /healthz says
  "paused: a station runs on this host" while that station runs, and monitoring resumes when it
  ends.
- SIGTERM ends it with 0.

    service_test.py NMS_CLI SHIPPED_CONFIG
"""

import os
import pwd
import re
import shutil
import signal
import socket
import stat
import subprocess
import sys
import threading
import time
import urllib.request

sys.dont_write_bytecode = True  # nothing written into the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import live_station as live  # noqa: E402

GONE_MAC = "00:1A:2B:7F:7F:01"  # a record no demo element answers for
MOVED_NAME = "STUDIO A LR"  # kept in the database at an address it no longer has


class Notifications:
    """systemd's side of sd_notify: an abstract datagram socket, every message kept."""

    def __init__(self):
        self.name = f"vantrelo-nms-test-notify-{os.getpid()}"
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.sock.bind("\0" + self.name)
        self.sock.settimeout(0.2)
        self.messages = []
        self.times = []
        self.done = False
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        while not self.done:
            try:
                message = self.sock.recv(4096).decode()
                self.times.append(time.monotonic())
                self.messages.append(message)
            except socket.timeout:
                continue

    def first_after(self, line, after):
        """When `line` was first told after the time `after` (time.monotonic()), or None."""
        for t, m in zip(list(self.times), list(self.messages)):
            if t >= after and line in m.split("\n"):
                return t
        return None

    def count(self, line):
        return sum(1 for m in list(self.messages) if line in m.split("\n"))

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.done = True
        self.thread.join()
        self.sock.close()


class FeedClient:
    """A client of the live feed that counts the cycles it is told of."""

    def __init__(self, url):
        self.cycles = 0
        self.ended = None
        self.response = urllib.request.urlopen(url + "/api/v1/stream", timeout=30)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        try:
            for line in self.response:
                if line.startswith(b"event: cycle"):
                    self.cycles += 1
            self.ended = "closed by the station"
        except (OSError, AttributeError, ValueError) as e:  # AttributeError: closed under it
            self.ended = str(e)

    def close(self):
        self.response.close()


def configured(shipped, values):
    """The shipped file with `values` set: a key's line replaced where it stands (commented or
    not), appended otherwise."""
    lines = open(shipped).read().splitlines()
    for key, value in values.items():
        pattern = re.compile(rf"^#?\s*{key}\s*=")
        at = [i for i, line in enumerate(lines) if pattern.match(line)]
        if at:
            lines[at[0]] = f"{key} = {value}"
        else:
            lines.append(f"{key} = {value}")
    return "\n".join(lines) + "\n"


def run_as(nms_cli):
    """The command prefix and the user the service runs as: an unprivileged one under root,
    when that user can reach the program (a build in a folder only root may enter cannot)."""
    if os.geteuid() != 0:
        return [], None
    user = pwd.getpwnam("nobody")
    prefix = ["setpriv", f"--reuid={user.pw_uid}", f"--regid={user.pw_gid}", "--clear-groups",
              "--"]
    if subprocess.run(prefix + [nms_cli, "--version"], stdout=subprocess.DEVNULL,
                      stderr=subprocess.DEVNULL).returncode != 0:
        print(f"{nms_cli} cannot be run as nobody here: the service runs as root")
        return [], None
    return prefix, user


def give(path, user):
    if user:
        for root, dirs, files in os.walk(path):
            for n in [root] + [os.path.join(root, x) for x in dirs + files]:
                os.chown(n, user.pw_uid, user.pw_gid)


def run(nms_cli, shipped):
    prefix, user = run_as(nms_cli)
    rendezvous = f"vantrelo-nms-test-ports-{os.getpid()}"
    with live.Processes() as procs, Notifications() as notes:
        top = procs.folder("nms-service-")
        os.chmod(top, 0o755)
        state, textfile = os.path.join(top, "state"), os.path.join(top, "textfile")
        os.makedirs(state)
        os.makedirs(textfile)
        port = live.free_port()
        url = f"http://127.0.0.1:{port}"
        config = os.path.join(top, "monitor.conf")
        values = {"listen": f"127.0.0.1:{port}", "station": "noc-check", "interval": 2,
                  "metrics_file": os.path.join(textfile, "vantrelo-nms.prom"),
                  "state_directory": state, "discover_at_start": "yes", "discover_every": "1h"}
        with open(config, "w") as f:
            f.write(configured(shipped, values))
        give(top, user)
        env = dict(os.environ, NOTIFY_SOCKET="@" + notes.name, WATCHDOG_USEC="2000000",
                   NMS_PORTS_RENDEZVOUS=rendezvous)
        env.pop("WATCHDOG_PID", None)
        argv = prefix + [nms_cli, "service", "--config", config, "--demo"]

        def start(log):
            return procs.start(argv, env=env, log=os.path.join(top, log))

        # First start: an empty database is discovered at once, and the service is ready.
        service = start("first.log")
        live.wait_until("READY=1", lambda: notes.count("READY=1") >= 1, 30)
        live.wait_until("the demo plant in the database",
                        lambda: live.get_json(url + "/api/v1/station")["elements"] == 5, 30)
        live.check(procs.stop(service) == 0, "SIGTERM did not end the service with 0")
        live.check(notes.count("STOPPING=1") == 1, "no STOPPING=1 before the end")

        # The database as a plant that changed since: one element gone, one moved.
        demo_db = os.path.join(state, "demo", "nms.ini")
        text = open(demo_db).read()
        sections = re.split(r"(?m)^(?=\[)", text)
        moved = next(s for s in sections if f"NAME={MOVED_NAME}" in s)
        gone = re.sub(r"^\[[0-9A-F]{12}\]", "[" + GONE_MAC.replace(":", "") + "]", moved)
        gone = re.sub(r"(?m)^NAME=.*$", "NAME=DECOMMISSIONED", gone)
        gone = re.sub(r"(?m)^IP=.*$", "IP=192.168.77.77", gone)
        text = text.replace(moved, re.sub(r"(?m)^IP=.*$", "IP=192.168.77.78", moved)) + gone
        with open(demo_db, "w") as f:
            f.write(text)
        give(state, user)

        ready_before = notes.count("READY=1")
        service = start("second.log")
        live.wait_until("READY=1 again", lambda: notes.count("READY=1") > ready_before, 30)
        def merged():
            return {(e["what"], e["name"]) for e in live.get_json(url + "/api/v1/events?limit=50")}
        expected = {("not found by discovery", "DECOMMISSIONED"), ("address changed", MOVED_NAME)}
        live.wait_until(f"the merge's events {expected}", lambda: expected <= merged(), 30)
        live.check(live.get_json(url + "/api/v1/station")["elements"] == 6,
                   "the record no element answers for was not kept")
        fed = notes.count("WATCHDOG=1")
        live.wait_until("the watchdog fed", lambda: notes.count("WATCHDOG=1") >= fed + 2, 10)

        prom = os.path.join(textfile, "vantrelo-nms.prom")
        live.wait_until("the metrics file", lambda: os.path.exists(prom), 10)
        mode = os.stat(prom).st_mode
        live.check(mode & stat.S_IROTH, f"node_exporter cannot read the metrics file ({oct(mode)})")

        # A reload keeps the live feed's clients.
        clients = [FeedClient(url) for _ in range(3)]
        live.wait_until("every client told a cycle", lambda: all(c.cycles for c in clients), 10)
        with open(config, "w") as f:
            f.write(configured(shipped, dict(values, station="noc-renamed")))
        started = time.monotonic()
        service.send_signal(signal.SIGHUP)
        ready = live.wait_until("READY=1 after the reload",
                                lambda: notes.first_after("READY=1", started), 10)
        live.check(notes.first_after("RELOADING=1", started), "no RELOADING=1 before READY=1")
        live.wait_until("the new name", lambda: live.get_json(
            url + "/api/v1/station")["station"] == "noc-renamed", 10)
        at_reload = [c.cycles for c in clients]
        live.wait_until("cycles after the reload",
                        lambda: all(c.cycles >= n + 2 for c, n in zip(clients, at_reload)), 15)
        kept = sum(1 for c in clients if c.ended is None)
        print(f"reload: READY=1 {ready - started:.3f} s after SIGHUP; "
              f"live-feed clients kept {kept} of {len(clients)}")
        live.check(kept == len(clients), "a reload dropped a live-feed client")
        live.check(service.poll() is None, "SIGHUP ended the service")
        for c in clients:
            c.close()

        # A person's station on the same host: the service lends it the ports, then resumes.
        person = subprocess.Popen([nms_cli, "discover", "--demo", "--timeout", "3"],
                                  env=dict(os.environ, NMS_PORTS_RENDEZVOUS=rendezvous,
                                           XDG_RUNTIME_DIR=procs.folder("nms-person-")),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        said = live.wait_until("the pause", lambda: (lambda s: s if b"paused" in s[2] else None)(
            live.http_get(url + "/healthz")), 5, step=0.1)
        live.check(said[0] == 503 and said[2].startswith(b"paused: a station runs on this host"),
                   f"/healthz said {said[0]} {said[2]!r}")
        live.check(live.get_json(url + "/api/v1/station")["paused_since"],
                   "the station's JSON does not say since when it is paused")
        person.wait(30)
        cycles = live.get_json(url + "/api/v1/station")["cycles"]
        live.wait_until("monitoring again", lambda: live.http_get(url + "/healthz")[0] == 200 and
                        live.get_json(url + "/api/v1/station")["cycles"] > cycles, 15)
        print("lent the element ports to a person's station and took them back")
        live.check(procs.stop(service) == 0, "SIGTERM did not end the service with 0")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    live.main(lambda: run(sys.argv[1], os.path.abspath(sys.argv[2])))
