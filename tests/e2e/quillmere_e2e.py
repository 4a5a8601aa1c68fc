"""Drives the real quillmere window for the end-to-end tests.

A test script runs inside a private X server and D-Bus session:

    xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- \\
        /usr/bin/python3 tests/e2e/test_first_start.py

`Session` starts openbox there, gives every start of the program its own
data, temporary and runtime directories (`Home`), and starts the program
(`Program`), whose widgets it reads through the accessibility bus (AT-SPI)
and drives with xdotool at the screen boxes AT-SPI reports. Whatever cannot
be started makes the test fail with the reason; nothing is skipped.
"""

import os
import shlex
import shutil
import signal
import subprocess
import sys
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.environ.get("QUILLMERE_SOURCE_DIR") or os.path.dirname(os.path.dirname(HERE))
BIN_DIR = os.environ.get("QUILLMERE_BIN_DIR") or os.path.join(SOURCE_DIR, "build", "bin")
SCRATCH_ROOT = os.environ.get("QUILLMERE_E2E_SCRATCH") or os.path.join(BIN_DIR, "..", "e2e")
SCREEN = (1280, 800)

# How long the slow steps may take before the test gives up on them.
WINDOW_TIMEOUT = 20
EXIT_TIMEOUT = 10
WIDGET_TIMEOUT = 5

MAIN_TITLE = "Quillmere"
APPLICATION_NAME = "quillmere"

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
    """The first true value of predicate(); fails naming `what` (a text, or a function
    giving it) after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            fail(f"{what() if callable(what) else what}: not within {timeout} s")
        time.sleep(interval)


def run(command, **options):
    return subprocess.run(command, capture_output=True, text=True, **options)


def xdotool(*arguments):
    result = run(["xdotool", *[str(a) for a in arguments]])
    if result.returncode != 0:
        fail(f"xdotool {' '.join(map(str, arguments))} failed: {result.stderr.strip()}")
    return result.stdout


def installed_locales():
    return {name.lower().replace("-", "") for name in run(["locale", "-a"]).stdout.split()}


def require_locale(name):
    if name.lower().replace("-", "") not in installed_locales():
        fail(f"the locale {name} is not installed (Debian package locales-all)")


def _import_pyatspi():
    try:
        import pyatspi  # noqa: F401 (the system's python3-pyatspi)
        return pyatspi
    except ImportError as error:
        fail(f"pyatspi cannot be imported by {sys.executable} ({error}); "
             "install python3-pyatspi and run the tests with /usr/bin/python3")


# ---- the accessibility tree ----

def children(accessible):
    try:
        count = accessible.childCount
    except Exception:
        return []
    found = []
    for index in range(count):
        try:
            child = accessible.getChildAtIndex(index)
        except Exception:
            child = None
        if child is not None:
            found.append(child)
    return found


def walk(accessible, depth=0, max_depth=30):
    yield accessible
    if depth < max_depth:
        for child in children(accessible):
            yield from walk(child, depth + 1, max_depth)


def role_of(accessible):
    try:
        return accessible.getRoleName()
    except Exception:
        return ""


def name_of(accessible):
    try:
        return accessible.name or ""
    except Exception:
        return ""


def states_of(accessible):
    pyatspi = _import_pyatspi()
    try:
        return {pyatspi.stateToString(state) for state in accessible.getState().getStates()}
    except Exception:
        return set()


def find_all(root, name=None, role=None):
    return [a for a in walk(root)
            if (name is None or name_of(a) == name) and (role is None or role_of(a) == role)]


def find(root, name=None, role=None, timeout=WIDGET_TIMEOUT):
    """The first widget below root with that accessible name and role, waited for."""
    what = f"a widget named {name!r}" if name is not None else "a widget"
    if role is not None:
        what += f" of role {role!r}"
    return wait_until(lambda: next(iter(find_all(root, name, role)), None), timeout, what)


def box(accessible):
    """(x, y, width, height) on the screen."""
    pyatspi = _import_pyatspi()
    extents = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return (extents.x, extents.y, extents.width, extents.height)


def text(accessible):
    """The whole text of a text widget, with plain line feeds."""
    content = accessible.queryText().getText(0, -1)
    return content.replace("\r\n", "\n").replace("\u2029", "\n").replace("\u2028", "\n")


def cells(table):
    """Every row of a list or table as a list of its cells' texts."""
    interface = table.queryTable()
    rows = []
    for row in range(interface.nRows):
        rows.append([name_of(interface.getAccessibleAt(row, column)) for column in range(interface.nColumns)])
    return rows


def column_titles(table):
    interface = table.queryTable()
    titles = []
    for column in range(interface.nColumns):
        header = interface.getColumnHeader(column)
        titles.append(name_of(header) if header is not None else "")
    return titles


def cell(table, row, column):
    return table.queryTable().getAccessibleAt(row, column)


# ---- the mouse and the keyboard ----

def click(accessible, within=None):
    """A left click in the middle of a widget's box (of its part inside `within`)."""
    part = box(accessible) if within is None else visible_part(accessible, within)
    if part is None or part[2] <= 0 or part[3] <= 0:
        fail(f"{name_of(accessible)!r} has no visible box to click")
    x, y, width, height = part
    xdotool("mousemove", "--sync", x + width // 2, y + height // 2, "click", "1")


def visible_part(accessible, within):
    """The part of a widget's box inside another's, or None."""
    x, y, width, height = box(accessible)
    left, top, outer_width, outer_height = box(within)
    right, bottom = min(x + width, left + outer_width), min(y + height, top + outer_height)
    x, y = max(x, left), max(y, top)
    return (x, y, right - x, bottom - y) if right > x and bottom > y else None


def visible_cell(interface, table, row):
    """A cell of the row that lies wholly in the list below its header, or None."""
    header = interface.getColumnHeader(0)
    top = box(header)[1] + box(header)[3] if header else box(table)[1]
    bottom = box(table)[1] + box(table)[3]
    for column in range(interface.nColumns):
        cell_widget = interface.getAccessibleAt(row, column)
        part = visible_part(cell_widget, table)
        y, height = box(cell_widget)[1], box(cell_widget)[3]
        if part and y >= top and y + height <= bottom:
            return cell_widget
    return None


def click_row(table, row):
    """Selects a row of a list as a user does: a click on it; when it is scrolled away,
    the arrow keys from the nearest row that can be seen bring it into view first
    (they move only the focus), then the click."""
    interface = table.queryTable()
    shown = [r for r in range(interface.nRows) if visible_cell(interface, table, r)]
    if not shown:
        fail(f"no row of {name_of(table)!r} can be seen")
    nearest = min(shown, key=lambda r: abs(r - row))
    if row != nearest:
        click(visible_cell(interface, table, nearest), within=table)
        keys(*(["Down" if row > nearest else "Up"] * abs(row - nearest)))
        wait_until(lambda: visible_cell(interface, table, row), WIDGET_TIMEOUT,
                   f"row {row} of {name_of(table)!r} scrolled into view")
    click(visible_cell(interface, table, row), within=table)
    wait_until(lambda: "selected" in states_of(interface.getAccessibleAt(row, 0)), WIDGET_TIMEOUT,
               f"row {row} of {name_of(table)!r} being selected")


def drag(accessible, dx, dy):
    """Presses the left button in the middle of a widget, moves by (dx, dy) and lets go."""
    x, y, width, height = box(accessible)
    x, y = x + width // 2, y + height // 2
    xdotool("mousemove", "--sync", x, y, "mousedown", "1")
    for step in (1, 2, 3, 4):
        xdotool("mousemove", "--sync", x + dx * step // 4, y + dy * step // 4)
    xdotool("mouseup", "1")


def splitter_handle(root, holding):
    """The divider of the split pane that holds the widget named `holding`."""
    for pane in find_all(root, role="split pane"):
        parts = children(pane)
        if not any(name_of(part) == holding for part in parts):
            continue
        for part in parts:
            x, y, width, height = box(part)
            if role_of(part) in ("unknown", "separator") and width > 0 and height > 0 and min(width, height) <= 10:
                return part
    fail(f"no divider beside {holding!r}")


def keys(*combinations):
    """Key presses (xdotool names: "alt+f", "shift+F3", "Down") to the focused window."""
    xdotool("key", "--delay", "40", *combinations)


def screenshot(path):
    """The whole screen as a PNG without time stamps, so that an unchanged screen
    gives an unchanged file."""
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    result = run(["import", "-window", "root", "-strip", "-define", "png:exclude-chunks=date,time",
                  "png:" + path])
    if result.returncode != 0:
        fail(f"import -window root failed: {result.stderr.strip()}")


def managed_windows():
    """The windows the window manager lists as the desktop's clients (the task list)."""
    result = run(["xprop", "-root", "_NET_CLIENT_LIST"])
    return {str(int(word, 16)) for word in result.stdout.replace(",", " ").split() if word.startswith("0x")}


# ---- files ----

def tree_listing(directory):
    """Every file and folder below directory, relative, with what identifies its
    content: size and modification time for files."""
    listing = {}
    for parent, folders, files in os.walk(directory):
        for name in folders + files:
            path = os.path.join(parent, name)
            status = os.lstat(path)
            relative = os.path.relpath(path, directory)
            listing[relative] = ("dir",) if name in folders else (status.st_size, status.st_mtime_ns, status.st_mode)
    return listing


def folder_names(directory):
    return sorted(os.listdir(directory)) if os.path.isdir(directory) else []


def profile_values(data):
    """{key: value} of a profile file the program writes (CP932, CR LF); a key
    found in two sections keeps the first."""
    values = {}
    for line in data.decode("cp932").split("\r\n"):
        if "=" in line and not line.startswith("["):
            key, value = line.split("=", 1)
            values.setdefault(key, value)
    return values


# ---- the directories of one data directory ----

class Home:
    """A data directory with the temporary and runtime directories its program uses.

    The temporary directory may be written by everybody, as /tmp may, so the
    program works in its private quillmere-<uid>/ inside it."""

    def __init__(self, root):
        self.root = root
        self.data = os.path.join(root, "home")
        self.temporary = os.path.join(root, "tmp")
        self.runtime = os.path.join(root, "runtime")
        self.xdg = os.path.join(root, "xdg")
        for directory in (self.data, self.temporary, self.runtime, self.xdg):
            os.makedirs(directory, exist_ok=True)
        os.chmod(self.temporary, 0o1777)
        os.chmod(self.runtime, 0o700)

    @property
    def private_temporary(self):
        return os.path.join(self.temporary, f"quillmere-{os.getuid()}")

    @property
    def work_directory(self):
        return os.path.join(self.private_temporary, "quillmere.$$$")

    def path(self, *parts):
        return os.path.join(self.data, *parts)

    def environment(self, **extra):
        env = {key: value for key, value in os.environ.items()
               if key not in _INHERITED_OUT and not key.startswith("LC_")}
        env.update({
            "LANG": "ja_JP.UTF-8",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_QPA_PLATFORM": "xcb",
            "QUILLMERE_HOME": self.data,
            "TMPDIR": self.temporary,
            "XDG_RUNTIME_DIR": self.runtime,
            "XDG_DATA_HOME": os.path.join(self.xdg, "data"),
            "XDG_CONFIG_HOME": os.path.join(self.xdg, "config"),
            "XDG_CACHE_HOME": os.path.join(self.xdg, "cache"),
        })
        env.update(extra)
        return env

    def cli(self, *arguments):
        """quillmere-cli on this data directory; its standard output."""
        program = os.path.join(BIN_DIR, "quillmere-cli")
        if not os.access(program, os.X_OK):
            fail(f"{program} is missing: build it (ninja -C build quillmere-cli)")
        result = subprocess.run([program, *arguments], env=self.environment(), capture_output=True)
        if result.returncode != 0:
            fail(f"quillmere-cli {' '.join(arguments)} ended with {result.returncode}: "
                 f"{result.stderr.decode('utf-8', 'replace').strip()}")
        return result.stdout.decode("utf-8")

    def ready_account(self, title):
        """An account that can send and receive as far as its settings go, so the
        window does not open the account dialog at its start."""
        nothing = os.path.join(self.root, "empty.mbox")
        open(nothing, "wb").close()
        self.cli("import", title, "--mbox", nothing)
        self.cli("account", "set", title, "--address", "me@example.com", "--pop-server", "pop.example.com",
                 "--pop-user", "me", "--smtp-server", "smtp.example.com")

    def leftovers_in_temporary(self):
        """What a program that has ended must not leave in its private temporary
        directory: the work directory and temporary copies."""
        return [name for name in folder_names(self.private_temporary)
                if name == "quillmere.$$$" or name.startswith("qlm_")]


# ---- one run of the program ----

class Program:
    def __init__(self, session, home, label, **environment):
        self.session = session
        self.home = home
        self.label = label
        self.environment = home.environment(**environment)
        self.log_path = os.path.join(session.scratch, f"{label}.log")
        self.process = None
        self.application = None
        self.window = None
        self.window_id = None

    def start(self, *arguments):
        program = os.path.join(BIN_DIR, "quillmere")
        if not os.access(program, os.X_OK):
            fail(f"{program} is missing: build it (ninja -C build quillmere)")
        with open(self.log_path, "wb") as log:
            self.process = subprocess.Popen([program, *arguments], env=self.environment, stdout=log,
                                            stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        self.session.programs.append(self)
        return self

    def log(self):
        try:
            with open(self.log_path, "rb") as log:
                return log.read().decode("utf-8", "replace")
        except OSError:
            return ""

    def _application(self):
        pyatspi = _import_pyatspi()
        if self.process.poll() is not None:
            fail(f"quillmere ended with {self.process.returncode} before its window appeared:\n{self.log()}")
        desktop = pyatspi.Registry.getDesktop(0)
        for application in children(desktop):
            try:
                if name_of(application) == APPLICATION_NAME and application.get_process_id() == self.process.pid:
                    return application
            except Exception:
                continue
        return None

    def _main_frame(self):
        application = self._application()
        if application is None:
            return None
        for frame in children(application):
            if role_of(frame) == "frame" and name_of(frame) == MAIN_TITLE and "showing" in states_of(frame):
                self.application = application
                return frame
        return None

    def wait_window(self, timeout=WINDOW_TIMEOUT):
        """Waits for the main window through the accessibility bus and finds its X window."""
        self.window = wait_until(self._main_frame, timeout,
                                 f"the window {MAIN_TITLE!r} of application {APPLICATION_NAME!r} on the accessibility bus")
        self.window_id = wait_until(self.visible_window_id, timeout, f"the X window {MAIN_TITLE!r} of the program")
        return self.window

    def visible_window_id(self):
        """The X window of the main window while it is on the screen, else None. The
        tray icon's window bears the same name but is no client of the window manager."""
        result = run(["xdotool", "search", "--onlyvisible", "--pid", str(self.process.pid), "--name", f"^{MAIN_TITLE}$"])
        ids = result.stdout.split()
        if ids:
            listed = managed_windows()
            ids = [window for window in ids if window in listed]
        return ids[0] if ids else None

    def settle(self, minimum=1.2):
        """Waits until the window has been framed and its size has stood still, as it
        has long before a person does anything with it."""
        started = time.monotonic()
        last = None
        stable_since = time.monotonic()
        while True:
            current = box(self.window)
            now = time.monotonic()
            if current != last:
                last, stable_since = current, now
            if now - started >= minimum and now - stable_since >= 0.3:
                return current
            if now - started > WINDOW_TIMEOUT:
                fail(f"the window keeps changing its size or place: {current}")
            time.sleep(0.05)

    def find(self, name=None, role=None, timeout=WIDGET_TIMEOUT):
        return find(self.window, name, role, timeout)

    def dialog(self, title, timeout=WIDGET_TIMEOUT):
        """A dialog or message box of the program on the screen, by its title."""
        def showing():
            application = self._application()
            for window in children(application) if application is not None else []:
                if role_of(window) in ("dialog", "alert") and name_of(window) == title and "showing" in states_of(window):
                    return window
            return None
        return wait_until(showing, timeout, f"the dialog {title!r} on the screen")

    def frame_extents(self):
        """(left, right, top, bottom): what the window manager's frame adds around the window."""
        result = run(["xprop", "-id", self.window_id, "_NET_FRAME_EXTENTS"])
        numbers = result.stdout.split("=")[-1].replace(",", " ").split()
        if result.returncode != 0 or len(numbers) != 4:
            fail(f"the frame extents of the window cannot be read: {result.stdout.strip()} {result.stderr.strip()}")
        return tuple(int(n) for n in numbers)

    def resize(self, width, height):
        """xdotool windowsize: the window's own size, without the frame."""
        xdotool("windowsize", self.window_id, width, height)
        wait_until(lambda: tuple(box(self.window)[2:]) == (width, height), WIDGET_TIMEOUT,
                   lambda: f"the window taking the size {width}x{height}; it is {box(self.window)[2:]}")

    def move_frame(self, x, y):
        """Puts the frame's top left corner at (x, y)."""
        left, _, top, _ = self.frame_extents()
        target = (x + left, y + top)
        xdotool("windowmove", self.window_id, *target)
        # The window manager may take the position as that of the frame or of
        # the window; one correction settles it.
        time.sleep(0.2)
        where = tuple(box(self.window)[:2])
        if where != target:
            xdotool("windowmove", self.window_id, 2 * target[0] - where[0], 2 * target[1] - where[1])
        wait_until(lambda: tuple(box(self.window)[:2]) == target, WIDGET_TIMEOUT,
                   lambda: f"the window moving to {target}; it is at {box(self.window)[:2]}")

    def place(self, x, y, width, height):
        """Puts the window, frame included, at that place and size on the screen."""
        left, right, top, bottom = self.frame_extents()
        self.resize(width - left - right, height - top - bottom)
        self.move_frame(x, y)

    def activate(self):
        xdotool("windowactivate", "--sync", self.window_id)
        wait_until(lambda: run(["xdotool", "getactivewindow"]).stdout.strip() == self.window_id,
                   WIDGET_TIMEOUT, "the window becoming the active one")

    def close_by_window_manager(self):
        """Alt+F4, which openbox turns into a close request."""
        self.activate()
        keys("alt+F4")

    def close_by_menu(self):
        """メール(F) > 閉じる(X) with the keys alt+f, x."""
        self.activate()
        keys("alt+f")
        item = self.find("閉じる(X)", "menu item")
        wait_until(lambda: "showing" in states_of(item), WIDGET_TIMEOUT, "the menu メール(F) opening")
        keys("x")

    def end_session(self):
        """SIGTERM, as at the end of a desktop session."""
        self.process.send_signal(signal.SIGTERM)

    def wait_exit(self, timeout=EXIT_TIMEOUT):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            fail(f"quillmere ({self.label}) did not end within {timeout} s after being closed:\n{self.log()}")

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()


# ---- a private Dovecot ----

def free_port():
    import socket
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Dovecot:
    """A Dovecot of the test's own on 127.0.0.1: POP3 without TLS on a free port,
    one user with a plaintext password and a maildir. As root the mail and the
    server's processes belong to "nobody", to whom Dovecot may give mail; its
    files lie in a directory of their own below the system's temporary
    directory, which nobody can reach through a private home directory of the
    checkout. It logs the user in once before the test goes on, so that a
    server that cannot read its own files fails at once, with its log."""

    USER = "alice"
    PASSWORD = "open sesame 42"

    def __init__(self, log_directory):
        import pwd
        import tempfile
        program = shutil.which("dovecot") or "/usr/sbin/dovecot"
        if not os.access(program, os.X_OK):
            fail("dovecot is not installed (scripts/install-deps.sh test installs it)")
        self.log_directory = log_directory
        self.root = tempfile.mkdtemp(prefix="qm-e2e-dovecot-")
        self.maildir = os.path.join(self.root, "home", "Maildir")
        self.port = free_port()
        self.delivered = 0
        owner = pwd.getpwnam("nobody") if os.geteuid() == 0 else pwd.getpwuid(os.geteuid())
        self.uid, self.gid = owner.pw_uid, owner.pw_gid
        import grp
        group = grp.getgrgid(self.gid).gr_name
        for directory in ("run", "state"):
            os.makedirs(os.path.join(self.root, directory), exist_ok=True)
        os.chmod(self.root, 0o755)
        for sub in ("", "new", "cur", "tmp"):
            path = os.path.join(self.maildir, sub)
            os.makedirs(path, exist_ok=True)
            if os.geteuid() == 0:
                os.chown(path, self.uid, self.gid)
        if os.geteuid() == 0:
            os.chown(os.path.join(self.root, "home"), self.uid, self.gid)
        passwd = os.path.join(self.root, "passwd")
        with open(passwd, "w") as out:
            out.write(f"{self.USER}:{{PLAIN}}{self.PASSWORD}\n")
        conf = os.path.join(self.root, "dovecot.conf")
        with open(os.path.join(SOURCE_DIR, "tests", "data", "servers", "dovecot-e2e.conf")) as template:
            text = template.read()
        for name, value in (("DIR", self.root), ("USER", owner.pw_name), ("GROUP", group), ("UID", self.uid),
                            ("GID", self.gid), ("MAILDIR", self.maildir), ("PORT", self.port)):
            text = text.replace(f"@{name}@", str(value))
        with open(conf, "w") as out:
            out.write(text)
        with open(os.path.join(self.root, "dovecot.out"), "wb") as output:
            self.process = subprocess.Popen([program, "-F", "-c", conf], stdout=output, stderr=subprocess.STDOUT,
                                            stdin=subprocess.DEVNULL)
        wait_until(self._accepting, 10, lambda: f"Dovecot accepting on port {self.port}:\n{self.log()}")
        self._log_in_once()

    def _accepting(self):
        import socket
        if self.process.poll() is not None:
            fail(f"dovecot ended with {self.process.returncode}:\n{self.log()}")
        try:
            with socket.create_connection(("127.0.0.1", self.port), timeout=1) as link:
                return link.recv(64).startswith(b"+OK")
        except OSError:
            return False

    def _log_in_once(self):
        import socket
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as link:
            replies = link.makefile("rb")
            replies.readline()
            for command in (f"USER {self.USER}", f"PASS {self.PASSWORD}"):
                link.sendall(command.encode() + b"\r\n")
                reply = replies.readline()
                if not reply.startswith(b"+OK"):
                    fail(f"the test's Dovecot refuses {self.USER!r} ({reply!r}): it cannot read its own files\n"
                         f"{self.log()}")
            link.sendall(b"QUIT\r\n")

    def log(self):
        text = ""
        for name in ("dovecot.out", "dovecot.log"):
            try:
                with open(os.path.join(self.root, name), "rb") as log:
                    text += log.read().decode("utf-8", "replace")
            except OSError:
                pass
        return text

    def deliver(self, message):
        """Puts a message (bytes) into new/ as a delivery agent would."""
        self.delivered += 1
        name = f"{1700000000 + self.delivered}.M{self.delivered}P{os.getpid()}.e2e"
        temporary = os.path.join(self.maildir, "tmp", name)
        with open(temporary, "wb") as out:
            out.write(message)
        if os.geteuid() == 0:
            os.chown(temporary, self.uid, self.gid)
        os.rename(temporary, os.path.join(self.maildir, "new", name))

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        # Its log stays with the test's others; its files go.
        os.makedirs(self.log_directory, exist_ok=True)
        with open(os.path.join(self.log_directory, "dovecot.log"), "w") as out:
            out.write(self.log())
        shutil.rmtree(self.root, ignore_errors=True)


# ---- the session ----

class Session:
    """The window manager and the scratch directories of one test script."""

    def __init__(self, name):
        self.name = name
        self.failures = []
        self.programs = []
        self.servers = []
        self.openbox = None
        if not os.environ.get("DISPLAY"):
            fail("no X display: run the test under xvfb-run (see the README)")
        if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
            fail("no D-Bus session: run the test under dbus-run-session (see the README)")
        _import_pyatspi()
        for tool in ("openbox", "xdotool", "xprop", "import"):
            if shutil.which(tool) is None:
                fail(f"{tool} is not installed (scripts/install-deps.sh test installs it)")
        self.scratch = os.path.abspath(os.path.join(SCRATCH_ROOT, name))
        shutil.rmtree(self.scratch, ignore_errors=True)
        os.makedirs(self.scratch)
        self._start_window_manager()

    def _start_window_manager(self):
        ready = os.path.join(self.scratch, "openbox.ready")
        xdg = os.path.join(self.scratch, "openbox")
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

    def program(self, home, label, **environment):
        return Program(self, home, label, **environment)

    def check(self, condition, message):
        """A check whose failure is reported at the end, after the others have run."""
        if not condition:
            self.failures.append(message)
            print(f"CHECK FAILED: {message}", flush=True)
        return condition

    def dovecot(self, label="dovecot"):
        """A private Dovecot, stopped with the session."""
        server = Dovecot(os.path.join(self.scratch, label))
        self.servers.append(server)
        return server

    def close(self):
        for program in self.programs:
            program.stop()
        for server in self.servers:
            server.stop()
        if self.openbox is not None and self.openbox.poll() is None:
            self.openbox.terminate()
            try:
                self.openbox.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.openbox.kill()


def main(test):
    """Runs test(session) and exits 0 when it passed, 1 with the reasons when not."""
    name = os.path.splitext(os.path.basename(sys.argv[0]))[0]
    session = None
    failures = []
    try:
        session = Session(name)
        test(session)
        failures = session.failures
    except TestFailure as error:
        failures = (session.failures if session else []) + [str(error)]
    except Exception:
        failures = (session.failures if session else []) + [traceback.format_exc()]
    if failures and session is not None:
        try:
            screenshot(os.path.join(session.scratch, "failure.png"))
        except TestFailure:
            pass
        for program in session.programs:
            output = program.log().strip()
            if output:
                print(f"--- output of quillmere ({program.label}) ---\n{output}")
    if session is not None:
        session.close()
    if failures:
        print(f"{name}: FAILED")
        for failure in failures:
            print(f"  - {failure}")
        if session is not None:
            print(f"  (screenshot and logs in {session.scratch})")
        sys.exit(1)
    print(f"{name}: passed")
    sys.exit(0)
