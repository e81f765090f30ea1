#!/usr/bin/env python3
"""One run per folder across systems: while kalp.exe under Wine works in a
folder, the Linux kalp and a kalp.exe of another Wine prefix (another
server, as another computer that shares the folder) are refused there, and
the other way round; neither removes the first run's unfinished files.

    WINEPREFIX=... tests/windows_lock.py build/kalp .ci/wine-kalp SOURCE_DIR

Run by .ci/windows."""
import os, shutil, subprocess, sys, tempfile, time

SWEEP = ['--sweep', 'evpA:8=1:1000:1', '--sweep', 'evpA:1=1:400:1']


def folder(source):
    d = tempfile.mkdtemp(prefix='kalp-lock-')
    for name in os.listdir(os.path.join(source, 'examples', 'one-system')):
        shutil.copy(os.path.join(source, 'examples', 'one-system', name), d)
    shutil.copy(os.path.join(source, 'share', 'TEXTVRD_OUT.TXT'), d)
    return d


def refused(argv, d, env, who):
    r = subprocess.run(argv + ['--csv'], cwd=d, env=env, capture_output=True, stdin=subprocess.DEVNULL,
                       timeout=300)
    said = r.stdout.decode(errors='replace')
    assert r.returncode == 1 and 'Another KALP run is working in this folder' in said, (who, r.returncode, said)
    print('%s: refused' % who)


def main():
    linux, winekalp, source = [os.path.abspath(a) for a in sys.argv[1:4]]
    other = dict(os.environ, WINEPREFIX=tempfile.mkdtemp(prefix='kalp-other-prefix-'))
    # The other prefix made before the runs: its first start takes a while.
    subprocess.run([winekalp, '--version'], env=other, capture_output=True, stdin=subprocess.DEVNULL, check=True)
    for first, name, seconds in (([winekalp], 'kalp.exe under Wine', [([linux], 'the Linux kalp', os.environ),
                                                                      ([winekalp], 'kalp.exe of another Wine prefix',
                                                                       other)]),
                                 ([linux], 'the Linux kalp', [([winekalp], 'kalp.exe under Wine', os.environ)])):
        d = folder(source)
        work = subprocess.Popen(first + SWEEP, cwd=d, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                stdin=subprocess.DEVNULL)
        unfinished = os.path.join(d, '.kalp-unfinished-kalp-sweep.csv')
        for _ in range(1200):
            if os.path.exists(unfinished):
                break
            time.sleep(0.05)
        assert os.path.exists(unfinished), name + ' did not start its sweep'
        print('%s works in %s' % (name, d))
        for argv, who, env in seconds:
            refused(argv, d, env, who)
            assert work.poll() is not None or os.path.exists(unfinished), who + ' removed the unfinished files'
        assert work.wait(timeout=600) == 0, name + ' did not complete'
        assert not os.path.exists(os.path.join(d, '.kalp-lock')), 'the lock file stayed'
        shutil.rmtree(d)
    subprocess.run([os.path.join(os.path.dirname(os.environ.get('WINE', '/usr/lib/wine/wine64')), 'wineserver'),
                    '-k'], env=other, capture_output=True)
    shutil.rmtree(other['WINEPREFIX'], ignore_errors=True)


if __name__ == '__main__':
    main()
