"""Instructions per line of py_get_totals against the number of lines,
counted by callgrind (valgrind), which does not depend on the machine's load.
Each size is run with and without the calls; the difference is theirs (the
installed module carries no symbols to select it by name).

    python3 benchmarks/instructions.py
"""
from __future__ import annotations

import os
import pathlib
import re
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
SIZES = [10, 30, 100, 300, 1000, 3000, 10000]


def calls_for(n: int) -> int:
    """Enough calls that their count stands well above the run-to-run
    variation of the interpreter's own start (tens of thousands of
    instructions): about 200,000 lines in all, at least 20 calls."""
    return max(20, 200_000 // n)


SCRIPT = """
import sys
sys.path.insert(0, {here!r})
import corbyl
from bench import bill
lines = bill({n})
corbyl.py_get_totals(lines, 2)  # warm: first-use costs are not counted
for _ in range({calls}):
    corbyl.py_get_totals(lines, 2)
"""


def count(n: int, calls: int) -> int:
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "cg.out")
        script = os.path.join(tmp, "run.py")
        pathlib.Path(script).write_text(SCRIPT.format(here=str(HERE), n=n, calls=calls))
        # valgrind runs the interpreter's real binary, which does not know a
        # virtual environment: it is given this one's packages by path
        site = os.pathsep.join(p for p in sys.path if p.endswith("-packages"))
        subprocess.run(
            ["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", os.path.realpath(sys.executable), script],
            check=True, capture_output=True, env=dict(os.environ, PYTHONPATH=site, PYTHONHASHSEED="0"),
        )
        summary = re.search(r"^summary:\s+(\d+)", pathlib.Path(out).read_text(), re.M)
        return int(summary.group(1))


def main() -> None:
    print(f"{'lines':>6}{'instructions a call':>22}{'a line':>10}")
    for n in SIZES:
        calls = calls_for(n)
        per_call = (count(n, calls) - count(n, 0)) / calls
        print(f"{n:>6}{per_call:>22,.0f}{per_call / n:>10,.0f}")


if __name__ == "__main__":
    main()
