"""The README's example runs, and every result it shows in a comment right
after a one-line expression is what that expression gives."""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent


def test_readme_example_shows_true_results():
    text = (ROOT / "README.md").read_text()
    block = re.search(r"```python\n(.*?)```", text, re.S).group(1)
    sys.path.insert(0, str(ROOT / "examples"))
    try:
        namespace: dict = {}
        lines = block.splitlines()
        checked = 0
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
        sys.path.remove(str(ROOT / "examples"))
    assert checked >= 5
