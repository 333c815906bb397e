"""Drives a running launcher through its accessibility tree over AT-SPI, as a screen reader
would: widgets are found by role and name, text is entered through the editable-text
interface, buttons are pressed through their actions, and every check polls with a time-out.
Nothing here calls into the program."""

import os
import signal
import subprocess
import time

import pyatspi


class UiTimeout(AssertionError):
    pass


class LauncherGone(AssertionError):
    pass


def poll(what, probe, timeout):
    deadline = time.monotonic() + timeout
    while True:
        try:
            found = probe()
        except LauncherGone:
            raise
        except Exception:  # a widget that vanished mid-walk: look again
            found = None
        if found:
            return found
        if time.monotonic() > deadline:
            raise UiTimeout(f"timed out after {timeout} s waiting for {what}")
        time.sleep(0.15)


def walk(node):
    if node is None:
        return
    yield node
    for index in range(node.childCount):
        try:
            child = node.getChildAtIndex(index)
        except Exception:
            continue
        yield from walk(child)


def descendants(pid):
    """The pids of every living descendant of a process, from /proc."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as stat:
                # The name in parentheses may hold spaces; the parent follows the state.
                parent = int(stat.read().rsplit(")", 1)[1].split()[1])
        except (OSError, IndexError, ValueError):
            continue
        children.setdefault(parent, []).append(int(entry))
    found, queue = set(), [pid]
    while queue:
        for child in children.get(queue.pop(), []):
            if child not in found:
                found.add(child)
                queue.append(child)
    return found


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def text_of(node):
    if node.name:
        return node.name
    try:
        text = node.queryText()
        return text.getText(0, -1)
    except NotImplementedError:
        return ""


class Launcher:
    """One running launcher process, started from its own copy in a launcher folder; a
    context manager that ends it."""

    def __init__(self, folder, log, shots, wrapper=()):
        """wrapper: a command line that runs the launcher, given as its last argument, in
        surroundings of the test's making; the launcher may then be the wrapper's child."""
        self.folder = folder
        self.shots = shots
        self.wrapper = list(wrapper)
        self.app_pid = None
        self.log = open(log, "ab")
        # The registry must be up before the program looks for it, or it never registers.
        pyatspi.Registry.getDesktop(0)
        self.process = None
        for attempt in range(2):
            self._start()
            try:
                self.app = poll("the launcher on the accessibility bus", self._find_app, 45)
                return
            except UiTimeout:
                self._end()
                if attempt:
                    raise

    def _start(self):
        env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
        binary = os.path.join(self.folder, "quellbrook-launcher")
        self.process = subprocess.Popen(self.wrapper + [binary], cwd=self.folder, env=env,
                                        stdout=self.log, stderr=subprocess.STDOUT)

    def _find_app(self):
        ours = {self.process.pid} | descendants(self.process.pid)
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            app = desktop.getChildAtIndex(index)
            if app is not None and app.get_process_id() in ours:
                self.app_pid = app.get_process_id()
                return app
        return None

    def wait_for_exit(self, timeout=20):
        """The exit code of the launcher (its wrapper's, when it has one)."""
        return self.process.wait(timeout)

    def find(self, role, name=None, timeout=20, contains=None, test=None):
        """A showing widget of the role whose name (or text) equals name, contains a part or
        passes the test."""
        def wanted(label):
            return ((name is not None and label == name) or (contains and contains in label)
                    or (test is not None and test(label)))

        def match():
            if self.process.poll() is not None:
                raise LauncherGone(f"the launcher ended with code {self.process.returncode}")
            for node in walk(self.app):
                roles = (role,) if isinstance(role, str) else role
                if node.getRoleName() in roles and showing(node) and wanted(text_of(node)):
                    return node
            return None
        return poll(f"{role} '{name or contains or test}'", match, timeout)

    def is_set(self, node, state):
        return node.getState().contains(state)

    def absent(self, role, name, timeout=20):
        def gone():
            return not any(n.getRoleName() == role and showing(n) and text_of(n) == name
                           for n in walk(self.app))
        poll(f"{role} '{name}' to go", gone, timeout)

    def press(self, role, name, timeout=20):
        """Presses the widget named name, or any of the names when given several."""
        if isinstance(name, tuple):
            node = self.find(role, timeout=timeout, test=lambda text: text in name)
        else:
            node = self.find(role, name, timeout)
        poll(f"{role} '{name}' to be enabled",
             lambda: node.getState().contains(pyatspi.STATE_ENABLED), timeout)
        action = node.queryAction()
        for index in range(action.nActions):
            if action.getName(index) in ("Press", "Toggle", "press", "toggle", "click"):
                action.doAction(index)
                return node
        raise AssertionError(f"{role} '{name}' has no press action")

    def try_find(self, role, timeout, **match):
        try:
            return self.find(role, timeout=timeout, **match)
        except UiTimeout:
            return None

    def type_into(self, name, text, role=("text", "password text")):
        node = self.find(role, name)
        node.queryEditableText().setTextContents(text)
        # A password field does not read back; the sign-in answer tells whether it arrived.
        if node.getRoleName() != "password text":
            poll(f"the text of '{name}'", lambda: node.queryText().getText(0, -1) == text, 5)

    def set_value(self, name, value, role="spin button"):
        node = self.find(role, name)
        node.queryValue().currentValue = value
        poll(f"the value of '{name}'", lambda: node.queryValue().currentValue == value, 5)

    def screenshot(self, name):
        path = os.path.join(self.shots, name + ".png")
        subprocess.run(["import", "-window", "root", path], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    def __enter__(self):
        return self

    def __exit__(self, failure, _value, _traceback):
        """Ends the launcher by its pid; when the scenario failed, first keeps the screen as
        it was."""
        if failure is not None:
            print("  failure shot: " + self.screenshot(
                "FAIL-" + os.path.basename(self.folder) + "-" + str(int(time.time()))))
        self._end()
        self.log.close()
        return False

    def _end(self):
        # A wrapper may have work left after the launcher (copying files back): end the
        # launcher itself and let the wrapper finish.
        if self.app_pid not in (None, self.process.pid) and self.process.poll() is None:
            try:
                os.kill(self.app_pid, signal.SIGTERM)
                self.process.wait(30)
            except (ProcessLookupError, subprocess.TimeoutExpired):
                pass
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
