"""Receiving mail in the real window from a Dovecot of the test's own, the account's password not stored,
with German number formats in force.

送受信 (C) asks "サーバにアクセスしますか?", then for the password: OK stays off while the field is empty.
The received conversation is ordered by スレッド順 with the thread column hidden; the party column widened
by dragging its header keeps its width after a folder change and after a restart, and layout.ini keeps its
ratios with a decimal point."""

import re

import quillmere_e2e as e2e

WIDENED = 120  # pixels the 相手 column is dragged wider
LOCALE = {"LANG": "ja_JP.UTF-8", "LC_NUMERIC": "de_DE.UTF-8"}  # printf would write "0,20"


def party_header(mail_list):
    table = mail_list.queryTable()
    return next(cell for cell in map(table.getColumnHeader, range(table.nColumns)) if e2e.name_of(cell) == "相手")


def first_run(session, home, dovecot):
    program = session.open_window(home, "run1", **LOCALE)
    mail_list = program.find("mail list")
    program.show_folder(" 受信箱")
    program.activate()
    e2e.keys("c")
    program.dialog("確認")  # サーバにアクセスしますか?
    e2e.keys("Return")
    prompt = program.dialog("POP3パスワード?")
    ok = e2e.find(prompt, "OK", "push button")
    session.check("enabled" not in e2e.states_of(ok), "OK of the password prompt is enabled while it is empty")
    e2e.type_text(dovecot.PASSWORD)
    e2e.wait_state(ok, "enabled", "OK enabled once a password is typed")
    e2e.keys("Return")
    e2e.wait_until(lambda: "Re: plan" in e2e.subjects(mail_list), 20, lambda: f"the received mail in the inbox: "
                   f"{e2e.subjects(mail_list)}\n{dovecot.log()}")

    # スレッド順 with the thread column hidden: the reply follows its mail.
    program.choose(["alt+v", "s"], "スレッド順(R)", "r")
    e2e.wait_until(lambda: e2e.subjects(mail_list).index("Re: plan") == e2e.subjects(mail_list).index("plan") + 1,
                   e2e.WIDGET_TIMEOUT, lambda: f"スレッド順 putting the reply after its mail: {e2e.subjects(mail_list)}")

    x, y, width, height = e2e.box(party_header(mail_list))
    e2e.drag(x + width - 1, y + height // 2, WIDENED, 0)
    widened = e2e.box(party_header(mail_list))[2]
    session.check(widened >= width + WIDENED - 4, f"the column was dragged from {width} to {widened} pixels")
    x, y, width, height = e2e.box(e2e.splitter_handle(program.window, "folders"))
    e2e.drag(x + width // 2, y + height // 2, 60, 0)
    program.show_folder(" ごみ箱")
    program.show_folder(" 受信箱")
    e2e.wait_until(lambda: "plan" in e2e.subjects(mail_list), e2e.WIDGET_TIMEOUT, "the inbox shown again")
    kept = e2e.box(party_header(mail_list))[2]
    session.check(kept == widened, f"the widened column is {kept} pixels after a folder change, was {widened}")
    program.close_by_window_manager()
    return widened


def second_run(session, home, widened):
    program = session.open_window(home, "run2", **LOCALE)
    kept = e2e.box(party_header(program.find("mail list")))[2]
    session.check(kept == widened, f"the widened column is {kept} pixels after a restart, was {widened}")
    program.choose(["alt+f"], "閉じる(X)", "x")
    program.ends_cleanly("メール(F) > 閉じる(X)")
    values = e2e.profile_values(home.read("layout.ini"))
    for key in ("width tree", "height preview"):
        session.check(re.fullmatch(r"\d+\.\d+", values.get(key) or "") is not None,
                      f"layout.ini holds {key}={values.get(key)!r}, not a number with a decimal point")
    session.check(values.get("width tree") != "0.20", "the dragged divider was not kept")


def test(session):
    installed = e2e.run(["locale", "-a"]).stdout.lower().replace("-", "").split()
    for name in ("de_DE.UTF-8", "ja_JP.UTF-8"):
        if name.lower().replace("-", "") not in installed:
            e2e.fail(f"the locale {name} is not installed (Debian package locales-all)")
    dovecot = session.dovecot()
    for name in ("thread_plan.eml", "thread_other.eml", "thread_re_plan.eml"):
        dovecot.deliver(e2e.data("e2e", name))
    home = session.home()
    home.ready_account(e2e.ACCOUNT)
    home.cli("account", "set", e2e.ACCOUNT, "--pop-server", "127.0.0.1", "--pop-port", str(dovecot.port),
             "--pop-user", dovecot.USER)
    widened = first_run(session, home, dovecot)
    second_run(session, home, widened)


if __name__ == "__main__":
    e2e.main(test)
