"""The sample mail in the window: the inbox's rows as the command-line program
lists them, the first mail's text in the preview, an HTML-only mail with
characters beyond Shift_JIS read in the preview as `quillmere-cli show` reads
it (and nothing it names fetched), the README's screenshot.
Then a second start: it ends at once with 0, raises the first window and
leaves the first copy's work directory alone. At last the end of the desktop
session (SIGTERM) ends the program as closing its window does."""

import base64
import glob
import os
import socket
import time

import quillmere_e2e as e2e

ACCOUNT = "標準アカウント"
INBOX = ACCOUNT + "/ 受信箱"
README_SCREENSHOT = os.path.join(e2e.SOURCE_DIR, "docs", "main-window.png")
# The window fills the screen for the screenshot but for this margin.
SHOT_MARGIN = 10
SECOND_START_LIMIT = 1.0


def listed_rows(home):
    """The inbox as `quillmere-cli list` prints it: the window's columns and the number."""
    return [line.split("\t") for line in home.cli("list", INBOX).splitlines()]


def saved_body(home, number):
    """The text of message `number` as the preview shows it, restored by the command-line program."""
    for line in home.cli("parts", INBOX, number).splitlines():
        part, kind = line.split("\t")[:2]
        if kind == "body":
            target = os.path.join(home.root, f"body-{number}.txt")
            home.cli("save", INBOX, number, part, target, "--force")
            with open(target, "rb") as body:
                return body.read().decode("cp932").replace("\r\n", "\n")
    e2e.fail(f"message {number} of the inbox has no body part")


def open_inbox(program):
    tree = program.find("folders")
    e2e.click(e2e.find(tree, " 受信箱"), within=tree)


def show_inbox_rows(session, program, home):
    mail_list = program.find("mail list")
    expected = listed_rows(home)
    mail_rows = [row for row in expected if row[-1]]
    session.check(len(mail_rows) == len(glob.glob(os.path.join(e2e.SOURCE_DIR, "tests", "data", "mail", "*.eml"))) + 1,
                  f"the command-line program lists {len(mail_rows)} mails in the inbox")

    def inbox_rows():
        rows = e2e.cells(mail_list)
        return rows if len(rows) == len(expected) else None
    shown = e2e.wait_until(inbox_rows, e2e.WIDGET_TIMEOUT, f"the mail list showing the inbox's {len(expected)} rows")
    columns = len(shown[0])
    session.check(columns >= 5, f"the mail list has {columns} columns")
    # The window and the command-line program list the same rows; the order is
    # the window's sort.
    window_rows = sorted(tuple(cell.rstrip() for cell in row) for row in shown)
    cli_rows = sorted(tuple(cell.rstrip() for cell in row[:columns]) for row in expected)
    session.check(window_rows == cli_rows,
                  "the mail list differs from `quillmere-cli list`:\n"
                  + "\n".join(f"    window {w}\n    cli    {c}" for w, c in zip(window_rows, cli_rows) if w != c))
    return mail_list, shown, expected


def check_first_mail_preview(session, program, home, mail_list, shown, expected):
    columns = len(shown[0])
    first = next(index for index, row in enumerate(shown) if row[4].strip() != "<dir>")
    # Rows alike in every column (the same mail filed twice) are told apart by
    # their text only.
    numbers = [row[-1] for row in expected
               if row[-1] and [c.rstrip() for c in row[:columns]] == [c.rstrip() for c in shown[first]]]
    if not numbers:
        e2e.fail(f"the first mail row {shown[first]} is not in `quillmere-cli list`")
    # The preview shows the whole text part; the body restored by `save` is in it.
    bodies = {saved_body(home, number).strip("\n") for number in numbers}
    e2e.click_row(mail_list, first)
    preview = program.find("preview")
    e2e.wait_until(lambda: any(body and body in e2e.text(preview) for body in bodies), e2e.WIDGET_TIMEOUT,
                   lambda: f"the preview showing the text of {shown[first][3]!r} (mail {numbers}); it shows "
                           f"{e2e.text(preview)[:200]!r}")


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


def check_html_mail_preview(session, program, home, mail_list, listener):
    subject = "見張り 🕵 Zoë"
    rows = e2e.cells(mail_list)
    index = next((i for i, row in enumerate(rows) if row[3].strip() == subject), None)
    session.check(index is not None, f"no row with the subject {subject!r} as sent: {[row[3] for row in rows]}")
    if index is None:
        return
    number = next(row[-1] for row in listed_rows(home) if row[3] == subject)
    shown = home.cli("show", INBOX, number)
    session.check("Café Ω\n\nRésumé 🎉\n\n・ｱｲｳ & 안녕" in shown, f"quillmere-cli show gives {shown!r}")
    # The row may lie below what the list shows: the keys go down to it.
    e2e.click_row(mail_list, 0)
    e2e.keys(*(["Down"] * index))
    preview = program.find("preview")
    try:
        e2e.wait_until(lambda: e2e.text(preview).strip() == shown.strip(), e2e.WIDGET_TIMEOUT,
                       lambda: f"the preview showing what `quillmere-cli show` shows; it shows {e2e.text(preview)!r}")
    except e2e.TestFailure as error:
        session.check(False, str(error))
    try:
        connection, _ = listener.accept()
        connection.close()
        session.check(False, "the window fetched something an HTML mail names")
    except BlockingIOError:
        pass


def take_readme_screenshot(session, program):
    program.place(SHOT_MARGIN, SHOT_MARGIN, e2e.SCREEN[0] - 2 * SHOT_MARGIN, e2e.SCREEN[1] - 2 * SHOT_MARGIN)
    program.settle(minimum=0.5)
    shot = os.path.join(session.scratch, "main-window.png")
    e2e.screenshot(shot)
    os.makedirs(os.path.dirname(README_SCREENSHOT), exist_ok=True)
    with open(shot, "rb") as source, open(README_SCREENSHOT, "wb") as target:
        target.write(source.read())


def window_is_up(program):
    return (e2e.run(["xdotool", "getactivewindow"]).stdout.strip() == program.window_id
            and program.visible_window_id() == program.window_id)


def check_second_start(session, first, home):
    work_before = e2e.tree_listing(first.home.work_directory)
    session.check(os.path.isdir(first.home.work_directory),
                  f"the running window has no work directory {first.home.work_directory}")
    e2e.xdotool("windowminimize", "--sync", first.window_id)
    e2e.wait_until(lambda: not window_is_up(first), e2e.WIDGET_TIMEOUT, "the first window being minimized")

    second = session.program(home, "second").start()
    started = time.monotonic()
    code = second.wait_exit(timeout=e2e.EXIT_TIMEOUT)
    took = time.monotonic() - started
    session.check(code == 0, f"the second start ended with {code}")
    session.check(took <= SECOND_START_LIMIT, f"the second start took {took:.2f} s to end")
    try:
        e2e.wait_until(lambda: window_is_up(first), 3, "the first window being shown and active again")
    except e2e.TestFailure as error:
        session.check(False, str(error))
    session.check(first.process.poll() is None, "the first copy ended when the second started")
    work_after = e2e.tree_listing(first.home.work_directory)
    session.check(work_after == work_before,
                  f"the second start changed the first copy's work directory: {work_before} -> {work_after}")


def test(session):
    home = session.home()
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    listener.setblocking(False)
    watched = os.path.join(session.scratch, "watched.eml")
    watched_html_mail(watched, listener.getsockname()[1])
    sample = sorted(glob.glob(os.path.join(e2e.SOURCE_DIR, "tests", "data", "mail", "*.eml")))
    home.cli("import", ACCOUNT, *sample, watched)
    home.ready_account(ACCOUNT)

    first = session.program(home, "first").start()
    first.wait_window()
    first.settle()
    open_inbox(first)
    mail_list, shown, expected = show_inbox_rows(session, first, home)
    check_first_mail_preview(session, first, home, mail_list, shown, expected)
    check_html_mail_preview(session, first, home, mail_list, listener)
    take_readme_screenshot(session, first)

    check_second_start(session, first, home)

    first.end_session()
    code = first.wait_exit()
    session.check(code == 0, f"SIGTERM ended the program with {code}")
    session.check(not home.leftovers_in_temporary(),
                  f"left in the temporary directory after SIGTERM: {home.leftovers_in_temporary()}")
    layout = home.path("layout.ini")
    current = None
    if os.path.exists(layout):
        with open(layout, "rb") as saved:
            current = e2e.profile_values(saved.read()).get("current")
    session.check(current == INBOX + "/", f"after SIGTERM layout.ini holds current={current!r}, not the inbox")


if __name__ == "__main__":
    e2e.main(test)
