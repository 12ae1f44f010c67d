"""Demo stations serving the web service, and a Prometheus, on loopback for the checks with the
real parts: each in folders of its own, all ended and removed however the check ends."""

import ctypes
import http.server
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.parse
import urllib.request

_PR_SET_PDEATHSIG = 1


def _die_with_parent():
    # A check killed by its time-out takes its stations and its Prometheus with it.
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(_PR_SET_PDEATHSIG, signal.SIGTERM)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(what, predicate, timeout, step=0.2):
    """predicate() until it returns something true; its value. Fails naming `what`."""
    deadline = time.monotonic() + timeout
    last_error = None
    while time.monotonic() < deadline:
        try:
            value = predicate()
            if value:
                return value
        except (OSError, ValueError, KeyError) as e:
            last_error = e
        time.sleep(step)
    raise AssertionError(f"timed out after {timeout} s waiting for {what}" +
                         (f" (last error: {last_error})" if last_error else ""))


def http_get(url, timeout=5):
    """(status, headers, body) of a GET; an HTTP error status is an answer, not an exception."""
    try:
        with urllib.request.urlopen(url, timeout=timeout) as r:
            return r.status, r.headers, r.read()
    except urllib.error.HTTPError as e:
        return e.code, e.headers, e.read()


def status_of(url):
    """The status a GET of `url` is answered with, or the error that came instead."""
    try:
        return http_get(url)[0]
    except OSError as e:
        return f"{type(e).__name__}: {e}"


def get_json(url):
    status, _, body = http_get(url)
    if status != 200:
        raise ValueError(f"{url} answered {status}")
    return json.loads(body)


def metric_samples(text, name):
    """[(labels dict, value)] of one family in the Prometheus text format."""
    out = []
    for line in text.splitlines():
        if not line.startswith(name) or line[len(name):len(name) + 1] not in ("{", " "):
            continue
        labels = {}
        rest = line[len(name):]
        if rest.startswith("{"):
            body, rest = rest[1:].split("} ", 1)
            for part in _split_labels(body):
                k, v = part.split("=", 1)
                labels[k] = v[1:-1].replace('\\"', '"').replace("\\n", "\n").replace("\\\\", "\\")
        out.append((labels, float(rest.split()[0])))
    return out


def _split_labels(body):
    parts, cur, quoted, escaped = [], "", False, False
    for c in body:
        if escaped:
            cur += c
            escaped = False
        elif c == "\\":
            cur += c
            escaped = True
        elif c == '"':
            cur += c
            quoted = not quoted
        elif c == "," and not quoted:
            parts.append(cur)
            cur = ""
        else:
            cur += c
    if cur:
        parts.append(cur)
    return parts


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise ValueError("no VmRSS")


class Processes:
    """Everything a check starts: processes ended and folders removed at its end, even a failed
    one (use as a context manager)."""

    def __init__(self):
        self.procs = []
        self.folders = []
        self.kept = []

    def folder(self, prefix):
        path = tempfile.mkdtemp(prefix=prefix)
        self.folders.append(path)
        return path

    def start(self, argv, env=None, log=None):
        out = open(log, "wb") if log else subprocess.DEVNULL
        p = subprocess.Popen(argv, env=env, stdout=out, stderr=subprocess.STDOUT,
                             stdin=subprocess.DEVNULL, preexec_fn=_die_with_parent)
        if log:
            out.close()
        self.procs.append(p)
        return p

    def stop(self, p, timeout=10):
        if p.poll() is None:
            p.send_signal(signal.SIGTERM)
            try:
                p.wait(timeout)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        return p.returncode

    def keep(self, thing):
        """`thing` (a context manager) is ended with the processes."""
        self.kept.append(thing)
        return thing

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        for thing in reversed(self.kept):
            thing.__exit__(None, None, None)
        for p in reversed(self.procs):
            self.stop(p)
        for f in self.folders:
            shutil.rmtree(f, ignore_errors=True)
        return False


class DemoStation:
    """`nms-cli monitor --demo --listen 127.0.0.1:0 --station NAME` in a home of its own (the
    demo's database, settings and lock are per home, so that two run side by side), with the
    demo plant discovered first."""

    def __init__(self, procs, nms_cli, name, interval=2, extra=()):
        self.name = name
        self.home = procs.folder(f"nms-live-{name}-")
        run = os.path.join(self.home, "run")
        os.makedirs(run, mode=0o700)
        os.makedirs(os.path.join(self.home, "cfg", "vantrelo-nms"))
        with open(os.path.join(self.home, "cfg", "vantrelo-nms", "Kestrova.ini"), "w") as f:
            f.write("[Vantrelo%20NG]\nEULA1=1\n")
        self.env = {k: v for k, v in os.environ.items() if k != "NMS_DATABASE"}
        self.env.update(HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, "cfg"),
                        XDG_DATA_HOME=os.path.join(self.home, "data"), XDG_RUNTIME_DIR=run,
                        LC_ALL="C.UTF-8")
        found = subprocess.run([nms_cli, "discover", "--demo", "--yes", "--timeout", "1"],
                               env=self.env, capture_output=True, text=True, timeout=60)
        if found.returncode != 0:
            raise AssertionError(f"discover --demo for {name} failed: {found.stderr}")
        self.log = os.path.join(self.home, "monitor.log")
        # Port 0: the station takes a free one and says which ("web status at http://...").
        self.proc = procs.start([nms_cli, "monitor", "--demo", "--listen", "127.0.0.1:0",
                                 "--station", name, "--interval", str(interval), *extra],
                                env=self.env, log=self.log)
        self.url = live_url = None
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline and self.proc.poll() is None:
            m = re.search(r"web status at (http://127\.0\.0\.1:(\d+))/", self.output())
            if m:
                live_url, self.port = m.group(1), int(m.group(2))
                break
            time.sleep(0.1)
        if not live_url:
            raise AssertionError(f"station {name} did not serve: {self.output()}")
        self.url = live_url
        wait_until(f"{name} to answer /healthz",
                   lambda: http_get(self.url + "/healthz", timeout=2)[0] == 200, 20)

    def output(self):
        with open(self.log, errors="replace") as f:
            return f.read()


def sample_config(sample, rules, stations, alertmanager=None):
    """The package's sample prometheus.yml for these stations on loopback: its job, labels and
    rules as they are, every second instead of every 15 s, alerts to `alertmanager` (an
    Alertmanager's URL) or to none."""
    with open(sample) as f:
        text = f.read()
    targets = "".join(f'      - targets: ["127.0.0.1:{s.port}"]\n'
                      f"        labels:\n          station: {s.name}\n" for s in stations)
    edits = [(r"scrape_interval: 15s", lambda m: "scrape_interval: 1s\n  scrape_timeout: 1s"),
             (r"evaluation_interval: 15s", lambda m: "evaluation_interval: 1s"),
             (r"(?s)\nalerting:.*?\n(?=rule_files:)", lambda m: "\n") if not alertmanager else
             (r'"localhost:9093"', lambda m: '"' + alertmanager.split("//", 1)[1] + '"'),
             (r"/usr/share/vantrelo-nms/prometheus/vantrelo-nms\.rules\.yml", lambda m: rules),
             (r"(?s)(\n    static_configs:\n).*", lambda m: m.group(1) + targets)]
    for pattern, replacement in edits:
        text, n = re.subn(pattern, replacement, text, count=1)
        if n != 1:
            raise AssertionError(f"the sample {sample} no longer has {pattern}")
    return text


class LoopbackService:
    """A program that serves on a free loopback port and says at /-/ready when it is ready; its
    output goes to self.log."""

    def _start(self, procs, name, command):
        """Starts `command(port)`, on another free port when it does not get ready there (the
        port chosen may be taken before the program binds it)."""
        for _ in range(3):
            self.port = free_port()
            self.url = f"http://127.0.0.1:{self.port}"
            self.proc = procs.start(command(self.port), log=self.log)
            try:
                wait_until(f"{name} to be ready",
                           lambda: self.proc.poll() is None and
                           http_get(self.url + "/-/ready", timeout=2)[0] == 200, 30)
                return
            except AssertionError:
                procs.stop(self.proc)
        with open(self.log, errors="replace") as f:
            raise AssertionError(f"{name} did not start: " + f.read())


class Prometheus(LoopbackService):
    """Debian's prometheus on a free loopback port with storage of its own, scraping the given
    stations every second with the package's sample configuration and rules."""

    def __init__(self, procs, sample, rules, stations, alertmanager=None):
        self.dir = procs.folder("nms-live-prometheus-")
        config = os.path.join(self.dir, "prometheus.yml")
        with open(config, "w") as f:
            f.write(sample_config(sample, rules, stations, alertmanager))
        self.log = os.path.join(self.dir, "prometheus.log")
        self._start(procs, "Prometheus", lambda port: [
            "prometheus", f"--config.file={config}",
            f"--storage.tsdb.path={os.path.join(self.dir, 'data')}",
            f"--web.listen-address=127.0.0.1:{port}", "--log.level=warn",
            "--rules.alert.resend-delay=1s"])

    def query(self, promql):
        q = urllib.parse.urlencode({"query": promql})
        answer = get_json(f"{self.url}/api/v1/query?{q}")
        return answer["data"]["result"]

    def alerts(self):
        return get_json(self.url + "/api/v1/alerts")["data"]["alerts"]


class Webhook:
    """A webhook receiver on a free loopback port: the notifications posted to it, in order
    (as Alertmanager's JSON: status, alerts with their labels)."""

    def __init__(self):
        received = self.received = []

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
                received.append(json.loads(body))
                self.send_response(200)
                self.end_headers()

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self.server.server_address[1]}/hook"
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.server.shutdown()
        self.server.server_close()
        return False

    def alerts(self, status):
        """The labels of each alert notified with `status` ("firing", "resolved")."""
        return [a["labels"] for n in self.received for a in n.get("alerts", [])
                if a.get("status") == status]


class Alertmanager(LoopbackService):
    """Debian's Alertmanager on a free loopback port with storage of its own, no cluster, every
    alert to `webhook` at once, resolved ones too."""

    def __init__(self, procs, webhook):
        self.dir = procs.folder("nms-live-alertmanager-")
        config = os.path.join(self.dir, "alertmanager.yml")
        with open(config, "w") as f:
            f.write("route:\n  receiver: hook\n  group_by: [alertname, station, mac]\n"
                    "  group_wait: 1s\n  group_interval: 1s\n  repeat_interval: 1h\n"
                    "receivers:\n  - name: hook\n    webhook_configs:\n"
                    f"      - url: {webhook.url}\n        send_resolved: true\n")
        self.log = os.path.join(self.dir, "alertmanager.log")
        self._start(procs, "Alertmanager", lambda port: [
            "prometheus-alertmanager", f"--config.file={config}",
            f"--storage.path={os.path.join(self.dir, 'data')}",
            f"--web.listen-address=127.0.0.1:{port}", "--cluster.listen-address=",
            "--log.level=warn"])


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def main(body):
    """Runs a check: exit 0 when it passes, 1 with the reason when it fails."""
    try:
        body()
    except AssertionError as e:
        print(f"FAILED: {e}", file=sys.stderr)
        sys.exit(1)
    print("passed")
