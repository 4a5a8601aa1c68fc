"""Writing mail in the real window: N in the mail list opens 新規メール作成, a
recipient and subject typed with the keyboard make a draft that the editor is
started on; a reply chosen from the menu marks its mail with R in the list."""

import os
import stat

import quillmere_e2e as e2e

ACCOUNT = "標準アカウント"
MAIL = """From: taro@example.com
To: me@example.com
Subject: hello
Message-ID: <e2e-1@example.com>
Date: Mon, 1 Mar 2010 10:00:00 +0900

See you.
"""


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


def test(session):
    home = session.home()
    mail = os.path.join(home.root, "hello.eml")
    with open(mail, "wb") as out:
        out.write(MAIL.replace("\n", "\r\n").encode("ascii"))
    home.cli("import", ACCOUNT, mail)
    home.ready_account(ACCOUNT)
    log = recording_editor(home)

    program = session.program(home, "window").start()
    program.wait_window()
    program.settle()
    tree = program.find("folders")
    e2e.click(e2e.find(tree, " 受信箱"), within=tree)
    mail_list = program.find("mail list")
    e2e.wait_until(lambda: any(row[3].strip() == "hello" for row in e2e.cells(mail_list)), e2e.WIDGET_TIMEOUT,
                   "the inbox showing the mail 'hello'")

    # N in the mail list: a new mail typed from the keyboard.
    rows = e2e.cells(mail_list)
    e2e.click_row(mail_list, next(i for i, row in enumerate(rows) if row[3].strip() == "hello"))
    e2e.keys("n")
    dialog = program.dialog("新規メール作成")
    e2e.xdotool("type", "--delay", "20", "hanako@example.jp")
    e2e.keys("Tab")
    e2e.xdotool("type", "--delay", "20", "lunch")
    e2e.keys("Return")
    e2e.wait_until(lambda: "showing" not in e2e.states_of(dialog), e2e.WIDGET_TIMEOUT, "新規メール作成 closing")
    files = e2e.wait_until(lambda: edited(log, 1), e2e.WIDGET_TIMEOUT, "the editor started on the new draft")
    session.check(files[0].endswith("/草稿/.0/1"), f"the editor was started on {files[0]}")
    header = draft_header(home, 0)
    for line in ("To: hanako@example.jp\r\n", "Subject: lunch\r\n", "From: me@example.com\r\n"):
        session.check(line in header, f"the new draft's header lacks {line!r}:\n{header}")

    # メール(F) > 返信(P): the reply's dialog offers "Re: hello"; Enter makes it.
    rows = e2e.cells(mail_list)
    e2e.click_row(mail_list, next(i for i, row in enumerate(rows) if row[3].strip() == "hello"))
    program.activate()
    e2e.keys("alt+f")
    item = program.find("返信(P)...", "menu item")
    e2e.wait_until(lambda: "showing" in e2e.states_of(item), e2e.WIDGET_TIMEOUT, "the menu メール(F) opening")
    e2e.keys("p")
    reply = program.dialog("返信")
    subject = e2e.find(reply, "件名", "text")
    session.check(e2e.text(subject) == "Re: hello", f"the reply offers the subject {e2e.text(subject)!r}")
    e2e.keys("Return")
    e2e.wait_until(lambda: "showing" not in e2e.states_of(reply), e2e.WIDGET_TIMEOUT, "返信 closing")
    e2e.wait_until(lambda: edited(log, 2), e2e.WIDGET_TIMEOUT, "the editor started on the reply")
    session.check("In-Reply-To: <e2e-1@example.com>\r\n" in draft_header(home, 1),
                  f"the reply's header is\n{draft_header(home, 1)}")
    e2e.wait_until(lambda: any(row[3].strip() == "hello" and row[0][2:3] == "R" for row in e2e.cells(mail_list)),
                   e2e.WIDGET_TIMEOUT, lambda: f"the mail list marking 'hello' replied; it shows {e2e.cells(mail_list)}")

    program.close_by_window_manager()
    code = program.wait_exit()
    session.check(code == 0, f"closing the window ended the program with {code}")


if __name__ == "__main__":
    e2e.main(test)
