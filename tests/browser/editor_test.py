#!/usr/bin/env python3
"""The scenario editor in headless Chromium: a mistyped discount rate shows
the run's report and marks its field, a good one shows the weights of a
plain run, an emptied field is refused and never called saved, Save and
kalp on the saved folder agree (the Run shows the console of the program,
called in the server's own process, with its lines on standard error), a
count of ewe classes brings and takes its age-weight fields, and the run's
warnings stand above the results; with two systems the charts leave out
the blocks never reached and draw negative weights left of 0; at 360
pixels the report of a bad value stands beside its field, the tables fit
and a chart opens at full width; an empty folder shows only the way to a
first scenario.

editor_test.py KALP SOURCE_DIR; exit status 77 (skipped) without Chromium,
its driver or Selenium."""
import atexit
import csv
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile

SKIP = 77


def browser():
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
    except ImportError:
        print('SKIPPED: python3-selenium is not installed (apt-get install python3-selenium)')
        sys.exit(SKIP)
    chromium = shutil.which('chromium') or shutil.which('chromium-browser')
    driver = shutil.which('chromedriver') or '/usr/bin/chromedriver'
    if not chromium or not os.path.exists(driver):
        print('SKIPPED: Chromium or its driver is not installed (apt-get install chromium chromium-driver)')
        sys.exit(SKIP)
    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    profile = tempfile.mkdtemp(prefix='kalp-chromium-')
    atexit.register(shutil.rmtree, profile, True)
    for a in ('--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
              '--disable-background-networking', '--disable-component-update', '--disable-sync',
              '--user-data-dir=' + profile, '--window-size=1400,1000'):
        options.add_argument(a)
    return webdriver.Chrome(service=Service(driver), options=options)


def example(source, name, into):
    os.makedirs(into, exist_ok=True)
    for f in os.listdir(os.path.join(source, 'examples', name)):
        shutil.copy(os.path.join(source, 'examples', name, f), into)
    shutil.copy(os.path.join(source, 'share', 'TEXTVRD_OUT.TXT'), into)


def kalpweights(kalp, folder):
    """The economic weights of kalp --csv in FOLDER as the results file prints them."""
    subprocess.run([kalp, '-C', folder, '--csv'], check=True, stdout=subprocess.DEVNULL)
    cells, weighted = {}, set()
    with open(os.path.join(folder, 'kalp-weights.csv'), encoding='utf-8', newline='') as f:
        for row in csv.DictReader(f):
            single = struct.unpack('f', struct.pack('f', float(row['economic_weight'])))[0]
            cells[row['trait'] + ' ' + row['component']] = '%10.4f' % single
            if abs(single) >= 1e-6:
                weighted.add(row['trait'])
    # The results file, and the page, show the traits that have a weight.
    return {k: v for k, v in cells.items() if k.split()[0] in weighted}


def children_of(pid):
    """The processes that `pid` started and that still run."""
    found = []
    for task in os.listdir('/proc/%d/task' % pid):
        try:
            with open('/proc/%d/task/%s/children' % (pid, task)) as f:
                found += f.read().split()
        except OSError:
            pass
    return found


def main():
    kalp, source = sys.argv[1], sys.argv[2]
    d = browser()
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import WebDriverWait

    work = tempfile.mkdtemp(prefix='kalp-editor-')
    folder, plain = os.path.join(work, 'scenario'), os.path.join(work, 'plain')
    example(source, 'one-system', folder)
    original = open(os.path.join(folder, 'INPUTVRD01A.TXT'), 'rb').read()
    server = subprocess.Popen([kalp, 'serve', '-C', folder], stdout=subprocess.PIPE, text=True)
    try:
        url = server.stdout.readline().strip()
        assert re.fullmatch(r'http://127\.0\.0\.1:\d+/\?token=[0-9a-f]{48}', url), url
        wait = WebDriverWait(d, 20).until
        d.get(url)
        wait(lambda _: d.execute_script('return window.kalpEditor && window.kalpEditor.answers') >= 1)

        def field(file, var):
            return d.find_element(By.CSS_SELECTOR, '[data-file="%s"][data-var="%s"]' % (file, var))

        def retype(el, text):
            el.send_keys(Keys.CONTROL, 'a')
            el.send_keys(text)

        def weights():
            return {c.get_attribute('data-trait') + ' ' + c.get_attribute('data-component'): c.get_attribute('textContent')
                    for c in d.find_elements(By.CSS_SELECTOR, '#table-weights td[data-trait]')}

        report = d.find_element(By.ID, 'report')
        rate = ('INPUTVRD01A.TXT', 'u')
        d.execute_script('window.scrollTo(0, document.body.scrollHeight)')
        retype(field(*rate), '0,05')
        wait(lambda _: 'decimal comma' in report.get_attribute('textContent'))
        assert report.get_attribute('textContent').startswith('\nError message:\nIn INPUTVRD01A.TXT, the discount rate')
        # Above the run's own report, what to do in the form.
        advice = d.find_element(By.ID, 'advice').text
        assert advice.startswith('Correct the field "Discount rate per year" in System A'), advice
        assert field(*rate).get_attribute('aria-invalid') == 'true'
        assert d.execute_script('const r = arguments[0].getBoundingClientRect();'
                                'return r.top >= 0 && r.bottom <= innerHeight', field(*rate)), 'the marked field is not in view'

        # A good rate: the weights of a plain run with it.
        example(source, 'one-system', plain)
        with open(os.path.join(plain, 'INPUTVRD01A.TXT'), 'wb') as f:
            f.write(original.replace(b'0.05', b'0.06', 1))
        want = kalpweights(kalp, plain)
        retype(field(*rate), '0.06')
        wait(lambda _: not report.is_displayed() and weights() == want)
        assert field(*rate).get_attribute('aria-invalid') is None

        # A field emptied is refused as a run refuses its file, named by its
        # label, and the header never says that it is saved; Save writes
        # nothing, and its notice goes once the field holds a number again.
        def state():
            return d.find_element(By.ID, 'state').text

        notice = d.find_element(By.ID, 'notice')
        field(*rate).send_keys(Keys.CONTROL, 'a')
        field(*rate).send_keys(Keys.BACKSPACE)
        wait(lambda _: state() == 'Not saved: "Discount rate per year" is empty')
        assert 'the field "Discount rate per year" is empty' in report.get_attribute('textContent')
        assert field(*rate).get_attribute('aria-invalid') == 'true'
        d.find_element(By.ID, 'save').click()
        wait(lambda _: notice.is_displayed())
        said = d.find_element(By.ID, 'noticetext').text
        assert '"Discount rate per year" is empty' in said and 'Nothing was saved.' in said, said
        assert open(os.path.join(folder, 'INPUTVRD01A.TXT'), 'rb').read() == original
        assert state() == 'Not saved: "Discount rate per year" is empty', state()
        retype(field(*rate), '0.06')
        wait(lambda _: not notice.is_displayed() and state() == 'Not saved: INPUTVRD01A.TXT')

        # Save, and kalp on the folder gives the weights the page shows.
        d.find_element(By.ID, 'save').click()
        wait(lambda _: d.find_element(By.ID, 'state').text == 'Saved INPUTVRD01A.TXT')
        assert open(os.path.join(folder, 'INPUTVRD01A.TXT'), 'rb').read() == original.replace(b'0.05', b'0.06', 1)
        d.find_element(By.ID, 'run').click()
        # The run is the program itself, in the server's process: no child.
        children = []
        for _ in range(20):
            children += children_of(server.pid)
        wait(lambda _: d.find_elements(By.CSS_SELECTOR, '#runfiles a[href^="/files/kalp-weights.csv?token="]'))
        assert children == [], children
        shown = d.find_element(By.ID, 'console').get_attribute('textContent')
        assert shown.startswith('\nRunning KALP Version') and 'Thank you for using the program KALP.' in shown, shown
        assert kalpweights(kalp, folder) == weights()

        # The ewe classes: their age weights follow the count.
        def ewes():
            return len(d.find_elements(By.CSS_SELECTOR, '[data-file="INPUTVRD01A.TXT"][data-var^="l4EA["]'))
        assert ewes() == 6
        for n in ('4', '9'):
            retype(field('INPUTVRD01A.TXT', 'LLA'), n)
            wait(lambda _: ewes() == int(n))
        assert field('INPUTVRD01A.TXT', 'l4EA[9]').get_attribute('value') == '0'
        assert field('INPUTVRD01A.TXT', 'l4EA[5]').get_attribute('value') == '0.11'
        retype(field('INPUTVRD01A.TXT', 'LLA'), '6')
        wait(lambda _: ewes() == 6 and not report.is_displayed())

        # What the run doubts stands above the results, as the server says it.
        warned = d.find_element(By.ID, 'warnings')
        assert not warned.is_displayed()
        retype(field('INPUTVRD01A.TXT', 'ageR11A'), '30')
        wait(lambda _: warned.is_displayed() and 'below 60 days' in warned.text)
        retype(field('INPUTVRD01A.TXT', 'ageR11A'), '365')
        wait(lambda _: not warned.is_displayed())

        # The page's Run on a scenario that stops: the line that the run
        # writes on standard error, where the fault lies, is in its console.
        retype(field(*rate), '0,05')
        wait(lambda _: 'decimal comma' in report.get_attribute('textContent'))
        d.find_element(By.ID, 'save').click()
        wait(lambda _: state() == 'Saved INPUTVRD01A.TXT')
        d.find_element(By.ID, 'run').click()
        wait(lambda _: state() == 'kalp stopped (status 1)')
        errs = [e.get_attribute('textContent') for e in d.find_elements(By.CSS_SELECTOR, '#console .err')]
        assert errs == ['kalp: INPUTVRD01A.TXT, line 1 holds that value\n'], errs
        print('latencies (ms):', [round(x) for x in d.execute_script('return window.kalpEditor.latencies')])

        # Two systems traced from a ram of A: the page shows the very charts
        # of kalp --plot, whose panels leave out the ewes and rams of B and
        # whose four negative weights point left; the relative weights of
        # its tables carry the same signs.
        two = os.path.join(work, 'two')
        example(source, 'two-systems', two)
        plotted = os.path.join(work, 'plotted')
        example(source, 'two-systems', plotted)
        subprocess.run([kalp, '-C', plotted, '--plot'], check=True, stdout=subprocess.DEVNULL)
        second = subprocess.Popen([kalp, 'serve', '-C', two], stdout=subprocess.PIPE, text=True)
        try:
            d.get(second.stdout.readline().strip())
            wait(lambda _: d.execute_script('return window.kalpEditor && window.kalpEditor.answers') >= 1)
            shown = d.execute_script('return window.kalpEditor.svg')
            for name, box in (('kalp-geneflow.svg', 'geneflow'), ('kalp-weights.svg', 'weightschart')):
                assert shown[box] == open(os.path.join(plotted, name), encoding='utf-8').read(), name
            panels = d.execute_script('return [...document.querySelectorAll("#geneflow svg [data-panel]")]'
                                      '.map((p) => p.getAttribute("data-panel"))')
            assert panels == ['rams of A', 'ewes of A', 'crossing rams of A', 'progeny'], panels
            assert 'rams of B' in d.find_element(By.ID, 'geneflow').text
            left = d.execute_script('return [...document.querySelectorAll("#weightschart svg [data-value]")]'
                                    '.filter((b) => +b.getAttribute("data-value") < 0).length')
            assert left == 4, left
            negative = d.execute_script('return [...document.querySelectorAll("#table-relative-total td[data-trait]")]'
                                        '.filter((c) => +c.textContent < 0).length')
            assert negative == 4, negative
            # Pointing at a bar shows its data.
            bar = d.find_element(By.CSS_SELECTOR, '#weightschart svg [data-value]')
            from selenium.webdriver.common.action_chains import ActionChains
            ActionChains(d).move_to_element(bar).perform()
            wait(lambda _: 'trait ' in d.find_element(By.CSS_SELECTOR, '#weightschart .readout').text)

            # On a phone, 360 pixels wide: nothing runs off to the side, Save
            # and every field can be reached.
            # (Headless Chromium keeps its windows at least 500 pixels wide.)
            d.execute_cdp_cmd('Emulation.setDeviceMetricsOverride',
                              {'width': 360, 'height': 800, 'deviceScaleFactor': 1, 'mobile': False})
            wait(lambda _: d.execute_script('return innerWidth') == 360)
            wait(lambda _: d.execute_script('return document.documentElement.scrollWidth') <= 360)
            assert d.find_element(By.ID, 'save').is_displayed()
            assert d.execute_script('return document.getElementById("save").getBoundingClientRect().right') <= 360
            # The header keeps the end of the folder's path, which tells
            # folders apart: a path too long for it loses its beginning.
            box, first, last = d.execute_script('''
                const text = document.getElementById('folderpath').firstChild, r = document.createRange();
                const rect = (a, b) => { r.setStart(text, a); r.setEnd(text, b); return r.getBoundingClientRect(); };
                const box = document.getElementById('folder').getBoundingClientRect(), n = text.length;
                return [[box.left, box.right], rect(0, 1).left, [rect(n - 1, n).left, rect(n - 1, n).right]];''')
            assert box[1] <= 360 and box[0] - 1 <= last[0] and last[1] <= box[1] + 1, (box, first, last)
            u = d.find_element(By.CSS_SELECTOR, '[data-file="INPUTVRD01A.TXT"][data-var="u"]')
            d.execute_script('arguments[0].scrollIntoView()', u)
            assert d.execute_script('return arguments[0].getBoundingClientRect().right', u) <= 360

            # A bad value: its report stands right below its field, and both
            # are in view below the header, in a list of fields and in a
            # table of traits alike.
            def beside(el, says):
                note = d.find_element(By.ID, 'fieldnote')
                wait(lambda _: note.is_displayed() and says in note.text)
                wait(lambda _: not d.execute_script('return window.kalpEditor.inflight'))
                box = d.execute_script(
                    'const f = arguments[0].getBoundingClientRect(), n = arguments[1].getBoundingClientRect(),'
                    ' b = document.getElementById("bar").getBoundingClientRect();'
                    'return [f.top, f.bottom, n.top, n.bottom, b.bottom, innerHeight]', el, note)
                top, bottom, ntop, nbottom, bar, height = box
                assert bar <= top and 0 <= ntop - bottom <= 40 and nbottom <= height, box

            litter = field('INPUTVRD01B.TXT', 'evpB[8][2]')
            was = litter.get_attribute('value')
            d.execute_script('arguments[0].scrollIntoView({block: "center"})', litter)
            litter.send_keys(Keys.CONTROL, 'a')
            litter.send_keys(Keys.BACKSPACE)
            beside(litter, '"Litter size (lambs per lambing), Crossbred progeny" is empty')
            assert d.find_element(By.ID, 'state').text == \
                'Not saved: "Litter size (lambs per lambing), Crossbred progeny" is empty'
            if len(sys.argv) > 3:
                d.save_screenshot(sys.argv[3])
            retype(litter, was)
            wait(lambda _: not d.find_element(By.ID, 'fieldnote').is_displayed())
            d.execute_script('arguments[0].scrollIntoView({block: "center"})', u)
            retype(u, '0,05')
            beside(u, 'decimal comma')
            retype(u, '0.05')
            wait(lambda _: not d.find_element(By.ID, 'fieldnote').is_displayed())

            # Every table fits its box, or scrolls inside it with its first
            # column kept in view.
            assert d.execute_script(
                'return [...document.querySelectorAll(".tablebox")].every((b) => {'
                '  if (b.scrollWidth <= b.clientWidth) return true;'
                '  const th = b.querySelector("tbody th"); b.scrollLeft = 40;'
                '  const kept = Math.abs(th.getBoundingClientRect().left - b.getBoundingClientRect().left) < 2;'
                '  b.scrollLeft = 0; return kept; })')
            # A tap opens a chart at its own width, far wider than the phone.
            chartbox = d.find_element(By.ID, 'weightschart')
            d.execute_script('arguments[0].scrollIntoView()', chartbox)
            chartbox.click()
            view = d.find_element(By.ID, 'chartview')
            wait(lambda _: view.is_displayed())
            wide = d.execute_script('const s = document.querySelector("#chartbody svg");'
                                    'return [s.getBoundingClientRect().width, +s.getAttribute("width")]')
            assert wide[0] == wide[1] and wide[0] > 360, wide
            d.find_element(By.ID, 'chartbody').click()
            wait(lambda _: not view.is_displayed())
            d.execute_cdp_cmd('Emulation.clearDeviceMetricsOverride', {})

            # A save over a file that another program changed: both ways out.
            def conflict(u, touched):
                """Types u, lets another program change TOUCHED, and saves."""
                retype(field('INPUTVRD01A.TXT', 'u'), u)
                wait(lambda _: 'INPUTVRD01A.TXT' in d.find_element(By.ID, 'state').text)
                with open(os.path.join(two, touched), 'ab') as f:
                    f.write(b'\n')
                d.find_element(By.ID, 'save').click()
                wait(lambda _: d.find_element(By.ID, 'overwrite').is_displayed())

            original2 = open(os.path.join(two, 'INPUTVRD01A.TXT'), 'rb').read()
            conflict('0.07', 'INPUTVRD01A.TXT')
            assert d.find_element(By.ID, 'reload').is_displayed()
            d.find_element(By.ID, 'overwrite').click()
            wait(lambda _: d.find_element(By.ID, 'state').text == 'Saved INPUTVRD01A.TXT')
            assert open(os.path.join(two, 'INPUTVRD01A.TXT'), 'rb').read() == original2.replace(b'0.05', b'0.07', 1)
            # The other way out keeps the edits of the files nobody else touched.
            conflict('0.08', 'INPUTVRD03.TXT')
            d.find_element(By.ID, 'reload').click()
            wait(lambda _: not d.find_element(By.ID, 'notice').is_displayed())
            wait(lambda _: field('INPUTVRD01A.TXT', 'u').get_attribute('value') == '0.08')
            wait(lambda _: d.find_element(By.ID, 'state').text == 'Not saved: INPUTVRD01A.TXT')
        finally:
            second.send_signal(signal.SIGINT)
            second.wait(timeout=20)

        # An empty folder: its note, and no claim that anything was saved.
        empty = os.path.join(work, 'empty')
        os.makedirs(empty)
        third = subprocess.Popen([kalp, 'serve', '-C', empty], stdout=subprocess.PIPE, text=True)
        try:
            d.get(third.stdout.readline().strip())
            wait(lambda _: d.execute_script('return window.kalpEditor && window.kalpEditor.answers') >= 1)
            assert d.find_element(By.ID, 'newfolder').is_displayed()
            assert 'saved' not in d.find_element(By.ID, 'state').text.lower()
            # Only the way to a first scenario: no form, no results, nothing
            # to save or run.
            for shown in ('form', 'results', 'save', 'run', 'state'):
                assert not d.find_element(By.ID, shown).is_displayed(), shown
            d.find_element(By.ID, 'init').click()
            wait(lambda _: d.find_element(By.ID, 'state').text.startswith('Wrote a first scenario: '))
            written = d.find_element(By.ID, 'state').text[len('Wrote a first scenario: '):].split(', ')
            assert sorted(written) == sorted(os.listdir(empty)), (written, os.listdir(empty))
            assert d.find_element(By.ID, 'form').is_displayed() and not d.find_element(By.ID, 'newfolder').is_displayed()
        finally:
            third.send_signal(signal.SIGINT)
            third.wait(timeout=20)
    finally:
        d.quit()
        server.send_signal(signal.SIGINT)
        status = server.wait(timeout=20)
        shutil.rmtree(work, ignore_errors=True)
    assert status == 0, 'kalp serve ended with %d after Ctrl-C' % status
    print('editor: all checks passed')


if __name__ == '__main__':
    main()
