#!/usr/bin/env python3
"""Input event to first changed sample, in the running program.

Drives a program that shows the groove panel with a song loaded and
stopped (Space plays and stops), its sound going to SDL's disk audio
driver. Each run plays from the top (the device opens and the driver starts
its file anew), waits for PRE seconds of sound, sends the event with
the X test extension, waits for POST seconds more, undoes the event and stops.

Timing: a thread polls the size of the driver's file every 0.5 ms. The disk
driver writes one device buffer at a time at real-time pace, so the write
that first holds frame f is seen within a poll of happening, and frame f
leaves the "device" at that write's time plus its offset in the buffer.
Events go through the X test extension and XSync, which returns once the
server has taken them; the event's time is the middle of that call, and
half of its length is the event's share of the error bound.

First changed sample: every run plays the same groove from timeline 0, so
a reference run without the event gives, frame by frame, what would have
sounded; the first frame (after the event) where a run differs from it is
the first changed sample. Play is measured from stopped: its first changed
sample is the first one that is not silent.

Usage: latency.py FILE KIND RUNS [PRE POST]   KIND: play mute loop synth
Prints one line per run ("run N: X ms (+-E ms)") and a summary line.
"""
import array
import ctypes
import os
import statistics
import subprocess
import sys
import threading
import time

RATE = 44100
MAX_REFS = 4  # reference runs without the event, at most
NOISE_LIMIT = 64  # a start differing more than this from a reference is another start
FRAME = 4  # 16-bit stereo


class Sampler(threading.Thread):
    """(time, inode, size) of the capture file whenever it changes."""

    def __init__(self, path):
        super().__init__(daemon=True)
        self.path = path
        self.log = []
        self.stop = False
        self.lock = threading.Lock()

    def run(self):
        last = None
        while not self.stop:
            try:
                st = os.stat(self.path)
                now = (st.st_ino, st.st_size)
            except OSError:
                now = (0, 0)
            if now != last:
                t = time.monotonic()
                with self.lock:
                    self.log.append((t, now[0], now[1]))
                last = now
            time.sleep(0.0005)

    def since(self, t0):
        with self.lock:
            return [e for e in self.log if e[0] >= t0]


class Keys:
    """Key events through the X server's test extension: the call returns
    once the server has taken the event (XSync), within a fraction of a
    millisecond, so the event's time is known far better than around a
    command-line tool's start-up."""

    def __init__(self):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XStringToKeysym.restype = ctypes.c_ulong
        self.x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.dpy = self.x11.XOpenDisplay(None)
        if not self.dpy:
            raise RuntimeError("no X display")

    def send(self, name, down):
        code = self.x11.XKeysymToKeycode(self.dpy, self.x11.XStringToKeysym(name.encode()))
        self.xtst.XTestFakeKeyEvent(self.dpy, code, 1 if down else 0, 0)
        self.x11.XSync(self.dpy, 0)

    def timed(self, name):
        """Presses and releases a key; (time of the press, error bound)."""
        t0 = time.monotonic()
        self.send(name, True)
        t1 = time.monotonic()
        self.send(name, False)
        return (t0 + t1) / 2, (t1 - t0) / 2

    def tap(self, name):
        self.send(name, True)
        self.send(name, False)


KEYS = None


def size_of(path):
    try:
        return os.stat(path).st_size
    except OSError:
        return 0


def wait_until(cond, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if cond():
            return True
        time.sleep(0.002)
    return False


EVENTS = {
    # (held key or None, the key whose press is the event, undo key)
    "mute": ("m", "1", "1"),  # M held + 1: track 1's mute toggle
    "loop": ("i", "Up", "Down"),  # I held + Up: track 1's next loop, at once
    "synth": (None, "q", "q"),  # Q: the song's first synth key on and off
}
# The synth's keys work while its panel is in front, and Space only while
# the groove panel is: the SYNTH button (logical 359, 463; the window shows
# the design area at scale 2, 16 pixels down) opens the panel for the event
# and closes it again. Opening it changes nothing that sounds.
PANEL_BUTTON = {"synth": (2 * 359, 2 * (463 + 16))}
PANEL_DRAWN = 0.6  # seconds for the panel to show before its key is pressed


def panel_button(kind):
    if kind in PANEL_BUTTON:
        x, y = PANEL_BUTTON[kind]
        subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], check=False)
        time.sleep(PANEL_DRAWN)


def one_run(path, sampler, kind, pre, post, with_event=True):
    """Plays, sends the event, stops. (samples from the run's first sound,
    the file frame they begin at, event time, error, log)."""
    # The file the last stop left: a program that opens the device for
    # every play starts another; one that keeps it open goes on writing
    # (silence while stopped) and the run begins where the file was.
    old_ino = os.stat(path).st_ino if os.path.exists(path) else 0
    old_size = size_of(path)
    t_play, half = KEYS.timed("space")
    # A second back: the write before the first one that matters.
    log_from = t_play - 1.0

    def new_file():
        try:
            st = os.stat(path)
        except OSError:
            return False
        return st.st_ino != old_ino or st.st_size < old_size

    if not wait_until(lambda: new_file() or size_of(path) > old_size, 10):
        raise RuntimeError("Space did not start a new capture")
    base = 0 if new_file() else old_size // FRAME * FRAME
    event_t, err = t_play, half
    if kind != "play":
        wait_until(lambda: size_of(path) >= base + int(pre * RATE) * FRAME, pre * 4 + 10)
        panel_button(kind)
        if with_event:
            held, key, _ = EVENTS[kind]
            if held:
                KEYS.send(held, True)
                time.sleep(0.03)  # the program has seen the held key first
            event_t, err = KEYS.timed(key)
    wait_until(lambda: size_of(path) >= base + int((pre + post) * RATE) * FRAME, (pre + post) * 4 + 10)
    if kind != "play" and with_event:
        held, _, undo = EVENTS[kind]
        KEYS.tap(undo)
        if held:
            KEYS.send(held, False)
    if kind != "play":
        panel_button(kind)
    KEYS.tap("space")
    # Stopped: the file stops growing, or (the device kept open) goes on
    # with silence once the stop's fade has been written.
    stopped_at = size_of(path)
    last = [-1, time.monotonic()]

    def quiet():
        s = size_of(path)
        if s != last[0]:
            last[0], last[1] = s, time.monotonic()
        return time.monotonic() - last[1] > 0.3 or s >= stopped_at + int(0.4 * RATE) * FRAME

    wait_until(quiet, 10)
    with open(path, "rb") as f:
        f.seek(base)
        data = f.read()
    a = array.array("h")
    a.frombytes(data[: len(data) // FRAME * FRAME])
    # Runs line up at their first sound: timeline 0 of the groove.
    first = next((i // 2 for i, v in enumerate(a) if abs(v) > 2), 0)
    return a[2 * first:], base // FRAME + first, event_t, err, sampler.since(log_from)


def frame_time(frame, log):
    """When frame `frame` left the device: the write that first held it."""
    # Only this capture's entries: from its file's start (a new inode or a
    # truncated file) on.
    begin = 0
    for k in range(1, len(log)):
        if log[k][1] != log[k - 1][1] or log[k][2] < log[k - 1][2]:
            begin = k
    # Before this capture's first write: nothing of it (a new file), or
    # what the entry before held (a file the device goes on writing).
    prev_size = log[begin - 1][2] if begin > 0 and log[begin - 1][1] == log[begin][1] else 0
    for t, i, size in log[begin:]:
        if size >= (frame + 1) * FRAME:
            start = min(prev_size // FRAME, frame)
            return t + (frame - start) / RATE
        prev_size = size
    return None


def first_change(run, ref, before):
    """(first changed frame, False), or (the difference, True) when the
    run's start did not repeat the reference's.

    Frames before `before` (shortly before the event) cannot have changed:
    what differs there is the run's own noise against this reference (a
    different float rounding order when tracks join in another order). A
    start that differs by more than NOISE_LIMIT did not repeat at all;
    otherwise the change is the first later frame that differs by more than
    twice that noise (at least by 3)."""
    n = min(len(run), len(ref)) // 2
    noise = 0
    for i in range(2 * min(before, n)):
        d = abs(run[i] - ref[i])
        if d > noise:
            noise = d
    if noise > NOISE_LIMIT:
        return noise, True
    limit = max(2, 2 * noise)
    for f in range(min(before, n), n):
        if abs(run[2 * f] - ref[2 * f]) > limit or abs(run[2 * f + 1] - ref[2 * f + 1]) > limit:
            return f, False
    return None, False


def main():
    path, kind, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
    pre = float(sys.argv[4]) if len(sys.argv) > 4 else 1.5
    post = float(sys.argv[5]) if len(sys.argv) > 5 else 2.5
    global KEYS
    KEYS = Keys()
    sampler = Sampler(path)
    sampler.start()
    if kind != "play":
        # One event and its undo first: the state they leave (a track
        # enabled again, a loop chosen back) is the state every run has.
        one_run(path, sampler, kind, pre, post)
        refs = [one_run(path, sampler, kind, pre, post, with_event=False)[0]]
    results = []
    for r in range(runs):
        a, origin, ev, err, log = one_run(path, sampler, kind, pre, post)
        if kind == "play":
            f = 0 if len(a) else None
            early = False
        else:
            # Frames before the event cannot have changed: a difference there
            # means the run did not start as the reference did.
            f, early = first_change(a, refs[0], int((pre - 0.2) * RATE))
            # Starts come in a few variants (which frame a late ring joins
            # at): another reference run may repeat this run's start.
            for k in range(1, MAX_REFS + 1):
                if not early:
                    break
                if k == len(refs):
                    if len(refs) == MAX_REFS:
                        break
                    refs.append(one_run(path, sampler, kind, pre, post, with_event=False)[0])
                f, early = first_change(a, refs[k], int((pre - 0.2) * RATE))
        if f is None:
            print(f"run {r + 1}: no change found")
            continue
        if early:
            print(f"run {r + 1}: starts unlike every reference (differs by {f} before the event); left out")
            continue
        heard = frame_time(origin + f, log)
        if heard is None:
            print(f"run {r + 1}: frame {f} never seen written")
            continue
        ms = (heard - ev) * 1000
        bound = err * 1000 + 0.5
        results.append((ms, bound))
        print(f"run {r + 1}: {ms:.1f} ms (+-{bound:.1f} ms)")
    sampler.stop = True
    if results:
        v = [m for m, _ in results]
        print(
            f"{kind}: median {statistics.median(v):.0f} ms, range {min(v):.0f}-{max(v):.0f} ms, "
            f"{len(v)} runs, error bound +-{max(b for _, b in results):.1f} ms"
        )
    else:
        print(f"{kind}: no runs measured")


if __name__ == "__main__":
    main()
