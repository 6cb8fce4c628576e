# SPDX-License-Identifier: GPL-3.0-or-later
"""What bench/idle and bench/startup share: the builds, a throwaway copy of the program folder,
a private X display with a window manager, a private sound server with only a null sink, CPU
and memory figures from /proc, and a watcher that sees on the X server itself when a window is
first mapped and first drawn into.

Nothing here writes into the work tree except the build folder it is given.
"""

import ctypes
import ctypes.util
import os
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

BENCH_DIR = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(BENCH_DIR)
DEFAULT_BUILD = os.path.join(ROOT, "build-bench")
SOUNDFONT = "/usr/share/sounds/sf2/default-GM.sf2"
MAIN_TITLE = "ブリンドル"
REFERENCE_TITLE = "brindle-reference"
CLK_TCK = os.sysconf("SC_CLK_TCK")


def log(*args):
    print(*args, flush=True)


def fail(message):
    print(f"error: {message}", file=sys.stderr, flush=True)
    sys.exit(1)


# ---- Builds ---------------------------------------------------------------------------------


def ensure_program(build_dir, build=True):
    """Builds the program (target brindle only) in build_dir and returns its folder. With
    build False, takes the program already there."""
    program = os.path.join(build_dir, "program", "brindle")
    if not build:
        if not os.access(program, os.X_OK):
            fail(f"no program built in {build_dir}")
        return os.path.dirname(program)
    if not os.path.exists(os.path.join(build_dir, "build.ninja")):
        subprocess.run(["cmake", "-S", ROOT, "-B", build_dir, "-G", "Ninja",
                        "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DBRINDLE_TESTS=OFF"],
                       check=True, stdout=subprocess.DEVNULL)
    built = subprocess.run(["cmake", "--build", build_dir, "--target", "brindle", "brindle_media",
                            "-j2"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if built.returncode != 0:
        if not os.access(program, os.X_OK):
            print(built.stdout[-4000:], file=sys.stderr)
            fail(f"the program did not build in {build_dir}")
        log(f"note: the build in {build_dir} failed; measuring the program built before")
    return os.path.dirname(program)


def ensure_reference(build_dir):
    """Builds bench/reference/main.cpp with g++ against Qt6Widgets; returns the executable."""
    source = os.path.join(BENCH_DIR, "reference", "main.cpp")
    out_dir = os.path.join(build_dir, "bench-reference")
    binary = os.path.join(out_dir, "brindle-reference")
    if os.path.exists(binary) and os.path.getmtime(binary) >= os.path.getmtime(source):
        return binary
    os.makedirs(out_dir, exist_ok=True)
    flags = subprocess.run(["pkg-config", "--cflags", "--libs", "Qt6Widgets"], check=True,
                           stdout=subprocess.PIPE, text=True).stdout.split()
    # The same optimisation as the program's RelWithDebInfo build.
    subprocess.run(["g++", "-std=c++20", "-O2", "-g", "-DNDEBUG", "-fPIC", source, "-o", binary]
                   + flags, check=True)
    return binary


# ---- The program folder ---------------------------------------------------------------------


def make_program_copy(program_dir, work_dir, option_number=2):
    """Copies the program folder into work_dir/program, with settings that open no dialog.

    The POP3 server is one nothing listens on: no check runs unless asked, and none is asked.
    Option number 2 picks the second event picture and leaves the hang-up off."""
    copy = os.path.join(work_dir, "program")
    shutil.copytree(program_dir, copy, symlinks=True)
    with open(os.path.join(copy, "vbmail.ini"), "wb") as f:
        f.write(b"SMTP=\r\nPOP3=127.0.0.1:1\r\nMAIL=bench@example.org\r\nAPOP=0\r\n")
    account = os.path.join(copy, "★MailData", "iniIdPass.ini")
    with open(account, "wb") as f:
        f.write(b"[EXEINI]\r\nNAME=bench\r\nNAME2=bench-password\r\nNAME3=1\r\n")
    os.chmod(account, 0o600)
    with open(os.path.join(copy, "★MailData", "ini.ini"), "wb") as f:
        f.write(b"[EXEINI]\r\nNUMBER=%d\r\n" % option_number)
    return copy


def base_environment(work_dir, display):
    """The same small environment for the program and the reference, on display (a Display)."""
    runtime = os.path.join(work_dir, "runtime")
    home = os.path.join(work_dir, "home")
    for d in (runtime, home):
        os.makedirs(d, mode=0o700, exist_ok=True)
    return {
        "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
        "HOME": home,
        "DISPLAY": display.name,
        "DBUS_SESSION_BUS_ADDRESS": display.bus_address,
        "LANG": "C.UTF-8",
        "LC_ALL": "C.UTF-8",
        "XDG_RUNTIME_DIR": runtime,
        # No sound server unless a phase starts one: FluidSynth then finds none quickly.
        "PULSE_SERVER": "unix:" + os.path.join(runtime, "no-such-server"),
    }


# ---- Processes and /proc --------------------------------------------------------------------


def cpu_seconds(pid):
    """utime + stime of the whole process (all its threads), in seconds."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # fields[0] is the state (field 3); utime and stime are fields 14 and 15.
    return (int(fields[11]) + int(fields[12])) / CLK_TCK


def run_time_ns(pid):
    """Time on a CPU of the whole process, in nanoseconds: all its threads, also those that have
    already ended (a sum over /proc/PID/task would miss them). It is the process's CPU clock,
    the one clock_getcpuclockid(3) names for pid: finer than the clock ticks of /proc/PID/stat,
    and, unlike wall time, hardly moved by other load."""
    return time.clock_gettime_ns(((~pid) << 3) | 2)  # CPUCLOCK_SCHED of the whole process


def context_switches(pid):
    """Voluntary context switches of all the process's threads: about one per wake-up."""
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/status") as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches:"):
                        total += int(line.split()[1])
        except FileNotFoundError:
            pass  # a thread that ended meanwhile
    return total


def proc_status_kib(pid, key):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return 0


def stop_process(proc, timeout=5):
    if proc is None or proc.poll() is not None:
        return
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def wait_for(what, predicate, timeout, interval=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = predicate()
        if result:
            return result
        time.sleep(interval)
    fail(f"timed out after {timeout} s waiting for {what}")


def median(values):
    return statistics.median(values)


def pct(seconds_cpu, seconds_wall):
    return 100.0 * seconds_cpu / seconds_wall if seconds_wall > 0 else 0.0


class CpuMeter:
    """CPU time of some processes over one interval of wall time."""

    def __init__(self, pids):
        self.pids = dict(pids)  # name -> pid

    def __enter__(self):
        self.start_wall = time.monotonic()
        self.start = {name: cpu_seconds(pid) for name, pid in self.pids.items()}
        self.start_switches = {name: context_switches(pid) for name, pid in self.pids.items()}
        return self

    def __exit__(self, *exc):
        self.wall = time.monotonic() - self.start_wall
        self.cpu = {name: cpu_seconds(pid) - self.start[name] for name, pid in self.pids.items()}
        self.switches = {name: context_switches(pid) - self.start_switches[name]
                         for name, pid in self.pids.items()}
        return False

    def wakeups_per_second(self, name):
        return self.switches[name] / self.wall if self.wall > 0 else 0.0

    def percent(self, name):
        return pct(self.cpu[name], self.wall)


# ---- X display ------------------------------------------------------------------------------


class Display:
    """A private Xvfb with openbox, as the program would have on a desktop."""

    def __init__(self, work_dir):
        self.work_dir = work_dir
        self.xvfb = None
        self.wm = None
        self.bus = None
        self.bus_address = "disabled:"
        self.name = None

    def __enter__(self):
        for tool in ("Xvfb", "openbox", "xdotool"):
            if shutil.which(tool) is None:
                fail(f"{tool} is missing: apt-get install -y --no-install-recommends "
                     "xvfb openbox xdotool")
        read_fd, write_fd = os.pipe()
        # -displayfd picks a free display number and writes it once the server is ready.
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp"], pass_fds=(write_fd,), stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.work_dir, "xvfb.log"), "w"))
        os.close(write_fd)
        # Xvfb writes the number and the newline apart: read up to the newline, or it dies on
        # a closed pipe.
        number = b""
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_fd], [], [], max(0, deadline - time.monotonic()))
            if not ready:
                break
            chunk = os.read(read_fd, 64)
            if not chunk:
                break
            number += chunk
        os.close(read_fd)
        if not number.strip():
            fail("Xvfb did not start")
        self.name = ":" + number.decode().strip()
        env = dict(os.environ, DISPLAY=self.name)
        self.wm = subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL,
                                   stderr=open(os.path.join(self.work_dir, "openbox.log"), "w"))

        def wm_ready():
            out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=env,
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
            return "window id" in out.stdout

        wait_for("openbox", wm_ready, 30, 0.1)

        # A session bus of our own, as a desktop has one: without it, the first Qt program on
        # the display starts one through dbus-launch, which costs whichever program is first
        # and outlives the benchmark.
        self.bus = None
        self.bus_address = "disabled:"
        if shutil.which("dbus-daemon"):
            bus_path = os.path.join(self.work_dir, "session-bus")
            self.bus_address = "unix:path=" + bus_path
            self.bus = subprocess.Popen(
                ["dbus-daemon", "--session", "--nofork", "--nopidfile",
                 "--address=" + self.bus_address], stdout=subprocess.DEVNULL,
                stderr=open(os.path.join(self.work_dir, "dbus.log"), "w"))
            wait_for("the session bus", lambda: os.path.exists(bus_path), 30, 0.05)
        return self

    def __exit__(self, *exc):
        stop_process(self.bus)
        stop_process(self.wm)
        stop_process(self.xvfb)
        return False

    def env(self):
        return dict(os.environ, DISPLAY=self.name, LC_ALL="C.UTF-8")


def xdotool(display, *args, check=True):
    out = subprocess.run(["xdotool", *args], env=display.env(), stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, text=True)
    if check and out.returncode != 0:
        fail(f"xdotool {' '.join(args)}: {out.stderr.strip()}")
    return out.stdout.strip()


# ---- Sound server ---------------------------------------------------------------------------


class NullSoundServer:
    """A PulseAudio server of our own with one null sink and nothing else, in a private runtime
    folder: what the program renders goes nowhere, but goes through a real sound server."""

    def __init__(self, work_dir):
        self.dir = os.path.join(work_dir, "pulse")
        self.socket = os.path.join(self.dir, "native")
        self.proc = None

    def __enter__(self):
        if shutil.which("pulseaudio") is None or shutil.which("pactl") is None:
            fail("pulseaudio is missing: apt-get install -y --no-install-recommends "
                 "pulseaudio pulseaudio-utils")
        os.makedirs(os.path.join(self.dir, "home"), mode=0o700, exist_ok=True)
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": os.path.join(self.dir, "home"),
            "XDG_RUNTIME_DIR": self.dir,
            "PULSE_RUNTIME_PATH": self.dir,
            "XDG_CONFIG_HOME": os.path.join(self.dir, "home"),
        }
        self.proc = subprocess.Popen(
            ["pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "--system=no",
             "--use-pid-file=no", "--disallow-exit", "--high-priority=no", "--realtime=no",
             "--log-target=stderr",
             "--load=module-null-sink sink_name=bench_null",
             f"--load=module-native-protocol-unix socket={self.socket} auth-anonymous=1"],
            env=env, stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.dir, "pulseaudio.log"), "w"))

        def up():
            if self.proc.poll() is not None:
                with open(os.path.join(self.dir, "pulseaudio.log")) as f:
                    fail("pulseaudio stopped:\n" + f.read()[-3000:])
            return self.pactl("info", check=False) is not None

        wait_for("the null sound server", up, 30, 0.1)
        return self

    def __exit__(self, *exc):
        stop_process(self.proc)
        return False

    @property
    def server(self):
        return "unix:" + self.socket

    def pactl(self, *args, check=True):
        out = subprocess.run(["pactl", "--server", self.server, *args], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True,
                             env=dict(os.environ, HOME=os.path.join(self.dir, "home")))
        if out.returncode != 0:
            if check:
                fail(f"pactl {' '.join(args)}: {out.stderr.strip()}")
            return None
        return out.stdout

    def sink_inputs_of(self, pid):
        """The short lines of `pactl list short sink-inputs` whose client is process pid."""
        long_form = self.pactl("list", "sink-inputs")
        owned = set()
        current = None
        for line in long_form.splitlines():
            line = line.strip()
            if line.startswith("Sink Input #"):
                current = line.split("#", 1)[1]
            elif line.startswith("application.process.id") and current is not None:
                if line.split("=", 1)[1].strip().strip('"') == str(pid):
                    owned.add(current)
        short = self.pactl("list", "short", "sink-inputs")
        return [l for l in short.splitlines() if l.split("\t", 1)[0] in owned], short


# ---- Watching windows on the X server -------------------------------------------------------


class _XErrorEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("display", ctypes.c_void_p),
                ("resourceid", ctypes.c_ulong), ("serial", ctypes.c_ulong),
                ("error_code", ctypes.c_ubyte), ("request_code", ctypes.c_ubyte),
                ("minor_code", ctypes.c_ubyte)]


class _XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("border_width", ctypes.c_int), ("depth", ctypes.c_int),
                ("visual", ctypes.c_void_p), ("root", ctypes.c_ulong), ("class_", ctypes.c_int),
                ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
                ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
                ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


_ERROR_HANDLER_TYPE = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p,
                                       ctypes.POINTER(_XErrorEvent))


class WindowWatcher:
    """Sees, from the X server, when each new top-level window is created, mapped and first
    drawn into.

    It asks for the creation of every child of the root window, and on each new one selects its
    map events and makes a DAMAGE object that reports the first drawing into it. Qt creates its
    windows without a background, so the server paints nothing of its own when one is mapped:
    the first damage is the program's first paint reaching the screen. Start it before the
    program, so that no window is missed.

    On a busy machine the watcher may get to a new window only after it has been mapped; such
    a window is marked late (its times would be too late) and the caller runs again."""

    CreateNotify, MapNotify, ConfigureNotify = 16, 19, 22
    SubstructureNotifyMask = 1 << 19
    StructureNotifyMask = 1 << 17
    DamageReportNonEmpty = 3

    def __init__(self, display_name):
        self.x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        self.xd = ctypes.CDLL(ctypes.util.find_library("Xdamage") or "libXdamage.so.1")
        x = self.x
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        x.XPending.argtypes = [ctypes.c_void_p]
        x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        x.XConnectionNumber.argtypes = [ctypes.c_void_p]
        x.XFlush.argtypes = [ctypes.c_void_p]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XGetWindowProperty.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long,
            ctypes.c_int, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
            ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_ulong),
            ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_void_p)]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                           ctypes.POINTER(_XWindowAttributes)]
        self.xd.XDamageQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                                  ctypes.POINTER(ctypes.c_int)]
        self.xd.XDamageCreate.restype = ctypes.c_ulong
        self.xd.XDamageCreate.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int]

        self.dpy = x.XOpenDisplay(display_name.encode())
        if not self.dpy:
            fail(f"cannot open display {display_name}")
        # Windows come and go: a request on one that has gone must not end the benchmark.
        self._handler = _ERROR_HANDLER_TYPE(lambda d, e: 0)
        x.XSetErrorHandler(self._handler)
        event_base, error_base = ctypes.c_int(), ctypes.c_int()
        if not self.xd.XDamageQueryExtension(self.dpy, ctypes.byref(event_base),
                                             ctypes.byref(error_base)):
            fail("the X server has no DAMAGE extension")
        self.damage_notify = event_base.value  # XDamageNotify is event 0 of the extension
        self.root = x.XDefaultRootWindow(self.dpy)
        self.net_wm_name = x.XInternAtom(self.dpy, b"_NET_WM_NAME", 0)
        self.utf8 = x.XInternAtom(self.dpy, b"UTF8_STRING", 0)
        self.fd = x.XConnectionNumber(self.dpy)
        self.windows = {}  # id -> {"created", "mapped", "painted", "size"}
        self._event = ctypes.create_string_buffer(256)
        x.XSelectInput(self.dpy, self.root, self.SubstructureNotifyMask)
        x.XSync(self.dpy, 0)

    def close(self):
        if self.dpy:
            self.x.XCloseDisplay(self.dpy)
            self.dpy = None

    def forget(self):
        """Drops what was seen so far (before the next program starts)."""
        self.pump(0)
        self.windows.clear()

    def name_of(self, window):
        actual_type, actual_format = ctypes.c_ulong(), ctypes.c_int()
        count, after, data = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
        status = self.x.XGetWindowProperty(
            self.dpy, window, self.net_wm_name, 0, 1024, 0, self.utf8, ctypes.byref(actual_type),
            ctypes.byref(actual_format), ctypes.byref(count), ctypes.byref(after),
            ctypes.byref(data))
        if status != 0 or not data.value:
            return ""
        try:
            return ctypes.string_at(data.value, count.value).decode("utf-8", "replace")
        finally:
            self.x.XFree(data)

    def map_state(self, window):
        """0 unmapped, 1 unviewable, 2 viewable (and 0 for a window that has gone)."""
        attributes = _XWindowAttributes()
        if not self.x.XGetWindowAttributes(self.dpy, window, ctypes.byref(attributes)):
            return 0
        return attributes.map_state

    def _ulong(self, offset):
        return ctypes.c_ulong.from_buffer(self._event, offset).value

    def _int(self, offset):
        return ctypes.c_int.from_buffer(self._event, offset).value

    def _handle(self, now):
        kind = self._int(0) & 0x7F
        if kind == self.CreateNotify:
            parent, window = self._ulong(32), self._ulong(40)
            if parent == self.root and window not in self.windows:
                info = {"created": now, "mapped": None, "painted": None, "late": False,
                        "size": (self._int(56), self._int(60))}
                self.windows[window] = info
                self.x.XSelectInput(self.dpy, window, self.StructureNotifyMask)
                self.xd.XDamageCreate(self.dpy, window, self.DamageReportNonEmpty)
                # Mapped before we listened: its map (and maybe its first paint) went unseen.
                if self.map_state(window) != 0:
                    info["late"] = True
                    info["mapped"] = now
        elif kind == self.MapNotify:
            info = self.windows.get(self._ulong(40))
            if info is not None and info["mapped"] is None:
                info["mapped"] = now
        elif kind == self.ConfigureNotify:
            # XConfigureEvent: event, window, x, y, width, height.
            info = self.windows.get(self._ulong(40))
            if info is not None:
                info["size"] = (self._int(56), self._int(60))
        elif kind == self.damage_notify:
            info = self.windows.get(self._ulong(32))
            if info is not None and info["painted"] is None:
                info["painted"] = now

    def pump(self, timeout):
        """Handles the events that arrive within timeout seconds (0: only those waiting)."""
        deadline = time.monotonic() + timeout
        while True:
            while self.x.XPending(self.dpy):
                self.x.XNextEvent(self.dpy, self._event)
                self._handle(time.monotonic())
            left = deadline - time.monotonic()
            if left <= 0:
                return
            select.select([self.fd], [], [], left)

    def find(self, title, need="painted"):
        """The first window named title that has been mapped (and painted): (id, info)."""
        for window, info in self.windows.items():
            if info["mapped"] is None or (need == "painted" and info["painted"] is None):
                continue
            if self.name_of(window) == title:
                return window, info
        return None

    def wait(self, title, timeout, need="painted", proc=None):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            self.pump(0.02)
            found = self.find(title, need)
            if found:
                return found
            if proc is not None and proc.poll() is not None:
                fail(f"the process showing {title!r} ended with {proc.returncode}")
        fail(f"no window named {title!r} was {need} within {timeout} s")

    def other_mapped_titles(self, but):
        return sorted({self.name_of(w) for w, info in self.windows.items()
                       if info["mapped"] is not None and w != but} - {""})


def load_note():
    load1, load5, _ = os.getloadavg()
    return (f"load average {load1:.2f} (1 min), {load5:.2f} (5 min) on {os.cpu_count()} CPUs")


def temp_dir(prefix):
    return tempfile.mkdtemp(prefix=prefix, dir=os.environ.get("TMPDIR", "/tmp"))
