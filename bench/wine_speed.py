#!/usr/bin/env python3
"""kalp.exe under Wine against the Linux kalp on the same machine, on the
two sweeps of the Windows speed target: 1,000,000 scenarios over two
economic values (examples/one-system) and 1,001 discount rates
(examples/two-systems). Wine's start (kalp.exe --version) is timed apart and
taken off. Prints each time (the least of the repetitions) and the ratio.

    bench/wine_speed.py build/kalp build-windows/kalp.exe [REPEAT] [--small]

--small sweeps 10,000 scenarios instead of 1,000,000 (a quick look)."""
import os, shutil, subprocess, sys, tempfile, time

here = os.path.dirname(os.path.abspath(__file__))
source = os.path.dirname(here)
wine = [os.path.join(source, 'cmake', 'wine-run')]


def timed(argv, folder):
    start = time.perf_counter()
    subprocess.run(argv, cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   stdin=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


def folder(example):
    d = tempfile.mkdtemp(prefix='kalp-speed-')
    for name in os.listdir(os.path.join(source, 'examples', example)):
        shutil.copy(os.path.join(source, 'examples', example, name), d)
    shutil.copy(os.path.join(source, 'share', 'TEXTVRD_OUT.TXT'), d)
    return d


def main():
    linux, exe = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    repeat = int(sys.argv[3]) if len(sys.argv) > 3 and sys.argv[3].isdigit() else 3
    values = '1:100:1' if '--small' in sys.argv else '1:1000:1'
    sweeps = [('values', 'one-system', ['--sweep', 'evpA:8=' + values, '--sweep', 'evpA:1=' + values]),
              ('rates', 'two-systems', ['--sweep', 'u=0:0.1:0.0001'])]
    for name, example, args in sweeps:
        lin, win, start = [], [], []
        d, w = folder(example), folder(example)
        for _ in range(repeat):
            start.append(timed(wine + [exe, '--version'], w))
            win.append(timed(wine + [exe] + args, w))
            lin.append(timed([linux] + args, d))
        for f in os.listdir(d):
            if f.startswith('kalp-sweep') and open(os.path.join(d, f), 'rb').read() != open(os.path.join(w, f), 'rb').read():
                print(f'{name}: {f} differs')
        shutil.rmtree(d)
        shutil.rmtree(w)
        s, l, x = min(start), min(lin), min(win)
        print(f'{name}: linux {l:.2f} s, kalp.exe {x:.2f} s of which Wine\'s start {s:.2f} s: '
              f'ratio {(x - s) / l:.2f}', flush=True)


if __name__ == '__main__':
    main()
