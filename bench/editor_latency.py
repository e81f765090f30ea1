#!/usr/bin/env python3
"""Times the editor of kalp serve in headless Chromium: from an edit to the
page that shows its answer, on the largest layout (79 classes, two
systems, bench/cases.h).

editor_latency.py BUILD_DIR [EDITS]

Each edit selects a field and types a new value: the discount rate, an
economic value or the period, in turn. The page takes the time from the
input event of the last key to the first task after the animation frame
that follows its update of the page (window.kalpEditor.latencies); the
script waits for each answer before the next edit."""
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'browser'))
from editor_test import browser  # noqa: E402


def main():
    build = sys.argv[1]
    edits = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import WebDriverWait

    folder = tempfile.mkdtemp(prefix='kalp-latency-')
    subprocess.run([os.path.join(build, 'write79'), folder, '20'], check=True)
    server = subprocess.Popen([os.path.join(build, 'kalp'), 'serve', '-C', folder], stdout=subprocess.PIPE, text=True)
    d = browser()
    try:
        url = server.stdout.readline().strip()
        d.get(url)
        state = 'return window.kalpEditor'
        WebDriverWait(d, 20).until(lambda _: d.execute_script(state + '.answers') >= 1)
        assert len(d.find_elements(By.CSS_SELECTOR, '#classes tbody tr')) == 79
        fields = [('INPUTVRD01A.TXT', 'u', ['0.03', '0.04', '0.05', '0.06']),
                  ('INPUTVRD01B.TXT', 'evpB[8][1]', ['2.5', '3', '3.5', '4']),
                  ('INPUTVRD03.TXT', 'l_inv', ['20', '25', '30', '15'])]
        busy = 'const s = window.kalpEditor; return !!(s.inflight || s.timer || s.waiting)'
        last = []
        for i in range(edits):
            file, var, values = fields[i % len(fields)]
            el = d.find_element(By.CSS_SELECTOR, '[data-file="%s"][data-var="%s"]' % (file, var))
            done = len(d.execute_script(state + '.latencies'))
            el.send_keys(Keys.CONTROL, 'a')
            el.send_keys(values[(i // len(fields)) % len(values)])
            WebDriverWait(d, 20).until(lambda _: len(d.execute_script(state + '.latencies')) > done and
                                       not d.execute_script(busy))
            time.sleep(0.05)
            last.append(d.execute_script(state + '.latencies')[-1])
        # The answer to the whole value of an edit; answers to its first keys
        # may come before it.
        last.sort()
        p95 = last[int(0.95 * len(last)) - 1]
        print('%d edits: median %.0f ms, 95th percentile %.0f ms, max %.0f ms'
              % (edits, statistics.median(last), p95, last[-1]))
        print('load average', os.getloadavg())
    finally:
        d.quit()
        server.send_signal(signal.SIGINT)
        server.wait(timeout=20)
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == '__main__':
    main()
