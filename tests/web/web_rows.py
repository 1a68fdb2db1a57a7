#!/usr/bin/python3
"""The browser rows: korvel's page in headless Chromium, its navigator.serial
the stand-in (serial_stand_in.js) relayed by the bridge (bridge.py) to
h8board's pseudo-terminal. Each row starts its board, the bridge, a static
HTTP server for the page and the built korvel-web files, and the browser;
drives the page by its element ids; waits for #result[data-state=done]; and
checks words, states and the board's flash, never times.

  web_rows.py ROW --h8board EXE --source DIR --work DIR [--web-build DIR]

ROW is one of ROWS, or "bridge": the stand-in and the bridge alone against
the boot program (no page needed). Exit 77 (skipped) when the browser, its
driver or the web build is missing.
"""
import argparse
import fcntl
import functools
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bridge import Bridge  # noqa: E402

SKIP = 77
CHROMIUM, CHROMEDRIVER = "/usr/bin/chromium", "/usr/bin/chromedriver"
RUN_SECONDS = 150  # a page's run on a loaded machine; the rows' runs take seconds


class Row:
    def __init__(self, file, board=(), mode="record", clock="", expect=("Success",), console=(), flash="file",
                 screenshot=False, cancel=False, rates=(9600,)):
        self.file, self.board, self.mode, self.clock, self.rates = file, list(board), mode, clock, list(rates or [])
        self.expect, self.console, self.flash = expect, console, flash
        self.screenshot, self.cancel = screenshot, cancel


# The boards' options are those of the matching executable rows.
ROWS = {
    "record_blink": Row("blink.mot", ["--clock", "16", "--pace"]),
    "fast_32k_16mhz_paced": Row("random32k_s1_16.mot", ["--clock", "16", "--pace"], mode="fast", clock="16",
                                console=("Rate 500000 bit/s, the chip's phi/32", "as the file"), rates=(9600, 500000),
                                screenshot=True),
    # The fast mode checks the whole file first: the command line's words, and not a byte on the line.
    "refused_file": Row("overlap.mot", mode="fast", expect=("Fail",), console=("Record error line 3: overlaps line 2",),
                        flash="none", rates=None),
    # The board closes its end of the line instead of answering record 2.
    "line_lost": Row("three.mot", ["--hang-up-after-records", "1"], expect=("Fail",),
                     console=("the line closed during the run",), flash="not claimed"),
    # Cancelled once records are going out: Fail, and the port closed.
    "cancel": Row("random32k_s1_16.mot", ["--pace"], expect=("Fail",), flash="not claimed", cancel=True),
}


def sample(source, work, name):
    """A program file: tests/runs/files, or made by tools/make_sample_records.sh (once)."""
    fixed = os.path.join(source, "tests/runs/files", name)
    if os.path.exists(fixed):
        return fixed
    folder = os.path.join(work, "samples")
    with open(folder + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.exists(os.path.join(folder, ".made")):
            shutil.rmtree(folder, ignore_errors=True)
            subprocess.run([os.path.join(source, "tools/make_sample_records.sh"), folder], check=True,
                           stdout=subprocess.DEVNULL)
            open(os.path.join(folder, ".made"), "w").close()
    return os.path.join(folder, name)


def flash_of_file(path, work):
    """The flash after programming the file: H'FF where it gives nothing."""
    plain, image = os.path.join(work, "plain.mot"), os.path.join(work, "expected.bin")
    with open(path, "rb") as f, open(plain, "wb") as out:
        out.write(f.read().replace(b"\r", b""))  # srec_cat takes no CR CR LF line ends
    subprocess.run(["srec_cat", plain, "-fill", "0xFF", "0", "0x20000", "-o", image, "-binary"], check=True)
    with open(image, "rb") as f:
        return f.read()


class Board:
    """h8board serving a pseudo-terminal at work/line; its flash goes to work/flash.bin when it ends."""

    def __init__(self, exe, args, work):
        self.link, self.flash = os.path.join(work, "line"), os.path.join(work, "flash.bin")
        self.err = open(os.path.join(work, "h8board.err"), "w+")
        self.process = subprocess.Popen([exe] + args + ["--link", self.link, "--out", self.flash,
                                         "--timeout", str(RUN_SECONDS + 60)],
                                        stdout=subprocess.DEVNULL, stderr=self.err)
        for _ in range(1000):
            if os.path.exists(self.link):
                return
            time.sleep(0.01)
        raise RuntimeError("h8board made no line")

    def end(self, opened):
        """Waits for the board (its host has let the line go, if it ever opened it); its standard error."""
        try:
            self.process.wait(20 if opened else 0)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.err.seek(0)
        return self.err.read()


class Files(http.server.SimpleHTTPRequestHandler):
    """Serves each path from the first folder of roots that has it."""
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map, ".wasm": "application/wasm",
                      ".js": "text/javascript", ".mjs": "text/javascript"}

    def __init__(self, *args, roots, **kwargs):
        self.roots = roots
        super().__init__(*args, directory=roots[0], **kwargs)

    def translate_path(self, path):
        for root in self.roots:
            self.directory = root
            found = super().translate_path(path)
            if os.path.exists(found):
                return found
        return found

    def log_message(self, *args):
        pass


def serve(roots):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Files, roots=roots))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, "http://127.0.0.1:%d/" % server.server_address[1]


def browser(bridge_url, source):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=1100,1400"):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    with open(os.path.join(source, "tests/web/serial_stand_in.js")) as f:
        script = "window.__korvelBridgeUrl = %r;\n" % bridge_url + f.read()
    driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": script})
    return driver


def wait_for(what, seconds, step=0.05):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        got = what()
        if got:
            return got
        time.sleep(step)
    return what()


def web_files(web_build):
    """The folder holding the built korvel-web.js (and its .wasm)."""
    for folder, _, names in os.walk(web_build or "/nonexistent"):
        if "korvel-web.js" in names and "CMakeFiles" not in folder:
            return folder
    return None


# The stand-in alone, on a plain page: an open at 9600 bit/s gets the boot
# program's answers to the synchronisation byte H'00 and to H'55.
BOOT_SYNC = """
const done = arguments[arguments.length - 1];
(async () => {
  const port = await navigator.serial.requestPort();
  await port.open({baudRate: 9600});
  await port.setSignals({dataTerminalReady: true, requestToSend: true});
  const writer = port.writable.getWriter(), reader = port.readable.getReader();
  const got = [];
  const readOne = () => reader.read().then(({value}) => got.push(...value));
  let pending = readOne();
  for (let tries = 0; tries < 200 && got.length === 0; ++tries) {
    await writer.write(new Uint8Array([0]));
    await Promise.race([pending, new Promise((r) => setTimeout(r, 20))]);
  }
  await pending;
  await writer.write(new Uint8Array([0x55]));
  while (!got.includes(0xAA)) { pending = readOne(); await pending; }
  writer.releaseLock(); reader.releaseLock();
  await port.close();
  // H'00 answers each H'00 still on its way when the first came back: what
  // follows them must be H'AA alone.
  done({first: got[0], answers: got.slice(got.findIndex((b) => b !== 0)), log: window.__korvelSerialLog});
})().catch((e) => done({error: String(e)}));
"""


def tear_down(driver, bridge, server, board, opened=True):
    """Ends what a row started, the browser first; returns the board's end (see Board.end)."""
    if driver:
        driver.quit()
    bridge.finish()
    server.shutdown()
    return board.end(opened)


def check_bridge(args, work, failures):
    board = Board(args.h8board, [], work)
    bridge = Bridge(board.link, log=sys.stderr)
    url = bridge.start()
    server, page = serve([os.path.join(args.source, "tests/web")])
    driver = None
    try:
        driver = browser(url, args.source)
        driver.set_script_timeout(60)
        driver.get(page)
        result = driver.execute_async_script(BOOT_SYNC)
    finally:
        tear_down(driver, bridge, server, board)
    expect(failures, "error" not in result, "the stand-in failed: %s" % result.get("error"))
    expect(failures, result.get("first") == 0, "the answer to the sync: %s" % result.get("first"))
    expect(failures, result.get("answers") == [0xAA], "answers after the sync: %s" % result.get("answers"))
    expect(failures, bridge.rates == [9600], "rates: %s" % bridge.rates)
    expect(failures, bridge.signals == [{"dataTerminalReady": True, "requestToSend": True}],
           "signals: %s" % bridge.signals)
    expect(failures, result.get("log", [{}])[-1] == {"close": True}, "log: %s" % result.get("log"))


def expect(failures, ok, why):
    if not ok:
        failures.append(why)


def text(driver, selector):
    return driver.execute_script("const e = document.querySelector(arguments[0]); return e ? e.textContent : null;",
                                 selector)


def run_row(name, row, args, work, failures):
    files = web_files(args.web_build)
    if files is None:
        print("skipped: no korvel-web.js in the web build %r" % args.web_build)
        return SKIP
    program = sample(args.source, args.work, row.file)
    board = Board(args.h8board, row.board, work)
    bridge = Bridge(board.link, log=sys.stderr)
    url = bridge.start()
    server, page = serve([os.path.join(args.source, "web"), files])
    driver, state = None, None
    try:
        driver = browser(url, args.source)
        from selenium.webdriver.common.by import By
        from selenium.webdriver.support.ui import Select
        driver.get(page + "index.html")
        driver.find_element(By.ID, "connect").click()
        wait_for(lambda: {"requested": True} in driver.execute_script("return window.__korvelSerialLog"), 10)
        driver.find_element(By.ID, "file").send_keys(program)
        Select(driver.find_element(By.ID, "mode")).select_by_value(row.mode)
        if row.clock:
            driver.find_element(By.ID, "clock").send_keys(row.clock)
        driver.find_element(By.ID, "program").click()
        done = lambda: driver.find_element(By.ID, "result").get_attribute("data-state") == "done"
        if row.cancel:
            # Once the page shows records going out (the console's ":OK").
            expect(failures, wait_for(lambda: ":OK" in (text(driver, "#console") or "") or done(), RUN_SECONDS),
                   "no record went out")
            expect(failures, not done(), "the run ended before it could be cancelled")
            driver.find_element(By.ID, "cancel").click()
        wait_for(done, RUN_SECONDS, 0.2)
        state = driver.find_element(By.ID, "result").get_attribute("data-state")
        result, console = text(driver, "#result") or "", text(driver, "#console") or ""
        log = driver.execute_script("return window.__korvelSerialLog")
        browser_log = [e["message"] for e in driver.get_log("browser")]
        if row.screenshot and state == "done":
            driver.save_screenshot(os.path.join(args.work, "korvel-web.png"))
    finally:
        board_err = tear_down(driver, bridge, server, board, bool(bridge.rates))
    print("page console:\n" + console + "\npage result: " + result + "\nbridge rates: %s" % bridge.rates)
    print("the port's calls: %s\nthe browser's log:\n  %s" % (log, "\n  ".join(browser_log)))
    expect(failures, state == "done", "#result never reached data-state=done (it is %r)" % state)
    for word in row.expect:
        expect(failures, word in result, "the result lacks %r: %r" % (word, result))
    for word in row.console:
        expect(failures, word in console, "the console lacks %r" % word)
    # The rate of every open, as the bridge set it on the terminal.
    expect(failures, not row.rates or bridge.rates == row.rates, "rates %s, not %s" % (bridge.rates, row.rates))
    if "Success" not in row.expect:
        expect(failures, "Success" not in result + console, "Success claimed: %r" % result)
    if bridge.rates:
        raised = {"dataTerminalReady": True, "requestToSend": True}
        expect(failures, raised in bridge.signals, "DTR and RTS not raised: %s" % bridge.signals)
    if row.flash == "file":
        expect(failures, os.path.exists(board.flash), "the board wrote no flash image (its run did not end)")
        with open(board.flash if os.path.exists(board.flash) else os.devnull, "rb") as f:
            expect(failures, f.read() == flash_of_file(program, work), "the flash differs from the file")
    if row.flash == "none":
        expect(failures, bridge.to_line == 0, "%d bytes went onto the line" % bridge.to_line)
    if row.cancel:
        opened = [i for i, e in enumerate(log) if "open" in e]
        closed = [i for i, e in enumerate(log) if "close" in e]
        expect(failures, opened and closed and closed[-1] > opened[-1], "the port was not closed: %s" % log[-5:])
    print(board_err, end="")
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("row", choices=["bridge"] + sorted(ROWS))
    parser.add_argument("--h8board", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--work", required=True, help="the build folder: samples, the screenshot")
    parser.add_argument("--web-build", default="")
    args = parser.parse_args()
    for tool in (CHROMIUM, CHROMEDRIVER):
        if not os.access(tool, os.X_OK):
            print("skipped: %s is missing (tools/install_deps.sh installs it)" % tool)
            return SKIP
    try:
        import selenium  # noqa: F401
        import websockets  # noqa: F401
    except ImportError as error:
        print("skipped: %s (python3-selenium, python3-websockets)" % error)
        return SKIP
    failures = []
    with tempfile.TemporaryDirectory(prefix="korvel-web-") as work:
        if args.row == "bridge":
            check_bridge(args, work, failures)
            status = 0
        else:
            status = run_row(args.row, ROWS[args.row], args, work, failures)
    for failure in failures:
        print("FAILED: " + failure)
    return 1 if failures else status


if __name__ == "__main__":
    sys.exit(main())
