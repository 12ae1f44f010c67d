#!/usr/bin/python3
"""Figures of a demo station's web service under a hostile client, on loopback (about a minute):
200 idle connections held, oversized headers, a request sent a byte at a time, two addresses
trickling (32 connections each, a header byte a second) while a third asks for /healthz, then
1000 requests a second on /metrics for 10 s. Prints the station's memory (RSS) and its monitor's
cycle time (vantrelo_monitor_cycle_duration_seconds, read from /metrics) before and under
the load, against the targets: memory within 5 MB, cycle time within 5 %. Then, on a station
with a user, how long a wrong password and an unknown user take to be refused (each from an
address of its own), and repeated failures from one address.

    bench/bench_web_hostile.py [NMS_CLI]     (default build/src/nms-cli)
"""

import os
import statistics
import sys
import threading
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # nothing written into the sources
sys.path.insert(0, os.path.join(here, "..", "tests", "live"))
import hostile  # noqa: E402
import live_station as live  # noqa: E402


class CycleWatch(threading.Thread):
    """Each cycle's duration, read from /metrics as the cycles end."""

    def __init__(self, station):
        super().__init__(daemon=True)
        self.station, self.cycles, self.stopped = station, {}, threading.Event()
        self.start()

    def run(self):
        while not self.stopped.is_set():
            try:
                text = live.http_get(self.station.url + "/metrics", timeout=2)[2].decode()
                ts = live.metric_samples(text, "vantrelo_monitor_last_cycle_timestamp_seconds")
                d = live.metric_samples(text, "vantrelo_monitor_cycle_duration_seconds")
                if ts and d and ts[0][1] > 0:
                    self.cycles[ts[0][1]] = d[0][1]
            except (OSError, ValueError, IndexError):
                pass
            time.sleep(0.25)

    def between(self, start_unix, end_unix):
        return [d for t, d in self.cycles.items() if start_unix <= t <= end_unix]


def mean_ms(values):
    return statistics.mean(values) * 1000 if values else float("nan")


# bcrypt of "s3cret" at cost 10, as an operator's htpasswd would write it.
OPS_HASH = "$2b$10$WElTJAOa12QG4BHfBLa5Ve1uHVRsf.jqr2DaltCK9fwtDI.RJU9zy"


def logins(procs, nms_cli):
    """Refusal times: wrong password against unknown user, then one address failing again."""
    folder = procs.folder("nms-bench-users-")
    config = os.path.join(folder, "web.yml")
    with open(config, "w") as f:
        f.write(f"basic_auth_users:\n  ops: {OPS_HASH}\n")
    os.chmod(config, 0o600)
    station = live.DemoStation(procs, nms_cli, "bench-users", extra=("--web-config", config))
    port = station.port
    hostile.timed_get(port, "/metrics", "127.0.0.1", "ops", "s3cret")  # warm
    wrong, unknown = [], []
    for i in range(6):
        wrong.append(hostile.timed_get(port, "/metrics", f"127.0.1.{i + 1}", "ops", "x")[1])
        unknown.append(hostile.timed_get(port, "/metrics", f"127.0.2.{i + 1}", "nobody", "x")[1])
    repeated = [hostile.timed_get(port, "/metrics", "127.0.3.1", "ops", f"guess{i}")[1]
                for i in range(7)]
    ok = hostile.timed_get(port, "/metrics", "127.0.3.1", "ops", "s3cret")
    med = statistics.median
    print(f"refused logins (median of 6, each from its own address): wrong password "
          f"{med(wrong) * 1000:.2f} ms, unknown user {med(unknown) * 1000:.2f} ms "
          f"(ratio {med(unknown) / med(wrong):.2f})")
    print(f"7 failures from one address (ms): {[round(t * 1000) for t in repeated]}; then the "
          f"right password: {ok[0]} in {ok[1] * 1000:.0f} ms")


def run(nms_cli):
    with live.Processes() as procs:
        station = live.DemoStation(procs, nms_cli, "bench", interval=2)
        pid = station.proc.pid
        watch = CycleWatch(station)
        time.sleep(24)  # the plant judged, the journal and the server warm; ten quiet cycles
        rss0 = live.rss_kib(pid)
        quiet = watch.between(time.time() - 20, time.time())

        socks = hostile.idle_connections(station.port, 200)
        kept = hostile.still_open(socks, settle=1.0)
        held_at = time.monotonic()
        healthz_during = live.status_of(station.url + "/healthz")
        try:
            live.wait_until("idle connections closed",
                            lambda: not hostile.still_open(kept, settle=0.2), 40, step=0.0)
            idle_closed_s = time.monotonic() - held_at
        finally:
            hostile.close_all(socks)
        live.wait_until("/healthz to answer again",
                        lambda: live.status_of(station.url + "/healthz") == 200, 10)
        rss_idle = live.rss_kib(pid)
        big = {size: hostile.oversized_headers(station.port, size)
               for size in (16 * 1024, 40 * 1024, 1024 * 1024)}
        slow = hostile.slow_request(station.port, 5)

        # Two hosts trickle; a third (a Prometheus, a wall page) asks every 2 s for 24 s.
        trickle = hostile.Trickle(station.port, ["127.0.0.1", "127.0.0.3"], per_source=32)
        try:
            time.sleep(2)
            trickled_ok = hostile.answered_from(station.port, b"/healthz", "127.0.0.4",
                                                tries=12, gap=2.0)
        finally:
            trickle.stop()
        live.wait_until("/healthz to answer after the trickle",
                        lambda: live.status_of(station.url + "/healthz") == 200, 20)

        start_unix = time.time()
        flood = hostile.Flood(station.port, "/metrics", rate=1000, seconds=10, threads=16).join()
        end_unix = time.time()
        loaded = watch.between(start_unix, end_unix)
        rss1 = live.rss_kib(pid)
        healthz_after = live.status_of(station.url + "/healthz")
        watch.stopped.set()

        print(f"idle connections: {len(socks)} opened, {len(kept)} kept, closed by the server "
              f"after {idle_closed_s:.1f} s; /healthz from another address meanwhile: "
              f"{healthz_during}")
        print("oversized header: " + ", ".join(f"{k} bytes -> {v or 'closed'}"
                                              for k, v in big.items()))
        print(f"slow request (5 s): status {slow[0]}, closed before whole: {slow[1]}")
        print(f"two addresses trickling (2 x 32 connections, a byte a second): /healthz from a "
              f"third address answered {trickled_ok} of 12 over 24 s; trickling connections "
              f"closed by the server: {trickle.reopened}")
        answered = len(flood.latencies)
        print(f"/metrics flood: {answered + len(flood.failures)} requests in 10 s "
              f"({answered / 10:.0f}/s answered), {len(flood.failures)} failed; latency p50 "
              f"{hostile.percentile(flood.latencies, 50) * 1000:.2f} ms, p99 "
              f"{hostile.percentile(flood.latencies, 99) * 1000:.2f} ms")
        print(f"memory (RSS): {rss0 / 1024:.1f} MB before, {rss_idle / 1024:.1f} MB after the "
              f"idle connections, {rss1 / 1024:.1f} MB after the flood: "
              f"{(rss1 - rss0) / 1024:+.1f} MB (target within 5 MB: "
              f"{'met' if abs(rss1 - rss0) <= 5 * 1024 else 'MISSED'})")
        q, l = mean_ms(quiet), mean_ms(loaded)
        print(f"monitor cycle: {q:.2f} ms quiet ({len(quiet)} cycles), {l:.2f} ms under the "
              f"flood ({len(loaded)} cycles): {100 * (l - q) / q:+.1f} % (target within 5 %: "
              f"{'met' if abs(l - q) <= 0.05 * q else 'MISSED'}); each cycle (ms, as /metrics "
              f"gives it): quiet {[round(d * 1000) for d in quiet]}, under the flood "
              f"{[round(d * 1000) for d in loaded]}")
        print(f"/healthz after: {healthz_after}")
        procs.stop(station.proc)
        logins(procs, nms_cli)


if __name__ == "__main__":
    default = os.path.join(here, "..", "build", "src", "nms-cli")
    live.main(lambda: run(sys.argv[1] if len(sys.argv) > 1 else default))
