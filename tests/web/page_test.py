#!/usr/bin/python3
"""The page as its visitors meet it, in Debian's Chromium driven by Selenium, served by a server
this test starts on 127.0.0.1: a tree of short real tones with tags and covers, played, searched,
sorted, opened at an anchor, checked by axe-core; then a page of hostile names where nothing of
theirs may run.

    page_test.py LYSTORA_LIST AXE_DIR [--screenshots DIR]
"""

import contextlib
import functools
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import wave

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

LIST, AXE = sys.argv[1], os.path.join(sys.argv[2], "axe.min.js")
SHOTS = sys.argv[sys.argv.index("--screenshots") + 1] if "--screenshots" in sys.argv else None
ENV = dict(os.environ, LC_ALL="C.UTF-8")
GUARD = 30  # seconds, only as a guard: every wait is on what the page shows
failures = []


def check(what, ok, detail=""):
    print("%-58s %s" % (what, "ok" if ok else "FAILED " + str(detail)))
    if not ok:
        failures.append(what)


def tone(path, seconds):
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(8000)
        out.writeframes(b"\0\0" * int(8000 * seconds))


def make_tree(root):
    """Albums of real MP3 tones, tagged, with a cover file in one and a picture in another."""
    wav = os.path.join(root, "tone.wav")
    tone(wav, 1.0)
    art = os.path.join(root, "art.jpg")
    subprocess.run(["ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i",
                    "color=c=0x3366aa:s=400x400", "-frames:v", "1", art], check=True)
    music = os.path.join(root, "music")

    def track(folder, name, title=None, artist=None, album=None, number=None, picture=None):
        os.makedirs(os.path.join(music, folder), exist_ok=True)
        args = ["lame", "--quiet"]
        for flag, value in (("--tt", title), ("--ta", artist), ("--tl", album),
                            ("--tn", number), ("--ti", picture)):
            if value:
                args += [flag, str(value)]
        subprocess.run(args + [wav, os.path.join(music, folder, name)], check=True, env=ENV)

    track("Björk/Homogenic", "01 Hunter.mp3", "Hunter", "Björk", "Homogenic", 1)
    track("Björk/Homogenic", "02 Jóga.mp3", "Jóga", "Björk", "Homogenic", 2)
    shutil.copy(art, os.path.join(music, "Björk/Homogenic/cover.jpg"))
    track("Édith Piaf/La Vie en rose", "01 La Vie en rose.mp3", "La Vie en rose", "Édith Piaf",
          "La Vie en rose", 1)
    track("Miles Davis/Kind of Blue", "01 So What.mp3", "So What", "Miles Davis",
          "Kind of Blue", 1, art)
    track("Miles Davis/Kind of Blue", "02 Blue in Green.mp3", "Blue in Green", "Miles Davis",
          "Kind of Blue", 2)
    track("Loose", "untagged.mp3")
    with open(os.path.join(music, "Loose", "noise.mp3"), "wb") as out:
        out.write(b"\xff\xfb" + os.urandom(4000))  # no sound a browser can play
    return music


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


@contextlib.contextmanager
def served(folder):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0),
                                             functools.partial(Quiet, directory=folder))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        yield "http://127.0.0.1:%d/" % server.server_address[1]
    finally:
        server.shutdown()


def browser(home):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--mute-audio",
                 "--autoplay-policy=no-user-gesture-required", "--window-size=1280,900",
                 "--user-data-dir=" + os.path.join(home, "chromium")):
        options.add_argument(flag)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def until(driver, condition, guard=GUARD):
    try:
        return WebDriverWait(driver, guard, poll_frequency=0.05).until(lambda d: condition())
    except Exception:
        return False


def now_playing(driver):
    return driver.execute_script(
        "var a = document.querySelector('li.now > a'); return a ? a.textContent : null;")


def shot(driver, name, width, height, dark):
    if not SHOTS:
        return
    driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {
        "features": [{"name": "prefers-color-scheme", "value": "dark" if dark else "light"}]})
    driver.set_window_size(width, height)
    time.sleep(0.3)  # the picture only, never an assertion: let the layout settle
    driver.save_screenshot(os.path.join(SHOTS, name))


RECORD = """window.played = [];
new MutationObserver(function (changes) {
  changes.forEach(function (c) {
    if (c.target.classList.contains('now')) window.played.push(c.target.firstElementChild.textContent);
  });
}).observe(document.getElementById('tree'), {attributes: true, subtree: true, attributeFilter: ['class']});"""


def played(driver):
    return driver.execute_script("return window.played")


def pause(driver):
    driver.execute_script("var b = document.querySelector(\"#player button[aria-label='Pause']\");"
                          "if (b) b.click();")


def visitor(driver, url):
    driver.get(url + "index.html")
    until(driver, lambda: driver.execute_script("return document.readyState") == "complete")
    driver.execute_script(RECORD)
    # Play: a click on a title plays it, the time goes on, and at its end the next one follows.
    title = driver.find_element(By.XPATH, "//li/a[text()='Hunter']")
    driver.execute_script("arguments[0].closest('details').open = true;"
                          "arguments[0].closest('details').parentNode.closest('details').open = true;",
                          title)
    title.click()
    check("a click on a title plays it", until(driver, lambda: played(driver)[:1] == ["Hunter"]))
    check("the time of the track goes on", until(driver, lambda: int(driver.execute_script(
        "return document.getElementById('seek').value")) > 0))
    check("at its end the next track follows",
          until(driver, lambda: played(driver)[:2] == ["Hunter", "Jóga"]), played(driver))
    pause(driver)
    shot(driver, "page-playing-light.png", 1280, 900, False)
    shot(driver, "page-playing-dark.png", 1280, 900, True)
    shot(driver, "page-phone-dark.png", 390, 844, True)
    shot(driver, "page-phone-light.png", 390, 844, False)
    driver.set_window_size(1280, 900)
    # A folder's button plays its tracks, those below it too, in list order.
    driver.execute_script("window.played = [];"
                          "document.getElementById('/Miles%20Davis').open = true;")
    driver.find_element(By.CSS_SELECTOR, "button.pl[aria-label='Play Miles Davis']").click()
    check("a folder's button plays it", until(driver, lambda: played(driver)[:1] == ["So What"]))
    pause(driver)
    # A file the browser cannot play is said, and the next one plays.
    driver.execute_script("window.played = []; document.getElementById('/Loose').open = true;")
    driver.find_element(By.XPATH, "//li/a[text()='noise']").click()
    check("an unplayable file is said and the next one plays",
          until(driver, lambda: played(driver)[:2] == ["noise", "untagged"] and driver.execute_script(
              "return document.querySelector('#player [role=status]').textContent") != ""),
          played(driver))
    pause(driver)

    # Finding: words in any field, accents and case aside, folders' names too.
    box = driver.find_element(By.ID, "q")

    def search(words):
        box.clear()
        box.send_keys(words)
        until(driver, lambda: driver.find_element(By.ID, "count").text != "")
        return [a.text for a in driver.find_elements(By.CSS_SELECTOR, "#results li > a:first-child")]

    check("'bjork' finds Björk's tracks", search("bjork") == ["Hunter", "Jóga"],
          search("bjork"))
    check("'edith piaf' finds her", search("edith piaf") == ["La Vie en rose"])
    check("a folder's name finds its untagged tracks", search("loose untagged") == ["untagged"])
    check("the count is said", driver.find_element(By.ID, "count").text == "1 track")
    search("zzzz")
    check("no match is said", driver.find_element(By.ID, "count").text == "No match")
    check("the search is in the address", driver.current_url.endswith("#q=zzzz"))
    search("blue")
    Select(driver.find_element(By.ID, "sort")).select_by_value("title")
    check("sorted by title", until(driver, lambda: [a.text for a in driver.find_elements(
        By.CSS_SELECTOR, "#results li > a:first-child")] == ["Blue in Green", "So What"]))
    box.clear()
    Select(driver.find_element(By.ID, "sort")).select_by_value("order")

    # An anchor opens its folder; a shared search opens as searched.
    driver.get(url + "index.html#/Miles%20Davis/Kind%20of%20Blue")
    check("an anchor opens its folder", until(driver, lambda: driver.execute_script(
        "var d = document.getElementById('/Miles%20Davis/Kind%20of%20Blue');"
        "return d.open && d.parentNode.closest('details').open;")))
    check("the folder's picture from a track shows", until(driver, lambda: driver.execute_script(
        "var i = document.querySelector(\"details[id='/Miles%20Davis/Kind%20of%20Blue'] > summary > img.c\");"
        "return i !== null && i.complete && i.naturalWidth > 0;")))
    driver.execute_script("document.getElementById('/Bj%C3%B6rk').open = true;")
    check("the folder's cover file shows", until(driver, lambda: driver.execute_script(
        "var i = document.querySelector(\"details[id='/Bj%C3%B6rk/Homogenic'] > summary > img.c\");"
        "return i !== null && i.complete && i.naturalWidth > 0;")))
    driver.get(url + "index.html#q=piaf")
    check("a shared search opens as searched", until(driver, lambda: [a.text for a in driver.find_elements(
        By.CSS_SELECTOR, "#results li > a:first-child")] == ["La Vie en rose"]))

    # The keyboard: "/" to the search box, Space plays, arrows go on.
    driver.get(url + "index.html")
    until(driver, lambda: driver.execute_script("return document.readyState") == "complete")
    body = driver.find_element(By.TAG_NAME, "body")
    body.send_keys("/")
    check("'/' goes to the search box", driver.switch_to.active_element.get_attribute("id") == "q")
    driver.execute_script("document.activeElement.blur();")
    driver.execute_script(RECORD)
    body.send_keys(" ")
    check("Space plays", until(driver, lambda: played(driver)[:1] == ["Hunter"]))
    body.send_keys(Keys.ARROW_RIGHT)
    check("the right arrow goes to the next track",
          until(driver, lambda: played(driver)[:2] == ["Hunter", "Jóga"]))
    pause(driver)

    # axe-core: no violation of impact serious or critical, with folders open and playing.
    driver.execute_script("document.querySelectorAll('details').forEach(function (d) { d.open = true; });")
    with open(AXE) as script:
        driver.execute_script(script.read())
    for scheme in ("light", "dark"):
        driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {
            "features": [{"name": "prefers-color-scheme", "value": scheme}]})
        found = driver.execute_async_script(
            "var done = arguments[arguments.length - 1];"
            "axe.run(document).then(function (r) { done(r.violations.filter(function (v) {"
            "  return v.impact === 'serious' || v.impact === 'critical'; }).map(function (v) {"
            "  return v.id + ': ' + v.nodes.length; })); });")
        check("axe-core finds nothing serious (%s)" % scheme, found == [], found)
    shot(driver, "page-desktop-light.png", 1280, 900, False)
    shot(driver, "page-desktop-dark.png", 1280, 900, True)


HOSTILE = ["<script>window.pwned=1<script>.mp3",
           "<img src=x onerror=window.pwned=1>.mp3",
           "javascript:window.pwned=1.mp3",
           "invoice\u202Eexe.mp3",
           "x" * 200 + ".mp3"]


def hostile(driver, root):
    music = os.path.join(root, "hostile")
    os.makedirs(os.path.join(music, "<svg onload=window.pwned=1>"), exist_ok=True)
    wav = os.path.join(root, "tone.wav")
    for name in HOSTILE:
        subprocess.run(["lame", "--quiet", "--tt", "\u202E</script><b onmouseover=window.pwned=1>"
                        + "t" * 1000, "--ta", "\"'><img src=x onerror=window.pwned=1>", wav,
                        os.path.join(music, name)], check=True, env=ENV)
    with open(os.path.join(music.encode(), b"bad\xff\xfe.mp3"), "wb") as out:
        out.write(b"x")
    subprocess.run([LIST, "-q", "-f", "--format", "page", "--tags", "--title",
                    "<script>window.pwned=1</script>", music, os.path.join(music, "index.html")],
                   check=True, env=ENV)
    with served(music) as url:
        driver.get(url + "index.html")
        until(driver, lambda: driver.execute_script("return document.readyState") == "complete")
        driver.execute_script("document.querySelectorAll('details').forEach(function (d) { d.open = true; });")
        box = driver.find_element(By.ID, "q")
        box.send_keys("t")
        until(driver, lambda: driver.find_element(By.ID, "count").text != "")
        links = driver.execute_script(
            "return Array.prototype.map.call(document.querySelectorAll('a[href]'),"
            " function (a) { return a.href; });")
        check("no hostile name or tag runs anything",
              driver.execute_script("return window.pwned === undefined"))
        check("no link of theirs is a script",
              not any(l.lower().startswith("javascript:") for l in links), links[:3])


def main():
    with tempfile.TemporaryDirectory() as root:
        for variable in ("HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"):
            os.environ[variable] = ENV[variable] = root
        os.chmod(root, 0o700)
        music = make_tree(root)
        subprocess.run([LIST, "-q", "-f", "--format", "page", "--tags", "--covers",
                        "--title", "Music", "--list-lang", "en", music,
                        os.path.join(music, "index.html")], check=True, env=ENV)
        driver = browser(root)
        try:
            with served(music) as url:
                visitor(driver, url)
            hostile(driver, root)
        finally:
            driver.quit()
    print("%d failed" % len(failures) if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
