"""Drag and drop with the mouse: a mail row dropped on a folder of the tree
moves into it, a row dropped on another mail row stays where it is, and a row
dropped on ".." goes to the folder above."""

import glob
import os

import quillmere_e2e as e2e

KEEP = "保管"


def messages(home, *folder):
    return sorted(name for name in os.listdir(home.path("mailbox", e2e.ACCOUNT, *folder)) if name.startswith("."))


def subject_cell(mail_list, subject):
    shown = e2e.subjects(mail_list)
    if subject not in shown:
        e2e.fail(f"no row {subject!r} in {shown}")
    return mail_list.queryTable().getAccessibleAt(shown.index(subject), 3)


def drag_row(mail_list, subject, target):
    x, y, width, height = e2e.box(subject_cell(mail_list, subject))
    tx, ty, tw, th = e2e.box(target)
    x, y = x + width // 2, y + height // 2
    e2e.drag(x, y, tx + min(tw // 2, 40) - x, ty + th // 2 - y)


def test(session):
    home = session.home()
    sample = sorted(glob.glob(os.path.join(e2e.DATA_DIR, "mail", "*.eml")))[:4]
    home.cli("import", e2e.ACCOUNT, *sample)
    home.ready_account(e2e.ACCOUNT)
    os.makedirs(home.path("mailbox", e2e.ACCOUNT, KEEP))
    in_inbox = len(messages(home, " 受信箱"))

    program = session.open_window(home, "window")
    tree = program.show_folder(" 受信箱")
    mail_list = program.find("mail list")
    e2e.wait_until(lambda: len(e2e.cells(mail_list)) == in_inbox + 1, e2e.WIDGET_TIMEOUT,
                   "the inbox's rows in the mail list")
    mails = [subject for subject in e2e.subjects(mail_list) if subject != ".."]

    # Onto another mail row: nothing moves.
    e2e.select_row(mail_list, e2e.subjects(mail_list).index(mails[0]))
    drag_row(mail_list, mails[0], subject_cell(mail_list, mails[1]))
    program.settle(minimum=0.5)

    # Onto the tree's folder: the mail is in it, and (checked at the end) no longer in the inbox.
    drag_row(mail_list, mails[0], e2e.find(tree, KEEP))
    e2e.wait_until(lambda: len(messages(home, KEEP)) == 1, e2e.WIDGET_TIMEOUT, f"the mail moved into {KEEP}")
    e2e.wait_until(lambda: mails[0] not in e2e.subjects(mail_list), e2e.WIDGET_TIMEOUT, "the moved row leaving the list")

    # Onto "..": the folder above the inbox, the account itself.
    e2e.select_row(mail_list, e2e.subjects(mail_list).index(mails[1]))
    drag_row(mail_list, mails[1], subject_cell(mail_list, ".."))
    e2e.wait_until(lambda: len(messages(home)) == 1, e2e.WIDGET_TIMEOUT, "the mail moved into the account's folder")
    # Two moved out and none by the drop on a mail row.
    session.check(len(messages(home, " 受信箱")) == in_inbox - 2, f"the inbox holds {messages(home, ' 受信箱')}")

    program.close_by_window_manager()


if __name__ == "__main__":
    e2e.main(test)
