"""The README's examples run as written, one after another, from the
project's root; every result shown in a comment right after a one-line
expression is what that expression gives."""
import pathlib
import re
import sys
import textwrap

ROOT = pathlib.Path(__file__).resolve().parent.parent


def blocks():
    text = (ROOT / "README.md").read_text()
    # (a block in a list item is indented with it)
    for indent, body in re.findall(r"^( *)```python\n(.*?)^ *```", text, re.S | re.M):
        yield textwrap.dedent(body)


def test_readme_examples_run_from_the_root_and_show_true_results(monkeypatch):
    monkeypatch.chdir(ROOT)
    before = list(sys.path)
    namespace: dict = {}
    checked = 0
    try:
        for block in blocks():
            lines = block.splitlines()
            source = []
            for i, line in enumerate(lines):
                source.append(line)
                nxt = lines[i + 1] if i + 1 < len(lines) else ""
                if line and not line.startswith((" ", "#")) and nxt.startswith("# ") and not nxt.startswith("# py_"):
                    try:
                        compile(line, "readme", "eval")
                    except SyntaxError:
                        continue
                    exec("\n".join(source[:-1]), namespace)
                    source = []
                    got = eval(line, namespace)
                    assert repr(got) == nxt[2:].strip(), line
                    checked += 1
            exec("\n".join(source), namespace)
    finally:
        sys.path[:] = before
        sys.modules.pop("bill", None)
    assert checked >= 9
