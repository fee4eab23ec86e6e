"""On a debug build of CPython: every function, on success and on each kind
of failure, called many times leaves the total reference count and the
number of allocated memory blocks unchanged."""
import gc
import sys

import pytest

from cases import CASES

pytestmark = pytest.mark.skipif(not hasattr(sys, "gettotalrefcount"), reason="needs a debug build of CPython")


def run(f, args, kwargs, n):
    for _ in range(n):
        try:
            f(*args, **kwargs)
        except BaseException:
            pass


@pytest.mark.parametrize("name, f, args, kwargs", CASES, ids=[c[0] for c in CASES])
def test_no_reference_or_memory_leak(name, f, args, kwargs, capfd):
    n = 200 if name.startswith("panic") else 2000
    run(f, args, kwargs, 50)
    gc.collect()
    refs, blocks = sys.gettotalrefcount(), sys.getallocatedblocks()
    run(f, args, kwargs, n)
    gc.collect()
    refs_delta = sys.gettotalrefcount() - refs
    blocks_delta = sys.getallocatedblocks() - blocks
    capfd.readouterr()
    # a leak of one reference per call would show as n
    assert abs(refs_delta) < 20, refs_delta
    assert abs(blocks_delta) < 20, blocks_delta
