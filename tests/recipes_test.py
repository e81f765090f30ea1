#!/usr/bin/env python3
"""The README's recipes for R and pandas, as they stand there, on a run and
on sweeps over u and over evpA:8 of the one-system-standardised example: the
tables stack, and exactly the run's 40 rows are picked from each sweep that
holds its scenario (none from one that does not).

recipes_test.py KALP SOURCE_DIR; exit status 77 (skipped) without R or pandas."""
import os
import re
import shutil
import subprocess
import sys
import tempfile

SKIP = 77


def recipes(readme):
    """The R lines and the Python lines of the README's recipe."""
    text = open(readme, encoding='utf-8').read()
    block = text[text.index('Reading the weights in R and in Python'):text.index('`picked` holds exactly')]
    lines = [l[4:] for l in block.splitlines() if l.startswith('    ')]
    split = next(i for i, l in enumerate(lines) if l.startswith('import pandas'))
    return '\n'.join(lines[:split]), '\n'.join(lines[split:])


def main():
    kalp, source = sys.argv[1], sys.argv[2]
    rscript = shutil.which('Rscript')
    try:
        import pandas  # noqa: F401
    except ImportError:
        pandas = None
    if not rscript or pandas is None:
        print('SKIPPED: R (r-base-core) or pandas (python3-pandas) is not installed')
        sys.exit(SKIP)
    r, py = recipes(os.path.join(source, 'README.md'))
    work = tempfile.mkdtemp(prefix='kalp-recipes-')
    try:
        for folder, args in (('run', ['--csv']), ('u', ['--sweep', 'u=0.02,0.05']),
                             ('evpA8', ['--sweep', 'evpA:8=18,30']), ('other', ['--sweep', 'evpA:8=30'])):
            d = os.path.join(work, folder)
            os.makedirs(d)
            ex = os.path.join(source, 'examples', 'one-system-standardised')
            for f in os.listdir(ex):
                shutil.copy(os.path.join(ex, f), d)
            shutil.copy(os.path.join(source, 'share', 'TEXTVRD_OUT.TXT'), d)
            subprocess.run([kalp, *args], cwd=d, check=True, stdout=subprocess.DEVNULL)
        checks_r = r + '''
stopifnot(nrow(every) == 40 + 80 + 80, is.logical(every$included), !any(is.na(every$scenario)))
stopifnot(nrow(picked) == 40, all(picked$scenario == w$scenario[1]))
stopifnot(nrow(read.csv("u/kalp-sweep.csv")[read.csv("u/kalp-sweep.csv")$scenario %in% w$scenario, ]) == 40)
stopifnot(nrow(merge(read.csv("other/kalp-sweep.csv"), w[, "scenario", drop = FALSE], by = "scenario")) == 0)
stopifnot(nrow(byvalue) == 80, all(byvalue$evpA_8 %in% c(18, 30)))
'''
        out = subprocess.run([rscript, '-e', checks_r], cwd=work, capture_output=True, text=True)
        assert out.returncode == 0, 'R: ' + out.stderr
        checks_py = py + '''
assert len(every) == 200 and every.included.dtype == bool and not every.scenario.isna().any()
assert len(picked) == 40 and (picked.scenario == w.scenario.iloc[0]).all()
u = pd.read_csv("u/kalp-sweep.csv"); assert len(u[u.scenario.isin(w.scenario)]) == 40
o = pd.read_csv("other/kalp-sweep.csv"); assert len(o[o.scenario.isin(w.scenario)]) == 0
assert len(byvalue) == 80 and set(byvalue.evpA_8) == {18, 30}
'''
        out = subprocess.run([sys.executable, '-c', checks_py], cwd=work, capture_output=True, text=True)
        assert out.returncode == 0, 'pandas: ' + out.stderr
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print('recipes: R and pandas stack the tables and pick the run\'s 40 rows')


if __name__ == '__main__':
    main()
