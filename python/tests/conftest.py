"""Shared fixtures: the repository's URL list and the urlkeys tool.

The tool is the C++ reference the Python results are compared with. It is
taken from URLKEYS_TOOL, else from build/default/tools/urlkeys of this tree
(what `cmake --workflow --preset default` builds), else built here with
CMake into a temporary folder.
"""

import os
import shutil
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
URLS = ROOT / "tests" / "data" / "urls-top.txt"


@pytest.fixture(scope="session")
def urls_file() -> Path:
    return URLS


@pytest.fixture(scope="session")
def url_lines(urls_file):
    return urls_file.read_bytes().split(b"\n")[:-1]


@pytest.fixture(scope="session")
def tool(tmp_path_factory) -> str:
    given = os.environ.get("URLKEYS_TOOL")
    if given:
        return given
    built = ROOT / "build" / "default" / "tools" / "urlkeys"
    if built.is_file() and os.access(built, os.X_OK):
        return str(built)
    if not shutil.which("cmake"):
        pytest.skip("no urlkeys tool: set URLKEYS_TOOL or install cmake")
    build = tmp_path_factory.mktemp("tool-build")
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                    "-DURLKEYS_BUILD_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(build), "--target", "urlkeys_tool", "--parallel", "2"],
                   check=True, stdout=subprocess.DEVNULL)
    return str(build / "tools" / "urlkeys")


def run_tool(tool, args, data: bytes) -> bytes:
    """The tool's standard output for `data` on standard input."""
    done = subprocess.run([tool, *args], input=data, stdout=subprocess.PIPE, check=False)
    assert done.returncode in (0, 1), done.returncode
    return done.stdout
