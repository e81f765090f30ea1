#!/usr/bin/env python3
"""The editor of kalp serve under abuse: its memory and the page's answer
time while clients send too much, too slowly, too often or nothing at all.

editor_abuse.py BUILD_DIR

Starts BUILD_DIR/kalp serve on a copy of examples/one-system and runs each
probe against it on 127.0.0.1, printing what the server answered, the
server's resident memory above its idle size at its peak (VmHWM of
/proc/PID/status), and the time of the page's POST /api/compute while 16
clients trickle their requests and 200 connections stay idle."""
import gzip
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')


def status_of(pid, field):
    with open('/proc/%d/status' % pid) as f:
        for line in f:
            if line.startswith(field + ':'):
                return int(line.split()[1]) // 1024
    return 0


class Server:
    def __init__(self, build):
        self.dir = tempfile.mkdtemp(prefix='kalp-abuse-')
        for name in os.listdir(os.path.join(ROOT, 'examples', 'one-system')):
            shutil.copy(os.path.join(ROOT, 'examples', 'one-system', name), self.dir)
        shutil.copy(os.path.join(ROOT, 'share', 'TEXTVRD_OUT.TXT'), self.dir)
        self.proc = subprocess.Popen([os.path.join(build, 'kalp'), 'serve', '-C', self.dir],
                                     stdout=subprocess.PIPE, text=True)
        url = self.proc.stdout.readline().strip()
        self.port = int(url.split(':')[2].split('/')[0])
        self.token = url.split('token=')[1]
        self.host = '127.0.0.1:%d' % self.port

    def close(self):
        self.proc.terminate()
        self.proc.wait(10)
        shutil.rmtree(self.dir, ignore_errors=True)

    def connect(self):
        s = socket.create_connection(('127.0.0.1', self.port), timeout=30)
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        return s

    def head(self, method, path, headers=(), token=True):
        lines = ['%s %s HTTP/1.1' % (method, path), 'Host: ' + self.host]
        if token:
            lines.append('X-KALP-Token: ' + self.token)
        lines += list(headers)
        return ('\r\n'.join(lines) + '\r\n\r\n').encode()


def answer(s, limit=30):
    """The status line of what the server sent, '' for nothing and 'reset'."""
    s.settimeout(limit)
    data = b''
    try:
        while b'\r\n' not in data:
            got = s.recv(65536)
            if not got:
                break
            data += got
    except ConnectionResetError:
        return 'reset' if not data else data.split(b'\r\n')[0].decode()
    except socket.timeout:
        return 'no answer'
    return data.split(b'\r\n')[0].decode()


def send_all(s, data):
    """Sends until done or the server stops taking it; the bytes sent."""
    sent = 0
    s.settimeout(5)
    try:
        for at in range(0, len(data), 1 << 16):
            s.sendall(data[at:at + (1 << 16)])
            sent += min(1 << 16, len(data) - at)
    except (BrokenPipeError, ConnectionResetError, socket.timeout):
        pass
    return sent


def chunked(server, size):
    s = server.connect()
    s.sendall(server.head('POST', '/api/compute', ['Transfer-Encoding: chunked']))
    piece = b'%x\r\n%s\r\n' % (1 << 16, b' ' * (1 << 16))
    sent = 0
    s.settimeout(5)
    try:
        while sent < size:
            s.sendall(piece)
            sent += 1 << 16
    except (BrokenPipeError, ConnectionResetError, socket.timeout):
        pass
    return '%d MB chunked, %d KB taken: %s' % (size >> 20, sent >> 10, answer(s))


def compressed(server):
    body = gzip.compress(b' ' * (100 << 20))
    s = server.connect()
    s.sendall(server.head('POST', '/api/compute', ['Content-Encoding: gzip', 'Content-Length: %d' % len(body)]))
    send_all(s, body)
    return '%d KB gzip unpacking to 100 MB: %s' % (len(body) >> 10, answer(s))


def headerflood(server):
    results = []

    def one():
        s = server.connect()
        s.sendall(b'GET / HTTP/1.1\r\nHost: ' + server.host.encode() + b'\r\n')
        line = b'X-Flood: ' + b'a' * 1000 + b'\r\n'
        sent = send_all(s, line * (45 * 1024))
        results.append('%s after %d KB' % (answer(s), sent >> 10))

    threads = [threading.Thread(target=one) for _ in range(3)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return '3 x 45 MB of header lines without the token: ' + ', '.join(results)


def nolength(server):
    s = server.connect()
    start = time.monotonic()
    s.sendall(server.head('POST', '/api/compute'))
    got = answer(s)
    return 'POST without a length: %s after %.0f ms' % (got, (time.monotonic() - start) * 1000)


def compute(server, version):
    body = b'{"version": %d, "values": {"INPUTVRD01A.TXT": {"u": "0.06"}}}' % version
    s = server.connect()
    start = time.monotonic()
    s.sendall(server.head('POST', '/api/compute', ['Content-Type: application/json',
                                                   'Content-Length: %d' % len(body)]) + body)
    got = answer(s, 10)
    s.close()
    return got, time.monotonic() - start


def crowded(server):
    stop = threading.Event()
    slow = []

    def trickle():
        s = server.connect()
        slow.append(s)
        request = server.head('GET', '/api/scenario')
        try:
            for b in request:
                if stop.wait(0.5):
                    break
                s.send(bytes([b]))
        except OSError:
            pass

    threads = [threading.Thread(target=trickle) for _ in range(16)]
    for t in threads:
        t.start()
    idle = [server.connect() for _ in range(200)]
    time.sleep(0.5)
    times, statuses = [], []
    for _ in range(20):
        got, took = compute(server, 1)
        statuses.append(got.split(' ')[1] if ' ' in got else got)
        times.append(took * 1000)
        time.sleep(0.1)
    stop.set()
    for t in threads:
        t.join()
    for s in idle + slow:
        s.close()
    return ('the page\'s compute with 16 slow and 200 idle clients: %s; median %.1f ms, longest %.1f ms'
            % (','.join(sorted(set(statuses))), statistics.median(times), max(times)))


def atonce(server):
    sockets = [server.connect() for _ in range(200)]
    for s in sockets:
        s.sendall(server.head('GET', '/api/scenario'))
    got = [answer(s) for s in sockets]
    for s in sockets:
        s.close()
    counts = {}
    for g in got:
        key = ' '.join(g.split(' ')[1:2]) or g
        counts[key] = counts.get(key, 0) + 1
    return '200 requests at once: ' + ', '.join('%s x%d' % kv for kv in sorted(counts.items()))


def main():
    build = sys.argv[1]
    server = Server(build)
    try:
        time.sleep(0.5)
        idle = status_of(server.proc.pid, 'VmRSS')
        print('idle: %d MB resident' % idle)
        probes = [lambda: chunked(server, 3 << 20), lambda: chunked(server, 200 << 20),
                  lambda: compressed(server), lambda: headerflood(server), lambda: nolength(server),
                  lambda: crowded(server), lambda: atonce(server)]
        for probe in probes:
            said = probe()
            print('%s; peak so far %+d MB' % (said, status_of(server.proc.pid, 'VmHWM') - idle))
    finally:
        server.close()


if __name__ == '__main__':
    main()
