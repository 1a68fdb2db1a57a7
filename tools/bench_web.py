#!/usr/bin/python3
"""The fast 32 KB sample (random32k_s1_16.mot) at 16 MHz on the paced board
(h8board --clock 16 --pace), through the page and through the command line
(korvel --fast --clock 16), RUNS times each on a fresh board, the flash
checked after every run. Prints each median and the page's over the command
line's against the goal, 1.3. The page runs in headless Chromium over the
browser rows' stand-in for navigator.serial and their bridge (tests/web); its
time is the page's own, from the Program click to #result's data-state
"done"; the command line's from korvel's start to its exit.

  bench_web.py BUILD WEB_BUILD WORK [RUNS]

Exit 1 when a run fails or its flash differs, 2 when something is missing.
"""
import os
import statistics
import subprocess
import sys
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(root, "tests/web"))
import web_rows  # noqa: E402
from bridge import Bridge  # noqa: E402

GOAL = 1.3
BOARD = ["--clock", "16", "--pace"]
START_AND_WAIT = """
const done = arguments[arguments.length - 1];
const result = document.getElementById('result');
const start = performance.now();
new MutationObserver((changes, observer) => {
  if (result.dataset.state !== 'done') return;
  observer.disconnect();
  done({seconds: (performance.now() - start) / 1000, result: result.textContent});
}).observe(result, {attributes: true, attributeFilter: ['data-state']});
document.getElementById('program').click();
"""


def check_flash(board, program, work):
    with open(board.flash, "rb") as f:
        if f.read() != web_rows.flash_of_file(program, work):
            sys.exit("bench_web.py: the flash differs from the file")


def page_run(h8board, files, program, work):
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import Select
    board = web_rows.Board(h8board, BOARD, work)
    bridge = Bridge(board.link)
    url = bridge.start()
    server, page = web_rows.serve([os.path.join(root, "web"), files])
    driver = None
    try:
        driver = web_rows.browser(url, root)
        driver.set_script_timeout(web_rows.RUN_SECONDS)
        driver.get(page + "index.html")
        driver.find_element(By.ID, "connect").click()
        driver.find_element(By.ID, "file").send_keys(program)
        Select(driver.find_element(By.ID, "mode")).select_by_value("fast")
        driver.find_element(By.ID, "clock").send_keys("16")
        web_rows.wait_for(lambda: driver.find_element(By.ID, "program").is_enabled(), 10)
        run = driver.execute_async_script(START_AND_WAIT)
    finally:
        web_rows.tear_down(driver, bridge, server, board)
    if not run["result"].startswith("Success"):
        sys.exit("bench_web.py: the page's run ended in %r" % run["result"])
    check_flash(board, program, work)
    return run["seconds"]


def command_line_run(build, program, work):
    board = web_rows.Board(os.path.join(build, "sim/h8board"), BOARD, work)
    start = time.monotonic()
    run = subprocess.run([os.path.join(build, "app/korvel"), "--fast", "--clock", "16", board.link, program],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=web_rows.RUN_SECONDS)
    seconds = time.monotonic() - start
    board.end(True)
    if run.returncode != 0:
        sys.exit("bench_web.py: korvel failed:\n" + run.stdout.decode(errors="replace")[-500:])
    check_flash(board, program, work)
    return seconds


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    build, web_build, work = sys.argv[1:4]
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 3
    files = web_rows.web_files(web_build)
    if files is None:
        print("bench_web.py: no korvel-web.js in %s (emcmake cmake -B build-web; cmake --build build-web "
              "--target korvel-web)" % web_build, file=sys.stderr)
        return 2
    os.makedirs(work, exist_ok=True)
    program = web_rows.sample(root, work, "random32k_s1_16.mot")
    page, line = [], []
    for _ in range(runs):  # in turn, so that a busy moment of the machine falls on both
        page.append(page_run(os.path.join(build, "sim/h8board"), files, program, work))
        line.append(command_line_run(build, program, work))
    page_s, line_s = statistics.median(page), statistics.median(line)
    print("fast 32 KB at 16 MHz, paced board, median of %d:" % runs)
    print("  command line  %.2f s  (%s)" % (line_s, " ".join("%.2f" % s for s in line)))
    print("  page          %.2f s  (%s)" % (page_s, " ".join("%.2f" % s for s in page)))
    ratio = page_s / line_s
    print("  page / command line %.2f, goal <= %.1f: %s" % (ratio, GOAL, "ok" if ratio <= GOAL else "MISS"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
