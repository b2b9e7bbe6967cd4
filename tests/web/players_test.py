#!/usr/bin/python3
"""The playlist in the players people use: mpv and VLC (through libvlc, which runs as root too),
from the disk and served over HTTP by a server this test starts on 127.0.0.1.

    players_test.py LYSTORA_LIST

Every entry must play, but for what no single relative reference can do: a file name holding
"#", "?" or "%" and two hex digits reads as a URL in VLC (and over HTTP) and as a file name in
mpv on the disk, so that mpv cannot open those few from the disk; the test names them.
"""

import contextlib
import functools
import http.server
import os
import subprocess
import sys
import tempfile
import threading
import wave

import vlc

LIST = sys.argv[1]
NAMES = ["a b.mp3", "é.mp3", "semi;x.mp3", "http:x/y.mp3", "#hash.mp3", "q?x.mp3",
         "100%41.mp3", "100% pure.mp3"]
# What mpv, reading entries on the disk as file names, cannot open: encoded, they are URLs.
MPV_ON_DISK_CANNOT = {"#hash.mp3", "q?x.mp3", "100%41.mp3"}
ENV = dict(os.environ, LC_ALL="C.UTF-8")


def make_tree(root):
    """Short real tones under every awkward name."""
    tone = os.path.join(root, "tone.wav")
    with wave.open(tone, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(8000)
        out.writeframes(b"\0\0" * 2400)
    mp3 = os.path.join(root, "tone.mp3")
    subprocess.run(["lame", "--quiet", tone, mp3], check=True, env=ENV)
    music = os.path.join(root, "music")
    for name in NAMES:
        path = os.path.join(music, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(mp3, "rb") as src, open(path, "wb") as dst:
            dst.write(src.read())
    return music


class Handler(http.server.SimpleHTTPRequestHandler):
    # An extended M3U sent as application/vnd.apple.mpegurl (what Python's server and nginx's
    # mime.types say for .m3u8) is taken by VLC for an HLS stream, and played as nothing; sent
    # as audio/x-mpegurl, it is the playlist it is. The README says so.
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map,
                          **{".m3u8": "audio/x-mpegurl"})

    def log_message(self, *args):
        pass


@contextlib.contextmanager
def served(folder):
    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", 0), functools.partial(Handler, directory=folder))
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield "http://127.0.0.1:%d/" % server.server_address[1]
    finally:
        server.shutdown()


def mpv(playlist):
    """The entries mpv played and those it could not open."""
    out = subprocess.run(["mpv", "--no-config", "--ao=null", "--vo=null", "--end=0.05",
                          "--playlist=" + playlist], capture_output=True, text=True,
                         env=ENV, timeout=120).stdout
    tried = [line.split("Playing: ", 1)[1] for line in out.splitlines() if "Playing: " in line]
    failed = [line[len("Failed to open "):-1] for line in out.splitlines()
              if line.startswith("Failed to open ")]
    return [entry for entry in tried if entry not in failed], failed


def libvlc(playlist):
    """The media VLC played and those it could not, as their addresses."""
    instance = vlc.Instance("--aout=dummy", "--no-video", "--quiet", "--stop-time=0.1",
                            "--no-media-library")
    player = instance.media_list_player_new()
    player.set_media_list(instance.media_list_new([playlist]))
    media_player = player.get_media_player()
    played, failed = [], []
    ended = threading.Event()
    events = media_player.event_manager()
    events.event_attach(vlc.EventType.MediaPlayerPlaying,
                        lambda e: played.append(media_player.get_media().get_mrl()))
    events.event_attach(vlc.EventType.MediaPlayerEncounteredError,
                        lambda e: failed.append(media_player.get_media().get_mrl()))
    player.event_manager().event_attach(vlc.EventType.MediaListPlayerPlayed,
                                        lambda e: ended.set())
    player.play()
    if not ended.wait(120):
        failed.append("(did not end)")
    player.stop()
    return [m for m in played if m.endswith(".mp3")], failed


def check(what, played, failed, expected):
    problems = []
    if failed:
        problems.append("failed: %r" % failed)
    if len(played) != expected:
        problems.append("played %d of %d: %r" % (len(played), expected, played))
    print("%-28s %s" % (what, "; ".join(problems) or "ok"))
    return not problems


def main():
    ok = True
    with tempfile.TemporaryDirectory() as root:
        # The players' own files (configuration, caches, the sound server's socket folder) go
        # where the test's do.
        for variable in ("HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                         "XDG_DATA_HOME"):
            os.environ[variable] = ENV[variable] = root
        os.chmod(root, 0o700)
        music = make_tree(root)
        relative = os.path.join(music, "all.m3u8")
        subprocess.run([LIST, "-q", "-f", "--format", "m3u8", music, relative], check=True)
        # On the disk: mpv all but the few it cannot, VLC all.
        played, failed = mpv(relative)
        ok &= check("mpv, on the disk", played, [], len(NAMES) - len(MPV_ON_DISK_CANNOT))
        if len(failed) != len(MPV_ON_DISK_CANNOT):
            print("mpv, on the disk: could not open %r" % failed)
            ok = False
        ok &= check("VLC, on the disk", *libvlc(relative), len(NAMES))
        with served(music) as url:
            ok &= check("mpv, served", *mpv(url + "all.m3u8"), len(NAMES))
            ok &= check("VLC, served", *libvlc(url + "all.m3u8"), len(NAMES))
            absolute = os.path.join(music, "absolute.m3u8")
            subprocess.run([LIST, "-q", "-f", "--format", "m3u8", "--base-url", url, music,
                            absolute], check=True)
            ok &= check("mpv, under --base-url", *mpv(url + "absolute.m3u8"), len(NAMES))
            ok &= check("VLC, under --base-url", *libvlc(url + "absolute.m3u8"), len(NAMES))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
