"""Reading and writing mail in the real window, as a user does it.

The sample mail: the inbox's rows as the command-line program lists them, a
mail's text in the preview, an HTML-only mail with characters beyond Shift_JIS
read as `quillmere-cli show` reads it (and nothing it names fetched), the
README's screenshot. A click in the folder tree, then N: 新規メール作成, a
recipient and subject typed make a draft the editor is started on; a reply
from the menu carries In-Reply-To and marks its mail R. A mailto: link opened
through xdg-open (Quillmere's menu entry as the handler) reaches the running
window as a filled-in 新規メール作成; a second plain start raises the first
window and ends at once. SIGTERM ends the program as closing its window does."""

import base64
import glob
import os
import shutil
import socket
import stat
import subprocess
import time

import quillmere_e2e as e2e

ACCOUNT = "標準アカウント"
INBOX = ACCOUNT + "/ 受信箱"
README_SCREENSHOT = os.path.join(e2e.SOURCE_DIR, "docs", "main-window.png")
SHOT_MARGIN = 10
SECOND_START_LIMIT = 1.0
HELLO = ("From: taro@example.com\r\nTo: me@example.com\r\nSubject: hello\r\nMessage-ID: <e2e-1@example.com>\r\n"
         "Date: Mon, 1 Mar 2010 10:00:00 +0900\r\n\r\nSee you.\r\n")
LINK = "mailto:a@example.jp?subject=%E4%BC%9A%E8%AD%B0"


def watched_html_mail(path, port):
    """An HTML-only mail whose subject and text hold emoji and accents, and whose
    images, style sheet and frame are on a port the test listens on."""
    web = f"http://127.0.0.1:{port}/"
    html = (f'<html><head><link rel="stylesheet" href="{web}s.css"></head><body>'
            f'<img src="{web}logo.png" alt="Café Ω"><iframe src="{web}f"></iframe>'
            f'<h1>Résumé 🎉</h1><ul><li>ｱｲｳ &amp; 안녕</li></ul><img src="{web}t.gif" width="1">'
            '</body></html>')
    subject = "=?UTF-8?B?" + base64.b64encode("見張り 🕵 Zoë".encode()).decode() + "?="
    message = ("From: watcher@example.com\r\nTo: me@example.com\r\nSubject: " + subject + "\r\n"
               "Date: Thu, 4 Dec 2025 12:00:00 +0900\r\nMIME-Version: 1.0\r\n"
               "Content-Type: text/html; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
               + base64.encodebytes(html.encode()).decode().replace("\n", "\r\n"))
    with open(path, "wb") as mail:
        mail.write(message.encode())


def recording_editor(home):
    """A text editor that only writes down the file it was started on."""
    log = os.path.join(home.root, "editor.log")
    script = os.path.join(home.root, "editor")
    with open(script, "w") as out:
        out.write(f'#!/bin/sh\nprintf "%s\\n" "$1" >> "{log}"\n')
    os.chmod(script, os.stat(script).st_mode | stat.S_IXUSR)
    with open(home.path("quillmere.ini"), "wb") as settings:
        settings.write(f"[string]\r\ntext editor={script}\r\n".encode("cp932"))
    return log


def edited(log, count):
    if not os.path.exists(log):
        return None
    with open(log) as lines:
        files = lines.read().splitlines()
    return files if len(files) >= count else None


def draft_header(home, number):
    with open(home.path("mailbox", ACCOUNT, " 送信箱", "草稿", f".{number}", "0"), "rb") as header:
        return header.read().decode("cp932")


def listed_rows(home):
    """The inbox as `quillmere-cli list` prints it: the window's columns and the number."""
    return [line.split("\t") for line in home.cli("list", INBOX).splitlines()]


def subjects(mail_list):
    return [row[3].strip() for row in e2e.cells(mail_list)]


def check_rows_and_previews(session, program, home, listener):
    """The rows as the command-line program lists them; the plain and the HTML mail in the preview."""
    mail_list = program.find("mail list")
    expected = listed_rows(home)
    shown = e2e.wait_until(lambda: (lambda rows: rows if len(rows) == len(expected) else None)(e2e.cells(mail_list)),
                           e2e.WIDGET_TIMEOUT, f"the mail list showing the inbox's {len(expected)} rows")
    columns = len(shown[0])
    window_rows = sorted(tuple(cell.rstrip() for cell in row) for row in shown)
    cli_rows = sorted(tuple(cell.rstrip() for cell in row[:columns]) for row in expected)
    session.check(window_rows == cli_rows, "the mail list differs from `quillmere-cli list`:\n" +
                  "\n".join(f"    window {w}\n    cli    {c}" for w, c in zip(window_rows, cli_rows) if w != c))
    preview = program.find("preview")
    for subject in ("hello", "見張り 🕵 Zoë"):
        number = next(row[-1] for row in expected if row[3] == subject)
        wanted = home.cli("show", INBOX, number).strip()
        if subject != "hello":
            session.check("Café Ω\n\nRésumé 🎉\n\n・ｱｲｳ & 안녕" in wanted, f"quillmere-cli show gives {wanted!r}")
        e2e.click_row(mail_list, subjects(mail_list).index(subject))
        try:
            e2e.wait_until(lambda: e2e.text(preview).strip() == wanted, e2e.WIDGET_TIMEOUT,
                           lambda: f"the preview of {subject!r} as `quillmere-cli show` has it; "
                                   f"it shows {e2e.text(preview)[:200]!r}")
        except e2e.TestFailure as error:
            session.check(False, str(error))
    try:
        listener.accept()[0].close()
        session.check(False, "the window fetched something an HTML mail names")
    except BlockingIOError:
        pass
    return mail_list


def write_new_and_reply(session, program, home, mail_list, log):
    # A click in the tree, then N: the keys are the mail list's again.
    tree = program.find("folders")
    e2e.click(e2e.find(tree, " 受信箱"), within=tree)
    e2e.keys("n")
    dialog = program.dialog("新規メール作成")
    e2e.xdotool("type", "--delay", "20", "hanako@example.jp")
    e2e.keys("Tab")
    e2e.xdotool("type", "--delay", "20", "lunch")
    e2e.keys("Return")
    e2e.wait_until(lambda: "showing" not in e2e.states_of(dialog), e2e.WIDGET_TIMEOUT, "新規メール作成 closing")
    files = e2e.wait_until(lambda: edited(log, 1), e2e.WIDGET_TIMEOUT, "the editor started on the new draft")
    session.check(files[0].endswith("/草稿/.0/1"), f"the editor was started on {files[0]}")
    for line in ("To: hanako@example.jp\r\n", "Subject: lunch\r\n", "From: me@example.com\r\n"):
        session.check(line in draft_header(home, 0), f"the new draft's header lacks {line!r}")

    # メール(F) > 返信(P): the reply's dialog offers "Re: hello"; Enter makes it.
    e2e.click_row(mail_list, subjects(mail_list).index("hello"))
    program.activate()
    e2e.keys("alt+f")
    item = program.find("返信(P)...", "menu item")
    e2e.wait_until(lambda: "showing" in e2e.states_of(item), e2e.WIDGET_TIMEOUT, "the menu メール(F) opening")
    e2e.keys("p")
    reply = program.dialog("返信")
    subject = e2e.text(e2e.find(reply, "件名", "text"))
    session.check(subject == "Re: hello", f"the reply offers the subject {subject!r}")
    e2e.keys("Return")
    e2e.wait_until(lambda: edited(log, 2), e2e.WIDGET_TIMEOUT, "the editor started on the reply")
    session.check("In-Reply-To: <e2e-1@example.com>\r\n" in draft_header(home, 1),
                  f"the reply's header is\n{draft_header(home, 1)}")
    e2e.wait_until(lambda: any(row[3].strip() == "hello" and row[0][2:3] == "R" for row in e2e.cells(mail_list)),
                   e2e.WIDGET_TIMEOUT, lambda: f"the mail list marking 'hello' replied: {e2e.cells(mail_list)}")


def take_readme_screenshot(session, program):
    program.place(SHOT_MARGIN, SHOT_MARGIN, e2e.SCREEN[0] - 2 * SHOT_MARGIN, e2e.SCREEN[1] - 2 * SHOT_MARGIN)
    program.settle(minimum=0.5)
    shot = os.path.join(session.scratch, "main-window.png")
    e2e.screenshot(shot)
    os.makedirs(os.path.dirname(README_SCREENSHOT), exist_ok=True)
    shutil.copyfile(shot, README_SCREENSHOT)


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
    opened = subprocess.run(["xdg-open", LINK], env=env, capture_output=True, text=True, timeout=30)
    session.check(opened.returncode == 0, f"xdg-open ended with {opened.returncode}: {opened.stdout}{opened.stderr}")
    dialog = program.dialog("新規メール作成")
    shown = e2e.text(e2e.find(dialog, "件名", "text"))
    session.check(shown == "会議", f"the dialog for the link offers the subject {shown!r}")
    recipients = [e2e.text(field) for field in e2e.find_all(dialog, "宛先", "text")]
    session.check("a@example.jp" in recipients, f"the dialog for the link offers the recipients {recipients!r}")
    e2e.keys("Escape")
    e2e.wait_until(lambda: "showing" not in e2e.states_of(dialog), e2e.WIDGET_TIMEOUT, "新規メール作成 closing")


def check_second_start(session, first, home):
    def window_is_up():
        return (e2e.run(["xdotool", "getactivewindow"]).stdout.strip() == first.window_id
                and first.visible_window_id() == first.window_id)
    work_before = e2e.tree_listing(first.home.work_directory)
    e2e.xdotool("windowminimize", "--sync", first.window_id)
    e2e.wait_until(lambda: not window_is_up(), e2e.WIDGET_TIMEOUT, "the first window being minimized")
    second = session.program(home, "second").start()
    started = time.monotonic()
    code = second.wait_exit()
    took = time.monotonic() - started
    session.check(code == 0 and took <= SECOND_START_LIMIT, f"the second start ended with {code} after {took:.2f} s")
    try:
        e2e.wait_until(window_is_up, 3, "the first window being shown and active again")
    except e2e.TestFailure as error:
        session.check(False, str(error))
    session.check(e2e.tree_listing(first.home.work_directory) == work_before,
                  "the second start changed the first copy's work directory")


def test(session):
    home = session.home()
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    listener.setblocking(False)
    watched = os.path.join(session.scratch, "watched.eml")
    watched_html_mail(watched, listener.getsockname()[1])
    hello = os.path.join(session.scratch, "hello.eml")
    with open(hello, "wb") as out:
        out.write(HELLO.encode("ascii"))
    sample = sorted(glob.glob(os.path.join(e2e.SOURCE_DIR, "tests", "data", "mail", "*.eml")))
    home.cli("import", ACCOUNT, *sample, watched, hello)
    home.ready_account(ACCOUNT)
    log = recording_editor(home)

    program = session.program(home, "window").start()
    program.wait_window()
    program.settle()
    tree = program.find("folders")
    e2e.click(e2e.find(tree, " 受信箱"), within=tree)
    mail_list = check_rows_and_previews(session, program, home, listener)
    take_readme_screenshot(session, program)
    write_new_and_reply(session, program, home, mail_list, log)
    open_link_through_the_desktop(session, program, home)
    check_second_start(session, program, home)

    program.end_session()
    code = program.wait_exit()
    session.check(code == 0, f"SIGTERM ended the program with {code}")
    session.check(not home.leftovers_in_temporary(),
                  f"left in the temporary directory after SIGTERM: {home.leftovers_in_temporary()}")
    with open(home.path("layout.ini"), "rb") as saved:
        current = e2e.profile_values(saved.read()).get("current")
    session.check(current == INBOX + "/", f"after SIGTERM layout.ini holds current={current!r}, not the inbox")


if __name__ == "__main__":
    e2e.main(test)
