#!/usr/bin/python3
"""The Linux program on a private desktop (Xvfb, openbox, a session bus with the
accessibility service), driven the way a user drives it, beside a real Calc.

  desktop.py exit GRIDMOOR [RUNS]   closes the program RUNS times (30) on a busy machine and
                                    checks every exit: status 0, no sanitizer line on stderr,
                                    and a Calc that answers, holds no lock or open undo context
                                    and shows its workbook as before or as the finished command
                                    left it, with one undo entry per command
  desktop.py installed COMMAND      starts COMMAND beside Calc showing the demo report and
                                    checks that its window names the demo workbook and sheet
  desktop.py window PID REQUEST...  one accessibility request, asked by a fresh process (a
                                    long-lived client keeps the application list it first saw):
                                    labels | press ADDRESS BUTTON | dismiss

As root, `exit` first moves into namespaces of its own (mounts, processes, network), so its
/tmp, where UNO and X make their sockets, is its own, the tool's fixed UNO pipe name cannot
meet another Calc, and every process it started ends with it.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
WORKBOOK_LABEL = "当前工作簿名称: "
TOOL_TITLE, BOX_TITLE = "Gridmoor--智能合并单元格", "Gridmoor"
MERGE, UNMERGE = "智能合并单元格", "撤销合并单元格"
BOOK = "exit-book.fods"
LONG_ROWS = 100000  # the long smart merge: C1:C100000

# The cases the runs cycle through: name, the signal Calc gets first, the (address, button)
# pressed, and the columns the command changes once it finishes. A command's message is
# dismissed before the close, except in `long`, closed 0.5 s into its merge: there the message
# that ends the command still comes and is dismissed, then the window is gone. The close is a
# window manager's close button (_NET_CLOSE_WINDOW, which openbox turns into WM_DELETE_WINDOW).
CASES = [
    ("close", None, None, ""),
    ("merge", None, ("A1:A20", MERGE), "A"),
    ("unmerge", None, ("B1:B20", UNMERGE), "B"),
    ("long", None, (f"C1:C{LONG_ROWS}", MERGE), "C"),
    ("gone", signal.SIGKILL, None, ""),
    ("gone-cmd", signal.SIGTERM, ("A1:A20", MERGE), ""),  # says why not
]
SANITIZER_LINE = re.compile(r"ERROR: (Address|Leak)Sanitizer|runtime error:|^SUMMARY: ", re.M)


def until(seconds, find, pause=0.2):
    """find() until it gives something true, or None after `seconds`."""
    deadline = time.monotonic() + seconds
    while True:
        found = find()
        if found:
            return found
        if time.monotonic() >= deadline:
            return None
        time.sleep(pause)


# ---- the accessibility side, run in a child process per request ----

def atspi_request(pid, request):
    import pyatspi

    def walk(node):
        yield node
        for i in range(node.childCount):
            child = node.getChildAtIndex(i)
            if child is not None:
                yield from walk(child)

    app = next((a for a in pyatspi.Registry.getDesktop(0) if a is not None and
                a.name == "gridmoor" and (pid == 0 or a.get_process_id() == pid)), None)
    if app is None:
        return 1
    if request[0] == "labels":
        for node in walk(app):
            print(f"{node.getRoleName()}\t{node.name or ''}")
        return 0
    if request[0] == "press":
        edit = next(n for n in walk(app) if n.getRoleName() == "text")
        edit.queryEditableText().setTextContents(request[1])
        button = next(n for n in walk(app)
                      if n.getRoleName() == "push button" and n.name == request[2])
        action = button.queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        action.doAction(names.index("Press") if "Press" in names else 0)
        return 0
    box = next((n for n in walk(app) if n.getRoleName() in ("alert", "dialog")), None)
    if box is None:
        return 1
    print(" | ".join(n.name for n in walk(box) if n.getRoleName() == "label" and n.name))
    next(n for n in walk(box) if n.getRoleName() == "push button").queryAction().doAction(0)
    return 0


def window(pid, *request):
    """The output of one request when it succeeded, else None. While the program is busy in
    a command its accessibility calls go unanswered: a request that hangs counts as failed."""
    try:
        done = subprocess.run([sys.executable, __file__, "window", str(pid), *request],
                              capture_output=True, text=True, timeout=40)
    except subprocess.TimeoutExpired:
        return None
    return done.stdout if done.returncode == 0 else None


def shows(pid, label, seconds):
    return until(seconds, lambda: label in (window(pid, "labels") or ""), 0.5) is not None


# ---- the private desktop ----

class Desktop:
    """Xvfb on a display it finds free, openbox, and a session bus, with HOME in `work`."""

    def __init__(self, work):
        self.work, self.processes = work, []
        os.environ.update(HOME=work, XDG_RUNTIME_DIR=work, LANG="C.UTF-8", NO_AT_BRIDGE="0",
                          QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        read, write = os.pipe()
        self.spawn(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x800x24",
                    "-nolisten", "tcp"], pass_fds=(write,))
        os.close(write)
        with os.fdopen(read) as f:
            os.environ["DISPLAY"] = ":" + f.readline().strip()
        self.spawn(["openbox", "--sm-disable"])
        # Without the window manager no close could be sent: say so once, not per run.
        if not until(20, lambda: self.quiet(["wmctrl", "-m"])):
            sys.exit(f"openbox did not start on {os.environ['DISPLAY']}")
        bus = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1",
                              "--print-pid=1"], capture_output=True, text=True, check=True)
        address, bus_pid = bus.stdout.split("\n")[:2]
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = address
        self.pids = [int(bus_pid)]

    def spawn(self, argv, group=False, **options):
        """Starts argv, ended with the desktop; with `group`, in a session of its own, so that
        whatever it leaves running (as start-calc.sh leaves Calc) ends with it too."""
        options.setdefault("stdout", subprocess.DEVNULL)
        options.setdefault("stderr", subprocess.DEVNULL)
        process = subprocess.Popen(argv, start_new_session=group, **options)
        self.processes.append((process, group))
        return process

    @staticmethod
    def quiet(argv):
        return subprocess.run(argv, capture_output=True).returncode == 0

    def close(self):
        for process, group in self.processes:
            try:
                os.killpg(process.pid, signal.SIGKILL) if group else process.kill()
            except (ProcessLookupError, PermissionError):
                pass
            process.wait()
        for pid in self.pids:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass


def window_id(pid, title):
    """The X window of process `pid` titled exactly `title`, or None."""
    listing = subprocess.run(["wmctrl", "-lp"], capture_output=True, text=True).stdout
    for line in listing.splitlines():
        fields = line.split(None, 4)
        if len(fields) == 5 and fields[2] == str(pid) and fields[4].split(None, 1)[-1] == title:
            return fields[0]
    return None


# ---- the clean-exit runs ----

class ExitRuns:
    def __init__(self, tool, desktop, probe):
        self.tool, self.desktop, self.probe, self.office = tool, desktop, probe, None

    def start_calc(self):
        lock = os.path.join(self.desktop.work, f".~lock.{BOOK}#")
        if os.path.exists(lock):
            os.remove(lock)
        self.office = self.desktop.spawn(
            ["soffice", "--calc", "--norestore", "--nologo",
             "--accept=pipe,name=gridmoor;urp;StarOffice.ComponentContext",
             os.path.join(self.desktop.work, BOOK)])
        if not self.probe.wait(BOOK, 120):
            sys.exit(f"no Calc showing {BOOK} on the pipe")

    def stop_calc(self, how):
        """Ends soffice.bin, the child of the oosplash started above, with signal `how`."""
        found = subprocess.run(["pgrep", "-P", str(self.office.pid), "-x", "soffice.bin"],
                               capture_output=True, text=True).stdout.split()
        for pid in found:
            os.kill(int(pid), how)
        self.office.wait()
        self.office = None

    def dismiss(self, pid, notes):
        """Dismisses the message box and waits until it is gone, so that a close that follows
        does not meet a window the box still blocks."""
        message = until(120, lambda: window(pid, "dismiss"), 0.2)
        if message is None:
            notes.append("no message")
            return
        notes.append("message: " + message.strip())
        if until(5, lambda: window_id(pid, BOX_TITLE) is None, 0.1) is None:
            notes.append("the message box stayed")

    def run(self, number, case):
        name, calc_signal, command, changes = case
        began, notes = time.monotonic(), []
        if self.office is None:
            self.start_calc()
        if self.probe.reset(BOOK) != "ok":
            # Calc went away by itself in the run before (counted there): start it again.
            self.stop_calc(signal.SIGKILL)
            self.start_calc()
            if self.probe.reset(BOOK) != "ok":
                sys.exit(f"run {number}: the probe could not reset Calc")
        log = os.path.join(self.desktop.work, f"run-{number}.err")
        with open(log, "w") as err:
            tool = subprocess.Popen([self.tool], stdout=subprocess.DEVNULL, stderr=err)
        if not shows(tool.pid, WORKBOOK_LABEL + BOOK, 90):
            notes.append(f"window never showed {BOOK}")
        if calc_signal is not None:
            self.stop_calc(calc_signal)
        done = ""
        if command is not None and window(tool.pid, "press", *command) is not None:
            done = changes
        if name == "long":
            pressed = time.monotonic()
            time.sleep(0.5)
            # The command is still running while its message box has not come.
            if window_id(tool.pid, BOX_TITLE):
                notes.append("closed after the command (it was quick)")
        elif command is not None:
            self.dismiss(tool.pid, notes)
        wid = window_id(tool.pid, TOOL_TITLE)
        if wid is None or not Desktop.quiet(["wmctrl", "-i", "-c", wid]):
            notes.append("could not close")
        if name == "long":
            self.dismiss(tool.pid, notes)
            notes.append(f"command took about {time.monotonic() - pressed:.1f} s")
        try:
            status = tool.wait(30)
        except subprocess.TimeoutExpired:
            tool.kill()
            tool.wait()
            status = "timeout"
        with open(log, errors="replace") as f:
            stderr = f.read()
        found = len(SANITIZER_LINE.findall(stderr))
        calc = "-" if self.office is None else self.probe.check(BOOK, done)
        failed = status != 0 or found > 0 or calc not in ("-", "ok")
        if failed:
            print(f"--- stderr of run {number}:\n" + "\n".join(stderr.splitlines()[-40:]))
        print(f"run {number:2} {name:<8} exit {status}, sanitizer lines {found}, calc {calc}, "
              f"{time.monotonic() - began:.0f}s; {'; '.join(notes)}", flush=True)
        return failed, status != 0, found > 0, calc not in ("-", "ok")


def isolate():
    """Re-runs this program in namespaces of its own with a fresh /tmp, when it can. A fresh
    /tmp would hide the program and this checkout when they lie under /tmp (a clone made
    there): then the runs share the machine's /tmp and UNO pipe name instead."""
    if os.environ.get("GRIDMOOR_EXIT_ISOLATED"):
        subprocess.run(["mount", "-t", "tmpfs", "tmpfs", "/tmp"], check=True)
        return
    unshare = ["unshare", "--mount", "--propagation", "private", "--pid", "--net", "--fork",
               "--mount-proc"]
    inside_tmp = any(p.startswith("/tmp/") for p in (os.path.realpath(sys.argv[2]), HERE))
    if os.getuid() == 0 and not inside_tmp and Desktop.quiet(unshare + ["true"]):
        os.execvp("unshare", unshare + ["env", "GRIDMOOR_EXIT_ISOLATED=1", sys.executable,
                                        os.path.abspath(__file__), *sys.argv[1:]])
    print("not isolated (needs root, unshare and a checkout outside /tmp); "
          "the UNO pipe 'gridmoor' is shared")


def exit_runs(tool, runs):
    isolate()
    sys.dont_write_bytecode = True  # leaves no __pycache__ in the checkout
    import calc_probe  # here: the accessibility requests need no UNO
    os.environ.setdefault("LSAN_OPTIONS", f"suppressions={SOURCE}/tests/lsan.supp")
    os.environ.setdefault("UBSAN_OPTIONS", "print_stacktrace=1")
    work = tempfile.mkdtemp(prefix="gridmoor-exit-", dir="/tmp")
    shutil.copy(os.path.join(HERE, "exit-book.fods"), os.path.join(work, BOOK))
    desktop = Desktop(work)
    try:
        # Two busy cores for the whole test: exit races show under load.
        for _ in range(2):
            desktop.spawn(["sh", "-c", "while :; do :; done"])
        driver = ExitRuns(os.path.realpath(tool), desktop, calc_probe)
        driver.start_calc()
        results = [driver.run(n, CASES[(n - 1) % len(CASES)]) for n in range(1, runs + 1)]
    finally:
        desktop.close()
        if not os.environ.get("GRIDMOOR_EXIT_KEEP"):
            shutil.rmtree(work, ignore_errors=True)
    failed, crashes, reports, calc = (sum(column) for column in zip(*results))
    print(f"exit runs: {runs - failed} passed, {failed} failed (bad exit status {crashes}, "
          f"with sanitizer reports {reports}, Calc left wrong {calc})")
    return 1 if failed else 0


def installed(command):
    """The installed program, started as its menu entry starts it, shows the demo report."""
    work = tempfile.mkdtemp(prefix="gridmoor-installed-")
    desktop = Desktop(work)
    try:
        calc = desktop.spawn([os.path.join(SOURCE, "scripts/start-calc.sh")],
                             group=True, stderr=None)
        if calc.wait() != 0:
            return 1
        log = open(os.path.join(work, "gridmoor.log"), "w+")
        tool = desktop.spawn(command.split(), stdout=log, stderr=log)
        wanted = (WORKBOOK_LABEL + "report.fods", "当前工作表名称: 销售报表")
        labels = until(60, lambda: (lambda t: t if t and all(w in t for w in wanted) else None)(
            window(tool.pid, "labels")), 1)
        if labels is None:
            log.seek(0)
            print("the installed program did not show the demo workbook; its output:\n"
                  + log.read(), file=sys.stderr)
            return 1
        print(labels, end="")
        return 0
    finally:
        desktop.close()
        shutil.rmtree(work, ignore_errors=True)


def main():
    command = sys.argv[1]
    if command == "window":
        return atspi_request(int(sys.argv[2]), sys.argv[3:])
    if command == "exit":
        return exit_runs(sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 30)
    if command == "installed":
        return installed(sys.argv[2])
    sys.exit(f"unknown command {command}")


if __name__ == "__main__":
    status = main()
    sys.stdout.flush()
    # The driver judges the tool's exit, so its own must not fail: ending here skips the
    # Python UNO bridge's teardown, which is not what is under test.
    os._exit(status)
