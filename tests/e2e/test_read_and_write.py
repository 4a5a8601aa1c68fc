"""Reading and writing mail in the real window, as a user does it.

The sample mail: the inbox's rows as the command-line program lists them, a mail's text in the preview,
an HTML-only mail with characters beyond Shift_JIS read as `quillmere-cli show` reads it (and nothing it
names fetched), the README's screenshot. A click in the folder tree, then N: 新規メール作成, a recipient and
subject typed make a draft the editor is started on; a reply from the menu carries In-Reply-To and marks
its mail R. A mailto: link opened through xdg-open (Quillmere's menu entry as the handler) reaches the
running window as a filled-in 新規メール作成; a second plain start raises the first window and ends at once.
SIGTERM ends the program as closing its window does."""

import base64
import glob
import os
import pathlib
import select
import shutil
import signal
import socket
import subprocess
import time

import quillmere_e2e as e2e

INBOX = e2e.ACCOUNT + "/ 受信箱"
README_SCREENSHOT = os.path.join(e2e.SOURCE_DIR, "docs", "main-window.png")


def recording_editor(home):
    """A text editor that only writes down the file it was started on."""
    log = os.path.join(home.root, "editor.log")
    script = os.path.join(home.root, "editor")
    pathlib.Path(script).write_text(f'#!/bin/sh\nprintf "%s\\n" "$1" >> "{log}"\n')
    os.chmod(script, 0o755)
    home.write("quillmere.ini", f"[string]\ntext editor={script}\n")
    return log


def edited(log, count):
    files = e2e.read_text(log).splitlines()
    return files if len(files) >= count else None


def draft_header(home, number):
    return home.read("mailbox", e2e.ACCOUNT, " 送信箱", "草稿", f".{number}", "0").decode("cp932")


def check_rows_and_previews(session, program, home, listener):
    """The rows as the command-line program lists them; the plain and the HTML mail in the preview."""
    mail_list = program.find("mail list")
    # `quillmere-cli list` prints the window's columns and the number.
    expected = [line.split("\t") for line in home.cli("list", INBOX).splitlines()]
    shown = e2e.wait_until(lambda: (lambda rows: rows if len(rows) == len(expected) else None)(e2e.cells(mail_list)),
                           e2e.WIDGET_TIMEOUT, f"the mail list showing the inbox's {len(expected)} rows")
    columns = len(shown[0])
    window_rows = sorted(tuple(cell.rstrip() for cell in row) for row in shown)
    cli_rows = sorted(tuple(cell.rstrip() for cell in row[:columns]) for row in expected)
    session.check(window_rows == cli_rows, f"the mail list {window_rows} differs from `quillmere-cli list` {cli_rows}")
    preview = program.find("preview")
    for subject in ("hello", "見張り 🕵 Zoë"):
        number = next(row[-1] for row in expected if row[3] == subject)
        wanted = home.cli("show", INBOX, number).strip()
        if subject != "hello":
            session.check("Café Ω\n\nRésumé 🎉\n\n・ｱｲｳ & 안녕" in wanted, f"quillmere-cli show gives {wanted!r}")
        e2e.select_row(mail_list, e2e.subjects(mail_list).index(subject))
        e2e.wait_until(lambda: e2e.text(preview).strip() == wanted, e2e.WIDGET_TIMEOUT,
                       lambda: f"the preview of {subject!r} as `quillmere-cli show` has it; "
                               f"it shows {e2e.text(preview)[:200]!r}")
    session.check(not select.select([listener], [], [], 0)[0], "the window fetched something an HTML mail names")
    return mail_list


def write_new_and_reply(session, program, home, mail_list, log):
    # A click in the tree, then N: the keys are the mail list's again.
    program.show_folder(" 受信箱")
    e2e.keys("n")
    dialog = program.dialog("新規メール作成")
    e2e.type_text("hanako@example.jp")
    e2e.keys("Tab")
    e2e.type_text("lunch")
    e2e.keys("Return")
    e2e.wait_state(dialog, "showing", "新規メール作成 closing", present=False)
    files = e2e.wait_until(lambda: edited(log, 1), e2e.WIDGET_TIMEOUT, "the editor started on the new draft")
    session.check(files[0].endswith("/草稿/.0/1"), f"the editor was started on {files[0]}")
    for line in ("To: hanako@example.jp\r\n", "Subject: lunch\r\n", "From: me@example.com\r\n"):
        session.check(line in draft_header(home, 0), f"the new draft's header lacks {line!r}")

    # メール(F) > 返信(P): Enter takes what the reply's dialog offers.
    e2e.select_row(mail_list, e2e.subjects(mail_list).index("hello"))
    program.choose(["alt+f"], "返信(P)...", "p")
    program.dialog("返信")
    e2e.keys("Return")
    e2e.wait_until(lambda: edited(log, 2), e2e.WIDGET_TIMEOUT, "the editor started on the reply")
    for line in ("Subject: Re: hello\r\n", "In-Reply-To: <e2e-1@example.com>\r\n"):
        session.check(line in draft_header(home, 1), f"the reply's header lacks {line!r}:\n{draft_header(home, 1)}")
    e2e.wait_until(lambda: any(row[3].strip() == "hello" and row[0][2:3] == "R" for row in e2e.cells(mail_list)),
                   e2e.WIDGET_TIMEOUT, lambda: f"the mail list marking 'hello' replied: {e2e.cells(mail_list)}")


def open_link_through_the_desktop(session, program, home):
    """The source's quillmere.desktop as the mailto handler of the test's own XDG
    directories, the build's programs first on PATH: xdg-open hands the link over."""
    applications = os.path.join(home.xdg, "data", "applications")
    os.makedirs(applications, exist_ok=True)
    shutil.copy(os.path.join(e2e.SOURCE_DIR, "resources", "quillmere.desktop"), applications)
    env = home.environment(PATH=e2e.BIN_DIR + os.pathsep + os.environ.get("PATH", "/usr/bin:/bin"))
    for key in ("XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "BROWSER"):
        env.pop(key, None)
    subprocess.run(["xdg-mime", "default", "quillmere.desktop", "x-scheme-handler/mailto"], env=env, check=True)
    opened = subprocess.run(["xdg-open", "mailto:a@example.jp?subject=%E4%BC%9A%E8%AD%B0"], env=env,
                            capture_output=True, text=True, timeout=30)
    session.check(opened.returncode == 0, f"xdg-open ended with {opened.returncode}: {opened.stdout}{opened.stderr}")
    dialog = program.dialog("新規メール作成")
    shown = e2e.text(e2e.find(dialog, "件名", "text"))
    session.check(shown == "会議", f"the dialog for the link offers the subject {shown!r}")
    recipients = [e2e.text(field) for field in e2e.find_all(dialog, "宛先", "text")]
    session.check("a@example.jp" in recipients, f"the dialog for the link offers the recipients {recipients!r}")
    e2e.keys("Escape")
    e2e.wait_state(dialog, "showing", "新規メール作成 closing", present=False)


def check_second_start(session, first, home):
    def window_is_up():
        return (e2e.run(["xdotool", "getactivewindow"]).stdout.strip() == first.window_id
                and first.visible_window_id() == first.window_id)
    work_before = e2e.tree_listing(first.home.work_directory)
    e2e.xdotool("windowminimize", "--sync", first.window_id)
    e2e.wait_until(lambda: not window_is_up(), e2e.WIDGET_TIMEOUT, "the first window being minimized")
    second = e2e.Program(session, home, "second").start()
    started = time.monotonic()
    code = second.wait_exit()
    took = time.monotonic() - started
    session.check(code == 0 and took <= 1.0, f"the second start ended with {code} after {took:.2f} s")
    e2e.wait_until(window_is_up, 3, "the first window being shown and active again")
    session.check(e2e.tree_listing(first.home.work_directory) == work_before,
                  "the second start changed the first copy's work directory")


def test(session):
    home = session.home()
    listener = socket.create_server(("127.0.0.1", 0))
    # An HTML-only mail whose images, style sheet and frame are on the port the test listens on.
    head, html = e2e.data("e2e", "html_only_remote_content.eml.in").split(b"\r\n\r\n", 1)
    body = base64.encodebytes(html.replace(b"@WEB@", f"http://127.0.0.1:{listener.getsockname()[1]}/".encode()))
    watched = os.path.join(session.scratch, "watched.eml")
    pathlib.Path(watched).write_bytes(head + b"\r\n\r\n" + body.replace(b"\n", b"\r\n"))
    sample = sorted(glob.glob(os.path.join(e2e.DATA_DIR, "mail", "*.eml")))
    home.cli("import", e2e.ACCOUNT, *sample, watched, os.path.join(e2e.DATA_DIR, "e2e", "hello_with_message_id.eml"))
    home.ready_account(e2e.ACCOUNT)
    log = recording_editor(home)
    # The window 10 pixels inside the screen, frame included, for the README's screenshot.
    home.write("layout.ini", f"[value]\nposition x=10\nposition y=10\nsize x={e2e.SCREEN[0] - 20}\nsize y={e2e.SCREEN[1] - 20}\n")

    program = session.open_window(home, "window")
    program.show_folder(" 受信箱")
    mail_list = check_rows_and_previews(session, program, home, listener)
    e2e.screenshot(README_SCREENSHOT)
    write_new_and_reply(session, program, home, mail_list, log)
    open_link_through_the_desktop(session, program, home)
    check_second_start(session, program, home)

    program.process.send_signal(signal.SIGTERM)
    program.ends_cleanly("SIGTERM")
    session.check(not home.leftovers_in_temporary(),
                  f"left in the temporary directory after SIGTERM: {home.leftovers_in_temporary()}")
    current = e2e.profile_values(home.read("layout.ini")).get("current")
    session.check(current == INBOX + "/", f"after SIGTERM layout.ini holds current={current!r}, not the inbox")


if __name__ == "__main__":
    e2e.main(test)
