"""quillmere-notepad as the mail client starts it: a draft's kanji shown, an
edit typed and saved as CP932 with CR LF (iconv reads it back); a read-only
copy that refuses typing and says so in its title; a missing file reported
with exit code 1."""

import os
import subprocess

import quillmere_e2e as e2e

NOTEPAD = os.path.join(e2e.BIN_DIR, "quillmere-notepad")
DRAFT_TEXT = "件名のない下書き\r\n\r\n拝啓、本文です。\r\n"
COPY_TEXT = "From: 山田 <a@example.com>\r\n\r\n読むだけの本文\r\n"


class Notepad:
    """One start of quillmere-notepad on a file; the session stops it if the test does not."""

    def __init__(self, session, home, path, label):
        if not os.access(NOTEPAD, os.X_OK):
            e2e.fail(f"{NOTEPAD} is missing: build it (ninja -C build quillmere-notepad)")
        self.label = label
        self.log_path = os.path.join(session.scratch, f"{label}.log")
        with open(self.log_path, "wb") as log:
            self.process = subprocess.Popen([NOTEPAD, path], env=home.environment(), stdout=log,
                                            stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        session.programs.append(self)

    def log(self):
        with open(self.log_path, "rb") as log:
            return log.read().decode("utf-8", "replace")

    def frame(self, title):
        """The window with that title on the accessibility bus, waited for."""
        pyatspi = e2e._import_pyatspi()

        def shown():
            if self.process.poll() is not None:
                e2e.fail(f"quillmere-notepad ended with {self.process.returncode}:\n{self.log()}")
            for application in e2e.children(pyatspi.Registry.getDesktop(0)):
                try:
                    if application.get_process_id() != self.process.pid:
                        continue
                except Exception:
                    continue
                for frame in e2e.children(application):
                    if e2e.name_of(frame) == title and "showing" in e2e.states_of(frame):
                        return frame
            return None
        return e2e.wait_until(shown, e2e.WINDOW_TIMEOUT, f"the window {title!r} of quillmere-notepad")

    def activate(self):
        ids = e2e.wait_until(lambda: e2e.run(["xdotool", "search", "--onlyvisible", "--pid",
                                               str(self.process.pid)]).stdout.split(),
                             e2e.WINDOW_TIMEOUT, "the X window of quillmere-notepad")
        e2e.xdotool("windowactivate", "--sync", ids[-1])

    def wait_exit(self):
        try:
            return self.process.wait(timeout=e2e.EXIT_TIMEOUT)
        except subprocess.TimeoutExpired:
            e2e.fail(f"quillmere-notepad ({self.label}) did not end:\n{self.log()}")

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def bytes_of(path):
    with open(path, "rb") as f:
        return f.read()


def edit_a_draft(session, home):
    draft = os.path.join(home.root, "draft", "1")
    os.makedirs(os.path.dirname(draft))
    with open(draft, "wb") as f:
        f.write(DRAFT_TEXT.encode("cp932"))
    notepad = Notepad(session, home, draft, "draft")
    frame = notepad.frame("1")
    editor = e2e.find(frame, "1", "text")
    session.check(e2e.text(editor) == DRAFT_TEXT.replace("\r\n", "\n"), f"the draft shows as {e2e.text(editor)!r}")

    notepad.activate()
    e2e.keys("ctrl+End")
    e2e.xdotool("type", "--delay", "60", "追記 ok")
    e2e.keys("Return")
    notepad.frame("1*")
    e2e.screenshot(os.path.join(session.scratch, "draft.png"))
    e2e.keys("ctrl+s")
    notepad.frame("1")
    expected = DRAFT_TEXT + "追記 ok\r\n"
    session.check(bytes_of(draft) == expected.encode("cp932"), f"saved as {bytes_of(draft)!r}")
    converted = subprocess.run(["iconv", "-f", "CP932", "-t", "UTF-8", draft], capture_output=True)
    session.check(converted.returncode == 0 and converted.stdout == expected.encode("utf-8"),
                  f"iconv reads the saved draft as {converted.stdout!r} ({converted.stderr!r})")

    e2e.keys("ctrl+w")
    code = notepad.wait_exit()
    session.check(code == 0, f"closing ended quillmere-notepad with {code}")


def look_at_a_read_only_copy(session, home):
    copy = os.path.join(home.root, "qlm_0000.TXT")
    with open(copy, "wb") as f:
        f.write(COPY_TEXT.encode("cp932"))
    os.chmod(copy, 0o400)
    notepad = Notepad(session, home, copy, "copy")
    frame = notepad.frame("qlm_0000.TXT (読み取り専用)")
    editor = e2e.find(frame, "qlm_0000.TXT (読み取り専用)", "text")
    notepad.activate()
    e2e.xdotool("type", "--delay", "40", "xyz")
    e2e.keys("Return", "ctrl+s")
    e2e.screenshot(os.path.join(session.scratch, "read-only.png"))
    session.check(e2e.text(editor) == COPY_TEXT.replace("\r\n", "\n"), f"the copy shows as {e2e.text(editor)!r}")
    session.check(bytes_of(copy) == COPY_TEXT.encode("cp932"), "the read-only copy was changed")
    e2e.keys("ctrl+w")
    code = notepad.wait_exit()
    session.check(code == 0, f"closing the read-only copy ended quillmere-notepad with {code}")


def refuse_a_missing_file(session, home):
    missing = os.path.join(home.root, "無い.txt")
    notepad = Notepad(session, home, missing, "missing")
    box = notepad.frame("エラー")
    session.check(e2e.find_all(box, "次のファイルが見つかりません:\n" + missing),
                  "the error does not name the missing file")
    notepad.activate()
    e2e.keys("Return")
    code = notepad.wait_exit()
    session.check(code == 1, f"a missing file ended quillmere-notepad with {code}")
    session.check(not os.path.exists(missing), "a missing file was created")


def test(session):
    home = session.home()
    edit_a_draft(session, home)
    look_at_a_read_only_copy(session, home)
    refuse_a_missing_file(session, home)


if __name__ == "__main__":
    e2e.main(test)
