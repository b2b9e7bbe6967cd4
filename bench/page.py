#!/usr/bin/python3
"""The page in headless Chromium against tree -H's page of the same tree, in one run: bytes a
track, the load event, and how long a search keystroke takes to be answered (on the screen: the
results drawn), at 20,000 and 100,000 tracks. Covers and tags off.

    bench/page.py LYSTORA_LIST BENCH_TREE WORK_DIR
"""

import functools
import http.server
import os
import statistics
import subprocess
import sys
import threading

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

LIST, MAKE_TREE, WORK = sys.argv[1:4]
KEYS = ["t", "tr", "tra", "track 7", "album 3", "artist 1", "9 - track 9", "zz", ""]


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--window-size=1280,900",
                 "--user-data-dir=" + os.path.join(WORK, "chromium")):
        options.add_argument(flag)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def load_ms(driver, url):
    """The load event after navigation start, best of 3 (each from a fresh page)."""
    best = None
    for _ in range(3):
        driver.get("about:blank")
        driver.get(url)
        ms = driver.execute_script(
            "var t = performance.getEntriesByType('navigation')[0];"
            "return t.loadEventEnd - t.startTime;")
        best = ms if best is None else min(best, ms)
    return best


def keystroke_ms(driver):
    """From a key in the search box to the next frame drawn after it, for each query of KEYS,
    once the page has prepared its search; the median and the worst."""
    driver.execute_script("window.scrollTo(0, 0)")
    # The page prepares the search in parts after its load: wait for it to be done.
    driver.set_script_timeout(120)
    driver.execute_async_script(
        "var done = arguments[0], box = document.getElementById('q');"
        "(function wait() { if (box.dataset.ready) done(); else setTimeout(wait, 20); })();")
    times = []
    for query in KEYS:
        times.append(driver.execute_async_script(
            "var q = arguments[0], done = arguments[1], box = document.getElementById('q');"
            "var t0 = performance.now(); box.value = q;"
            "box.dispatchEvent(new Event('input'));"
            "requestAnimationFrame(function () { setTimeout(function () {"
            "  done(performance.now() - t0); }, 0); });", query))
    print("  keystrokes: " + ", ".join("%r %.0f" % (q, t) for q, t in zip(KEYS, times)))
    return statistics.median(times), max(times)


def measure(driver, label, artists):
    tree = os.path.join(WORK, label)
    subprocess.run([MAKE_TREE, "deep", str(artists), tree], check=True)
    tracks = artists * 500
    page = os.path.join(tree, "index.html")
    subprocess.run([LIST, "-q", "-f", "--format", "page", "--no-tags", "--no-covers", tree, page],
                   check=True)
    with open(os.path.join(tree, "tree.html"), "wb") as out:
        subprocess.run(["tree", "-H", ".", "."], cwd=tree, stdout=out, check=True)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0),
                                             functools.partial(Quiet, directory=tree))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = "http://127.0.0.1:%d/" % server.server_address[1]
    try:
        ours = load_ms(driver, url + "index.html")
        theirs = load_ms(driver, url + "tree.html")
        driver.get(url + "index.html")
        median, worst = keystroke_ms(driver)
    finally:
        server.shutdown()
    page_bytes = os.path.getsize(page) / tracks
    tree_bytes = os.path.getsize(os.path.join(tree, "tree.html")) / tracks
    print("page %-6s %6d tracks: %5.1f B a track (tree -H %5.1f), load %5.0f ms (tree -H %5.0f,"
          " %.2fx), keystroke median %4.0f ms, worst %4.0f ms"
          % (label, tracks, page_bytes, tree_bytes, ours, theirs, ours / theirs, median, worst))
    return "%s=%.2f" % (label, ours / theirs)


def main():
    driver = browser()
    try:
        ratios = [measure(driver, "20k", 40), measure(driver, "100k", 200)]
    finally:
        driver.quit()
    print("page-load " + " ".join(ratios))


if __name__ == "__main__":
    main()
