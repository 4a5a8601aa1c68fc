"""What a user meets in the window, black-box: after a click in the folder tree
the keys are the mail list's (N opens 新規メール作成); a column widened by
dragging its header keeps its width after a folder change and after a restart;
スレッド順 orders the list by conversation while the thread column is hidden;
the password prompt's OK stays off while the field is empty."""

import os

import quillmere_e2e as e2e

ACCOUNT = "標準アカウント"
WIDENED = 120  # pixels the 相手 column is dragged wider


def mail(home, name, subject, message_id, references=None, minute=0):
    path = home.path(name)
    lines = [f"From: a@example.com", f"Subject: {subject}", f"Message-ID: <{message_id}>",
             f"Date: Mon, 1 Mar 2010 10:{minute:02d}:00 +0900"]
    if references:
        lines.append(f"References: <{references}>")
    with open(path, "wb") as out:
        out.write(("\r\n".join(lines) + "\r\n\r\nbody\r\n").encode())
    return path


def party_header(mail_list):
    table = mail_list.queryTable()
    titles = e2e.column_titles(mail_list)
    return table.getColumnHeader(titles.index(next(t for t in titles if t.startswith("相手") or t == "差出人")))


def widen_party_column(mail_list):
    x, y, width, height = e2e.box(party_header(mail_list))
    edge = x + width - 1
    e2e.xdotool("mousemove", "--sync", edge, y + height // 2, "mousedown", "1")
    for step in (1, 2, 3, 4):
        e2e.xdotool("mousemove", "--sync", edge + WIDENED * step // 4, y + height // 2)
    e2e.xdotool("mouseup", "1")
    return width


def subjects(mail_list):
    return [row[3].strip() for row in e2e.cells(mail_list)]


def show_folder(program, name):
    tree = program.find("folders")
    e2e.click(e2e.find(tree, name), within=tree)


def first_run(session, home):
    program = session.program(home, "run1").start()
    program.wait_window()
    program.settle()
    mail_list = program.find("mail list")

    # A click in the tree, then N: the list has the keys back.
    show_folder(program, "旅行")
    e2e.keys("n")
    dialog = program.dialog("新規メール作成")
    e2e.keys("Escape")
    e2e.wait_until(lambda: "showing" not in e2e.states_of(dialog), e2e.WIDGET_TIMEOUT, "新規メール作成 closing")

    # スレッド順 with the thread column hidden: the reply follows its mail.
    show_folder(program, " 受信箱")
    e2e.wait_until(lambda: "Re: plan" in subjects(mail_list), e2e.WIDGET_TIMEOUT, "the inbox showing its mail")
    session.check(len(e2e.column_titles(mail_list)) == 5,
                  f"the thread column is shown: {e2e.column_titles(mail_list)}")
    program.activate()
    e2e.keys("alt+v", "s")
    item = program.find("スレッド順(R)", "menu item")
    e2e.wait_until(lambda: "showing" in e2e.states_of(item), e2e.WIDGET_TIMEOUT, "the menu 表示(V) > 並べ変え(S) opening")
    e2e.keys("r")
    e2e.wait_until(lambda: subjects(mail_list).index("Re: plan") == subjects(mail_list).index("plan") + 1,
                   e2e.WIDGET_TIMEOUT, lambda: f"スレッド順 putting the reply after its mail: {subjects(mail_list)}")

    before = widen_party_column(mail_list)
    widened = e2e.box(party_header(mail_list))[2]
    session.check(widened >= before + WIDENED - 4, f"the column was dragged from {before} to {widened} pixels")
    show_folder(program, "旅行")
    show_folder(program, " 受信箱")
    e2e.wait_until(lambda: "plan" in subjects(mail_list), e2e.WIDGET_TIMEOUT, "the inbox shown again")
    kept = e2e.box(party_header(mail_list))[2]
    session.check(kept == widened, f"the widened column is {kept} pixels after a folder change, was {widened}")
    program.close_by_window_manager()
    session.check(program.wait_exit() == 0, "closing the window failed")
    return widened


def second_run(session, home, widened):
    program = session.program(home, "run2").start()
    program.wait_window()
    program.settle()
    mail_list = program.find("mail list")
    kept = e2e.box(party_header(mail_list))[2]
    session.check(kept == widened, f"the widened column is {kept} pixels after a restart, was {widened}")

    # The account has no stored password: 送受信 (C) asks, and OK waits for text.
    program.activate()
    e2e.keys("c")
    # サーバにアクセスしますか? (a message box, not a dialog to the bus)
    e2e.wait_until(lambda: any(e2e.name_of(w) == "確認" and "showing" in e2e.states_of(w)
                               for w in e2e.children(program._application())),
                   e2e.WIDGET_TIMEOUT, "the question 確認 on the screen")
    e2e.keys("Return")
    prompt = program.dialog("POP3パスワード?")
    ok = e2e.find(prompt, "OK", "push button")
    session.check("enabled" not in e2e.states_of(ok), "OK of the password prompt is enabled while it is empty")
    e2e.xdotool("type", "--delay", "20", "x")
    e2e.wait_until(lambda: "enabled" in e2e.states_of(ok), e2e.WIDGET_TIMEOUT, "OK enabled once a password is typed")
    e2e.keys("BackSpace")
    e2e.wait_until(lambda: "enabled" not in e2e.states_of(ok), e2e.WIDGET_TIMEOUT, "OK off again once emptied")
    e2e.keys("Escape")
    e2e.wait_until(lambda: "showing" not in e2e.states_of(prompt), e2e.WIDGET_TIMEOUT, "the prompt closing")
    program.close_by_window_manager()
    session.check(program.wait_exit() == 0, "closing the window failed")


def test(session):
    home = session.home()
    home.ready_account(ACCOUNT)
    home.cli("import", ACCOUNT, mail(home, "1.eml", "plan", "p@x", minute=1),
             mail(home, "2.eml", "other", "o@x", minute=2), mail(home, "3.eml", "Re: plan", "r@x", "p@x", minute=3))
    os.makedirs(home.path("mailbox", ACCOUNT, "旅行"))
    widened = first_run(session, home)
    second_run(session, home, widened)


if __name__ == "__main__":
    e2e.main(test)
