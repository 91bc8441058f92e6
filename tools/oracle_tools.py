"""The independent programs the oracle checks compare against: whether one is installed, and
what a check says and returns when one is not.

A missing oracle makes a check exit 77, which ctest counts as skipped; with
TRACORA_REQUIRE_ORACLES set (scripts/test.sh sets it) it exits 1, a failure, so that a test run
never passes by skipping its comparisons.
"""
import os
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def required():
    return os.environ.get('TRACORA_REQUIRE_ORACLES', '') not in ('', '0')


def missing(tool, install):
    """Says which oracle is missing and how to install it; returns the exit status."""
    print(f'oracle {tool} is missing (install {install}; scripts/install-deps.sh installs every '
          'oracle)', file=sys.stderr)
    return 1 if required() else 77


def check_programs(programs):
    """programs: (name, how to install) pairs. Returns None when all are on the PATH, else the
    exit status for the first missing one."""
    for tool, install in programs:
        if shutil.which(tool) is None:
            return missing(tool, install)
    return None


def check_npm_package(package):
    """None when the npm package of tools/oracles is installed, else the exit status."""
    if os.path.isdir(os.path.join(HERE, 'oracles', 'node_modules', package)):
        return None
    return missing(package, 'npm ci in tools/oracles')


GPSBABEL = ('gpsbabel', 'the Debian package gpsbabel')
NODE = ('node', 'the Debian packages nodejs and npm')
