"""The window in the background with check interval 1 and an account whose password is stored, against a
Dovecot of the test's own.

With a notification area (trayer), minimizing hides the window and shows the icon; a mail planted in Dovecot makes
the icon blink within 70 s (two pictures of the tray 250 ms apart differ); a click on the icon brings the
window back; closing it sends it to the tray again, and 終了 in the tray menu ends the program."""

import os
import pathlib
import subprocess
import time

import quillmere_e2e as e2e

ACCOUNT = "試験"
# The check runs one interval (60 s) after the window went to the background.
BLINK_TIMEOUT = 70
TRAY_HEIGHT = 24


def checking_account(home, dovecot):
    """A complete account on the private Dovecot, its password stored, check interval 1, opened at the start."""
    home.new_account(ACCOUNT)
    home.cli("account", "set", ACCOUNT, "--address", "me@example.com", "--pop-server", "127.0.0.1",
             "--pop-port", str(dovecot.port), "--pop-user", dovecot.USER, "--smtp-server", "127.0.0.1",
             "--password", "--password-fd", "0", given=(dovecot.PASSWORD + "\n").encode())
    home.write("quillmere.ini", "[value]\ncheck interval=1\n")
    home.write("layout.ini", f"[directory]\ncurrent={ACCOUNT}/\n")


def tray_icon(program):
    """The box of the program's small unmanaged window, the icon in trayer (the balloon is larger), or None."""
    listed = e2e.managed_windows()
    for window in program.window_ids("--onlyvisible", name="."):
        shell = e2e.run(["xdotool", "getwindowgeometry", "--shell", window]).stdout.split()
        shell = dict(line.split("=", 1) for line in shell if "=" in line)
        geometry = tuple(int(shell.get(key, 0)) for key in ("X", "Y", "WIDTH", "HEIGHT"))
        if window not in listed and 0 < max(geometry[2:]) <= TRAY_HEIGHT:
            return geometry


def icon_still(program):
    first = tray_icon(program)
    time.sleep(0.3)
    return first if first is not None and first == tray_icon(program) else None


def click_icon(program, button):
    x, y, width, height = e2e.wait_until(lambda: icon_still(program), e2e.WIDGET_TIMEOUT,
                                         "the tray icon standing still")
    e2e.xdotool("mousemove", x + width // 2, y + height // 2, "click", button)


# How much of the top right corner the tray pictures take.
TRAY_STRIP = 160


class Trayer:
    """A notification area in the top right corner that is as wide as its icons."""

    def __init__(self, session):
        self.scratch = session.scratch
        with open(os.path.join(session.scratch, "trayer.log"), "wb") as log:
            self.process = subprocess.Popen(
                ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--heighttype", "pixel",
                 "--height", str(TRAY_HEIGHT), "--SetDockType", "true", "--expand", "false",
                 "--transparent", "true", "--alpha", "0", "--tint", "0x303030"],
                stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        # The tray's selection has an owner once trayer manages the area.
        e2e.wait_until(self._owns_selection, 10, "trayer owning the system tray selection")

    def _owns_selection(self):
        if self.process.poll() is not None:
            e2e.fail(f"trayer ended with {self.process.returncode}")
        return e2e.run(["xdotool", "search", "--classname", "panel"]).stdout.split() or \
            e2e.run(["xdotool", "search", "--class", "trayer"]).stdout.split()

    def picture(self, name, area=None):
        """PNG bytes of `area`, by default the top right strip the tray grows in (its geometry may lag)."""
        path = os.path.join(self.scratch, name)
        e2e.screenshot(path, area or (e2e.SCREEN[0] - TRAY_STRIP, 0, TRAY_STRIP, TRAY_HEIGHT))
        return pathlib.Path(path).read_bytes()


def test(session):
    dovecot = session.dovecot()
    trayer = Trayer(session)
    empty = trayer.picture("tray-empty.png")
    home = session.home("tray")
    checking_account(home, dovecot)
    program = e2e.Program(session, home, "tray").start()

    def in_tray():
        return program.visible_window_id() is None and trayer.picture("tray.png") != empty

    # The window goes to the tray at its start when its account is complete; should it
    # show itself first, minimizing sends it there.
    def shown_or_in_tray():
        return "tray" if in_tray() else "window" if program.visible_window_id() else None
    if e2e.wait_until(shown_or_in_tray, e2e.WINDOW_TIMEOUT, "the window or its tray icon appearing") == "window":
        program.wait_window()
        program.settle(minimum=0.5)
        e2e.xdotool("windowminimize", program.window_id)
    where = "the window hidden and its icon in the tray"
    e2e.wait_until(in_tray, e2e.WINDOW_TIMEOUT, where)
    e2e.wait_until(lambda: not set(program.window_ids()) & e2e.managed_windows(), e2e.WIDGET_TIMEOUT,
                   "the window hidden in the tray leaving the task list")
    plain = trayer.picture("tray-plain.png")
    time.sleep(0.5)
    session.check(trayer.picture("tray-still.png") == plain, "the tray icon changes before any mail came")

    dovecot.deliver(e2e.data("e2e", "hello_from_bob.eml"))

    # The icon's own pixels: the balloon that comes with the mail reaches into the strip.
    def blinking():
        icon = e2e.wait_until(lambda: icon_still(program), e2e.WIDGET_TIMEOUT, "the tray icon standing still")
        first = trayer.picture("tray-blink-1.png", icon)
        time.sleep(0.25)
        return first != trayer.picture("tray-blink-2.png", icon)
    e2e.wait_until(blinking, BLINK_TIMEOUT, "the tray icon blinking after a mail was planted", interval=0.5)

    click_icon(program, 1)
    program.wait_window()  # on the screen and on the task list
    e2e.wait_until(lambda: trayer.picture("tray-after.png") == empty, e2e.WIDGET_TIMEOUT,
                   "the tray icon gone once the window is back")
    # Nothing was received: the check only asks.
    # (Dovecot moves a mail from new to cur once a session has seen it.)
    kept = sum(len(os.listdir(os.path.join(dovecot.maildir, part))) for part in ("new", "cur"))
    session.check(kept == 1, "the check took the mail from the server")

    # Closed with a check interval, the window goes back to the tray; the tray menu's
    # 終了(&X) ends the program.
    program.close_by_window_manager(ending=False)
    e2e.wait_until(in_tray, e2e.WIDGET_TIMEOUT, where)
    click_icon(program, 3)
    time.sleep(0.5)
    e2e.keys("x")
    program.ends_cleanly("終了 in the tray menu")
    e2e.end(trayer.process)


if __name__ == "__main__":
    e2e.main(test)
