"""Builds the test-only parts of the project with CMake, once per interpreter.

The test-only extension ``_corbyl_testing`` (the decimal core exposed to the
tests) and the GoogleTest suite are never part of the installed package.
"""
from __future__ import annotations

import os
import pathlib
import shutil
import subprocess
import sys
import sysconfig

ROOT = pathlib.Path(__file__).resolve().parent.parent


def _cmake() -> str:
    exe = shutil.which("cmake")
    if exe is None:
        raise RuntimeError("cmake is needed to build the test-only extension (pip install cmake)")
    return exe


def _generator() -> list[str]:
    return ["-G", "Ninja"] if shutil.which("ninja") else []


def flavour() -> tuple[str, dict[str, str]]:
    """The build flavour the environment asks for, as a folder suffix and
    CMake options: CORBYL_SANITIZE (e.g. address,undefined; assertions on
    too) and CORBYL_PORTABLE_INT128=ON (the two-limb 128-bit integer)."""
    sanitize = os.environ.get("CORBYL_SANITIZE", "")
    portable = os.environ.get("CORBYL_PORTABLE_INT128", "OFF").upper() in ("ON", "1")
    suffix = (f"-{sanitize.replace(',', '-')}" if sanitize else "") + ("-portable" if portable else "")
    return suffix, {"CORBYL_SANITIZE": sanitize, "CORBYL_PORTABLE_INT128": "ON" if portable else "OFF"}


def build(name: str, options: dict[str, str]) -> pathlib.Path:
    """Configures and builds ROOT into build/<name> in the environment's
    flavour; returns the build folder."""
    suffix, flavour_options = flavour()
    out = ROOT / "build" / (name + suffix)
    args = [_cmake(), "-S", str(ROOT), "-B", str(out), *_generator(), "-DCMAKE_BUILD_TYPE=Release"]
    args += [f"-D{k}={v}" for k, v in {**flavour_options, **options}.items()]
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
    subprocess.run([_cmake(), "--build", str(out), "--parallel", "2"], check=True, stdout=subprocess.DEVNULL)
    return out


def build_testing_extension() -> pathlib.Path:
    tag = sys.implementation.cache_tag + ("t" if sysconfig.get_config_var("Py_GIL_DISABLED") else "")
    return build(
        f"testing-{tag}",
        {
            "CORBYL_EXTENSION": "OFF",
            "CORBYL_TEST_EXTENSION": "ON",
            # a sanitizer run checks the assertions of the invariants too
            "CORBYL_ASSERTIONS": "ON" if os.environ.get("CORBYL_SANITIZE") else "OFF",
            "Python_EXECUTABLE": sys.executable,
        },
    )
