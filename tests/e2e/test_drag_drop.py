"""Drag and drop with the mouse: a mail row dropped on a folder of the tree
moves into it, a row dropped on another mail row stays where it is, and a row
dropped on ".." goes to the folder above."""

import glob
import os

import quillmere_e2e as e2e

ACCOUNT = "標準アカウント"
KEEP = "保管"


def messages(home, *folder):
    directory = home.path("mailbox", ACCOUNT, *folder)
    return sorted(name for name in os.listdir(directory) if name.startswith("."))


def row_of(mail_list, subject):
    shown = e2e.subjects(mail_list)
    if subject not in shown:
        e2e.fail(f"no row {subject!r} in {shown}")
    return shown.index(subject)


def drag_row(mail_list, row, target):
    """Drags a row of the list by its subject cell onto the middle of `target`."""
    start = e2e.box(e2e.cell(mail_list, row, 3))
    x, y = start[0] + start[2] // 2, start[1] + start[3] // 2
    tx, ty, tw, th = e2e.box(target)
    tx, ty = tx + min(tw // 2, 40), ty + th // 2
    # No --sync: a move to where the pointer already is would wait for good.
    e2e.xdotool("mousemove", x, y, "sleep", "0.1", "mousedown", "1")
    for step in range(1, 9):
        e2e.xdotool("mousemove", x + (tx - x) * step // 8, y + (ty - y) * step // 8, "sleep", "0.05")
    e2e.xdotool("sleep", "0.2", "mouseup", "1")


def test(session):
    home = session.home()
    sample = sorted(glob.glob(os.path.join(e2e.SOURCE_DIR, "tests", "data", "mail", "*.eml")))[:4]
    home.cli("import", ACCOUNT, *sample)
    home.ready_account(ACCOUNT)
    os.makedirs(home.path("mailbox", ACCOUNT, KEEP))
    in_inbox = len(messages(home, " 受信箱"))

    program = session.open_window(home, "window")
    tree = program.show_folder(" 受信箱")
    mail_list = program.find("mail list")
    e2e.wait_until(lambda: len(e2e.cells(mail_list)) == in_inbox + 1, e2e.WIDGET_TIMEOUT,
                   "the inbox's rows in the mail list")
    mails = [subject for subject in e2e.subjects(mail_list) if subject != ".."]

    # Onto another mail row: nothing moves.
    e2e.click_row(mail_list, row_of(mail_list, mails[0]))
    drag_row(mail_list, row_of(mail_list, mails[0]), e2e.cell(mail_list, row_of(mail_list, mails[1]), 3))
    program.settle(minimum=0.5)
    session.check(len(messages(home, " 受信箱")) == in_inbox, "a row dropped on a mail row moved")

    # Onto the tree's folder: the mail is in it, and no longer in the inbox.
    drag_row(mail_list, row_of(mail_list, mails[0]), e2e.find(tree, KEEP))
    e2e.wait_until(lambda: len(messages(home, KEEP)) == 1, e2e.WIDGET_TIMEOUT, f"the mail moved into {KEEP}")
    session.check(len(messages(home, " 受信箱")) == in_inbox - 1, "the mail dropped on the tree is still in the inbox")
    e2e.wait_until(lambda: mails[0] not in e2e.subjects(mail_list), e2e.WIDGET_TIMEOUT, "the moved row leaving the list")

    # Onto "..": the folder above the inbox, the account itself.
    e2e.click_row(mail_list, row_of(mail_list, mails[1]))
    drag_row(mail_list, row_of(mail_list, mails[1]), e2e.cell(mail_list, row_of(mail_list, ".."), 3))
    e2e.wait_until(lambda: len(messages(home)) == 1, e2e.WIDGET_TIMEOUT, "the mail moved into the account's folder")
    session.check(len(messages(home, " 受信箱")) == in_inbox - 2, "the mail dropped on '..' is still in the inbox")

    e2e.keys("alt+F4")
    program.ends_cleanly("closing")


if __name__ == "__main__":
    e2e.main(test)
