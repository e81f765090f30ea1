#!/usr/bin/env python3
"""The selection index in the editor, in headless Chromium: a folder
without index files gets the first set from its button; on files as a
spreadsheet writes them (semicolons, decimal commas, CRLF, comments, blank
lines, columns in an order of their own) a refused value marks its cell
and is called not saved until it is corrected, a correlation triangle that
is not positive definite names the components and offers the index of the
bent matrix, the keyboard moves between the cells, Save changes only the
bytes of the cells that changed, and the numbers of the page are those of
kalp index --csv on the saved folder; at 360 pixels the grids scroll inside
their section.

index_test.py KALP SOURCE_DIR [SCREENSHOTS_DIR]; exit status 77 (skipped) without Chromium,
its driver or Selenium."""
import csv
import io
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from editor_test import browser, example  # noqa: E402

TRAITS = ('# Parameters of the flock, from the 2024 review\r\n'
          'trait;h2;sd;h2_maternal;r_direct_maternal;c2;repeatability\r\n'
          '\r\n'
          '1;0,20;0,6;0,15;-0,20;0,10;\r\n'
          '2;0,20;40;0,12;-0,25;0,12;\r\n'
          '4;0,30;60;;;0,05;\r\n'
          '8;0,10;0,65;;;;0,15\r\n'
          '9;0,30;1,0;;;;\r\n'
          '11;0,35;3,0;;;;\r\n'
          '24;0,03;35;0,05;0;0,10;\r\n'
          'fat_depth;0,35;1,2;;;;\r\n'
          '\r\n'
          '# fat depth by ultrasound\r\n')


def served(kalp, folder):
    server = subprocess.Popen([kalp, 'serve', '-C', folder], stdout=subprocess.PIPE, text=True)
    url = server.stdout.readline().strip()
    assert re.fullmatch(r'http://127\.0\.0\.1:\d+/\?token=[0-9a-f]{48}', url), url
    return server, url


def rows(path):
    with open(path, encoding='utf-8', newline='') as f:
        return list(csv.reader(f))


def main():
    kalp, source = sys.argv[1], sys.argv[2]
    d = browser()
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import WebDriverWait
    wait = WebDriverWait(d, 20).until
    work = tempfile.mkdtemp(prefix='kalp-index-')

    def answered(n=1):
        wait(lambda _: d.execute_script('return window.kalpEditor && window.kalpEditor.answers') >= n)

    def state():
        return d.find_element(By.ID, 'state').text

    # A folder without index files: the button writes the first set, and
    # the tables and the index follow.
    fresh = os.path.join(work, 'fresh')
    example(source, 'one-system', fresh)
    server, url = served(kalp, fresh)
    try:
        d.get(url)
        answered()
        assert d.find_element(By.ID, 'indexnew').is_displayed()
        assert not d.find_element(By.ID, 'indexgrid').is_displayed()
        d.find_element(By.ID, 'indexinit').click()
        wait(lambda _: state().startswith('Wrote first index files'))
        for name in ('index-traits.csv', 'index-correlations.csv', 'index-sources.csv'):
            with open(os.path.join(fresh, name), 'rb') as a, open(os.path.join(source, 'examples', 'index', name), 'rb') as b:
                assert a.read() == b.read(), name
        wait(lambda _: d.find_elements(By.CSS_SELECTOR, '#indexout table[data-table="index"] td'))
        assert d.find_element(By.ID, 'indexgrid').is_displayed()
        # Written once: a second press is refused by the server.
        assert d.execute_script(
            "return fetch('/api/indexinit', {method: 'POST', headers: {'X-KALP-Token': new URLSearchParams("
            "location.search).get('token'), 'Content-Type': 'application/json'}, body: '{}'})"
            ".then((r) => r.status)") == 409
    finally:
        server.terminate()
        server.wait()

    # The worked example as a spreadsheet user keeps it.
    folder = os.path.join(work, 'index')
    example(source, 'index', folder)
    with open(os.path.join(folder, 'index-traits.csv'), 'w', encoding='utf-8', newline='') as f:
        f.write(TRAITS)
    before = {n: open(os.path.join(folder, n), 'rb').read() for n in os.listdir(folder)}
    server, url = served(kalp, folder)
    try:
        d.get(url)
        answered()
        wait(lambda _: d.find_elements(By.CSS_SELECTOR, '#indexout table[data-table="index"] td'))

        def cellof(file, key, column):
            return d.find_element(By.CSS_SELECTOR, '#indextables [data-ifile="%s"][data-key="%s"][data-col="%s"]'
                                  % (file, key, column))

        # A value typed, and the page's answer to its last key: those to
        # its first keys may show a value on its way there.
        def retype(el, text):
            el.send_keys(Keys.CONTROL, 'a')
            el.send_keys(text)
            wait(lambda _: d.execute_script('const s = window.kalpEditor; return !(s.inflight || s.timer || s.waiting)'))

        note = d.find_element(By.ID, 'indexnote')
        shots = sys.argv[3] if len(sys.argv) > 3 else None
        if shots:
            d.set_window_size(1280, 900)
            d.execute_script('document.getElementById("indexgrid").scrollIntoView()')
            d.save_screenshot(os.path.join(shots, 'kalp-editor-index.png'))
            d.set_window_size(1400, 1000)
        h2 = cellof('index-traits.csv', '2', 'h2')
        assert h2.text == '0,20'

        # A value refused: its cell marked, the report of kalp index beside
        # the tables, nothing called saved; corrected, all of it goes.
        retype(h2, '0,2x')
        wait(lambda _: note.is_displayed() and h2.get_attribute('aria-invalid') == 'true')
        said = d.find_element(By.ID, 'indexnotereport').text
        assert 'index-traits.csv' in said and '0,2x' in said, said
        assert d.find_element(By.ID, 'indexnoteadvice').text.startswith('Correct "h2" of trait 2'), \
            d.find_element(By.ID, 'indexnoteadvice').text
        assert state() == 'Not saved: index-traits.csv', state()
        assert d.find_element(By.ID, 'indexstale').is_displayed()
        retype(h2, '0,25')
        wait(lambda _: not note.is_displayed() and h2.get_attribute('aria-invalid') is None)
        assert not d.find_element(By.ID, 'indexstale').is_displayed()

        # Correlations that are not possible together: the components named,
        # their cells marked, the bent matrix to look at, nothing bent in
        # the files.
        g = 'index-correlations.csv'
        a = cellof(g, 'genetic|11 direct|9 direct', 'value')
        b = cellof(g, 'genetic|9 direct|fat_depth direct', 'value')
        retype(a, '-0.99')
        retype(b, '0.99')
        wait(lambda _: note.is_displayed() and 'not positive semidefinite' in d.find_element(By.ID, 'indexnotereport').text)
        assert '9 direct; 11 direct; fat_depth direct' in d.find_element(By.ID, 'indexnotereport').text.replace('\n', ' ')
        assert d.find_element(By.ID, 'indexbent').is_displayed()
        assert a.get_attribute('aria-invalid') == 'true' and b.get_attribute('aria-invalid') == 'true'
        moved = d.find_element(By.ID, 'indexbentlist').text
        assert '9 direct and 11 direct: -0.99 → ' in moved, moved
        d.find_element(By.ID, 'indexbentshow').click()
        wait(lambda _: d.find_element(By.CSS_SELECTOR, '#indexbentbody table[data-table="index"]').is_displayed())
        assert state() == 'Not saved: index-correlations.csv, index-traits.csv', state()
        # Back to what the file holds for one; the other changed a little.
        retype(a, '-0.60')
        retype(b, '0.75')
        wait(lambda _: not note.is_displayed() and not d.find_element(By.ID, 'indexbent').is_displayed())

        # The keyboard: arrows move between the cells of a grid, Enter takes
        # the value and goes down.
        sd1 = cellof('index-traits.csv', '1', 'sd')
        d.execute_script('arguments[0].scrollIntoView({block: "center"}); arguments[0].focus()', sd1)
        sd1.send_keys(Keys.ARROW_DOWN)
        assert d.switch_to.active_element == cellof('index-traits.csv', '2', 'sd')
        d.switch_to.active_element.send_keys(Keys.ARROW_RIGHT)
        assert d.switch_to.active_element == cellof('index-traits.csv', '2', 'h2')
        d.switch_to.active_element.send_keys(Keys.ARROW_UP)
        assert d.switch_to.active_element == cellof('index-traits.csv', '1', 'h2')
        records = cellof('index-sources.csv', 'rams|halfsibs|24', 'records')
        retype(records, '80')
        records.send_keys(Keys.ENTER)
        assert d.switch_to.active_element == cellof('index-sources.csv', 'rams|halfsibs|fat_depth', 'records'), \
            d.switch_to.active_element.get_attribute('data-key')

        # Save writes the three files that changed, each with only the bytes
        # of its changed cells.
        wait(lambda _: state().startswith('Not saved: index-correlations.csv, index-sources.csv, index-traits.csv'))
        d.find_element(By.ID, 'save').click()
        wait(lambda _: state() == 'Saved index-correlations.csv, index-sources.csv, index-traits.csv')
        after = {n: open(os.path.join(folder, n), 'rb').read() for n in before}
        want = dict(before)
        want['index-traits.csv'] = before['index-traits.csv'].replace(b'2;0,20;40', b'2;0,25;40')
        want['index-correlations.csv'] = before['index-correlations.csv'].replace(
            b'genetic,9,direct,fat_depth,direct,0.70', b'genetic,9,direct,fat_depth,direct,0.75')
        want['index-sources.csv'] = before['index-sources.csv'].replace(b'rams,halfsibs,24,60', b'rams,halfsibs,24,80')
        for n in want:
            assert after[n] == want[n], (n, after[n][:400])
        assert d.find_element(By.ID, 'save').get_attribute('class') == ''

        # The numbers of the page are those of kalp index --csv on the saved
        # folder.
        check = os.path.join(work, 'check')
        shutil.copytree(folder, check)
        subprocess.run([kalp, 'index', '-C', check, '--csv'], check=True, stdout=subprocess.DEVNULL)
        # A long table shows its first rows; all of them on request.
        def pagerows(table):
            return d.execute_script(
                "return [...document.querySelectorAll('#indexout table[data-table=\"' + arguments[0] + '\"] tbody tr')]"
                ".map((tr) => [...tr.querySelectorAll('td')].map((td) => [td.dataset.col, td.dataset.value]))", table)
        assert len(pagerows('sources')) == 12
        assert 'null' not in d.find_element(By.ID, 'indexout').text.split()
        for b in d.find_elements(By.CSS_SELECTOR, '#indexout button.allrows'):
            d.execute_script('arguments[0].click()', b)
        for table, name in (('index', 'kalp-index.csv'), ('sources', 'kalp-index-sources.csv'),
                            ('sensitivity', 'kalp-index-sensitivity.csv'), ('response', 'kalp-index-response.csv')):
            filed = rows(os.path.join(check, name))
            wait(lambda _: len(pagerows(table)) == len(filed) - 1)
            page = pagerows(table)
            head = filed[0]
            for shown, row in zip(page, filed[1:]):
                for col, text in shown:
                    if col == 'trait' and row[head.index('trait')] == '':
                        assert text == row[head.index('name')], (table, text, row)
                    else:
                        assert text == row[head.index(col)], (table, col, text, row)

        # A phone: the page does not scroll sideways; a wide grid scrolls
        # inside its own box.
        d.set_window_size(360, 800)
        wait(lambda _: d.execute_script('return document.documentElement.scrollWidth') <= 360)
        grid = d.find_element(By.CSS_SELECTOR, '.igridbox table[data-grid="genetic"]').find_element(By.XPATH, '..')
        assert d.execute_script('return arguments[0].scrollWidth > arguments[0].clientWidth', grid)
        assert d.execute_script('return arguments[0].getBoundingClientRect().right', grid) <= 360
        # A value refused there: its report stands right above its table,
        # in view with the cell.
        litter = cellof(g, 'litter|1|24', 'value')
        d.execute_script('arguments[0].scrollIntoView({block: "center"})', litter)
        retype(litter, '0.2.0')
        wait(lambda _: note.is_displayed() and litter.get_attribute('aria-invalid') == 'true')
        d.execute_script('arguments[0].scrollIntoView({block: "center"})', litter)
        box = d.execute_script('const a = arguments[0].getBoundingClientRect(), b = arguments[1].getBoundingClientRect();'
                               'return [a.top, b.bottom, innerHeight]', note, litter)
        assert 0 <= box[0] < box[1] <= box[2], box
        if shots:
            d.save_screenshot(os.path.join(shots, 'kalp-editor-index-360.png'))
        retype(litter, '0.2')
        wait(lambda _: not note.is_displayed())
    finally:
        server.terminate()
        server.wait()
        d.quit()
    shutil.rmtree(work, True)
    print('ok')


if __name__ == '__main__':
    main()
