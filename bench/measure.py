#!/usr/bin/python3
"""Measures the launcher and the update client against baselines run in the
same session and prints every figure as a ratio (or as a share of a core).

Each case gets a folder of its own: copies of the binaries, and TMPDIR,
XDG_CONFIG_HOME and XDG_RUNTIME_DIR inside it, so the shared memory segment,
the instance lock and the pid record are private to the benchmark. Launchers
that take the start path run in a PID namespace of their own: the start path
ends every converter process of the user, and converters of other programs
(a test run next door) must not be hit.

Timings alternate between the two sides of a comparison and the figure is the
median of the pairwise ratios, so load that comes and goes (a build beside the
benchmark) shifts both sides alike.
"""

import argparse
import glob
import grp
import os
import pwd
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

INSTALLER_SIZE = 256 * 1024 * 1024
OFFER_VERSION = "bench.1"


def fail(message):
    print("bench: " + message, file=sys.stderr)
    sys.exit(1)


class Case:
    """A private folder with the launcher (and optionally the converter)."""

    def __init__(self, root, name, build, with_converter, platform, display=None):
        self.dir = os.path.join(root, name)
        for sub in ("app", "config", "tmp", "run"):
            os.makedirs(os.path.join(self.dir, sub))
        os.chmod(os.path.join(self.dir, "run"), 0o700)
        self.launcher = os.path.join(self.dir, "app", "orvalinpdfLaunch")
        shutil.copy2(os.path.join(build, "bin", "orvalinpdfLaunch"), self.launcher)
        # The splash's module, which the launcher loads from its own folder.
        shutil.copy2(os.path.join(build, "bin", "orvalinpdfSplash.so"), os.path.join(self.dir, "app"))
        self.converter = os.path.join(self.dir, "app", "orvalinpdfConverter.exe")
        if with_converter:
            shutil.copy2(os.path.join(build, "bin", "orvalinpdfConverter.exe"), self.converter)
        self.env = dict(os.environ)
        self.env.update({
            "TMPDIR": os.path.join(self.dir, "tmp"),
            "XDG_CONFIG_HOME": os.path.join(self.dir, "config"),
            "XDG_RUNTIME_DIR": os.path.join(self.dir, "run"),
            "QT_QPA_PLATFORM": platform,
        })
        if display:
            self.env["DISPLAY"] = display
        self.record = os.path.join(self.dir, "config", "orvalinpdfConverter", "lunach.ini")

    def segment_present(self):
        return bool(glob.glob(os.path.join(self.dir, "tmp", "qipc_sharedmemory_pdfconvertersm*")))


def run_timed(argv, env):
    start = time.perf_counter()
    result = subprocess.run(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    return elapsed, result.returncode


def paired_ratio(subject, baseline, env, runs, check=None):
    """Median over alternating pairs of (subject time / baseline time), and
    the median times of either side in milliseconds."""
    for _ in range(3):  # warm the page cache and the font cache
        run_timed(subject, env)
        run_timed(baseline, env)
    ratios, subject_ms, baseline_ms = [], [], []
    for i in range(runs):
        if i % 2 == 0:
            s, code = run_timed(subject, env)
            b, _ = run_timed(baseline, env)
        else:
            b, _ = run_timed(baseline, env)
            s, code = run_timed(subject, env)
        if code != 0:
            fail("%s exited with %d" % (" ".join(subject), code))
        if check:
            check()
        ratios.append(s / b)
        subject_ms.append(1000 * s)
        baseline_ms.append(1000 * b)
    return statistics.median(ratios), statistics.median(subject_ms), statistics.median(baseline_ms)


def wait_until(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            fail("timed out waiting for " + what)
        time.sleep(0.05)


def status_kb(pid, field):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    fail("no %s for pid %d" % (field, pid))


def cpu_seconds(pid):
    with open("/proc/%d/schedstat" % pid) as f:
        return int(f.read().split()[0]) / 1e9


def process_cpu_seconds(pid):
    # All threads of the process, not only the main one.
    total = 0.0
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, task)) as f:
                total += int(f.read().split()[0]) / 1e9
        except FileNotFoundError:
            pass
    return total


class Isolated:
    """A program started in a PID namespace of its own; `pid` is the program's
    pid as seen from here."""

    def __init__(self, argv, env):
        self.outer = subprocess.Popen(["unshare", "--pid", "--fork", "--mount-proc"] + argv, env=env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.pid = None
        wait_until(self._find_child, 30, "the program in its namespace")

    def _find_child(self):
        try:
            for task in os.listdir("/proc/%d/task" % self.outer.pid):
                with open("/proc/%d/task/%s/children" % (self.outer.pid, task)) as f:
                    children = f.read().split()
                if children:
                    self.pid = int(children[0])
                    return True
        except FileNotFoundError:
            pass
        return False

    def running(self):
        return self.outer.poll() is None

    def stop(self):
        try:
            os.kill(self.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.outer.wait(timeout=30)


def splash(build, root, name, platform, display, seconds, warmup):
    """CPU share of the splash animation, and the splash's peak memory against
    a bare 200 x 250 window run at the same time.

    The splash keeps its 16 decoded frames (16 x 200 x 250 x 4 bytes, 3.2 MB)
    in Qt's pixmap cache; offscreen, where the bare window needs only about
    20 MB, that alone is 16 % of the baseline. Without the cache the frames
    are decoded again at every tick, at about ten times the CPU."""
    case = Case(root, name, build, with_converter=False, platform=platform, display=display)
    bare = os.path.join(build, "bench", "bench_barewindow")
    launcher = Isolated([case.launcher], case.env)
    window = Isolated([bare], case.env)
    try:
        wait_until(lambda: os.path.exists(case.record), 30, "the splash's pid record")
        time.sleep(warmup)
        if not launcher.running() or not window.running():
            fail("splash or bare window ended early (%s)" % platform)
        wall0, cpu0, bare_cpu0 = time.monotonic(), process_cpu_seconds(launcher.pid), process_cpu_seconds(window.pid)
        time.sleep(seconds)
        wall1, cpu1, bare_cpu1 = time.monotonic(), process_cpu_seconds(launcher.pid), process_cpu_seconds(window.pid)
        if not launcher.running():
            fail("splash ended during the measurement (%s)" % platform)
        peak, bare_peak = status_kb(launcher.pid, "VmHWM"), status_kb(window.pid, "VmHWM")
    finally:
        launcher.stop()
        window.stop()
    wall = wall1 - wall0
    return {
        "cpu": (cpu1 - cpu0) / wall,
        "bare_cpu": (bare_cpu1 - bare_cpu0) / wall,
        "memory": peak / bare_peak,
        "peak_mb": peak / 1024.0,
        "bare_peak_mb": bare_peak / 1024.0,
        "seconds": wall,
    }


def handoff(build, root, name, platform, display, runs):
    case = Case(root, name, build, with_converter=True, platform=platform, display=display)
    bare = os.path.join(build, "bench", "bench_bareapp")
    converter = subprocess.Popen([case.converter], env=case.env, cwd=os.path.dirname(case.converter),
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_until(case.segment_present, 30, "the converter's segment")
        time.sleep(0.3)

        def took_handoff():
            if converter.poll() is not None:
                fail("the converter ended during the hand-off runs")
            if os.path.exists(case.record):
                fail("a launcher took the start path although the converter runs")

        return paired_ratio([case.launcher], [bare], case.env, runs, took_handoff)
    finally:
        converter.kill()
        converter.wait()


def second_instance(build, root, name, platform, display, runs):
    case = Case(root, name, build, with_converter=False, platform=platform, display=display)
    bare = os.path.join(build, "bench", "bench_bareapp")
    first = Isolated([case.launcher], case.env)
    try:
        wait_until(lambda: os.path.exists(case.record), 30, "the first launcher's pid record")
        with open(case.record) as f:
            recorded = f.read()

        def found_first():
            if not first.running():
                fail("the first launcher ended")
            with open(case.record) as f:
                if f.read() != recorded:
                    fail("a second launcher rewrote the pid record")

        return paired_ratio([case.launcher], [bare], case.env, runs, found_first)
    finally:
        first.stop()


def remove_segment(case):
    """Removes the System V segment that a converter killed with its
    namespace leaves behind, so every start finds no converter. The key file
    stays: QSharedMemory keys the segment with ftok(key file, 'Q'), and its
    lock's semaphore is keyed by a file of its own, also kept."""
    for key_file in glob.glob(os.path.join(case.dir, "tmp", "qipc_sharedmemory_pdfconvertersm*")):
        st = os.stat(key_file)
        key = (st.st_ino & 0xFFFF) | ((st.st_dev & 0xFF) << 16) | (ord("Q") << 24)
        subprocess.run(["ipcrm", "-M", str(key)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def remove_ipc(root):
    """Removes the System V segments and semaphores keyed by the key files
    below `root`: killed converters leave their segments, and every folder's
    segment lock leaves a semaphore."""
    for key_file in glob.glob(os.path.join(root, "*", "tmp", "qipc_*")):
        st = os.stat(key_file)
        key = (st.st_ino & 0xFFFF) | ((st.st_dev & 0xFF) << 16) | (ord("Q") << 24)
        kind = "-M" if os.path.basename(key_file).startswith("qipc_sharedmemory_") else "-S"
        subprocess.run(["ipcrm", kind, str(key)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def first_map(build, root, display, runs):
    """Start to the splash's window being mapped (MapNotify on the root
    window) against a bare 200 x 250 window: median of alternating pairs.
    Each side runs as the first process of a PID namespace of its own, so the
    converter that the launcher starts goes with it."""
    case = Case(root, "firstmap", build, with_converter=True, platform="xcb", display=display)
    watch = os.path.join(build, "bench", "bench_firstmap")
    bare = os.path.join(build, "bench", "bench_barewindow")

    def mapped(program):
        remove_segment(case)
        result = subprocess.run(["unshare", "--pid", "--fork", "--mount-proc", watch, program], env=case.env,
                                capture_output=True, text=True)
        if result.returncode != 0:
            fail("bench_firstmap %s failed: %s" % (program, result.stderr.strip()))
        seconds, size = result.stdout.split()
        if size not in ("200x250", "280x250"):
            fail("%s mapped a %s window first" % (program, size))
        return float(seconds)

    for _ in range(3):
        mapped(case.launcher)
        mapped(bare)
    ratios, splash_times, bare_times = [], [], []
    for i in range(runs):
        if i % 2 == 0:
            s = mapped(case.launcher)
            b = mapped(bare)
        else:
            b = mapped(bare)
            s = mapped(case.launcher)
        ratios.append(s / b)
        splash_times.append(s)
        bare_times.append(b)
    # No check of the pid record here: the launcher writes it after its
    # splash is mapped, and the map ends the run. A launcher that had not
    # taken the start path would have mapped no window at all.
    remove_segment(case)
    return statistics.median(ratios), statistics.median(splash_times), statistics.median(bare_times)


class Wine:
    """wine64 in a prefix of its own below `folder`, on the bench's X display
    (Wine's X11 driver maps real X windows there). The wineserver is started
    first and kept alive (-p) until stop(): otherwise every program would
    also pay for starting Wine's server and its services."""

    def __init__(self, folder, display):
        self.wine64 = os.environ.get("ORVALIN_WINE64", "/usr/lib/wine/wine64")
        self.wineserver = os.environ.get("ORVALIN_WINESERVER", "/usr/lib/wine/wineserver64")
        self.prefix = os.path.join(folder, "prefix")
        home = os.path.join(folder, "home")
        os.makedirs(self.prefix)
        os.makedirs(home)
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "QT_QPA_PLATFORM")}
        self.env.update({"WINEPREFIX": self.prefix, "HOME": home, "DISPLAY": display, "WINEDEBUG": "-all",
                         # No Mono or Gecko installer prompts, no menu entries.
                         "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d"})
        subprocess.run([self.wineserver, "-p"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
        # Into a file: Wine's services inherit wineboot's output and keep it
        # open, so a pipe would never end.
        with tempfile.TemporaryFile(mode="w+") as log:
            result = subprocess.run([self.wine64, "wineboot", "--init"], env=self.env, stdout=log, stderr=log)
            if result.returncode != 0:
                log.seek(0)
                fail("wineboot failed: " + log.read().strip()[-2000:])

    def argv(self, program):
        return [self.wine64, program]

    def record(self):
        """The launcher's pid record in the prefix (the user's local
        application data), or None."""
        found = glob.glob(os.path.join(self.prefix, "drive_c", "users", "*", "AppData", "Local",
                                       "orvalinpdfConverter", "lunach.ini"))
        return found[0] if found else None

    def end_below(self, folder):
        """Kills the Windows processes started from `folder`: Wine shows
        their command lines as Windows paths (Z:\\...) or as given."""
        names = (folder.lower(), ("z:" + folder.replace("/", "\\")).lower())
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    command = f.read().decode(errors="replace").lower()
            except OSError:
                continue
            if any(name in command for name in names):
                try:
                    os.kill(int(entry), signal.SIGKILL)
                except ProcessLookupError:
                    pass

    def stop(self):
        subprocess.run([self.wineserver, "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def read_file(path):
    with open(path) as f:
        return f.read()


def wine_startup(build, win_build, root, display, runs):
    """The Windows build's hand-off, second start and first map under wine64
    against the bare static Qt programs of the same build. Wine's own start
    of a process is most of every figure."""
    wine = Wine(os.path.join(root, "wine"), display)
    bare_app = os.path.join(win_build, "bench", "bench_bareapp.exe")
    bare_window = os.path.join(win_build, "bench", "bench_barewindow.exe")
    results = {}

    def case(name, with_converter):
        folder = os.path.join(root, "wine-" + name)
        os.makedirs(folder)
        shutil.copy2(os.path.join(win_build, "bin", "orvalinpdfLaunch.exe"), folder)
        if with_converter:
            shutil.copy2(os.path.join(win_build, "bin", "orvalinpdfConverter.exe"), folder)
        return folder, os.path.join(folder, "orvalinpdfLaunch.exe")

    try:
        # Hand-off: the first launcher starts the converter, which ends that
        # launcher once its window is up and holds its segment from then on.
        folder, launcher = case("handoff", True)
        first = subprocess.Popen(wine.argv(launcher), env=wine.env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        try:
            first.wait(timeout=180)
        except subprocess.TimeoutExpired:
            fail("the converter did not end the first launcher under Wine")
        if not wine.record():
            fail("the first launcher under Wine wrote no pid record")
        recorded = read_file(wine.record())

        def handed_off():
            if read_file(wine.record()) != recorded:
                fail("a launcher under Wine took the start path although the converter runs")

        try:
            results["handoff"] = paired_ratio(wine.argv(launcher), wine.argv(bare_app), wine.env, runs, handed_off)
        finally:
            wine.end_below(folder)

        # Second instance: a first launcher without a converter keeps its
        # splash up.
        folder, launcher = case("second", False)
        os.remove(wine.record())
        first = subprocess.Popen(wine.argv(launcher), env=wine.env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        try:
            wait_until(wine.record, 180, "the first launcher's pid record under Wine")
            recorded = read_file(wine.record())

            def found_first():
                if first.poll() is not None:
                    fail("the first launcher under Wine ended")
                if read_file(wine.record()) != recorded:
                    fail("a second launcher under Wine rewrote the pid record")

            results["second"] = paired_ratio(wine.argv(launcher), wine.argv(bare_app), wine.env, runs, found_first)
        finally:
            first.kill()
            first.wait()
            wine.end_below(folder)

        # First map: no converter beside the launcher, so the splash is all
        # it shows. Wine maps a 1 x 1 window of its own first.
        folder, launcher = case("firstmap", False)
        watch = os.path.join(build, "bench", "bench_firstmap")

        def mapped(program, sizes):
            # Into a file, like wineboot's output: no pipe for Wine to keep open.
            with tempfile.TemporaryFile(mode="w+") as out:
                result = subprocess.run([watch, "--at-least", "2x2"] + wine.argv(program), env=wine.env,
                                        stdout=out, stderr=out)
                out.seek(0)
                told = out.read()
            if result.returncode != 0:
                fail("bench_firstmap %s under Wine failed: %s" % (program, told.strip()))
            seconds, size = told.split()[-2:]
            if size not in sizes:
                fail("%s mapped a %s window first under Wine" % (program, size))
            return float(seconds)

        splash_sizes, bare_sizes = ("200x250", "280x250"), ("200x250",)
        for _ in range(3):
            mapped(launcher, splash_sizes)
            mapped(bare_window, bare_sizes)
        ratios, splash_times, bare_times = [], [], []
        for i in range(runs):
            if i % 2 == 0:
                s = mapped(launcher, splash_sizes)
                b = mapped(bare_window, bare_sizes)
            else:
                b = mapped(bare_window, bare_sizes)
                s = mapped(launcher, splash_sizes)
            ratios.append(s / b)
            splash_times.append(1000 * s)
            bare_times.append(1000 * b)
        wine.end_below(folder)
        results["firstmap"] = (statistics.median(ratios), statistics.median(splash_times),
                               statistics.median(bare_times))
    finally:
        wine.stop()
    return results


NGINX_CONF = """\
worker_processes 1;
daemon off;
pid {dir}/nginx.pid;
error_log {dir}/error.log;
{user}
events {{ worker_connections 64; }}
http {{
    log_format timed "$request_uri $status $body_bytes_sent $request_time";
    access_log {dir}/access.log timed;
    client_body_temp_path {dir}/temp/body;
    proxy_temp_path {dir}/temp/proxy;
    fastcgi_temp_path {dir}/temp/fastcgi;
    uwsgi_temp_path {dir}/temp/uwsgi;
    scgi_temp_path {dir}/temp/scgi;
    default_type application/octet-stream;
    sendfile on;
    tcp_nopush on;
    server {{
        listen 127.0.0.1:{port};
        # The program reaches it as its HTTP proxy: the check goes on to the
        # stand-in update service, the installer comes from disk.
        location /download/ {{ root {dir}/www; }}
        location /ver1/ {{
            proxy_pass http://127.0.0.1:{service_port};
            proxy_set_header Host $host;
        }}
    }}
}}
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Nginx:
    """Debian's nginx with a configuration of its own in `folder`, on
    loopback, serving the installer with sendfile and timing every transfer
    in its access log ($request_time)."""

    def __init__(self, folder, service_port, installer_size):
        self.dir = folder
        os.makedirs(os.path.join(folder, "temp"))
        os.makedirs(os.path.join(folder, "www", "download"))
        self.installer = os.path.join(folder, "www", "download", "pdfinstall.exe")
        with open(self.installer, "wb") as f:
            chunk = os.urandom(1024 * 1024)
            for _ in range(installer_size // len(chunk)):
                f.write(chunk)
            f.write(chunk[:installer_size % len(chunk)])
        user = ""
        if os.geteuid() == 0:
            # Workers would run as nobody, who cannot read a private folder.
            user = "user %s %s;" % (pwd.getpwuid(0).pw_name, grp.getgrgid(0).gr_name)
        self.port = free_port()
        conf = os.path.join(folder, "nginx.conf")
        with open(conf, "w") as f:
            f.write(NGINX_CONF.format(dir=folder, user=user, port=self.port, service_port=service_port))
        self.log = os.path.join(folder, "access.log")
        self.seen = 0
        self.process = subprocess.Popen([nginx_binary(), "-p", folder, "-c", conf],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(self._listening, 30, "nginx")

    def _listening(self):
        if self.process.poll() is not None:
            with open(os.path.join(self.dir, "error.log")) as f:
                fail("nginx did not start: " + f.read().strip())
        with socket.socket() as s:
            return s.connect_ex(("127.0.0.1", self.port)) == 0

    def last_transfer(self, path, size):
        """nginx's own time of the transfer of `path` since the last call."""
        found = []

        def logged():
            with open(self.log) as f:
                lines = f.read().splitlines()
            for line in lines[self.seen:]:
                uri, status, sent, seconds = line.split()
                if uri == path:
                    if status != "200" or int(sent) != size:
                        fail("nginx sent %s bytes of %s with status %s" % (sent, path, status))
                    found.append(float(seconds))
            self.seen = len(lines)
            return bool(found)

        wait_until(logged, 10, "nginx's log of " + path)
        if len(found) != 1:
            fail("%d transfers of %s where one was made" % (len(found), path))
        return found[0]

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=30)


def nginx_binary():
    return shutil.which("nginx") or "/usr/sbin/nginx"


def run_peak(argv, env):
    """Runs a program to its end: exit code, standard error and its peak
    resident memory in kB (the kernel's accounting of the child)."""
    with tempfile.TemporaryFile(mode="w+") as err:
        process = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=err)
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
        err.seek(0)
        return process.returncode, err.read(), usage.ru_maxrss


def download(build, root, runs):
    """Both update dialogs against curl, each transfer served by nginx and
    timed by it: per dialog the median throughput ratio over pairs, and the
    worst peak memory above that of a bare Qt program."""
    folder = os.path.join(root, "download")
    os.makedirs(folder)
    env = dict(os.environ)
    env.update({"XDG_CONFIG_HOME": os.path.join(folder, "config"), "QT_QPA_PLATFORM": "offscreen"})
    service = subprocess.Popen([os.path.join(build, "bin", "orvalinUpdateService"), "--port", "0",
                                "--offer-version", OFFER_VERSION, "--installer-size", "1"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    nginx = None
    try:
        line = service.stderr.readline()
        if "update service on 127.0.0.1:" not in line:
            fail("the update service did not start: " + line)
        service_port = line.split("127.0.0.1:")[1].split()[0]
        # The service logs every request; keep its pipe drained.
        subprocess.Popen(["cat"], stdin=service.stderr, stdout=subprocess.DEVNULL)
        nginx = Nginx(os.path.join(folder, "nginx"), service_port, INSTALLER_SIZE)
        proxy = "http://127.0.0.1:%d" % nginx.port
        path = "/download/pdfinstall.exe"
        url = "http://update.orvalinpdf.com" + path
        curl_file = os.path.join(folder, "curl.bin")
        bare = os.path.join(build, "bench", "bench_bareapp")

        def by_dialog(dialog):
            driver = [os.path.join(build, "bench", "bench_download"), str(nginx.port), OFFER_VERSION,
                      str(INSTALLER_SIZE), dialog]
            code, err, peak_kb = run_peak(driver, env)
            if code != 0:
                fail("download driver (%s) failed: %s" % (dialog, err.strip()))
            for f in glob.glob(os.path.join(folder, "config", "*", "output", "pdfinstall.exe")):
                os.remove(f)
            return nginx.last_transfer(path, INSTALLER_SIZE), peak_kb

        def by_curl():
            result = subprocess.run(["curl", "-s", "-S", "--noproxy", "", "-x", proxy, "-o", curl_file,
                                     "-w", "%{size_download}", url], capture_output=True, text=True)
            if result.returncode != 0:
                fail("curl failed: " + result.stderr.strip())
            if int(result.stdout) != INSTALLER_SIZE:
                fail("curl stored %s bytes" % result.stdout)
            os.remove(curl_file)
            return nginx.last_transfer(path, INSTALLER_SIZE)

        def bare_peak():
            code, err, peak_kb = run_peak([bare], env)
            if code != 0:
                fail("bare Qt program failed: " + err.strip())
            return peak_kb

        dialogs = ("offer", "auto")
        for dialog in dialogs:
            by_dialog(dialog)
        by_curl()
        ratios = {d: [] for d in dialogs}
        seconds = {d: [] for d in dialogs + ("curl",)}
        above_bare = {d: [] for d in dialogs}
        for i in range(runs):
            # Each dialog's run is paired with a curl run right beside it, in
            # alternating order.
            for dialog in dialogs:
                if i % 2 == 0:
                    client, peak = by_dialog(dialog)
                    curl = by_curl()
                else:
                    curl = by_curl()
                    client, peak = by_dialog(dialog)
                ratios[dialog].append(curl / client)  # throughput ratio: client / curl
                seconds[dialog].append(client)
                seconds["curl"].append(curl)
                above_bare[dialog].append((peak - bare_peak()) / 1024.0)
        return {d: (statistics.median(ratios[d]), max(above_bare[d]), statistics.median(seconds[d]),
                    statistics.median(seconds["curl"])) for d in dialogs}
    finally:
        if nginx:
            nginx.stop()
        service.kill()
        service.wait()


class Xvfb:
    def __init__(self):
        read_end, write_end = os.pipe()
        # -noreset: without it the server starts afresh whenever its last
        # client leaves, and a program connecting just then is refused.
        self.process = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
                                         "-noreset", "-nolisten", "tcp"], pass_fds=(write_end,),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                byte = pipe.read(1)
                if not byte:
                    fail("Xvfb did not start")
                number += byte
        self.display = ":" + number.decode().strip()

    def stop(self):
        self.process.terminate()
        self.process.wait()


def verdict(ok):
    return "met" if ok else "MISSED"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--runs", type=int, default=40, help="pairs per start-up comparison")
    parser.add_argument("--download-runs", type=int, default=9)
    parser.add_argument("--splash-seconds", type=float, default=12.0)
    parser.add_argument("--map-runs", type=int, default=15, help="pairs for the splash's first map")
    parser.add_argument("--only", action="append", choices=("download", "startup", "firstmap", "splash", "wine"),
                        help="measure only this part (repeatable)")
    parser.add_argument("--wine", metavar="BUILD_WIN64",
                        help="also the Windows build's start-up under wine64 (an x86_64 build with the bench programs)")
    parser.add_argument("--wine-runs", type=int, default=10, help="pairs per comparison under Wine")
    args = parser.parse_args()
    build = os.path.abspath(args.build)

    root = tempfile.mkdtemp(prefix="orvalin-bench-")
    xvfb = Xvfb()
    rows = []
    wanted = lambda part: not args.only or part in args.only
    try:
        for platform, display, label in (("offscreen", None, "offscreen"), ("xcb", xvfb.display, "Xvfb")):
            if not wanted("startup"):
                break
            r, took, bare_took = handoff(build, root, "handoff-" + platform, platform, display, args.runs)
            rows.append(("hand-off, start to exit / bare QApplication (%s; %.0f / %.0f ms)" % (label, took, bare_took),
                         "%.2f x" % r, "<= 0.50 x", verdict(r <= 0.5)))
            r, took, bare_took = second_instance(build, root, "second-" + platform, platform, display, args.runs)
            rows.append(("second instance, start to exit / bare QApplication (%s; %.0f / %.0f ms)"
                         % (label, took, bare_took), "%.2f x" % r, "<= 0.50 x", verdict(r <= 0.5)))
            if platform == "offscreen":
                # Not a goal: where the short paths cannot go below while the
                # launcher links Qt Core.
                r, took, bare_took = paired_ratio([os.path.join(build, "bench", "bench_qtlinked")],
                                                  [os.path.join(build, "bench", "bench_bareapp")],
                                                  dict(os.environ, QT_QPA_PLATFORM="offscreen"), args.runs)
                rows.append(("floor: empty program loading Qt Core / bare QApplication (offscreen; %.0f / %.0f ms)"
                             % (took, bare_took), "%.2f x" % r, "-", "for reference"))
        if wanted("firstmap"):
            r, splash_s, bare_s = first_map(build, root, xvfb.display, args.map_runs)
            rows.append(("start to splash mapped / bare 200 x 250 window (Xvfb; %.0f / %.0f ms)"
                         % (1000 * splash_s, 1000 * bare_s), "%.2f x" % r, "<= 1.10 x", verdict(r <= 1.1)))
        if args.wine and wanted("wine"):
            w = wine_startup(build, os.path.abspath(args.wine), root, xvfb.display, args.wine_runs)
            for key, what, base in (("handoff", "hand-off, start to exit", "bare QApplication"),
                                    ("second", "second instance, start to exit", "bare QApplication"),
                                    ("firstmap", "start to splash mapped", "bare 200 x 250 window")):
                r, took, bare_took = w[key]
                rows.append(("%s / %s (wine64, Xvfb; %.0f / %.0f ms)" % (what, base, took, bare_took),
                             "%.2f x" % r, "-", "report only"))
        elif args.only and "wine" in args.only:
            fail("--only wine needs --wine BUILD_WIN64")
        for platform, display, label in (("offscreen", None, "offscreen"), ("xcb", xvfb.display, "Xvfb")):
            if not wanted("splash"):
                break
            s = splash(build, root, "splash-" + platform, platform, display, args.splash_seconds, 2.0)
            rows.append(("splash CPU per second of animation (%s, %.0f s)" % (label, s["seconds"]),
                         "%.2f %% of a core" % (100 * s["cpu"]), "< 1 %", verdict(s["cpu"] < 0.01)))
            rows.append(("splash peak memory / bare 200 x 250 window (%s)" % label,
                         "%.2f x" % s["memory"], "<= 1.20 x", verdict(s["memory"] <= 1.2)))
        names = {"offer": "update-offer dialog", "auto": "automatic update dialog"}
        for dialog, (ratio, extra, took, curl_took) in (download(build, root, args.download_runs).items()
                                                        if wanted("download") else ()):
            rows.append(("download throughput from nginx, 256 MiB, %s / curl -o (%.2f / %.2f s)"
                         % (names[dialog], took, curl_took),
                         "%.2f x" % ratio, ">= 0.90 x", verdict(ratio >= 0.9)))
            rows.append(("download peak memory above a bare Qt program, %s (worst run)" % names[dialog],
                         "%.1f MiB" % extra, "< 64 MiB", verdict(extra < 64)))
    finally:
        xvfb.stop()
        remove_ipc(root)
        shutil.rmtree(root, ignore_errors=True)

    width = max(len(r[0]) for r in rows)
    print("figure".ljust(width), "measured".rjust(16), "target".rjust(10), "")
    for name, value, target, result in rows:
        print(name.ljust(width), value.rjust(16), target.rjust(10), result)


if __name__ == "__main__":
    main()
