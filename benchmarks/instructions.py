"""Instructions per call of every benchmark row, counted by callgrind
(valgrind), which does not depend on the machine's load: the same build,
inputs and environment give the same count.

    python3 benchmarks/instructions.py [BUILD.so ...] [--calls 200]

Each build (a built extension file; the installed module if none is given)
runs each row `calls` times and not at all, in two runs of the interpreter
that differ only in those calls; the difference is theirs. The cyclic
collector is off while the calls run: its work depends on the whole heap. Several builds
are printed side by side, with each one's count over the first's.
"""
from __future__ import annotations

import argparse
import os
import pathlib
import re
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent

SCRIPT = """
import gc, sys
sys.path.insert(0, {here!r})
from ab import load, rows
{load}
table = rows(m, copies=50)
for _ in range(3):  # warm: first-use costs are not counted
    for _, f in table:
        f()
# the collector's work depends on the whole heap, not on the calls: it is left out
gc.collect()
gc.freeze()
gc.disable()
f = table[{row}][1]
for _ in range({calls}):
    f()
"""


def count(build: str | None, row: int, calls: int) -> int:
    load = f"m = load({build!r})" if build else "import corbyl as m"
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "cg.out")
        script = os.path.join(tmp, "run.py")
        pathlib.Path(script).write_text(SCRIPT.format(here=str(HERE), load=load, row=row, calls=calls))
        # valgrind runs the interpreter's real binary, which does not know a
        # virtual environment: it is given this one's packages by path
        site = os.pathsep.join(p for p in sys.path if p.endswith("-packages"))
        subprocess.run(
            ["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", os.path.realpath(sys.executable), script],
            check=True, capture_output=True, env=dict(os.environ, PYTHONPATH=site, PYTHONHASHSEED="0"),
        )
        return int(re.search(r"^summary:\s+(\d+)", pathlib.Path(out).read_text(), re.M).group(1))


def main() -> None:
    ap = argparse.ArgumentParser()
    ap.add_argument("builds", nargs="*")
    ap.add_argument("--calls", type=int, default=200)
    args = ap.parse_args()
    sys.path.insert(0, str(HERE))
    from ab import load, rows

    builds = args.builds or [None]
    names = [name for name, _ in rows(load(builds[0]) if builds[0] else __import__("corbyl"))]
    print(f"{'instructions a call':<42}" + "".join(f"{f'[{i}]':>11}" for i in range(len(builds))) +
          "".join(f"{f'[{i}]/[0]':>9}" for i in range(1, len(builds))))
    base = {b: count(b, 0, 0) for b in builds}
    for k, name in enumerate(names):
        calls = args.calls if "65535" not in name else max(1, args.calls // 50)
        per_call = [(count(b, k, calls) - base[b]) / calls for b in builds]
        print(f"{name:<42}" + "".join(f"{c:>11,.0f}" for c in per_call) +
              "".join(f"{c / per_call[0]:>9.3f}" for c in per_call[1:]), flush=True)


if __name__ == "__main__":
    main()
