"""Drives a running launcher through its accessibility tree over AT-SPI, as a screen reader would:
widgets found by role and name, text set through the editable-text interface, buttons pressed
through their actions, every check polled with a time-out. Nothing here calls into the program."""

import contextlib
import ctypes
import os
import signal
import subprocess
import time

import pyatspi

class UiTimeout(AssertionError): pass  # noqa: E701

class LauncherGone(AssertionError): pass  # noqa: E701

def poll(what, probe, timeout):
    deadline = time.monotonic() + timeout
    while True:
        try:
            found = probe()
        except (LauncherGone, NameError):  # the second a slip of the test's: never wait it out
            raise
        except Exception:  # a widget that vanished mid-walk: look again
            found = None
        if found:
            return found
        if time.monotonic() > deadline:
            raise UiTimeout(f"timed out after {timeout} s waiting for {what}")
        time.sleep(0.15)

def walk(node):
    if node is not None:
        yield node
        for index in range(node.childCount):
            yield from walk(node.getChildAtIndex(index))

def text_of(node):
    try:
        return node.name or node.queryText().getText(0, -1)
    except NotImplementedError:
        return ""

class Detached:
    """A launcher the test did not start (an update's restart) as far as Launcher uses a Popen:
    watched and ended by its pid; its exit code is its parent's to know, not the test's."""

    def __init__(self, pid):
        self.pid, self.returncode = pid, None

    def poll(self):  # a zombie nobody has reaped yet has ended too
        with contextlib.suppress(FileNotFoundError), open(f"/proc/{self.pid}/stat") as stat:
            return None if stat.read().rsplit(")", 1)[1].split()[0] != "Z" else "unknown"
        return "unknown"

    def wait(self, timeout):
        try:
            return poll(f"process {self.pid} to end", self.poll, timeout)
        except UiTimeout:
            raise subprocess.TimeoutExpired(str(self.pid), timeout) from None

    def kill(self):
        os.kill(self.pid, signal.SIGKILL)

def enabled(node):
    return node.getState().contains(pyatspi.STATE_ENABLED)

class Launcher:
    """One launcher started from its copy in a launcher folder, in a session of its own; wrapper
    runs it, given as its last argument, in surroundings of the test's making. A context manager
    that ends it, keeping a screenshot when the scenario failed."""

    def __init__(self, folder, log, shots, wrapper=()):
        self.folder, self.shots, self.app_pid, self.log = folder, shots, None, open(log, "ab")
        pyatspi.Registry.getDesktop(0)  # the registry must be up before the program looks for it
        for attempt in range(2):
            self.process = subprocess.Popen(
                list(wrapper) + [os.path.join(folder, "quellbrook-launcher")], cwd=folder,
                env=dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb"),
                stdout=self.log, stderr=subprocess.STDOUT, start_new_session=True)
            try:
                self.app = poll("the launcher on the accessibility bus", self._find_app, 45)
                return
            except UiTimeout:
                self._end()
                if attempt:
                    raise

    @classmethod
    def restarted(cls, folder, shots, old_pid):
        """The launcher that the one of old_pid started in its place in folder. Not the test's
        child and in a session of its own, it is known by the pid in its folder's lock file."""
        ui = cls.__new__(cls)
        ui.folder, ui.shots, ui.log = folder, shots, None

        def holder():
            with open(os.path.join(folder, "Quellbrook.lock")) as lock:
                pid = int(lock.readline())
            return pid != old_pid and pid
        ui.app_pid = poll("the restarted launcher's lock", holder, 45)
        ui.process = Detached(ui.app_pid)
        ui.app = poll("the restarted launcher on the accessibility bus", ui._find_app, 45)
        return ui

    def _find_app(self):
        """The known pid's application, else the one in the session the test started."""
        desktop = pyatspi.Registry.getDesktop(0)
        for app in (desktop.getChildAtIndex(i) for i in range(desktop.childCount)):
            with contextlib.suppress(OSError):  # gone already
                pid = app.get_process_id() if app is not None else None
                if pid and (pid == self.app_pid or not self.app_pid and
                            os.getsid(pid) == self.process.pid):
                    self.app_pid = pid
                    return app

    def find(self, role, name, timeout=20):
        """A showing widget of the role (or roles) whose text matches name: the exact text, one
        of a tuple of texts, or a test of the text."""
        roles = (role,) if isinstance(role, str) else role
        wanted = name if callable(name) else (lambda text: text in name) if isinstance(
            name, tuple) else (lambda text: text == name)

        def match():
            if self.process.poll() is not None:
                raise LauncherGone(f"the launcher ended with code {self.process.returncode}")
            return next((n for n in walk(self.app) if n.getRoleName() in roles and n.getState(
            ).contains(pyatspi.STATE_SHOWING) and wanted(text_of(n))), None)
        return poll(f"{role} {name}", match, timeout)

    def press(self, role, name, timeout=20):
        node = self.find(role, name, timeout)
        poll(f"{role} {name} to be enabled", lambda: enabled(node), timeout)
        action = node.queryAction()
        for index in range(action.nActions):
            if action.getName(index).lower() in ("press", "toggle", "click"):
                return action.doAction(index)
        raise AssertionError(f"{role} {name} has no press action")

    def button(self, name, timeout=20):
        self.press("push button", name, timeout)

    def label(self, name, timeout=20):
        return self.find("label", name, timeout)

    def steps(self, *steps):
        """Steps in turn, each a method's name and its arguments: ("button", "ОК")."""
        for method, *args in steps:
            getattr(self, method)(*args)

    def type_into(self, name, text):
        node = self.find(("text", "password text"), name)
        node.queryEditableText().setTextContents(text)
        # A password field does not read back; the sign-in answer tells whether it arrived.
        if node.getRoleName() != "password text":
            poll(f"the text of {name}", lambda: node.queryText().getText(0, -1) == text, 5)

    def set_value(self, name, value):
        node = self.find("spin button", name)
        node.queryValue().currentValue = value
        poll(f"the value of {name}", lambda: node.queryValue().currentValue == value, 5)

    def close_window(self):
        """Asks the main window to close as a window manager's close button does: the
        WM_DELETE_WINDOW message (Xvfb has no window manager to send it)."""
        ids = subprocess.run(["xdotool", "search", "--pid", str(self.app_pid), "--name",
                              "^Quellbrook Launcher$"], capture_output=True, text=True).stdout
        x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
        x11.XOpenDisplay.restype, x11.XInternAtom.restype = ctypes.c_void_p, ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                   ctypes.c_void_p]
        display = x11.XOpenDisplay(None)
        for window in map(int, ids.split()):
            # An XClientMessageEvent in an XEvent's 24 longs: type, serial, send_event,
            # display, window, message_type, format, then the data.
            event = (ctypes.c_long * 24)(33, 0, 1, 0, window,
                                         x11.XInternAtom(display, b"WM_PROTOCOLS", 0), 32,
                                         x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0))
            x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
        x11.XFlush.argtypes = x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x11.XFlush(display)
        x11.XCloseDisplay(display)
        assert ids.split(), "no launcher window to close"

    def screenshot(self, name):
        subprocess.run(["import", "-window", "root", os.path.join(self.shots, name + ".png")],
                       check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def __enter__(self):
        return self

    def __exit__(self, failure, _value, _traceback):
        if failure is not None:
            self.screenshot(f"FAIL-{os.path.basename(self.folder)}-{int(time.time())}")
        self._end()
        if self.log:
            self.log.close()

    def _end(self):
        # A wrapper may have work left after the launcher (copying files back): end the
        # launcher itself and let the wrapper finish.
        for pid in (self.app_pid, self.process.pid):
            if pid is not None and self.process.poll() is None:
                try:
                    os.kill(pid, signal.SIGTERM)
                    self.process.wait(30)
                except ProcessLookupError:
                    pass
                except subprocess.TimeoutExpired:
                    self.process.kill()
                    self.process.wait()
