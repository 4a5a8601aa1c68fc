"""The layout across runs, with German numbers: a resized and moved window, its
dividers dragged and a mark set by Shift+F3, is saved at closing; three more
starts and closings, by the window manager and by the menu, give back the same
window and leave layout.ini byte for byte as the first closing wrote it, its
ratios with a decimal point."""

import os
import re

import quillmere_e2e as e2e

ACCOUNT = "標準アカウント"
INBOX_FOLDER = ACCOUNT + "/ 受信箱/"
SIZE = (900, 620)
# Where the frame's top left corner is put.
POSITION = (130, 70)
# How far the dividers beside the folder tree and above the preview are dragged.
TREE_DRAG = 90
PREVIEW_DRAG = -70
DEFAULT_RATIOS = {"width tree": "0.20", "height preview": "0.30"}
# LC_NUMERIC would make printf write "0,20".
LOCALE = {"LANG": "ja_JP.UTF-8", "LC_NUMERIC": "de_DE.UTF-8"}


def read_layout(home):
    path = home.path("layout.ini")
    if not os.path.exists(path):
        e2e.fail("the program wrote no layout.ini when closing")
    with open(path, "rb") as layout:
        return layout.read()


def line_differences(before, after):
    old, new = before.decode("cp932").split("\r\n"), after.decode("cp932").split("\r\n")
    return [f"{a!r} -> {b!r}" for a, b in zip(old, new) if a != b] + (
        [f"{len(old)} lines -> {len(new)} lines"] if len(old) != len(new) else [])


def check_saved_layout(session, data, frame):
    values = e2e.profile_values(data)
    for key in ("width tree", "height preview"):
        ratio = values.get(key)
        session.check(ratio is not None and re.fullmatch(r"\d+\.\d+", ratio),
                      f"layout.ini holds {key}={ratio!r}, not a number with a decimal point")
        session.check(ratio != DEFAULT_RATIOS[key], f"layout.ini holds {key}={ratio}: the dragged divider was not kept")
    session.check(not re.search(rb"\d,\d", data), "layout.ini holds a number with a decimal comma")
    session.check(values.get("mark3") == INBOX_FOLDER,
                  f"layout.ini holds mark3={values.get('mark3')!r}, not {INBOX_FOLDER!r}")
    session.check(values.get("current") == INBOX_FOLDER,
                  f"layout.ini holds current={values.get('current')!r}, not {INBOX_FOLDER!r}")
    # The saved place and size are the frame's.
    left, right, top, bottom = frame
    outer = {"position x": POSITION[0], "position y": POSITION[1],
             "size x": SIZE[0] + left + right, "size y": SIZE[1] + top + bottom}
    for key, expected in outer.items():
        session.check(values.get(key) == str(expected),
                      f"layout.ini holds {key}={values.get(key)!r}, not {expected} (the window with its frame "
                      f"{frame} at {POSITION})")


def inbox_shown(program):
    mail_list = program.find("mail list")
    return e2e.find_all(mail_list, "..", "table cell")


def first_run(session, home):
    program = session.program(home, "run1", **LOCALE).start()
    program.wait_window()
    program.settle()
    program.resize(*SIZE)
    program.move_frame(*POSITION)
    frame = program.frame_extents()
    e2e.drag(e2e.splitter_handle(program.window, "folders"), TREE_DRAG, 0)
    e2e.drag(e2e.splitter_handle(program.window, "preview"), 0, PREVIEW_DRAG)
    dragged = pane_sizes(program)
    tree = program.find("folders")
    e2e.click(e2e.find(tree, " 受信箱"), within=tree)
    e2e.wait_until(lambda: inbox_shown(program), e2e.WIDGET_TIMEOUT, "the mail list showing the inbox")
    mail_list = program.find("mail list")
    e2e.click(e2e.find(mail_list, "..", "table cell"), within=mail_list)
    e2e.wait_until(lambda: "focused" in e2e.states_of(mail_list)
                   or any("focused" in e2e.states_of(c) for c in e2e.children(mail_list)),
                   e2e.WIDGET_TIMEOUT, "the mail list taking the focus")
    e2e.keys("shift+F3")
    program.close_by_window_manager()
    code = program.wait_exit()
    session.check(code == 0, f"closing the window ended the program with {code}")
    session.check(not home.leftovers_in_temporary(),
                  f"left in the temporary directory after run 1: {home.leftovers_in_temporary()}")
    return frame, dragged


def pane_sizes(program):
    return (e2e.box(program.find("folders"))[2], e2e.box(program.find("preview"))[3])


def later_run(session, home, number, close, saved, frame):
    """One more start and closing; the folder tree's width and the preview's height it showed."""
    program = session.program(home, f"run{number}", **LOCALE).start()
    program.wait_window()
    program.settle()
    where = tuple(e2e.box(program.window))
    expected = (POSITION[0] + frame[0], POSITION[1] + frame[2], *SIZE)
    session.check(where == expected, f"run {number}: the window came back at {where} (x, y, width, height), "
                                     f"not at {expected}")
    session.check(inbox_shown(program), f"run {number}: the window did not come back to the inbox")
    panes = pane_sizes(program)
    close(program)
    code = program.wait_exit()
    session.check(code == 0, f"run {number}: closing the window ended the program with {code}")
    data = read_layout(home)
    session.check(data == saved, f"run {number} changed layout.ini: " + "; ".join(line_differences(saved, data)))
    session.check(e2e.profile_values(data).get("mark3") == INBOX_FOLDER, f"run {number} lost mark3")
    session.check(not home.leftovers_in_temporary(),
                  f"left in the temporary directory after run {number}: {home.leftovers_in_temporary()}")
    return panes


def check_panes_restored(session, frame, dragged, restored):
    # The ratios are kept to two decimals: a hundredth of the outer size.
    outer = (SIZE[0] + frame[0] + frame[1], SIZE[1] + frame[2] + frame[3])
    allowed = (outer[0] // 100 + 1, outer[1] // 100 + 1)
    session.check(all(abs(a - b) <= limit for a, b, limit in zip(restored, dragged, allowed)),
                  f"the folder tree's width and the preview's height came back as {restored}; "
                  f"they were dragged to {dragged}")


def test(session):
    e2e.require_locale("de_DE.UTF-8")
    e2e.require_locale("ja_JP.UTF-8")
    home = session.home()
    home.ready_account(ACCOUNT)
    frame, dragged = first_run(session, home)
    saved = read_layout(home)
    check_saved_layout(session, saved, frame)
    restored = later_run(session, home, 2, e2e.Program.close_by_menu, saved, frame)
    check_panes_restored(session, frame, dragged, restored)
    for number, close in ((3, e2e.Program.close_by_window_manager), (4, e2e.Program.close_by_menu)):
        panes = later_run(session, home, number, close, saved, frame)
        session.check(panes == restored, f"run {number}: the folder tree's width and the preview's height are "
                                         f"{panes}, in run 2 {restored}")


if __name__ == "__main__":
    e2e.main(test)
