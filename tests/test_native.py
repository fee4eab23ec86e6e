"""Builds the GoogleTest suite of the native core and runs it with CTest.

Where GoogleTest is not installed (Debian: libgtest-dev) the suite is skipped,
unless CORBYL_REQUIRE_NATIVE=1 (as in CI), where that is a failure."""
import os
import shutil
import subprocess
import sys

import pytest

from _build import ROOT, build


def test_native_core_suite_passes():
    try:
        # a folder per interpreter (and flavour), so that suites run side by
        # side never share one; a sanitizer run checks the core too
        out = build(f"native-{sys.implementation.cache_tag}",
                    {"CORBYL_EXTENSION": "OFF", "CORBYL_NATIVE_TESTS": "ON", "CORBYL_ASSERTIONS": "ON"})
    except subprocess.CalledProcessError:
        if os.environ.get("CORBYL_REQUIRE_NATIVE") == "1":
            raise
        pytest.skip("the native suite needs CMake and GoogleTest (apt-get install libgtest-dev)")
    ctest = shutil.which("ctest") or "ctest"
    run = subprocess.run([ctest, "--test-dir", str(out), "--output-on-failure"], capture_output=True, text=True)
    assert run.returncode == 0, run.stdout[-4000:] + run.stderr[-2000:]
    assert "100% tests passed" in run.stdout
