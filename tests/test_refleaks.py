"""Every function, on success and on each kind of failure, called many times
leaves the number of allocated memory blocks unchanged (on every
interpreter) and, on a debug build of CPython, the total reference count."""
import gc
import sys

import pytest

from cases import CASES

DEBUG = hasattr(sys, "gettotalrefcount")


def run(f, args, kwargs, n):
    for _ in range(n):
        try:
            f(*args, **kwargs)
        except BaseException:
            pass


@pytest.mark.parametrize("name, f, args, kwargs", CASES, ids=[c[0] for c in CASES])
def test_no_reference_or_memory_leak(name, f, args, kwargs, capfd):
    n = 2000
    # the first calls fill the interpreter's free lists and caches (more of
    # them on 3.14 and later, and with exception notes)
    run(f, args, kwargs, n // 4)
    gc.collect()
    refs = sys.gettotalrefcount() if DEBUG else 0
    blocks = sys.getallocatedblocks()
    run(f, args, kwargs, n)
    gc.collect()
    refs_delta = sys.gettotalrefcount() - refs if DEBUG else 0
    blocks_delta = sys.getallocatedblocks() - blocks
    capfd.readouterr()
    # a leak of one reference or one object per call would show as n; what
    # the interpreter's caches still gain is far below a twentieth of it
    assert abs(refs_delta) < n // 20, refs_delta
    assert abs(blocks_delta) < n // 20, blocks_delta
