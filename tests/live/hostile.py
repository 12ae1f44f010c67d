"""What a hostile or careless client does to the station's web service, over loopback: the
moves the hostile-client check and its benchmark share."""

import base64
import http.client
import select
import socket
import threading
import time


def idle_connections(port, count, source="127.0.0.2"):
    """`count` connections that send nothing, from another loopback address than the checks
    use. Returns the sockets (the caller closes them)."""
    socks = []
    for _ in range(count):
        s = socket.socket()
        s.bind((source, 0))
        s.settimeout(2)
        try:
            s.connect(("127.0.0.1", port))
        except OSError:
            s.close()
            continue
        s.setblocking(False)
        socks.append(s)
    return socks


def still_open(socks, settle=1.0):
    """The sockets the server has not closed after `settle` seconds of silence."""
    deadline = time.monotonic() + settle
    closed = set()
    while time.monotonic() < deadline:
        readable, _, _ = select.select([s for s in socks if s not in closed], [], [], 0.1)
        for s in readable:
            try:
                if s.recv(4096) == b"":
                    closed.add(s)
            except OSError:
                closed.add(s)
    return [s for s in socks if s not in closed]


def close_all(socks):
    for s in socks:
        s.close()


def raw_request(port, data, timeout=5, source="127.0.0.1"):
    """Sends `data` as it is and returns what comes back before the server closes or goes quiet
    for `timeout` s (b"" when it closed without a word)."""
    s = socket.socket()
    s.bind((source, 0))
    s.settimeout(timeout)
    try:
        s.connect(("127.0.0.1", port))
        try:
            s.sendall(data)
        except OSError:
            pass  # closed while we were still sending: that is an answer too
        out = b""
        while True:
            try:
                chunk = s.recv(65536)
            except (socket.timeout, OSError):
                break
            if not chunk:
                break
            out += chunk
        return out
    finally:
        s.close()


def status_of(answer):
    """The status code of a raw HTTP answer; None when there is none."""
    if not answer.startswith(b"HTTP/1."):
        return None
    return int(answer.split(b" ", 2)[1])


def oversized_headers(port, header_bytes):
    """A GET with one header of `header_bytes` bytes: the status answered, None when closed."""
    data = (b"GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Fill: " + b"a" * header_bytes +
            b"\r\nConnection: close\r\n\r\n")
    return status_of(raw_request(port, data))


def slow_request(port, seconds, path=b"/healthz"):
    """A request sent a byte at a time over about `seconds` s: (status or None, whether the
    server closed the connection before the request was whole)."""
    data = b"GET " + path + b" HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " + b"s" * 8 + b"\r\n\r\n"
    gap = seconds / len(data)
    s = socket.socket()
    s.settimeout(5)
    s.connect(("127.0.0.1", port))
    try:
        for i in range(len(data)):
            try:
                s.send(data[i:i + 1])
            except OSError:
                return None, True
            time.sleep(gap)
        try:
            answer = s.recv(65536)
        except OSError:
            return None, True
        return status_of(answer), False
    finally:
        s.close()


class Trickle:
    """`per_source` connections from each of `sources`, each sending one header byte every
    `gap` s and never finishing its request; a connection the server closes is opened again,
    so that the pressure lasts until stop(). `reopened` counts the connections the server
    closed."""

    def __init__(self, port, sources, per_source=32, gap=1.0):
        self.port, self.gap, self.reopened = port, gap, 0
        self.stopped = threading.Event()
        self.socks = {}  # socket -> bytes sent
        self.wanted = [src for src in sources for _ in range(per_source)]
        self.slots = [None] * len(self.wanted)
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _open(self, i):
        s = socket.socket()
        try:
            s.bind((self.wanted[i], 0))
            s.settimeout(2)
            s.connect(("127.0.0.1", self.port))
            s.setblocking(False)
        except OSError:
            s.close()
            return None
        return [s, 0]

    def _run(self):
        head = b"GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " + b"s" * 4096
        while not self.stopped.is_set():
            for i, slot in enumerate(self.slots):
                if slot is None:
                    self.slots[i] = slot = self._open(i)
                    if slot is None:
                        continue
                s, sent = slot
                try:
                    if s.recv(4096, socket.MSG_DONTWAIT) == b"":
                        raise OSError("closed")
                except BlockingIOError:
                    pass
                except OSError:
                    s.close()
                    self.slots[i] = None
                    self.reopened += 1
                    continue
                try:
                    s.send(head[sent % len(head):sent % len(head) + 1])
                    slot[1] += 1
                except OSError:
                    pass
            self.stopped.wait(self.gap)

    def stop(self):
        self.stopped.set()
        self.thread.join()
        for slot in self.slots:
            if slot:
                slot[0].close()


def answered_from(port, path, source, tries, gap, timeout=2.0):
    """GET `path` from `source` `tries` times, `gap` s apart: how many were answered 200."""
    ok = 0
    for _ in range(tries):
        started = time.monotonic()
        request = (b"GET " + path + b" HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                   b"Connection: close\r\n\r\n")
        if status_of(raw_request(port, request, timeout=timeout, source=source)) == 200:
            ok += 1
        time.sleep(max(0.0, gap - (time.monotonic() - started)))
    return ok


def timed_get(port, path, source, user, password):
    """GET `path` from `source` with Basic credentials: (status, seconds taken)."""
    token = base64.b64encode(f"{user}:{password}".encode()).decode()
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=30, source_address=(source, 0))
    try:
        started = time.monotonic()
        conn.request("GET", path, headers={"Authorization": "Basic " + token})
        r = conn.getresponse()
        r.read()
        return r.status, time.monotonic() - started
    finally:
        conn.close()


class Flood:
    """GET `path` at about `rate` requests a second over `threads` keep-alive connections for
    `seconds` s, on threads of its own. After join(): the count, the failures and the latencies
    (s) of the answered requests."""

    def __init__(self, port, path, rate, seconds, threads=10, check=None):
        self.port, self.path, self.check = port, path, check
        self.latencies, self.failures, self.lock = [], [], threading.Lock()
        per_thread_gap = threads / rate
        self.started = time.monotonic()
        self.end = self.started + seconds
        self.workers = [threading.Thread(target=self._run, args=(per_thread_gap, i / rate))
                        for i in range(threads)]
        for w in self.workers:
            w.start()

    def _run(self, gap, offset):
        conn = None
        due = self.started + offset
        while due < self.end:
            now = time.monotonic()
            if now < due:
                time.sleep(due - now)
            try:
                if conn is None:
                    conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=5)
                t = time.monotonic()
                conn.request("GET", self.path)
                r = conn.getresponse()
                body = r.read()
                took = time.monotonic() - t
                ok = r.status == 200 and (self.check is None or self.check(body))
                with self.lock:
                    (self.latencies.append(took) if ok else
                     self.failures.append(f"status {r.status}"))
            except (OSError, http.client.HTTPException) as e:
                with self.lock:
                    self.failures.append(type(e).__name__)
                if conn:
                    conn.close()
                conn = None
            due += gap
        if conn:
            conn.close()

    def join(self):
        for w in self.workers:
            w.join()
        return self


def percentile(values, p):
    v = sorted(values)
    return v[min(len(v) - 1, int(p / 100.0 * len(v)))] if v else float("nan")
