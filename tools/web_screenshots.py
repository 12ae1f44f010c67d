#!/usr/bin/python3
"""Pictures of the status page on the demo plant as a wall screen (1920x1080) and a phone
(390x844) show it: a demo station serving it on a free loopback port, headless Chromium.

    tools/web_screenshots.py NMS_CLI OUT_DIR
"""

import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # nothing written into the sources
sys.path.insert(0, os.path.join(here, "..", "tests", "live"))
import live_station as live  # noqa: E402
import status_page  # noqa: E402


def run(nms_cli, out):
    os.makedirs(out, exist_ok=True)
    with live.Processes() as procs:
        station = live.DemoStation(procs, nms_cli, "site-a")
        with status_page.Browser(procs) as browser:
            browser.open(station.url + "/")
            status_page.wait_for_plant(browser, station)
            for width, height, mobile in ((1920, 1080, False), (390, 844, True)):
                path = os.path.join(out, f"web-status-{width}x{height}.png")
                browser.screenshot(path, width, height, mobile)
                print(path)
            errors = browser.errors()
            live.check(not errors, f"the browser's log holds errors: {errors}")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    live.main(lambda: run(sys.argv[1], sys.argv[2]))
