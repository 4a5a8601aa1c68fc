"""Drives the real quillmere window for the end-to-end tests, each run under xvfb-run and dbus-run-session
(CMakeLists.txt): openbox, one data directory per `Home`, widgets read through the accessibility bus and
driven with xdotool. What cannot be started fails; nothing is skipped."""

import grp
import os
import pathlib
import poplib
import pwd
import shlex
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import traceback

try:
    import pyatspi  # the system's python3-pyatspi
except ImportError as error:
    pyatspi, PYATSPI_ERROR = None, error

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.environ.get("QUILLMERE_SOURCE_DIR") or os.path.dirname(os.path.dirname(HERE))
BIN_DIR = os.environ.get("QUILLMERE_BIN_DIR") or os.path.join(SOURCE_DIR, "build", "bin")
SCRATCH_ROOT = os.environ.get("QUILLMERE_E2E_SCRATCH") or os.path.join(BIN_DIR, "..", "e2e")
DATA_DIR = os.path.join(SOURCE_DIR, "tests", "data")
SCREEN = (1280, 800)

# How long the slow steps may take before the test gives up on them.
WINDOW_TIMEOUT, WIDGET_TIMEOUT = 20, 5
MAIN_TITLE, APPLICATION_NAME = "Quillmere", "quillmere"
ACCOUNT = "標準アカウント"  # the account a first start makes

# Variables of the caller's environment that would change which directories,
# language or display the program uses.
_INHERITED_OUT = ("QUILLMERE_HOME", "TMP_RAM", "TMP", "TEMP", "TMPDIR", "XDG_RUNTIME_DIR",
                  "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "LANG", "LANGUAGE",
                  "LC_ALL", "QT_QPA_PLATFORM", "QT_SCALE_FACTOR", "QT_IM_MODULE")


class TestFailure(Exception):
    pass


def fail(message):
    raise TestFailure(message)


def wait_until(predicate, timeout, what, interval=0.05):
    """The first true value of predicate(); fails naming `what` (or what() gives) after `timeout` s."""
    deadline = time.monotonic() + timeout
    while not (value := predicate()):
        if time.monotonic() >= deadline:
            fail(f"{what() if callable(what) else what}: not within {timeout} s")
        time.sleep(interval)
    return value


def end(process):
    if process is not None and process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def run(command, **options):
    return subprocess.run(command, capture_output=True, text=True, **options)


def xdotool(*arguments):
    result = run(["xdotool", *[str(a) for a in arguments]])
    if result.returncode != 0:
        fail(f"xdotool {' '.join(map(str, arguments))} failed: {result.stderr.strip()}")
    return result.stdout


def read_text(path):
    return _or(lambda: pathlib.Path(path).read_bytes().decode("utf-8", "replace"), "")


def data(*parts):
    return pathlib.Path(DATA_DIR, *parts).read_bytes()


# ---- the accessibility tree ----

def _or(getter, default):
    try:
        return getter()
    except Exception:
        return default


def children(accessible):
    found = (_or(lambda: accessible.getChildAtIndex(i), None) for i in range(_or(lambda: accessible.childCount, 0)))
    return [child for child in found if child is not None]


def walk(accessible, depth=0, max_depth=30):
    yield accessible
    if depth < max_depth:
        for child in children(accessible):
            yield from walk(child, depth + 1, max_depth)


def role_of(accessible):
    return _or(accessible.getRoleName, "")


def name_of(accessible):
    return _or(lambda: accessible.name or "", "")


def states_of(accessible):
    return _or(lambda: {pyatspi.stateToString(state) for state in accessible.getState().getStates()}, set())


def find_all(root, name=None, role=None):
    return [a for a in walk(root)
            if (name is None or name_of(a) == name) and (role is None or role_of(a) == role)]


def find(root, name=None, role=None, timeout=WIDGET_TIMEOUT):
    return wait_until(lambda: next(iter(find_all(root, name, role)), None), timeout,
                      f"a widget named {name!r} of role {role!r}")


def wait_state(accessible, state, what, present=True):
    wait_until(lambda: (state in states_of(accessible)) == present, WIDGET_TIMEOUT, what)


def box(accessible):
    extents = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return (extents.x, extents.y, extents.width, extents.height)


def text(accessible):
    return accessible.queryText().getText(0, -1).replace("\r\n", "\n").replace("\u2029", "\n").replace("\u2028", "\n")


def cells(table):
    interface = table.queryTable()
    return [[name_of(interface.getAccessibleAt(row, column)) for column in range(interface.nColumns)]
            for row in range(interface.nRows)]


def subjects(mail_list):
    return [row[3].strip() for row in cells(mail_list)]


# ---- the mouse and the keyboard ----

def click(accessible, within=None):
    part = box(accessible) if within is None else visible_part(accessible, within)
    if part is None or part[2] <= 0 or part[3] <= 0:
        fail(f"{name_of(accessible)!r} has no visible box to click")
    x, y, width, height = part
    xdotool("mousemove", "--sync", x + width // 2, y + height // 2, "click", "1")


def visible_part(accessible, within):
    x, y, width, height = box(accessible)
    left, top, outer_width, outer_height = box(within)
    right, bottom = min(x + width, left + outer_width), min(y + height, top + outer_height)
    x, y = max(x, left), max(y, top)
    return (x, y, right - x, bottom - y) if right > x and bottom > y else None


def select_row(table, row):
    """Selects a row as a person does in a long list: Home and Down bring it into view, then a click."""
    click(table)
    keys("Home", *["Down"] * row)
    cell = table.queryTable().getAccessibleAt(row, 1)
    wait_until(lambda: visible_part(cell, table) == box(cell), WIDGET_TIMEOUT, f"row {row} of {name_of(table)!r} in view")
    click(cell)
    wait_state(table.queryTable().getAccessibleAt(row, 0), "selected", f"row {row} of {name_of(table)!r} being selected")


def drag(x, y, dx, dy):
    # No --sync: a move to where the pointer already is would wait for good.
    xdotool("mousemove", x, y, "sleep", "0.1", "mousedown", "1")
    for step in range(1, 9):
        xdotool("mousemove", x + dx * step // 8, y + dy * step // 8, "sleep", "0.05")
    xdotool("sleep", "0.2", "mouseup", "1")


def splitter_handle(root, holding):
    for pane in find_all(root, role="split pane"):
        parts = children(pane)
        handles = [part for part in parts if role_of(part) in ("unknown", "separator") and 0 < min(box(part)[2:]) <= 10]
        if handles and any(name_of(part) == holding for part in parts):
            return handles[0]
    fail(f"no divider beside {holding!r}")


def keys(*combinations):
    xdotool("key", "--delay", "40", *combinations)


def type_text(characters):
    xdotool("type", "--delay", "20", characters)


def screenshot(path, area=None):
    """The screen, or an area (x, y, width, height) of it, as a PNG."""
    # Without time stamps, so that an unchanged screen gives an unchanged file; grabbed whole, then
    # cropped, as import crops what it grabbed unreliably.
    crop = ["-crop", "{2}x{3}+{0}+{1}".format(*area), "+repage"] if area else []
    result = run(["convert", "x:root", *crop, "-strip", "-define", "png:exclude-chunks=date,time", "png:" + path])
    if result.returncode != 0:
        fail(f"grabbing the screen failed: {result.stderr.strip()}")


def managed_windows():
    result = run(["xprop", "-root", "_NET_CLIENT_LIST"])
    return {str(int(word, 16)) for word in result.stdout.replace(",", " ").split() if word.startswith("0x")}


# ---- files ----

def tree_listing(directory):
    listing = {}
    for path in pathlib.Path(directory).rglob("*"):
        status = path.lstat()
        listing[str(path.relative_to(directory))] = \
            ("dir",) if path.is_dir() else (status.st_size, status.st_mtime_ns, status.st_mode)
    return listing


def folder_names(directory):
    return sorted(os.listdir(directory)) if os.path.isdir(directory) else []


def profile_values(content):
    """{key: value} of a profile file (CP932, CR LF); a key in two sections keeps the first."""
    lines = content.decode("cp932").split("\r\n")
    return dict(reversed([line.split("=", 1) for line in lines if "=" in line and not line.startswith("[")]))


# ---- the directories of one data directory ----

class Home:
    """A data directory with its own temporary (writable by all, as /tmp) and runtime directories."""

    def __init__(self, root):
        self.root = root
        self.data, self.temporary, self.runtime, self.xdg = (os.path.join(root, part)
                                                             for part in ("home", "tmp", "runtime", "xdg"))
        for directory in (self.data, self.temporary, self.runtime, self.xdg):
            os.makedirs(directory, exist_ok=True)
        os.chmod(self.temporary, 0o1777)
        os.chmod(self.runtime, 0o700)
        self.private_temporary = os.path.join(self.temporary, f"quillmere-{os.getuid()}")
        self.work_directory = os.path.join(self.data, "work")

    def path(self, *parts):
        return os.path.join(self.data, *parts)

    def read(self, *parts):
        return pathlib.Path(self.path(*parts)).read_bytes()

    def write(self, name, lines):
        pathlib.Path(self.path(name)).write_bytes(lines.replace("\n", "\r\n").encode("cp932"))

    def environment(self, **extra):
        inherited = {key: value for key, value in os.environ.items()
                     if key not in _INHERITED_OUT and not key.startswith("LC_")}
        own = {f"XDG_{kind.upper()}_HOME": os.path.join(self.xdg, kind) for kind in ("data", "config", "cache")}
        fixed = dict(LANG="ja_JP.UTF-8", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
                     QUILLMERE_HOME=self.data, TMPDIR=self.temporary, XDG_RUNTIME_DIR=self.runtime)
        return inherited | own | fixed | extra

    def cli(self, *arguments, given=None):
        result = subprocess.run([os.path.join(BIN_DIR, "quillmere-cli"), *arguments], env=self.environment(),
                                capture_output=True, input=given)
        if result.returncode != 0:
            fail(f"quillmere-cli {' '.join(arguments)} ended with {result.returncode}: "
                 f"{result.stderr.decode('utf-8', 'replace').strip()}")
        return result.stdout.decode("utf-8")

    def new_account(self, title):
        """An account with its folders and nothing in them (importing nothing makes it)."""
        nothing = os.path.join(self.root, "empty.mbox")
        open(nothing, "wb").close()
        self.cli("import", title, "--mbox", nothing)

    def ready_account(self, title):
        self.new_account(title)
        self.cli("account", "set", title, "--address", "me@example.com", "--pop-server", "pop.example.com",
                 "--pop-user", "me", "--smtp-server", "smtp.example.com")

    def leftovers_in_temporary(self):
        """The work directory and temporary copies, which an ended program must not leave."""
        return ([name for name in folder_names(self.private_temporary) if name.startswith("qlm_")] +
                (["work"] if os.path.exists(self.work_directory) else []))


# ---- one run of the program ----

class Program:
    def __init__(self, session, home, label, **environment):
        self.session, self.home, self.label = session, home, label
        self.environment = home.environment(**environment)
        self.log_path = os.path.join(session.scratch, f"{label}.log")
        self.process = self.window = self.window_id = None

    def start(self, *arguments):
        with open(self.log_path, "wb") as log:
            self.process = subprocess.Popen([os.path.join(BIN_DIR, "quillmere"), *arguments], env=self.environment,
                                            stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        self.session.programs.append(self)
        return self

    def log(self):
        return read_text(self.log_path)

    def _application(self):
        if self.process.poll() is not None:
            fail(f"quillmere ended with {self.process.returncode} before its window appeared:\n{self.log()}")
        return next((application for application in children(pyatspi.Registry.getDesktop(0))
                     if name_of(application) == APPLICATION_NAME
                     and _or(application.get_process_id, None) == self.process.pid), None)

    def _top_level(self, roles, title):
        application = self._application()
        return next((window for window in (children(application) if application is not None else [])
                     if role_of(window) in roles and name_of(window) == title and "showing" in states_of(window)), None)

    def wait_window(self, timeout=WINDOW_TIMEOUT):
        self.window = wait_until(lambda: self._top_level(("frame",), MAIN_TITLE), timeout,
                                 f"the window {MAIN_TITLE!r} of application {APPLICATION_NAME!r} on the accessibility bus")
        self.window_id = wait_until(self.visible_window_id, timeout, f"the X window {MAIN_TITLE!r} of the program")
        return self.window

    def window_ids(self, *only, name=f"^{MAIN_TITLE}$"):
        return run(["xdotool", "search", *only, "--pid", str(self.process.pid), "--name", name]).stdout.split()

    def visible_window_id(self):
        """The main window while on the screen (the tray icon's, of the same name, is no WM client)."""
        listed = managed_windows()
        return next((window for window in self.window_ids("--onlyvisible") if window in listed), None)

    def settle(self, minimum=1.2):
        started, seen = time.monotonic(), []
        # Seven equal boxes in a row: still for 0.3 s at least.
        while time.monotonic() - started < minimum or len(set(seen[-7:])) != 1:
            if time.monotonic() - started > WINDOW_TIMEOUT:
                fail(f"the window keeps changing its size or place: {seen[-1]}")
            seen.append(box(self.window))
            time.sleep(0.05)

    def find(self, name=None, role=None):
        return find(self.window, name, role)

    def show_folder(self, name):
        tree = self.find("folders")
        click(find(tree, name), within=tree)
        return tree

    def dialog(self, title):
        return wait_until(lambda: self._top_level(("dialog", "alert"), title), WIDGET_TIMEOUT,
                          f"the dialog {title!r} on the screen")

    def activate(self):
        xdotool("windowactivate", "--sync", self.window_id)
        wait_until(lambda: run(["xdotool", "getactivewindow"]).stdout.strip() == self.window_id,
                   WIDGET_TIMEOUT, "the window becoming the active one")

    def choose(self, opening, item, key):
        self.activate()
        keys(*opening)
        wait_state(self.find(item, "menu item"), "showing", f"the menu holding {item} opening")
        keys(key)

    def close_by_window_manager(self, ending=True):
        self.activate()
        keys("alt+F4")
        if ending:
            self.ends_cleanly("closing the window")

    def wait_exit(self, timeout=10):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            fail(f"quillmere ({self.label}) did not end within {timeout} s after being closed:\n{self.log()}")

    def ends_cleanly(self, how):
        self.session.check((code := self.wait_exit()) == 0, f"{how} ended the program with {code}")


# ---- a private Dovecot ----

class Dovecot:
    """POP3 without TLS on a free port of 127.0.0.1, one user, a maildir owned by "nobody" under root."""

    USER, PASSWORD = "alice", "open sesame 42"

    def __init__(self, log_directory):
        program = shutil.which("dovecot") or "/usr/sbin/dovecot"
        if not os.access(program, os.X_OK):
            fail("dovecot is not installed (scripts/install-deps.sh test installs it)")
        self.log_directory, self.delivered = log_directory, 0
        self.root = tempfile.mkdtemp(prefix="qm-e2e-dovecot-")
        self.maildir = os.path.join(self.root, "home", "Maildir")
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            self.port = probe.getsockname()[1]
        owner = pwd.getpwnam("nobody") if os.geteuid() == 0 else pwd.getpwuid(os.geteuid())
        self.uid, self.gid = owner.pw_uid, owner.pw_gid
        for directory in ("run", "state"):
            os.makedirs(os.path.join(self.root, directory), exist_ok=True)
        os.chmod(self.root, 0o755)
        for sub in ("..", "", "new", "cur", "tmp"):
            path = os.path.normpath(os.path.join(self.maildir, sub))
            os.makedirs(path, exist_ok=True)
            if os.geteuid() == 0:
                os.chown(path, self.uid, self.gid)
        pathlib.Path(self.root, "passwd").write_text(f"{self.USER}:{{PLAIN}}{self.PASSWORD}\n")
        conf = data("servers", "dovecot-e2e.conf").decode()
        for name, value in (("DIR", self.root), ("USER", owner.pw_name), ("GROUP", grp.getgrgid(self.gid).gr_name),
                            ("UID", self.uid), ("GID", self.gid), ("MAILDIR", self.maildir), ("PORT", self.port)):
            conf = conf.replace(f"@{name}@", str(value))
        pathlib.Path(self.root, "dovecot.conf").write_text(conf)
        with open(os.path.join(self.root, "dovecot.out"), "wb") as output:
            self.process = subprocess.Popen([program, "-F", "-c", os.path.join(self.root, "dovecot.conf")],
                                            stdout=output, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        link = wait_until(self._connected, 10, lambda: f"Dovecot accepting on port {self.port}:\n{self.log()}")
        if not _or(lambda: link.user(self.USER) and link.pass_(self.PASSWORD) and link.quit(), None):
            fail(f"the test's Dovecot refuses {self.USER!r}: it cannot read its own files\n{self.log()}")

    def _connected(self):
        if self.process.poll() is not None:
            fail(f"dovecot ended with {self.process.returncode}:\n{self.log()}")
        return _or(lambda: poplib.POP3("127.0.0.1", self.port, timeout=5), None)

    def log(self):
        return "".join(read_text(os.path.join(self.root, name)) for name in ("dovecot.out", "dovecot.log"))

    def deliver(self, message):
        self.delivered += 1
        name = f"{1700000000 + self.delivered}.M{self.delivered}P{os.getpid()}.e2e"
        temporary = os.path.join(self.maildir, "tmp", name)
        pathlib.Path(temporary).write_bytes(message)
        if os.geteuid() == 0:
            os.chown(temporary, self.uid, self.gid)
        os.rename(temporary, os.path.join(self.maildir, "new", name))

    def stop(self):
        end(self.process)
        # Its log stays with the test's others; its files go.
        os.makedirs(self.log_directory, exist_ok=True)
        pathlib.Path(self.log_directory, "dovecot.log").write_text(self.log())
        shutil.rmtree(self.root, ignore_errors=True)


# ---- the session ----

class Session:

    def __init__(self, name):
        self.failures, self.programs, self.servers = [], [], []
        if not (os.environ.get("DISPLAY") and os.environ.get("DBUS_SESSION_BUS_ADDRESS")):
            fail("no X display or D-Bus session: run the test under xvfb-run and dbus-run-session")
        if pyatspi is None:
            fail(f"{sys.executable} cannot import pyatspi ({PYATSPI_ERROR}): install python3-pyatspi")
        for tool in ("openbox", "xdotool", "xprop", "convert"):
            if shutil.which(tool) is None:
                fail(f"{tool} is not installed (scripts/install-deps.sh test installs it)")
        self.scratch = os.path.abspath(os.path.join(SCRATCH_ROOT, name))
        shutil.rmtree(self.scratch, ignore_errors=True)
        os.makedirs(self.scratch)
        ready, xdg = os.path.join(self.scratch, "openbox.ready"), os.path.join(self.scratch, "openbox")
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(xdg, "config"), XDG_CACHE_HOME=os.path.join(xdg, "cache"))
        with open(os.path.join(self.scratch, "openbox.log"), "wb") as log:
            # openbox runs the start-up command once it manages the screen.
            self.openbox = subprocess.Popen(
                ["openbox", "--sm-disable", "--config-file", os.path.join(HERE, "openbox-rc.xml"),
                 "--startup", "touch " + shlex.quote(ready)],
                env=env, stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)

        def managing():
            if self.openbox.poll() is not None:
                fail(f"openbox ended with {self.openbox.returncode}: see {self.scratch}/openbox.log")
            return os.path.exists(ready)
        wait_until(managing, 10, "openbox managing the screen")

    def home(self, label="home"):
        return Home(os.path.join(self.scratch, label))

    def open_window(self, home, label, **environment):
        program = Program(self, home, label, **environment).start()
        program.wait_window()
        program.settle()
        return program

    def check(self, condition, message):
        if not condition:
            self.failures.append(message)
            print(f"CHECK FAILED: {message}", flush=True)

    def dovecot(self, label="dovecot"):
        self.servers.append(Dovecot(os.path.join(self.scratch, label)))
        return self.servers[-1]

    def close(self):
        for program in self.programs:
            end(program.process)
        for server in self.servers:
            server.stop()
        end(self.openbox)


def main(test):
    name = os.path.splitext(os.path.basename(sys.argv[0]))[0]
    session, failures = None, []
    try:
        session = Session(name)
        test(session)
    except TestFailure as error:
        failures = [str(error)]
    except Exception:
        failures = [traceback.format_exc()]
    if session is not None:
        failures = session.failures + failures
        if failures:
            _or(lambda: screenshot(os.path.join(session.scratch, "failure.png")), None)
            for program in session.programs:
                print(f"--- output of quillmere ({program.label}) ---\n{program.log().strip()}")
            failures.append(f"screenshot and logs in {session.scratch}")
        session.close()
    print(f"{name}: FAILED" if failures else f"{name}: passed", *(f"  - {failure}" for failure in failures), sep="\n")
    sys.exit(1 if failures else 0)
