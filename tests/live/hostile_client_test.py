#!/usr/bin/python3
"""A hostile client against a demo station's web service, on loopback: the limits hold and the
station keeps answering. Correctness only; bench/bench_web_hostile.py measures the figures
(memory, cycle time, latency under load).

- 200 idle connections from another loopback address: at most 64 are kept, the others are
  closed at once, and those kept are closed within 5 s; then /healthz answers.
- Oversized headers: 431 or a closed connection, never an answer read from them.
- A request sent a byte at a time: /healthz answers other clients meanwhile.
- Two addresses trickling 32 connections each: /healthz from a third is answered every time,
  and the trickling connections are closed (a request must arrive whole within 5 s).
- A burst of /metrics requests over keep-alive connections: every one answered whole.
- Afterwards the monitor still cycles and the station answers.

    hostile_client_test.py NMS_CLI
"""

import os
import sys
import threading
import time

sys.dont_write_bytecode = True  # nothing written into the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hostile  # noqa: E402
import live_station as live  # noqa: E402
from live_station import check  # noqa: E402

MAX_CONNECTIONS = 64


def last_cycle(station):
    text = live.http_get(station.url + "/metrics")[2].decode()
    return live.metric_samples(text, "vantrelo_monitor_last_cycle_timestamp_seconds")[0][1]


def healthz(station):
    return live.status_of(station.url + "/healthz")


def run(nms_cli):
    with live.Processes() as procs:
        station = live.DemoStation(procs, nms_cli, "hostile")
        live.wait_until("a first cycle", lambda: last_cycle(station) > 0, 20)

        # The connection limit, and idle connections closed.
        socks = hostile.idle_connections(station.port, 200)
        try:
            kept = hostile.still_open(socks, settle=1.5)
            print(f"idle connections: {len(socks)} opened, {len(kept)} kept")
            check(0 < len(kept) <= MAX_CONNECTIONS,
                  f"{len(kept)} idle connections kept, at most {MAX_CONNECTIONS} allowed")
            live.wait_until("the idle connections to be closed",
                            lambda: not hostile.still_open(kept, settle=0.5), 25)
        finally:
            hostile.close_all(socks)
        # The server counts a closed connection free once its thread has ended, a moment later.
        live.wait_until("/healthz to answer after the idle connections",
                        lambda: healthz(station) == 200, 10)

        # Oversized headers.
        for size in (40 * 1024, 1024 * 1024):
            status = hostile.oversized_headers(station.port, size)
            check(status in (431, None),
                  f"a request with a header of {size} bytes was answered {status}")

        # A slow request does not hold up the others.
        slow = {}
        t = threading.Thread(target=lambda: slow.update(r=hostile.slow_request(station.port, 4)))
        t.start()
        try:
            time.sleep(0.5)
            check(healthz(station) == 200, "/healthz does not answer during a slow request")
        finally:
            t.join()
        print(f"slow request: {slow.get('r')}")

        # Two hosts trickle all the connections they may; a third is still answered, and the
        # tricklers are closed however steadily they send.
        trickle = hostile.Trickle(station.port, ["127.0.0.1", "127.0.0.3"], per_source=32,
                                  gap=0.5)
        try:
            time.sleep(1)
            answered = hostile.answered_from(station.port, b"/healthz", "127.0.0.4", tries=4,
                                             gap=2.0)
            print(f"/healthz from a third address while two trickle: {answered} of 4")
            check(answered == 4, f"/healthz answered {answered} of 4 while two hosts trickle")
            live.wait_until("a trickling connection to be closed", lambda: trickle.reopened > 0,
                            15)
        finally:
            trickle.stop()
        live.wait_until("/healthz to answer after the trickle", lambda: healthz(station) == 200,
                        10)

        # A burst on /metrics: every answer whole.
        flood = hostile.Flood(station.port, "/metrics", rate=500, seconds=2,
                              check=lambda b: b.endswith(b"\n") and
                              b"vantrelo_element_up{" in b and
                              b"vantrelo_station_info{" in b).join()
        check(not flood.failures, f"{len(flood.failures)} of the burst failed: "
                                  f"{sorted(set(flood.failures))}")
        check(len(flood.latencies) > 500, f"only {len(flood.latencies)} requests of the burst")

        # The monitor cycled all along and still does; the station answers.
        before = last_cycle(station)
        live.wait_until("another cycle", lambda: last_cycle(station) > before, 10)
        check(healthz(station) == 200, "/healthz does not answer at the end")
        check(station.proc.poll() is None, "the station ended")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    live.main(lambda: run(sys.argv[1]))
