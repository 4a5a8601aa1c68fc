"""mailto: links: xdg-open, with Quillmere's menu entry as the mailto handler
of the test's own XDG directories, hands a link to the running window, which
opens 新規メール作成 with the link's recipient and subject; a first start with
a link opens the window and then the dialog. Cancelled, nothing is written."""

import os
import shutil
import subprocess

import quillmere_e2e as e2e

ACCOUNT = "標準アカウント"
LINK = "mailto:a@example.jp?subject=%E4%BC%9A%E8%AD%B0"


def register_handler(home):
    """The source's quillmere.desktop as the mailto handler, with the build's
    programs first on PATH; the environment xdg-open then runs in."""
    applications = os.path.join(home.xdg, "data", "applications")
    os.makedirs(applications, exist_ok=True)
    shutil.copy(os.path.join(e2e.SOURCE_DIR, "resources", "quillmere.desktop"), applications)
    env = home.environment(PATH=e2e.BIN_DIR + os.pathsep + os.environ.get("PATH", "/usr/bin:/bin"))
    for key in ("XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "BROWSER"):
        env.pop(key, None)
    result = subprocess.run(["xdg-mime", "default", "quillmere.desktop", "x-scheme-handler/mailto"],
                            env=env, capture_output=True, text=True)
    if result.returncode != 0:
        e2e.fail(f"xdg-mime default failed: {result.stderr.strip()}")
    handler = subprocess.run(["xdg-mime", "query", "default", "x-scheme-handler/mailto"],
                             env=env, capture_output=True, text=True).stdout.strip()
    if handler != "quillmere.desktop":
        e2e.fail(f"the mailto handler is {handler!r}, not quillmere.desktop")
    return env


def check_filled_in(session, program, recipient, subject):
    dialog = program.dialog("新規メール作成")
    shown_subject = e2e.text(e2e.find(dialog, "件名", "text"))
    session.check(shown_subject == subject, f"the dialog offers the subject {shown_subject!r}")
    fields = [e2e.text(field) for field in e2e.find_all(dialog, "宛先", "text")]
    session.check(recipient in fields, f"the dialog offers the recipients {fields!r}")
    return dialog


def cancel(dialog):
    e2e.keys("Escape")
    e2e.wait_until(lambda: "showing" not in e2e.states_of(dialog), e2e.WIDGET_TIMEOUT, "新規メール作成 closing")


def message_box(program, title):
    """A message box of the program by its title (its role is "alert", not "dialog")."""
    def showing():
        application = program._application()
        for window in e2e.children(application) if application is not None else []:
            if e2e.name_of(window) == title and "showing" in e2e.states_of(window):
                return window
        return None
    return e2e.wait_until(showing, e2e.WIDGET_TIMEOUT, f"the message box {title!r} on the screen")


def drafts(home):
    return [name for name in e2e.folder_names(home.path("mailbox", ACCOUNT, " 送信箱", "草稿"))
            if name.startswith(".")]


def test(session):
    home = session.home()
    home.ready_account(ACCOUNT)
    env = register_handler(home)

    # A second start through the desktop: xdg-open runs the menu entry's command.
    first = session.program(home, "window").start()
    first.wait_window()
    first.settle()
    opened = subprocess.run(["xdg-open", LINK], env=env, capture_output=True, text=True, timeout=30)
    session.check(opened.returncode == 0,
                  f"xdg-open ended with {opened.returncode}: {opened.stdout}{opened.stderr}")
    dialog = check_filled_in(session, first, "a@example.jp", "会議")
    e2e.screenshot(os.path.join(session.scratch, "mailto.png"))
    cancel(dialog)
    session.check(first.process.poll() is None, "the running window ended")
    first.close_by_window_manager()
    code = first.wait_exit()
    session.check(code == 0, f"closing the window ended the program with {code}")

    # A first start with a link: the window, then the dialog.
    again = session.program(home, "first start with a link").start(
        "mailto:b@example.jp,c@example.jp?subject=Re%3A%20lunch")
    again.wait_window()
    notice = message_box(again, "通知")  # c@example.jp does not fit the dialog's single recipient
    e2e.keys("Return")
    e2e.wait_until(lambda: "showing" not in e2e.states_of(notice), e2e.WIDGET_TIMEOUT, "the notice closing")
    cancel(check_filled_in(session, again, "b@example.jp", "Re: lunch"))
    session.check(drafts(home) == [], f"a cancelled dialog left drafts {drafts(home)}")
    again.close_by_window_manager()
    code = again.wait_exit()
    session.check(code == 0, f"closing the window ended the program with {code}")


if __name__ == "__main__":
    e2e.main(test)
