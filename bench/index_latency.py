#!/usr/bin/env python3
"""Times the selection index in the editor of kalp serve in headless
Chromium: from an edit of a cell of the index's tables to the page that
shows the index computed anew, on the largest index: every economic value
of the worked example given, all 35 of KALP's traits in the objective with
all their components (40) and recorded traits with direct and maternal
effects beside them, 70 components in all; all six sources of each of
KALP's 35 traits on both paths (where the path may use them) and the own
records of the recorded traits, about 210 sources a path, as in the
benchmark of the index (bench/index_bench.cpp).

index_latency.py BUILD_DIR SOURCE_DIR [EDITS]

Each edit selects a cell and types a new value: a heritability, a genetic
correlation or a number of records, in turn. The page takes the time from
the input event of the last key to the first task after the animation
frame that follows its update (window.kalpEditor.latencies); the script
waits for each answer before the next edit."""
import csv
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'browser'))
from editor_test import browser  # noqa: E402


def write_largest(kalp, source, folder):
    """The folder of the worked example with every economic value given, all
    KALP traits in the index with their components, recorded traits with
    direct and maternal effects up to 70 components, and every source of
    every trait on both paths."""
    os.makedirs(folder, exist_ok=True)
    ex = os.path.join(source, 'examples', 'index')
    for f in ('ERROR.TXT', 'P01.TXT', 'PARAVRD.TXT', 'INPUTVRD02.TXT', 'INPUTVRD04.TXT', 'INPUTVRD05.TXT', 'INPUTVRD01A.TXT'):
        shutil.copy(os.path.join(ex, f), folder)
    shutil.copy(os.path.join(source, 'share', 'TEXTVRD_OUT.TXT'), folder)
    lines = open(os.path.join(folder, 'INPUTVRD01A.TXT')).read().split('\n')
    values = [(-1) ** k * (1 + k % 5) * 0.1 for k in range(35)]
    for i in range(5):
        lines[5 + i] = ' '.join('%g' % v for v in values[7 * i:7 * i + 7])
    open(os.path.join(folder, 'INPUTVRD01A.TXT'), 'w').write('\n'.join(lines))
    subprocess.run([kalp, '-C', folder, '--csv'], check=True, stdout=subprocess.DEVNULL)
    comps = {}
    with open(os.path.join(folder, 'kalp-weights.csv'), newline='') as f:
        for r in csv.DictReader(f):
            comps.setdefault(r['trait'], set()).add(r['component'])
    for f in os.listdir(folder):
        if f.startswith('kalp-'):
            os.remove(os.path.join(folder, f))
    traits, ends = [], []
    for k in range(1, 36):
        c = comps.get(str(k), set())
        ewe = c == {'maternal'}
        mat = 'maternal' in c and not ewe
        traits.append((str(k), ewe, mat))
    n = sum(1 + m for _, e, m in traits if not e) + sum(1 for _, e, m in traits if e)
    r = 0
    while n < 70:
        r += 1
        traits.append(('recorded%d' % r, False, n + 2 <= 70))
        n += 1 + (traits[-1][2])
    with open(os.path.join(folder, 'index-traits.csv'), 'w') as f:
        f.write('trait,sd,h2,h2_maternal,r_direct_maternal,c2,repeatability\n')
        for i, (t, ewe, mat) in enumerate(traits):
            f.write('%s,%g,%g,%s,%s,%s,0.7\n' % (t, 1 + 0.1 * i, 0.2 + 0.004 * i, '0.1' if mat else '', '-0.2' if mat else '',
                                                 '' if ewe else '0.05'))
    with open(os.path.join(folder, 'index-correlations.csv'), 'w') as f:
        f.write('kind,trait_a,component_a,trait_b,component_b,value\n')
        for i, (a, ea, ma) in enumerate(traits):
            ca = ['maternal'] if ea else (['direct', 'maternal'] if ma else ['direct'])
            for b, eb, mb in traits[i + 1:]:
                cb = ['maternal'] if eb else (['direct', 'maternal'] if mb else ['direct'])
                for x in ca:
                    for y in cb:
                        f.write('genetic,%s,%s,%s,%s,%s\n' % (a, x, b, y, '0.05' if x == y else '0'))
                f.write('phenotypic,%s,,%s,,0.1\n' % (a, b))
                if not ea and not eb:
                    f.write('litter,%s,,%s,,0.1\n' % (a, b))
    records = {'own': 1, 'dam': 3, 'sire': 1, 'fullsibs': 2, 'halfsibs': 30, 'progeny': 20}
    with open(os.path.join(folder, 'index-sources.csv'), 'w') as f:
        f.write('path,source,trait,records\n')
        for path in ('rams', 'ewes'):
            for s, count in records.items():
                for t, ewe, _ in traits:
                    if ewe and (s == 'sire' or (path == 'rams' and s == 'own')):
                        continue
                    if not t.isdigit() and s != 'own':
                        continue
                    f.write('%s,%s,%s,%d\n' % (path, s, t, count))
    with open(os.path.join(folder, 'index-selection.csv'), 'w') as f:
        f.write('path,proportion,intensity,generation_interval,traced_group\nrams,0.05,,,\newes,0.4,,,\n')
    return n


def main():
    build, source = sys.argv[1], sys.argv[2]
    edits = int(sys.argv[3]) if len(sys.argv) > 3 else 200
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import WebDriverWait

    kalp = os.path.join(build, 'kalp')
    folder = tempfile.mkdtemp(prefix='kalp-index-latency-')
    components = write_largest(kalp, source, folder)
    server = subprocess.Popen([kalp, 'serve', '-C', folder], stdout=subprocess.PIPE, text=True)
    d = browser()
    try:
        url = server.stdout.readline().strip()
        d.get(url)
        state = 'return window.kalpEditor'
        WebDriverWait(d, 60).until(lambda _: d.execute_script(state + '.answers') >= 1)
        WebDriverWait(d, 60).until(lambda _: d.find_elements(By.CSS_SELECTOR, '#indexout table[data-table="index"] td'))
        shown = len(d.find_elements(By.CSS_SELECTOR, '#indextables table[data-grid="genetic"] thead th')) - 1
        assert shown == components == 70, (shown, components)
        cells = [('index-traits.csv', '5', 'h2', ['0.25', '0.3', '0.22', '0.27']),
                 ('index-correlations.csv', 'genetic|2 direct|3 direct', 'value', ['0.06', '0.04', '0.07', '0.03']),
                 ('index-sources.csv', 'rams|progeny|7', 'records', ['25', '30', '15', '40'])]
        busy = 'const s = window.kalpEditor; return !!(s.inflight || s.timer || s.waiting)'
        last = []
        for i in range(edits):
            file, key, column, values = cells[i % len(cells)]
            el = d.find_element(By.CSS_SELECTOR, '#indextables [data-ifile="%s"][data-key="%s"][data-col="%s"]'
                                % (file, key, column))
            d.execute_script('arguments[0].scrollIntoView({block: "center"})', el)
            done = len(d.execute_script(state + '.latencies'))
            el.send_keys(Keys.CONTROL, 'a')
            el.send_keys(values[(i // len(cells)) % len(values)])
            WebDriverWait(d, 20).until(lambda _: len(d.execute_script(state + '.latencies')) > done and
                                       not d.execute_script(busy))
            time.sleep(0.05)
            last.append(d.execute_script(state + '.latencies')[-1])
        assert not d.find_element(By.ID, 'indexnote').is_displayed(), d.find_element(By.ID, 'indexnote').text
        # The answer to the whole value of an edit; answers to its first keys
        # may come before it.
        last.sort()
        p95 = last[int(0.95 * len(last)) - 1]
        print('%d edits of the index of %d components: median %.0f ms, 95th percentile %.0f ms, max %.0f ms'
              % (edits, components, statistics.median(last), p95, last[-1]))
        print('load average', os.getloadavg())
    finally:
        d.quit()
        server.send_signal(signal.SIGINT)
        server.wait(timeout=20)
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == '__main__':
    main()
