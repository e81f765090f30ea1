#!/usr/bin/env python3
"""The charts that `kalp --plot` and `kalp index --plot` write, read as XML:
each parses, also with trait names that hold code points XML forbids, has a
title and a description whose sentences end once, and every mark carries
its data (a line the values of each of its points, a cell of a heat map its
own).

charts_check.py KALP SOURCE_DIR
"""
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from pathlib import Path

NS = "{http://www.w3.org/2000/svg}"
COMPONENTS = {"direct", "maternal"}


# Trait names with code points that XML cannot hold: noncharacters and the
# control characters of U+0080 to U+009F, which the template lets through.
ODD_NAMES = {
    b'""   1 Birth weight (kg)': b'""   1 Birth weight \xef\xbf\xbe (kg) \xc2\x85.',
    b'""   8 Litter size (lambs per lambing)': b'""   8 Litter \xef\xbf\xbf size \xc2\x9b (lambs)',
}


def run(kalp, source, example, *options, names=None):
    """The charts of a run of `example` with `options`, by file name; with
    `names`, the template's captions replaced."""
    with tempfile.TemporaryDirectory() as d:
        for f in (source / "examples" / example).iterdir():
            shutil.copy(f, d)
        template = (source / "share" / "TEXTVRD_OUT.TXT").read_bytes()
        for old, new in (names or {}).items():
            template = template.replace(old, new)
        (Path(d) / "TEXTVRD_OUT.TXT").write_bytes(template)
        subprocess.run([kalp, *options], cwd=d, check=True, stdout=subprocess.DEVNULL)
        return {p.name: ET.parse(p).getroot() for p in Path(d).glob("*.svg")}


def check(name, root):
    """What is wrong with one chart, as a list of texts."""
    faults = []
    if root.tag != NS + "svg":
        faults.append("the root is not svg")
    for tag in ("title", "desc"):
        element = root.find(NS + tag)
        if element is None or not (element.text or "").strip():
            faults.append("no " + tag)
    if ".." in (root.find(NS + "desc").text or ""):
        faults.append("a sentence of the description ends twice")
    for e in root.iter():
        if e.tag in (NS + "polyline", NS + "rect", NS + "g") and "data-trait" in e.attrib:
            if e.get("data-component") not in COMPONENTS:
                faults.append(f"trait {e.get('data-trait')} without its component")
        if "data-value" in e.attrib:
            float(e.get("data-value"))
        if "data-panel" in e.attrib and not e.get("data-panel"):
            faults.append("a panel without its name")
        if e.tag == NS + "polyline":
            # A line carries the values of its points.
            points = e.get("points").split()
            for axis in ("data-x", "data-y"):
                data = [float(v) for v in e.get(axis, "").split()]
                if len(data) != len(points):
                    faults.append(f"a line of {len(points)} points with {len(data)} {axis}")
        if e.tag == NS + "circle" and e.get("data-y") is not None:
            float(e.get("data-y"))
        if e.tag == NS + "rect" and e.get("data-x") is not None:
            # A cell of a heat map: its two values and its weight.
            float(e.get("data-y"))
            float(e.get("data-value"))
    return [f"{name}: {f}" for f in faults]


def main():
    kalp, source = sys.argv[1], Path(sys.argv[2])
    charts = {}
    cases = [
        ("one-system", "--plot"),
        ("one-system", "--sweep", "evpA:1=-2:2:0.5", "--sweep", "u=0,0.03,0.06,0.09", "--plot"),
        ("one-system-standardised", "--sweep", "evpA:1=-2:2:0.5", "--sweep", "u=0,0.03,0.06,0.09", "--plot"),
        ("two-systems", "--plot"),
        ("two-systems", "--sweep", "n_sac=1,5,12", "--sweep", "u=0.02,0.05", "--plot"),
        ("one-system", "--sweep", "u=0:0.09:0.01", "--sweep", "evpA:8=1:20:1", "--plot"),
        ("two-systems", "--sweep", "u=0.02,0.05", "--sweep", "n_sac=1:25:1", "--plot"),
        ("index", "index", "--plot"),
    ]
    for example, *options in cases:
        for file, root in run(kalp, source, example, *options).items():
            charts[" ".join([example, *options, file])] = root
    odd = [("one-system-standardised", "--plot"),
           ("one-system-standardised", "--sweep", "evpA:1=1,2", "--sweep", "u=0.02,0.05", "--plot"),
           ("one-system", "--sweep", "u=0:0.09:0.01", "--sweep", "evpA:8=1:20:1", "--plot")]
    for example, *options in odd:
        for file, root in run(kalp, source, example, *options, names=ODD_NAMES).items():
            charts[" ".join(["odd names", example, *options, file])] = root
    faults = [f for name, root in charts.items() for f in check(name, root)]

    # Two systems: fatness, feed conversion, parasite resistance (direct) and
    # mature weight (maternal) to the left of 0, the other bars to its right.
    weights = charts["two-systems --plot kalp-weights.svg"]
    bars = [(float(r.get("data-value")), float(r.get("x")), float(r.get("width")))
            for r in weights.iter(NS + "rect") if "data-value" in r.attrib]
    left = [b for b in bars if b[0] < 0]
    if len(left) != 4:
        faults.append(f"{len(left)} bars left of 0 in the weights of two systems, not 4")
    if max(x + w for _, x, w in left) > min(x for v, x, _ in bars if v > 0) + 0.15:
        faults.append("a negative bar reaches right of 0")

    # The index: a bar for each of the 11 components with parameters, those
    # that fall to the left of 0.
    index = charts["index index --plot kalp-index.svg"]
    bars = [(float(r.get("data-standardised")), float(r.get("x")), float(r.get("width")))
            for r in index.iter(NS + "rect") if "data-standardised" in r.attrib]
    if len(bars) != 11:
        faults.append(f"{len(bars)} bars in the chart of the index, not 11")
    zero = min(x for v, x, _ in bars if v > 0)
    if any(x + w > zero + 0.15 for v, x, w in bars if v < 0):
        faults.append("a falling response reaches right of 0 in the chart of the index")

    # A sweep over the economic value of trait 1: its panels first.
    for example in ("one-system", "one-system-standardised"):
        sweep = charts[f"{example} --sweep evpA:1=-2:2:0.5 --sweep u=0,0.03,0.06,0.09 --plot kalp-sweep.svg"]
        panels = [g.get("data-panel") for g in sweep.iter(NS + "g") if "data-panel" in g.attrib]
        if panels[:2] != ["1-direct", "1-maternal"]:
            faults.append(f"{example}: the sweep of trait 1 begins with {panels[:2]}")

    # The sweep of 10 x 20 values: a heat map per component, every scenario a
    # cell of it.
    heat = charts["one-system --sweep u=0:0.09:0.01 --sweep evpA:8=1:20:1 --plot kalp-sweep.svg"]
    for g in heat.iter(NS + "g"):
        if "data-panel" not in g.attrib:
            continue
        cells = {(r.get("data-x"), r.get("data-y")) for r in g.iter(NS + "rect") if "data-x" in r.attrib}
        if len(cells) != 200:
            faults.append(f"heat map {g.get('data-panel')}: {len(cells)} cells, not 200")

    for f in faults:
        print(f)
    print(f"{len(charts)} charts, {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
