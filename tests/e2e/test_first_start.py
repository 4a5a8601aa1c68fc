"""The first start in an empty data directory: the account dialog over the
window, OK enabled only once the required fields are typed; then the window
with its menus and the default account's folders, and nothing in the data
directory but the settings, the layout and the mailbox; nothing left in the
temporary directory after closing."""

import quillmere_e2e as e2e

MENUS = ["メール(F)", "編集(E)", "表示(V)", "設定(S)", "説明(H)"]
FOLDERS = [" ごみ箱", " 受信箱", " 送信箱"]
# The fields the account needs besides its title, by their accessible names.
REQUIRED = [("メールアドレス", "me@example.com"), ("受信 (POP3) サーバ", "pop.example.com"),
            ("受信 (POP3) ID", "me"), ("送信 (SMTP) サーバ", "smtp.example.com")]


def test(session):
    home = session.home()
    program = e2e.Program(session, home, "first").start()
    program.wait_window()
    # The account dialog the first start opens: OK only once the required fields are typed.
    dialog = program.dialog("アカウント")
    ok = e2e.find(dialog, "OK", "push button")
    for name, text in REQUIRED:
        session.check("enabled" not in e2e.states_of(ok), f"OK is enabled before {name!r} is filled")
        e2e.click(e2e.find(dialog, name, "text"))
        e2e.type_text(text)
    e2e.wait_state(ok, "enabled", "OK becoming enabled once the required fields are filled")
    e2e.click(ok)
    e2e.wait_state(dialog, "showing", "the account dialog closing after OK", present=False)

    menu_bar = program.find(role="menu bar")
    names = [e2e.name_of(item) for item in e2e.children(menu_bar) if e2e.role_of(item) == "menu item"]
    session.check(names == MENUS, f"the menus are {names}, not {MENUS}")

    tree = program.find("folders")
    e2e.wait_until(lambda: all(e2e.find_all(tree, name) for name in FOLDERS), e2e.WIDGET_TIMEOUT,
                   f"the folder tree showing {FOLDERS}")
    accounts = e2e.find_all(program.window, role="combo box")
    session.check([e2e.name_of(a) for a in accounts] == [e2e.ACCOUNT],
                  f"the account selector shows {[e2e.name_of(a) for a in accounts]}, not [{e2e.ACCOUNT!r}]")

    program.close_by_window_manager()

    session.check(e2e.folder_names(home.data) == ["layout.ini", "mailbox", "quillmere.ini"],
                  f"the data directory holds {e2e.folder_names(home.data)}")
    session.check(e2e.folder_names(home.path("mailbox")) == [e2e.ACCOUNT],
                  f"the mailbox holds {e2e.folder_names(home.path('mailbox'))}")
    saved = home.read("mailbox", e2e.ACCOUNT, "account.ini").decode("cp932")
    for key, (_, text) in zip(("address", "POP server", "POP id", "SMTP server"), REQUIRED):
        session.check(f"{key}={text}\r\n" in saved, f"account.ini lacks {key}={text}:\n{saved}")
    made = set(e2e.tree_listing(home.path("mailbox", e2e.ACCOUNT)))
    session.check(set(FOLDERS) <= made, f"the account holds {sorted(made)}")
    session.check(not home.leftovers_in_temporary(),
                  f"left in the temporary directory: {home.leftovers_in_temporary()}")


if __name__ == "__main__":
    e2e.main(test)
