#!/usr/bin/python3
"""Runs the built kavo the way a person does: on an Xvfb screen with trayer as the
notification area, against a real kavo-server with the demo data on free loopback ports,
driven by xdotool clicks and keys. Screenshots of the screen go to the output folder.

    kavo_desktop.py --bin BUILD/bin --out DIR JOURNEY

Every wait is for a window (found by its role, since all windows share one caption) or a
state, with a time-out; a fixed pause is only a short settling step after a wait.
"""

import argparse
import os
import select
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time

TIMEOUT = 20.0
DEMO_USER = "demo"
DEMO_PASSWORD = "demo123"

# Message boxes: buttons 69 x 27 pixels, 10 apart, centred in a row at y = 150.
BUTTON_W, BUTTON_GAP, BUTTON_TOP, BUTTON_H = 69, 10, 150, 27
# Menus: one item 24 pixels high below a 4-pixel margin.
MENU_MARGIN, MENU_ITEM = 4, 24

# Places in the main window (800 x 620), relative to its top-left corner.
MAIN_CLOSE = (783, 14)
MAIN_TOOL_STORE_RESTORE = (48, 46)
MAIN_TOOL_OPERATIONS = (128, 46)
MAIN_NEW = (87, 135)
MAIN_PRINT = (256, 135)
# The new-contact window (800 x 600): the name and first mobile number fields and Save.
ADD_NAME = (237, 113)
ADD_MOBILE1 = (237, 283)
ADD_SAVE = (444, 76)


class Failure(Exception):
    pass


def wait_until(what, probe, timeout=TIMEOUT, step=0.1):
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(step)


class Window:
    def __init__(self, wid, role, x, y, w, h):
        self.wid, self.role, self.x, self.y, self.w, self.h = wid, role, x, y, w, h

    def __repr__(self):
        return "%s(%s %dx%d+%d+%d)" % (self.role or "-", self.wid, self.w, self.h, self.x, self.y)


class Desktop:
    """Xvfb, trayer, the server and copies of kavo, all ended by close()."""

    def __init__(self, bindir, outdir, docs=None):
        self.docs = docs
        self.bindir = os.path.abspath(bindir)
        self.outdir = os.path.abspath(outdir)
        os.makedirs(self.outdir, exist_ok=True)
        self.tmp = tempfile.mkdtemp(prefix="kavo-desktop-")
        self.appdir = os.path.join(self.tmp, "app")
        self.home = os.path.join(self.tmp, "home")
        os.makedirs(self.appdir)
        os.makedirs(self.home)
        # A copy of the program: its folder holds KAVO.kavo and KAVO.cfg.
        shutil.copy2(os.path.join(self.bindir, "kavo"), self.appdir)
        with open(os.path.join(self.appdir, "KAVO.cfg"), "w") as cfg:
            cfg.write('<KAVO><IP SvrIP0="127.0.0.1" SvrIP1="" SvrIP2=""/></KAVO>\n')
        self.xvfb = self.trayer = self.server = self.kavo = None
        self.env = None
        self.ports = None
        self.shots = 0

    # ---- the screen and the notification area ----

    def start_display(self):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24",
             "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.outdir, "xvfb.log"), "w"))
        os.close(write_end)
        # Xvfb writes the number and the newline apart; closing early would kill it.
        number = b""
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], TIMEOUT)
            chunk = os.read(read_end, 64) if ready else b""
            if not chunk:
                raise Failure("Xvfb did not start")
            number += chunk
        os.close(read_end)
        display = number.decode().strip()
        env = dict(os.environ)
        for key in ("WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "QT_QPA_PLATFORM",
                    "SESSION_MANAGER", "XDG_CURRENT_DESKTOP"):
            env.pop(key, None)
        runtime = os.path.join(self.tmp, "runtime")
        os.makedirs(runtime, mode=0o700)
        env.update({"DISPLAY": ":" + display, "HOME": self.home,
                    "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
                    "XDG_DATA_HOME": os.path.join(self.home, ".local/share"),
                    "XDG_RUNTIME_DIR": runtime, "LANG": "zh_CN.UTF-8", "LANGUAGE": "zh_CN"})
        # In a sanitizer build the journeys check behaviour and exit status; what the X and
        # font libraries keep until exit is not the program's leak.
        env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"), "detect_leaks=0"]))
        self.env = env
        # Right after Xvfb has named its display, trayer now and then cannot open it yet and
        # ends at once; it is started again then, and what it said is kept beside the
        # screenshots.
        for attempt in range(3):
            self.trayer = subprocess.Popen(
                ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                 "--height", "24", "--SetDockType", "true"],
                env=env, stdout=subprocess.DEVNULL,
                stderr=open(os.path.join(self.outdir, "trayer-%d.log" % attempt), "w"))
            wait_until(
                "the notification area",
                lambda: (self.xdo_ids(["search", "--onlyvisible", "--class", "trayer"])
                         or self.trayer.poll() is not None))
            if self.trayer.poll() is None:
                return
        raise Failure("trayer ended three times before its window showed")

    # ---- the service ----

    def start_server(self):
        self.server = subprocess.Popen(
            [os.path.join(self.bindir, "kavo-server"), "--db", os.path.join(self.tmp, "server.db"),
             "--seed-demo", "--login-port", str(self.ports[0] if self.ports else 0),
             "--service-port", str(self.ports[1] if self.ports else 0), "--quiet"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        out = self.server.stdout.fileno()
        seen = b""
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline:
            ready, _, _ = select.select([out], [], [], 1.0)
            if not ready:
                continue
            chunk = os.read(out, 4096)
            if not chunk:
                break
            seen += chunk
            for line in seen.decode(errors="replace").splitlines(keepends=True):
                if line.startswith("kavo-server listening") and line.endswith("\n"):
                    fields = dict(f.split("=", 1) for f in line.split() if "=" in f)
                    self.ports = (int(fields["login"].rsplit(":", 1)[1]),
                                  int(fields["service"].rsplit(":", 1)[1]))
                    return
        raise Failure("kavo-server did not start")

    def stop_server(self):
        if self.server and self.server.poll() is None:
            self.server.terminate()
            self.server.wait(TIMEOUT)
        self.server = None

    def server_contacts(self, user=DEMO_USER):
        db = sqlite3.connect(os.path.join(self.tmp, "server.db"))
        try:
            rows = db.execute("SELECT c.rel_name FROM contacts c JOIN users u ON u.id = c.user_id "
                              "WHERE u.name = ?", (user.encode(),)).fetchall()
            return sorted(bytes(r[0]).decode("gbk") for r in rows)
        finally:
            db.close()

    # ---- the program ----

    def start_kavo(self):
        self.kavo = subprocess.Popen(
            [os.path.join(self.appdir, "kavo"), "--login-port", str(self.ports[0]),
             "--service-port", str(self.ports[1])],
            env=self.env, stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.outdir, "kavo.log"), "a"))

    def kavo_running(self):
        return self.kavo is not None and self.kavo.poll() is None

    def wait_kavo_exit(self, timeout=TIMEOUT):
        try:
            return self.kavo.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure("kavo did not end")

    def local(self, sql):
        db = sqlite3.connect(os.path.join(self.appdir, "KAVO.kavo"))
        try:
            return db.execute(sql).fetchall()
        finally:
            db.close()

    def local_contacts(self):
        return sorted(bytes(r[0]).decode("gbk") if isinstance(r[0], bytes) else r[0]
                      for r in self.local("SELECT RelName FROM KAVO_RELATION"))

    def login_state(self, user=DEMO_USER):
        for name, state in self.local("SELECT UserName, LoginState FROM KAVO_USER"):
            name = bytes(name).decode("gbk") if isinstance(name, bytes) else name
            if name == user:
                return state
        return None

    # ---- windows ----

    def xdo(self, args, check=True):
        result = subprocess.run(["xdotool"] + args, env=self.env, capture_output=True, text=True,
                                timeout=TIMEOUT)
        if check and result.returncode != 0 and args[0] != "search":
            raise Failure("xdotool %s: %s" % (" ".join(args), result.stderr.strip()))
        return result.stdout

    def xdo_ids(self, args):
        return [line for line in self.xdo(args, check=False).split() if line.isdigit()]

    def windows(self):
        """The visible windows of the running kavo."""
        if not self.kavo_running():
            return []
        found = []
        for wid in self.xdo_ids(["search", "--onlyvisible", "--pid", str(self.kavo.pid)]):
            prop = subprocess.run(["xprop", "-id", wid, "WM_WINDOW_ROLE"], env=self.env,
                                  capture_output=True, text=True).stdout
            role = prop.split('"')[1] if '"' in prop else ""
            geometry = subprocess.run(["xwininfo", "-id", wid], env=self.env,
                                      capture_output=True, text=True).stdout
            values = {}
            for line in geometry.splitlines():
                key, _, value = line.strip().partition(":")
                values[key] = value.strip()
            try:
                found.append(Window(wid, role, int(values["Absolute upper-left X"]),
                                    int(values["Absolute upper-left Y"]), int(values["Width"]),
                                    int(values["Height"])))
            except (KeyError, ValueError):
                pass  # gone meanwhile
        return found

    def window(self, role):
        for w in self.windows():
            if w.role == role:
                return w
        return None

    def wait_window(self, role, timeout=TIMEOUT):
        w = wait_until("a window " + role, lambda: self.window(role), timeout)
        time.sleep(0.3)  # let it paint before it is clicked or photographed
        return self.window(role) or w

    def wait_gone(self, role, timeout=TIMEOUT):
        wait_until("the window %s to go" % role, lambda: self.window(role) is None, timeout)

    def tray_icon(self):
        for w in self.windows():
            if not w.role and w.w <= 64 and w.h <= 64 and w.y < 30:
                return w
        return None

    def popup_after(self, before, timeout=TIMEOUT):
        """A window without a role that was not there before: a menu that opened."""
        known = {w.wid for w in before}

        def probe():
            for w in self.windows():
                if w.wid not in known and not w.role and w.h > 40:
                    return w
            return None

        w = wait_until("a menu", probe, timeout)
        time.sleep(0.3)
        return w

    def click(self, w, x, y, button=1):
        self.xdo(["mousemove", "--sync", str(w.x + x), str(w.y + y)])
        time.sleep(0.1)
        self.xdo(["click", str(button)])

    def focus(self, w):
        self.xdo(["windowfocus", "--sync", w.wid], check=False)

    def type(self, text):
        self.xdo(["type", "--delay", "25", text])

    def key(self, *names):
        self.xdo(["key", "--delay", "40"] + list(names))

    def menu_item(self, menu, index):
        self.click(menu, menu.w // 2, MENU_MARGIN + MENU_ITEM * index + MENU_ITEM // 2)

    def answer(self, index, count):
        """Presses button `index` of a message box with `count` buttons; returns the box."""
        box = self.wait_window("CZPMsgDlg")
        row = count * BUTTON_W + (count - 1) * BUTTON_GAP
        x = (box.w - row + 1) // 2 + index * (BUTTON_W + BUTTON_GAP) + BUTTON_W // 2
        for attempt in range(3):
            self.click(box, x, BUTTON_TOP + BUTTON_H // 2)
            try:
                wait_until("the message box to close", lambda: self.window_id_gone(box.wid), 3)
                return box
            except Failure:
                if attempt == 2:
                    raise
        return box

    def window_id_gone(self, wid):
        return all(w.wid != wid for w in self.windows())

    def shot(self, name, doc=False):
        """The whole screen; with doc, also docs/screenshots/desktop_<name>.png when asked."""
        self.shots += 1
        path = os.path.join(self.outdir, "%02d_%s.png" % (self.shots, name))
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True,
                       timeout=TIMEOUT)
        if doc and self.docs:
            shutil.copyfile(path, os.path.join(self.docs, "desktop_%s.png" % name))
        return path

    # ---- common steps ----

    def log_in(self, user=DEMO_USER, password=DEMO_PASSWORD, type_name=True):
        login = self.wait_window("CZPLoginDlg")
        self.focus(login)
        if type_name:
            self.click(login, 220, 64)  # the user name box
            self.key("ctrl+a")
            self.type(user)
        self.click(login, 220, 100)  # the password box
        self.type(password)
        self.shot("login")
        self.key("Return")

    def exit_through_tray(self, asks_upload=False):
        icon = wait_until("the tray icon", self.tray_icon)
        before = self.windows()
        self.click(icon, icon.w // 2, icon.h // 2, button=3)
        menu = self.popup_after(before)
        self.shot("tray_menu", doc=True)
        self.menu_item(menu, 8)  # "退出"
        box = self.wait_window("CZPMsgDlg")
        self.shot("quit_question", doc=True)
        self.answer(0, 2)  # Yes
        if asks_upload:
            # Contacts changed since the last store: "联系人信息已改变，是否上传？" No.
            self.wait_window("CZPMsgDlg")
            self.answer(1, 2)
        return box

    def close(self):
        for proc in (self.kavo, self.server, self.trayer, self.xvfb):
            if proc and proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        shutil.rmtree(self.tmp, ignore_errors=True)


def check(condition, what):
    if not condition:
        raise Failure(what)


# ---------------------------------------------------------------------------------------------
# Journeys


def journey_tray(d):
    """Log in, add a contact, hide to the tray, come back, and quit from the tray menu."""
    d.start_server()
    d.start_kavo()
    d.log_in()
    # The first login on this PC offers the server's contacts: No keeps the store empty.
    d.wait_window("CZPMsgDlg")
    d.answer(1, 2)
    main = d.wait_window("CZPMainDlg")
    check(d.login_state() == 2, "an online login stores LoginState 2")

    # New contact through the new-contact window, saved.
    d.click(main, *MAIN_NEW)
    add = d.wait_window("CZPAddUsersDlg")
    d.click(add, *ADD_NAME)
    d.type("Desk Tester")
    d.click(add, *ADD_MOBILE1)
    d.type("13800138000")
    d.shot("new_contact", doc=True)
    d.click(add, *ADD_SAVE)
    d.wait_gone("CZPAddUsersDlg")
    wait_until("the new contact in the store", lambda: "Desk Tester" in d.local_contacts())

    # The close box hides the window; the program runs on with its icon.
    main = d.wait_window("CZPMainDlg")
    d.shot("main_window", doc=True)
    d.click(main, *MAIN_CLOSE)
    # The new contact is not on the server yet: hiding asks to upload it; No.
    d.wait_window("CZPMsgDlg")
    d.shot("upload_question", doc=True)
    d.answer(1, 2)
    d.wait_gone("CZPMainDlg")
    time.sleep(1.0)
    check(d.kavo_running(), "the close box must not end the program")
    icon = d.tray_icon()
    check(icon is not None, "the tray icon is there after hiding")
    d.shot("hidden_to_tray", doc=True)

    # A left click on the icon brings the window back.
    d.click(icon, icon.w // 2, icon.h // 2)
    d.wait_window("CZPMainDlg")

    # The tray menu's "退出", after its question, ends the program and releases the user.
    d.exit_through_tray(asks_upload=True)
    check(d.wait_kavo_exit() == 0, "kavo ends with exit status 0")
    check(d.login_state() == 0, "LoginState is 0 after the exit")


def journey_menus(d):
    """Store, restore and a CSV import through the main window's menus; the print offer."""
    d.start_server()
    d.start_kavo()
    d.log_in()
    d.wait_window("CZPMsgDlg")
    d.answer(0, 2)  # download the server's contacts: Yes
    d.answer(0, 1)  # "还原通讯录完成!"
    main = d.wait_window("CZPMainDlg")
    restored = d.local_contacts()
    check(len(restored) == 3, "the restore brings the demo user's three contacts: %s" % restored)

    # A CSV import through the file dialog.
    csv = os.path.join(d.tmp, "friends.csv")
    with open(csv, "wb") as f:
        f.write("姓名,移动电话(公)\r\nCsv One,13500000001\r\nCsv Two,13500000002\r\n".encode("gbk"))
    before = d.windows()
    d.click(main, *MAIN_TOOL_STORE_RESTORE)
    menu = d.popup_after(before)
    d.shot("menu_store_restore", doc=True)
    d.menu_item(menu, 4)  # "导入CSV逗号分割文件"
    files = d.wait_window("QFileDialog")
    d.focus(files)
    d.type(csv)
    d.shot("file_dialog", doc=True)
    d.key("Return")
    d.wait_gone("QFileDialog")
    d.shot("import_done")
    d.answer(0, 1)
    wait_until("the imported contacts", lambda: {"Csv One", "Csv Two"} <= set(d.local_contacts()))

    # Store: the server now holds the five contacts.
    before = d.windows()
    d.click(main, *MAIN_TOOL_STORE_RESTORE)
    menu = d.popup_after(before)
    d.menu_item(menu, 0)  # "上传通讯录"
    d.wait_window("CZPMsgDlg", timeout=TIMEOUT * 2)
    d.shot("store_done", doc=True)
    d.answer(0, 1)
    check(d.server_contacts() == sorted(restored + ["Csv One", "Csv Two"]),
          "the server holds what was stored: %s" % d.server_contacts())

    # Restore once more: nothing is lost or doubled.
    before = d.windows()
    d.click(main, *MAIN_TOOL_STORE_RESTORE)
    menu = d.popup_after(before)
    d.menu_item(menu, 1)  # "下载通讯录"
    d.wait_window("CZPMsgDlg", timeout=TIMEOUT * 2)
    d.answer(0, 1)
    check(len(d.local_contacts()) == 5, "a second restore keeps five contacts")

    # Printing without a printer offers a PDF file instead.
    main = d.wait_window("CZPMainDlg")
    d.click(main, *MAIN_PRINT)
    d.wait_window("CZPMsgDlg")
    d.answer(0, 2)  # "是否打印当前联系人?" Yes
    d.wait_window("CZPMsgDlg")
    d.shot("print_pdf_offer", doc=True)
    d.answer(0, 2)  # save as PDF: Yes
    files = d.wait_window("QFileDialog")
    pdf = os.path.join(d.tmp, "contact.pdf")
    d.focus(files)
    d.key("ctrl+a")
    d.type(pdf)
    d.key("Return")
    d.wait_gone("QFileDialog")
    wait_until("the PDF file", lambda: os.path.exists(pdf) and os.path.getsize(pdf) > 0)
    with open(pdf, "rb") as f:
        check(f.read(5) == b"%PDF-", "the contact is saved as a PDF file")
    d.answer(0, 1)  # "联系人已保存为PDF文件!"

    d.exit_through_tray()
    check(d.wait_kavo_exit() == 0, "kavo ends with exit status 0")


def journey_offline(d):
    """Log in online once, then with the server stopped log in offline."""
    d.start_server()
    d.start_kavo()
    d.log_in()
    d.wait_window("CZPMsgDlg")
    d.answer(1, 2)  # no download
    d.wait_window("CZPMainDlg")
    d.exit_through_tray()
    check(d.wait_kavo_exit() == 0, "the first run ends with exit status 0")

    d.stop_server()
    d.start_kavo()
    # The most recent user stands in the name box; only the password is typed.
    d.log_in(type_name=False)
    d.wait_window("CZPMsgDlg")
    d.shot("offline_offer", doc=True)
    d.answer(0, 2)  # "是否离线登录?" Yes
    d.wait_window("CZPMainDlg")
    time.sleep(1.0)
    d.shot("offline_main_window", doc=True)
    check(d.login_state() == 0, "an offline login does not mark the user as logged in")
    d.exit_through_tray()
    check(d.wait_kavo_exit() == 0, "the offline run ends with exit status 0")


JOURNEYS = {"tray": journey_tray, "menus": journey_menus, "offline": journey_offline}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--docs", help="also write the pictures of the README here")
    parser.add_argument("journey", choices=sorted(JOURNEYS))
    args = parser.parse_args()
    for tool in ("Xvfb", "trayer", "xdotool", "xprop", "xwininfo", "import"):
        if shutil.which(tool) is None:
            print("missing tool: " + tool, file=sys.stderr)
            return 1
    shutil.rmtree(args.out, ignore_errors=True)
    d = Desktop(args.bin, args.out, args.docs)
    started = time.monotonic()
    try:
        d.start_display()
        JOURNEYS[args.journey](d)
    except Failure as failure:
        try:
            d.shot("failure")
        except Exception:
            pass
        print("FAILED: %s (windows: %s)" % (failure, d.windows()), file=sys.stderr)
        return 1
    finally:
        d.close()
    print("journey %s passed in %.1f s; screenshots in %s" %
          (args.journey, time.monotonic() - started, args.out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
