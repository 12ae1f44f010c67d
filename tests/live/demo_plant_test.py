#!/usr/bin/python3
"""The web service with the real parts, on loopback: two demo stations (site-a, site-b), a real
Prometheus configured by the package's sample prometheus.yml and alert rules (every second
instead of every 15 s), and a headless Chromium on site-a's status page.

- Prometheus has both stations' vantrelo_element_up series, as many as each demo plant has
  elements, and fires the alarm of the plant's standing 10 MHz reference problem for each site.
- The page shows every element with the health the station gives it, the station's name and
  "Simulated network".
- The demo's scripted incident (TX WEST SFN loses its 1 PPS about 90 s after the start): the
  page shows the alarm within 2 s of the station's event without a reload, and Prometheus fires
  its alert (the alarm rule: it fires in the evaluation the alarm is seen; the offline rule's
  minute would make the check much longer); Debian's Alertmanager notifies a webhook receiver of
  it, and notifies it resolved when the alarm clears (20 s later).
- The browser's log holds no error.

    demo_plant_test.py NMS_CLI PROMETHEUS_DIR [--quick]   (--quick: without the incident)
    PROMETHEUS_DIR: packaging/prometheus (prometheus.yml, vantrelo-nms.rules.yml)
"""

import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing written into the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import live_station as live  # noqa: E402
import status_page  # noqa: E402

DEMO_ELEMENTS = 5
STANDING_ALARM = "STUDIO B MPX"  # its 10 MHz reference problem, from the first cycle
INCIDENT = "TX WEST SFN"  # 1 PPS missing from about 90 s after the start, for 20 s
INCIDENT_LATEST_S = 150


def firing(prom, alertname, name):
    """Stations for which `alertname` fires for the element `name`."""
    return {a["labels"].get("station") for a in prom.alerts()
            if a["state"] == "firing" and a["labels"].get("alertname") == alertname
            and a["labels"].get("name") == name}


def run(nms_cli, prometheus_dir, quick):
    with live.Processes() as procs:
        started = time.monotonic()
        stations = [live.DemoStation(procs, nms_cli, name) for name in ("site-a", "site-b")]
        webhook = procs.keep(live.Webhook())
        alertmanager = live.Alertmanager(procs, webhook)
        prom = live.Prometheus(procs, os.path.join(prometheus_dir, "prometheus.yml"),
                               os.path.join(prometheus_dir, "vantrelo-nms.rules.yml"), stations,
                               alertmanager.url)
        site_a = stations[0]

        # Each station's own list: the demo plant, whole.
        for s in stations:
            elements = live.wait_until(
                f"{s.name} to list the demo plant",
                lambda s=s: (lambda e: e if len(e) == DEMO_ELEMENTS and
                             all(x["health"] != "unknown" for x in e) else None)(
                    live.get_json(s.url + "/api/v1/elements")), 30)
            live.check(len(elements) == DEMO_ELEMENTS,
                       f"{s.name} lists {len(elements)} elements")

        # Prometheus: both stations' series, kept apart by station.
        def counts():
            result = prom.query("count by (station) (vantrelo_element_up)")
            got = {r["metric"].get("station"): int(r["value"][1]) for r in result}
            return got if got == {"site-a": DEMO_ELEMENTS, "site-b": DEMO_ELEMENTS} else None
        live.wait_until("both stations' vantrelo_element_up in Prometheus", counts, 30)
        # What a station serves is clean by promtool's rules.
        scrape = live.http_get(site_a.url + "/metrics")[2]
        lint = subprocess.run(["promtool", "check", "metrics"], input=scrape, capture_output=True)
        live.check(lint.returncode == 0 and not lint.stdout and not lint.stderr,
                   f"promtool check metrics: {(lint.stdout + lint.stderr).decode()}")
        info = prom.query("vantrelo_station_info")
        live.check(sorted(r["metric"].get("station") for r in info) == ["site-a", "site-b"],
                   f"vantrelo_station_info: {info}")
        live.check(not any("exported_station" in r["metric"] for r in info),
                   f"the station's labels clash with the target's: {info}")
        live.wait_until(f"the alarm of {STANDING_ALARM} to fire for both stations",
                        lambda: firing(prom, "VantreloElementAlarm", STANDING_ALARM) ==
                        {"site-a", "site-b"}, 30)
        quiet = [a["labels"] for a in prom.alerts()
                 if a["labels"]["alertname"].startswith("VantreloMonitor")]
        live.check(not quiet, f"a station alert while both cycle: {quiet}")

        # The page: every element with its health, as the station has it.
        with status_page.Browser(procs) as browser:
            browser.open(site_a.url + "/")
            status_page.wait_for_plant(browser, site_a)
            text = browser.text()
            live.check("site-a" in text, "the page does not name the station site-a")
            live.check("Simulated network" in text, 'the page does not say "Simulated network"')
            # On a wall screen: the window's marks, names whole, the width used.
            shape = browser.driver.execute_script(
                "return [...document.querySelectorAll('.el')].find(c => c.querySelector('.name')"
                ".textContent === arguments[0]).querySelector('.mark .shape')"
                ".getAttribute('points');", STANDING_ALARM)
            live.check(shape == "8,1 15,8 8,15 1,8", f"{STANDING_ALARM} is not a diamond: {shape}")
            browser.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": 1920, "height": 1080, "deviceScaleFactor": 1, "mobile": False})
            cut = browser.driver.execute_script(
                "return [...document.querySelectorAll('.el .name')]"
                ".filter(n => n.scrollWidth > n.clientWidth).map(n => n.textContent);")
            used = browser.driver.execute_script(
                "const p = document.getElementById('plant').getBoundingClientRect();"
                "const right = Math.max(...[...document.querySelectorAll('.el')]"
                ".map(e => e.getBoundingClientRect().right));"
                "return (right - p.left) / p.width;")
            browser.driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})
            live.check(not cut, f"names cut at 1920x1080: {cut}")
            live.check(used > 0.9, f"the elements use {used:.0%} of the plant's width at 1920x1080")

            if not quick:
                mac = next(e["mac"] for e in live.get_json(site_a.url + "/api/v1/elements")
                           if e["name"] == INCIDENT)
                browser.watch_health(INCIDENT)
                remaining = INCIDENT_LATEST_S - (time.monotonic() - started)
                shown_ms = live.wait_until(
                    f"the page to show {INCIDENT} in alarm", lambda: browser.became("alarm"),
                    remaining, step=0.5)
                events = live.get_json(f"{site_a.url}/api/v1/events?element={mac}&limit=10")
                to_alarm = [e for e in events if e.get("to") == "alarm"]
                live.check(to_alarm, f"no journal row of {INCIDENT} going to alarm: {events}")
                event_ms = status_page.iso_ms(to_alarm[0]["time"])
                delay = (shown_ms - event_ms) / 1000.0
                print(f"{INCIDENT} in alarm on the page {delay:.2f} s after the station's event")
                live.check(delay <= 2.0, f"the page showed the alarm {delay:.2f} s late")
                live.check(browser.reloads() == 0, "the page reloaded itself")
                live.wait_until(f"the alarm of {INCIDENT} to fire for both stations",
                                lambda: firing(prom, "VantreloElementAlarm", INCIDENT) ==
                                {"site-a", "site-b"}, 20)
                # Through the Alertmanager to a receiver, and resolved when the alarm clears.
                def notified(status):
                    return {a.get("station") for a in webhook.alerts(status)
                            if a.get("alertname") == "VantreloElementAlarm" and
                            a.get("name") == INCIDENT}
                live.wait_until(f"the Alertmanager to notify {INCIDENT}'s alarm",
                                lambda: notified("firing") == {"site-a", "site-b"}, 20)
                live.wait_until(f"the Alertmanager to notify {INCIDENT}'s alarm resolved",
                                lambda: notified("resolved") == {"site-a", "site-b"}, 60)
                print(f"{INCIDENT}'s alarm notified and resolved through the Alertmanager")

            errors = browser.errors()
            live.check(not errors, f"the browser's log holds errors: {errors}")
        print(f"checked in {time.monotonic() - started:.0f} s")


if __name__ == "__main__":
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    if len(args) != 2:
        sys.exit(__doc__)
    live.main(lambda: run(args[0], os.path.abspath(args[1]), "--quick" in sys.argv))
