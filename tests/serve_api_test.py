#!/usr/bin/env python3
"""The editor's API from outside, as the page uses it: kalp serve on a copy
of the one-system example answers only its own address and token (named
once), reports a mistyped value on its field, refuses an emptied field and
a value name it does not know, computes, saves, runs and serves the files
of the run (no range past their end), shows a run's lines on standard
error, refuses an oversized body, and ends on Ctrl-C at once, a connection
kept open by the client or not, with exit 0 and no temporary file left.

serve_api_test.py KALP SOURCE_DIR [REFERENCE_KALP]

SOURCE_DIR is the source tree or an unpacked release archive.
KALP may be a wrapper (.ci/wine-kalp runs kalp.exe under Wine). With
REFERENCE_KALP, the files the run wrote must have the same bytes as that
program's on the same saved inputs."""
import http.client
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time


def example(source, into):
    os.makedirs(into)
    for f in os.listdir(os.path.join(source, 'examples', 'one-system')):
        shutil.copy(os.path.join(source, 'examples', 'one-system', f), into)
    # The source tree keeps the template apart; an unpacked release has it
    # in every example.
    template = os.path.join(source, 'share', 'TEXTVRD_OUT.TXT')
    if os.path.exists(template):
        shutil.copy(template, into)


class Api:
    def __init__(self, url):
        m = re.fullmatch(r'http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]{48})', url)
        assert m, url
        self.port, self.token = int(m.group(1)), m.group(2)

    def ask(self, method, path, body=None, headers=None, raw=None):
        c = http.client.HTTPConnection('127.0.0.1', self.port, timeout=30)
        h = {'X-KALP-Token': self.token}
        h.update(headers or {})
        data = raw if raw is not None else (json.dumps(body).encode() if body is not None else None)
        if data is not None:
            h['Content-Type'] = 'application/json'
        c.request(method, path, body=data, headers=h)
        r = c.getresponse()
        text = r.read()
        c.close()
        return r.status, text

    def json(self, method, path, body=None):
        status, text = self.ask(method, path, body)
        assert status == 200, (path, status, text[:300])
        return json.loads(text)


def main():
    kalp, source = os.path.abspath(sys.argv[1]), sys.argv[2]
    reference = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None
    work = tempfile.mkdtemp(prefix='kalp-api-')
    folder = os.path.join(work, 'scenario')
    example(source, folder)
    server = subprocess.Popen([kalp, 'serve', '-C', folder], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True)
    try:
        api = Api(server.stdout.readline().strip())

        # Only its own address, only with its token.
        for headers, token in (({'Host': 'evil.example:%d' % api.port}, True), ({}, False)):
            if not token:
                headers = {'X-KALP-Token': 'f' * 48}
            status, _ = api.ask('GET', '/api/scenario', headers=headers)
            assert status == 403, (headers, status)

        # Its address named once.
        c = http.client.HTTPConnection('127.0.0.1', api.port, timeout=30)
        c.putrequest('GET', '/api/scenario', skip_host=True)
        for host in ('127.0.0.1:%d' % api.port, 'evil.example'):
            c.putheader('Host', host)
        c.putheader('X-KALP-Token', api.token)
        c.endheaders()
        r = c.getresponse()
        assert r.status == 400, r.status
        assert json.loads(r.read())['error'] == 'The request names its host more than once.'
        c.close()

        scenario = api.json('GET', '/api/scenario')
        assert scenario['result']['complete'], scenario['result']
        assert scenario['reached'] == ['PARAVRD.TXT', 'INPUTVRD01A.TXT', 'INPUTVRD02.TXT'], scenario['reached']
        version = scenario['version']

        # A decimal comma stops at its field with the run's own report.
        bad = api.json('POST', '/api/compute', {'version': version, 'values': {'INPUTVRD01A.TXT': {'u': '0,08'}}})
        stop = bad['result']['stop']
        assert (stop['file'], stop['value']) == ('INPUTVRD01A.TXT', 'u'), stop
        assert 'decimal comma' in stop['report'], stop

        # An emptied field is refused, named by its label; Save writes nothing.
        empty = {'version': version, 'values': {'INPUTVRD01A.TXT': {'u': ''}}}
        invalid = api.json('POST', '/api/compute', empty)['invalid']
        assert (invalid['label'], invalid['why']) == ('Discount rate per year', 'is empty'), invalid
        status, text = api.ask('POST', '/api/save', empty)
        assert status == 422 and json.loads(text)['invalid'] == invalid, (status, text)
        # A value that no file holds is a bad request.
        status, text = api.ask('POST', '/api/compute', {'version': version,
                                                        'values': {'INPUTVRD01A.TXT': {'evpA[36][1]': '1'}}})
        assert status == 400, (status, text)

        good = api.json('POST', '/api/compute', {'version': version, 'values': {'INPUTVRD01A.TXT': {'u': '0.08'}}})
        assert good['result']['complete'], good['result']
        # Unstandardised: the gene flow's chart alone.
        charts = good['result']['charts']
        assert '<svg' in charts['geneflow'] and charts['weights'] is None, str(charts)[:200]

        # Over the body limit: refused before it is read.
        status, _ = api.ask('POST', '/api/compute', raw=b' ' * (2 << 20))
        assert status == 413, status

        # Save changes the one value and keeps the other bytes.
        before = open(os.path.join(folder, 'INPUTVRD01A.TXT'), 'rb').read()
        saved = api.json('POST', '/api/save', {'version': version, 'values': {'INPUTVRD01A.TXT': {'u': '0.08'}}})
        assert saved['saved'] == ['INPUTVRD01A.TXT'], saved
        after = open(os.path.join(folder, 'INPUTVRD01A.TXT'), 'rb').read()
        assert after != before and after.replace(b'0.08', b'0.05', 1) == before, (before[:200], after[:200])

        # Run: the console as it comes, then the files it wrote.
        state = api.json('POST', '/api/run', {})
        deadline = time.time() + 60
        while state['running']:
            assert time.time() < deadline, 'the run did not end'
            time.sleep(0.2)
            state = api.json('GET', '/api/run')
        assert state['status'] == 0, state
        assert 'Thank you for using the program KALP.' in state['console'], state['console']
        names = [f['name'] for f in state['files']]
        assert names[:2] == ['resgfps01', 'CHECKVRD'], names
        for name in names:
            status, body = api.ask('GET', '/files/%s?token=%s' % (name, api.token))
            assert status == 200, (name, status)
            assert body == open(os.path.join(folder, name), 'rb').read(), name
        # A range within the file, and one past its end.
        size = os.path.getsize(os.path.join(folder, 'resgfps01'))
        status, body = api.ask('GET', '/files/resgfps01', headers={'Range': 'bytes=0-9'})
        assert status == 206 and body == open(os.path.join(folder, 'resgfps01'), 'rb').read()[:10], status
        status, body = api.ask('GET', '/files/resgfps01', headers={'Range': 'bytes=999999999-'})
        assert status == 416, status
        assert json.loads(body)['error'].endswith('which holds %d bytes.' % size), body

        if reference:
            again = os.path.join(work, 'reference')
            shutil.copytree(folder, again)
            for name in names:
                os.remove(os.path.join(again, name))
            subprocess.run([reference, '--csv', '--json', '--plot'], cwd=again, check=True,
                           stdout=subprocess.DEVNULL)
            for name in names:
                mine = open(os.path.join(folder, name), 'rb').read()
                theirs = open(os.path.join(again, name), 'rb').read()
                assert mine == theirs, '%s differs from the reference program\'s' % name

        # A run that stops: the line it writes on standard error, which says
        # where the fault lies, is in its console after the report.
        version = saved['version']
        api.json('POST', '/api/save', {'version': version, 'values': {'INPUTVRD01A.TXT': {'u': '0,08'}}})
        state = api.json('POST', '/api/run', {})
        while state['running']:
            time.sleep(0.2)
            state = api.json('GET', '/api/run')
        assert state['status'] == 1, state
        line = 'kalp: INPUTVRD01A.TXT, line 1 holds that value\n'
        assert [p['text'] for p in state['parts'] if p['stream'] == 'stderr'] == [line], state['parts']
        assert state['console'].index(line) > state['console'].index('decimal comma'), state['console']

        # A browser keeps its connection open between requests: Ctrl-C must
        # not wait for it.
        idle = http.client.HTTPConnection('127.0.0.1', api.port, timeout=30)
        idle.request('GET', '/api/run', headers={'X-KALP-Token': api.token})
        idle.getresponse().read()
    finally:
        server.send_signal(signal.SIGINT)
        try:
            status = server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            server.kill()
            raise
        errors = server.stderr.read()
    assert status == 0 and errors == '', 'kalp serve ended with %d after Ctrl-C: %s' % (status, errors)
    left = [f for f in os.listdir(folder) if f.startswith('.kalp')]
    assert not left, left
    shutil.rmtree(work, ignore_errors=True)
    print('serve api: all checks passed')


if __name__ == '__main__':
    main()
