"""Receiving mail in the real window from a Dovecot of the test's own, the
account's password not stored, with German number formats in force.

送受信 (C) asks "サーバにアクセスしますか?", then for the password: OK stays
off while the field is empty. The received conversation is ordered by
スレッド順 with the thread column hidden; the party column widened by dragging
its header keeps its width after a folder change and after a restart, and
layout.ini keeps its ratios with a decimal point."""

import os
import re

import quillmere_e2e as e2e

ACCOUNT = "標準アカウント"
WIDENED = 120  # pixels the 相手 column is dragged wider
LOCALE = {"LANG": "ja_JP.UTF-8", "LC_NUMERIC": "de_DE.UTF-8"}  # printf would write "0,20"


def mail(subject, message_id, minute, references=None):
    lines = ["From: a@example.com", f"Subject: {subject}", f"Message-ID: <{message_id}>",
             f"Date: Mon, 1 Mar 2010 10:{minute:02d}:00 +0900"] + ([f"References: <{references}>"] if references else [])
    return ("\r\n".join(lines) + "\r\n\r\nbody\r\n").encode()


def party_header(mail_list):
    titles = e2e.column_titles(mail_list)
    return mail_list.queryTable().getColumnHeader(titles.index("相手"))


def subjects(mail_list):
    return [row[3].strip() for row in e2e.cells(mail_list)]


def show_folder(program, name):
    tree = program.find("folders")
    e2e.click(e2e.find(tree, name), within=tree)


def receive(session, program, dovecot):
    program.activate()
    e2e.keys("c")
    program.dialog("確認")  # サーバにアクセスしますか?
    e2e.keys("Return")
    prompt = program.dialog("POP3パスワード?")
    ok = e2e.find(prompt, "OK", "push button")
    session.check("enabled" not in e2e.states_of(ok), "OK of the password prompt is enabled while it is empty")
    e2e.xdotool("type", "--delay", "20", dovecot.PASSWORD)
    e2e.wait_until(lambda: "enabled" in e2e.states_of(ok), e2e.WIDGET_TIMEOUT, "OK enabled once a password is typed")
    e2e.keys("Return")


def first_run(session, home, dovecot):
    program = session.program(home, "run1", **LOCALE).start()
    program.wait_window()
    program.settle()
    mail_list = program.find("mail list")
    show_folder(program, " 受信箱")
    receive(session, program, dovecot)
    e2e.wait_until(lambda: "Re: plan" in subjects(mail_list), 20, lambda: f"the received mail in the inbox: "
                   f"{subjects(mail_list)}\n{dovecot.log()}")

    # スレッド順 with the thread column hidden: the reply follows its mail.
    session.check("スレッド" not in e2e.column_titles(mail_list), f"columns {e2e.column_titles(mail_list)}")
    program.activate()
    e2e.keys("alt+v", "s")
    item = program.find("スレッド順(R)", "menu item")
    e2e.wait_until(lambda: "showing" in e2e.states_of(item), e2e.WIDGET_TIMEOUT, "the menu 並べ変え(S) opening")
    e2e.keys("r")
    e2e.wait_until(lambda: subjects(mail_list).index("Re: plan") == subjects(mail_list).index("plan") + 1,
                   e2e.WIDGET_TIMEOUT, lambda: f"スレッド順 putting the reply after its mail: {subjects(mail_list)}")

    x, y, width, height = e2e.box(party_header(mail_list))
    e2e.xdotool("mousemove", "--sync", x + width - 1, y + height // 2, "mousedown", "1")
    for step in (1, 2, 3, 4):
        e2e.xdotool("mousemove", "--sync", x + width - 1 + WIDENED * step // 4, y + height // 2)
    e2e.xdotool("mouseup", "1")
    widened = e2e.box(party_header(mail_list))[2]
    session.check(widened >= width + WIDENED - 4, f"the column was dragged from {width} to {widened} pixels")
    e2e.drag(e2e.splitter_handle(program.window, "folders"), 60, 0)
    show_folder(program, " ごみ箱")
    show_folder(program, " 受信箱")
    e2e.wait_until(lambda: "plan" in subjects(mail_list), e2e.WIDGET_TIMEOUT, "the inbox shown again")
    kept = e2e.box(party_header(mail_list))[2]
    session.check(kept == widened, f"the widened column is {kept} pixels after a folder change, was {widened}")
    program.close_by_window_manager()
    session.check(program.wait_exit() == 0, "closing the window failed")
    return widened


def second_run(session, home, widened):
    program = session.program(home, "run2", **LOCALE).start()
    program.wait_window()
    program.settle()
    kept = e2e.box(party_header(program.find("mail list")))[2]
    session.check(kept == widened, f"the widened column is {kept} pixels after a restart, was {widened}")
    program.close_by_menu()
    session.check(program.wait_exit() == 0, "closing the window by the menu failed")
    with open(home.path("layout.ini"), "rb") as saved:
        data = saved.read()
    values = e2e.profile_values(data)
    for key in ("width tree", "height preview"):
        session.check(re.fullmatch(r"\d+\.\d+", values.get(key) or "") is not None,
                      f"layout.ini holds {key}={values.get(key)!r}, not a number with a decimal point")
    session.check(values.get("width tree") != "0.20", "the dragged divider was not kept")


def test(session):
    e2e.require_locale("de_DE.UTF-8")
    e2e.require_locale("ja_JP.UTF-8")
    dovecot = session.dovecot()
    for message in (mail("plan", "p@x", 1), mail("other", "o@x", 2), mail("Re: plan", "r@x", 3, "p@x")):
        dovecot.deliver(message)
    home = session.home()
    home.ready_account(ACCOUNT)
    home.cli("account", "set", ACCOUNT, "--pop-server", "127.0.0.1", "--pop-port", str(dovecot.port),
             "--pop-user", dovecot.USER)
    widened = first_run(session, home, dovecot)
    second_run(session, home, widened)


if __name__ == "__main__":
    e2e.main(test)
