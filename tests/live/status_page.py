"""Debian's Chromium, headless, driven through chromedriver by Selenium: the station's status
page as a browser shows it."""

import datetime
import os
import sys

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import live_station as live  # noqa: E402

HEALTH_WORDS = ("unknown", "online", "warning", "alarm", "offline")

# The health the page shows for an element, found by its name: the word in a data-health
# attribute or a class of the element's tile (the nearest enclosing node that has one).
_HEALTH_OF = """
const words = %s;
window.__nmsHealthOf = function (name) {
  for (const el of document.querySelectorAll('body *')) {
    if (el.children.length !== 0 || el.textContent.trim() !== name) continue;
    for (let n = el; n && n !== document.body; n = n.parentElement) {
      if (n.dataset && words.includes(n.dataset.health)) return n.dataset.health;
      for (const c of n.classList) if (words.includes(c)) return c;
    }
  }
  return null;
};
""" % (list(HEALTH_WORDS),)


def iso_ms(text):
    """Milliseconds since 1970 of "2026-12-08T10:00:00.123Z"."""
    t = datetime.datetime.fromisoformat(text.replace("Z", "+00:00"))
    return t.timestamp() * 1000.0


class Browser:
    def __init__(self, procs):
        profile = procs.folder("nms-live-chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for a in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                  "--no-first-run", "--disable-extensions", "--disable-background-networking",
                  "--disable-component-update", "--disable-sync", "--window-size=1920,1080",
                  f"--user-data-dir={profile}"):
            options.add_argument(a)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        service = Service(executable_path="/usr/bin/chromedriver",
                          log_path=os.path.join(profile, "chromedriver.log"),
                          popen_kw={"preexec_fn": live._die_with_parent})
        self.driver = webdriver.Chrome(service=service, options=options)
        self.driver.set_page_load_timeout(20)
        self.log = []

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.driver.quit()
        return False

    def open(self, url):
        self.driver.get(url)
        self.driver.execute_script("window.__nmsLoadMark = true;" + _HEALTH_OF)

    def text(self):
        return self.driver.execute_script("return document.body.innerText;")

    def health_of(self, name):
        return self.driver.execute_script("return window.__nmsHealthOf(arguments[0]);", name)

    def watch_health(self, name):
        """Notes, in the page, when the element's health shown changes, with the page's clock."""
        self.driver.execute_script("""
            const name = arguments[0];
            window.__nmsChanges = [];
            let last = window.__nmsHealthOf(name);
            setInterval(() => {
              const now = window.__nmsHealthOf(name);
              if (now !== last) { window.__nmsChanges.push([now, Date.now()]); last = now; }
            }, 20);""", name)

    def became(self, health):
        """When (ms since 1970) the watched element was first shown with `health`; None yet."""
        for word, ms in self.driver.execute_script("return window.__nmsChanges || [];"):
            if word == health:
                return ms
        return None

    def reloads(self):
        return 0 if self.driver.execute_script("return window.__nmsLoadMark === true;") else 1

    def errors(self):
        self.log += self.driver.get_log("browser")
        return [e for e in self.log if e.get("level") == "SEVERE"]

    def screenshot(self, path, width, height, mobile=False):
        """The page at exactly width x height CSS pixels, at scale 1."""
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": 1, "mobile": mobile})
        self.driver.execute_script("return new Promise(r => requestAnimationFrame(() => r()));")
        self.driver.save_screenshot(path)
        self.driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})


def wait_for_plant(browser, station, timeout=20):
    """Until the page shows every element of the station with the health the station gives it."""
    def same():
        elements = live.get_json(station.url + "/api/v1/elements")
        wrong = {e["name"]: (e["health"], browser.health_of(e["name"])) for e in elements
                 if browser.health_of(e["name"]) != e["health"]}
        same.last = wrong
        return not wrong
    same.last = None
    try:
        live.wait_until("the page to show every element with its health", same, timeout)
    except AssertionError as e:
        raise AssertionError(f"{e}; station vs page: {same.last}") from None
