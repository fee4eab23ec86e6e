import decimal
import os
import sys

import pytest
from hypothesis import HealthCheck, settings

from _build import build_testing_extension

settings.register_profile(
    "ci", max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow]
)
settings.register_profile("dev", max_examples=100, deadline=None)
settings.register_profile("deep", max_examples=20000, deadline=None)
settings.load_profile(os.environ.get("HYPOTHESIS_PROFILE", "dev"))

# Sums in the tests must be exact, not rounded to 28 digits.
decimal.DefaultContext.prec = 200
decimal.setcontext(decimal.Context(prec=200))


def pytest_sessionstart(session):
    sys.path.insert(0, str(build_testing_extension()))


@pytest.fixture(scope="session")
def dec():
    import _corbyl_testing

    # a run against a build without fast paths takes none in the test-only
    # extension either (its decimal operations included)
    if os.environ.get("CORBYL_FAST_PATHS", "ON").upper() == "OFF":
        _corbyl_testing.set_fast_paths(0)
    return _corbyl_testing
