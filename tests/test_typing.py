"""The type stubs shipped as corbyl-stubs: a host program type-checks under
mypy --strict, and wrong calls are caught."""
import pathlib
import subprocess
import sys

import pytest

HERE = pathlib.Path(__file__).parent / "typing"

pytest.importorskip("mypy")


def mypy(*args):
    return subprocess.run(
        [sys.executable, "-m", "mypy", "--no-incremental", "--cache-dir=/dev/null", *args],
        capture_output=True, text=True, cwd=HERE,
    )


def test_host_program_type_checks_strictly():
    out = mypy("--strict", "host.py")
    assert out.returncode == 0, out.stdout + out.stderr


def test_host_program_runs():
    out = subprocess.run([sys.executable, str(HERE / "host.py")], capture_output=True, text=True)
    assert out.returncode == 0, out.stderr


def test_the_examples_run_and_type_check_strictly():
    examples = HERE.parent.parent / "examples"
    for name in ("bill.py", "ledger.py", "workers.py"):
        run = subprocess.run([sys.executable, name], capture_output=True, text=True, cwd=examples, timeout=120)
        assert run.returncode == 0, run.stderr
        assert run.stdout.strip()
    out = mypy("--strict", *(str(examples / name) for name in ("bill.py", "ledger.py", "workers.py")))
    assert out.returncode == 0, out.stdout + out.stderr


def test_wrong_calls_are_rejected():
    out = mypy("wrong.py")
    assert out.returncode == 1
    errors = [l for l in out.stdout.splitlines() if ": error:" in l]
    lines = sorted({int(l.split(":")[1]) for l in errors})
    assert lines == [4, 5, 6, 7], out.stdout


def test_stubs_match_the_built_module():
    out = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "corbyl", "--allowlist", str(HERE / "stubtest-allowlist.txt")],
        capture_output=True, text=True, cwd=HERE,
    )
    assert out.returncode == 0, out.stdout[-3000:] + out.stderr[-1000:]


def test_the_reference_is_generated_from_the_current_stubs():
    root = HERE.parent.parent
    out = subprocess.run([sys.executable, str(root / "docs" / "gen_reference.py"), "--check"], capture_output=True, text=True)
    assert out.returncode == 0, out.stderr


# How each native field type is spelled in the stubs.
STUB_TYPES = {
    "int16_t": "int", "int32_t": "int", "int64_t": "int", "uint16_t": "int", "uint32_t": "int", "bool": "bool",
    "Text": "str", "std::optional<Text>": "str | None", "std::optional<int64_t>": "int | None",
    "LineType": "LineType", "Category": "Category", "Account": "Account",
    "std::vector<ServicePlan>": "Sequence[ServicePlan]", "std::vector<LineItem>": "Sequence[LineItem]",
    "std::optional<Pricing>": "Pricing | None",
}


def test_stub_records_match_the_native_descriptions(dec):
    import ast

    tree = ast.parse((HERE.parent.parent / "src" / "corbyl-stubs" / "__init__.pyi").read_text())
    stubs = {
        c.name: [(s.target.id, ast.unparse(s.annotation)) for s in c.body if isinstance(s, ast.AnnAssign)]
        for c in tree.body
        if isinstance(c, ast.ClassDef)
    }
    records = dec.records()
    assert set(records) == {"LineItem", "ServicePlan", "Pricing", "TipLinesContext", "DeliverableLinesContext"}
    for name, fields in records.items():
        assert stubs[name] == [(field, STUB_TYPES[native]) for field, native in fields], name
