#!/usr/bin/env python3
"""The selection index in the editor's API, as the page uses it: kalp serve
on a copy of the worked example gives the rows of the index files and the
index with the very numbers of kalp index --csv; an edit recomputes it; a
value that no file may hold is named and never saved; a request that names
a file, a column or more rows than the editor takes is refused; a file
changed on the disk meanwhile stops the save; a trait removed goes with
its correlations and records, and kalp index runs on what was saved; the
first index files are refused where any stands.

index_api_test.py KALP SOURCE_DIR (KALP may be a wrapper such as
.ci/wine-kalp)."""
import csv
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from serve_api_test import Api  # noqa: E402


def example(source, into):
    shutil.copytree(os.path.join(source, 'examples', 'index'), into)
    template = os.path.join(source, 'share', 'TEXTVRD_OUT.TXT')
    if os.path.exists(template):
        shutil.copy(template, into)


def filed(kalp, folder, work):
    """The tables of kalp index --csv on a copy of FOLDER, by the page's
    names, and its chart."""
    check = os.path.join(work, 'check')
    shutil.rmtree(check, True)
    shutil.copytree(folder, check)
    subprocess.run([kalp, 'index', '-C', check, '--csv', '--plot'], check=True, stdout=subprocess.DEVNULL)
    out = {}
    for table, name in (('index', 'kalp-index.csv'), ('sources', 'kalp-index-sources.csv'),
                        ('sensitivity', 'kalp-index-sensitivity.csv'), ('response', 'kalp-index-response.csv'),
                        ('weights', 'kalp-index-weights.csv')):
        with open(os.path.join(check, name), encoding='utf-8', newline='') as f:
            rows = list(csv.reader(f))
        out[table] = {'columns': rows[0], 'rows': rows[1:], 'total': len(rows) - 1}
    with open(os.path.join(check, 'kalp-index.svg'), encoding='utf-8', newline='') as f:
        return out, f.read()


def main():
    kalp, source = os.path.abspath(sys.argv[1]), sys.argv[2]
    work = tempfile.mkdtemp(prefix='kalp-index-api-')
    folder = os.path.join(work, 'index')
    example(source, folder)
    server = subprocess.Popen([kalp, 'serve', '-C', folder], stdout=subprocess.PIPE, text=True)
    try:
        api = Api(server.stdout.readline().strip())
        s = api.json('GET', '/api/scenario')
        ix = s['index']
        assert ix['present'] and 'stop' not in ix, ix.get('stop')
        traits = ix['files']['index-traits.csv']
        assert [r['key'] for r in traits['rows']] == ['1', '2', '4', '8', '9', '11', '24', 'fat_depth']
        comps = [c['key'] for c in ix['layout']['components']]
        assert comps[:3] == ['1 direct', '1 maternal', '2 direct'] and '8 maternal' in comps and '8 direct' not in comps
        # A ram has no record of its own of a trait of the ewe.
        assert 'own' not in ix['layout']['allowed']['8']['rams'] and 'own' in ix['layout']['allowed']['8']['ewes']
        assert (ix['result']['tables'], ix['result']['chart']) == filed(kalp, folder, work)

        def compute(index, version=None):
            return api.json('POST', '/api/compute', {'version': version or s['version'], 'values': {}, 'index': index})

        # An edit: the index on the page's rows, the file called changed.
        more = {'index-sources.csv': {'rows': [{'path': 'rams', 'source': 'progeny', 'trait': '11', 'records': '40'}]}}
        a = compute(more)
        assert a['changed'] == ['index-sources.csv'], a['changed']
        response = {r[0]: r for r in a['index']['result']['tables']['index']['rows']}
        before = {r[0]: r for r in ix['result']['tables']['index']['rows']}
        assert float(response['rams'][3]) > float(before['rams'][3])  # more accurate
        assert response['ewes'] == before['ewes']

        # A value refused by the reader names its cell; one no file may hold
        # is named and never saved.
        a = compute({'index-traits.csv': {'rows': [{'trait': '4', 'h2': '1.3'}]}})
        stop = a['index']['stop']
        assert (stop['file'], stop['key'], stop['column']) == ('index-traits.csv', '4', 'h2'), stop
        assert stop['advice'].startswith('Correct "h2" of trait 4'), stop['advice']
        bad = {'index-traits.csv': {'rows': [{'trait': '4', 'sd': '6\n0'}]}}
        stop = compute(bad)['index']['stop']
        assert stop['invalid'] and (stop['key'], stop['column']) == ('4', 'sd'), stop
        original = open(os.path.join(folder, 'index-traits.csv'), 'rb').read()
        status, text = api.ask('POST', '/api/save', {'version': s['version'], 'values': {}, 'index': bad})
        assert status == 422 and b'Nothing was saved' in text, (status, text)
        assert open(os.path.join(folder, 'index-traits.csv'), 'rb').read() == original

        # Requests the page never makes.
        for index, why in (({'index-desired.csv': {'rows': []}}, b'no table'),
                           ({'index-traits.csv': {'rows': [{'trait': '4', 'hx': '1'}]}}, b'no column'),
                           ({'index-traits.csv': {'removed': ['x'] * 10001}}, b'more than'),
                           ({'index-traits.csv': {'rows': [{'trait': 4}]}}, b'short text'),
                           ([], b'file by file')):
            status, text = api.ask('POST', '/api/compute', {'version': s['version'], 'values': {}, 'index': index})
            assert status == 400 and why in text, (index if len(str(index)) < 80 else why, status, text[:200])

        # A file changed on the disk meanwhile stops the save, named.
        path = os.path.join(folder, 'index-selection.csv')
        selection = open(path, 'rb').read()
        with open(path, 'ab') as f:
            f.write(b'\n')
        status, text = api.ask('POST', '/api/save', {'version': s['version'], 'values': {}, 'index': more})
        assert status == 409 and b'index-selection.csv' in text, (status, text)
        with open(path, 'wb') as f:
            f.write(selection)

        # A trait removed with its correlations and records: saved, and kalp
        # index runs on the saved files with the numbers the page showed.
        s = api.json('GET', '/api/scenario')
        rows = {f: s['index']['files'][f]['rows'] for f in ('index-correlations.csv', 'index-sources.csv')}
        gone = {'index-traits.csv': {'removed': ['9']}}
        for f, list_ in rows.items():
            keys = [r['key'] for r in list_ if '9' in (r['cells'].get('trait'), r['cells'].get('trait_a'),
                                                         r['cells'].get('trait_b'))]
            assert keys, f
            gone[f] = {'removed': keys}
        shown = compute(gone, s['version'])['index']['result']
        shown = (shown['tables'], shown['chart'])
        saved = api.json('POST', '/api/save', {'version': s['version'], 'values': {}, 'index': gone})
        assert sorted(saved['saved']) == ['index-correlations.csv', 'index-sources.csv', 'index-traits.csv'], saved
        text = open(os.path.join(folder, 'index-traits.csv'), encoding='utf-8').read()
        assert '\n9,' not in text and '\n11,' in text
        assert shown == filed(kalp, folder, work)
        assert api.json('GET', '/api/scenario')['index']['result']['tables'] == shown[0]

        # The first index files only where none stands.
        status, text = api.ask('POST', '/api/indexinit', {})
        assert status == 409 and b'index-traits.csv already' in text, (status, text)
    finally:
        server.terminate()
        server.wait()
    shutil.rmtree(work, True)
    print('ok')


if __name__ == '__main__':
    main()
