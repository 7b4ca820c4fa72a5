"""Builds the extension urlkeys._urlkeys with CMake (URLKEYS_BUILD_PYTHON=ON).

The metadata is in pyproject.toml, except the version: that is the CMake
project's version, read here from the top CMakeLists.txt. CMake builds the module with the library
linked in; this file only runs CMake and puts the module where setuptools
packs it. Every build file goes to a folder outside the source tree
(URLKEYS_BUILD_BASE, or one per source tree and interpreter under the
system's temporary folder, kept so that a second install rebuilds only what
changed); set CMAKE_BUILD_PARALLEL_LEVEL to choose the number of jobs
(default 2).
"""

import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def project_version() -> str:
    """The VERSION of project(urlkeys ...) in CMakeLists.txt."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    found = re.search(r"project\(\s*urlkeys\b[^)]*?\bVERSION\s+([0-9][0-9.]*)", text)
    if not found:
        raise RuntimeError("CMakeLists.txt: no VERSION in project(urlkeys ...)")
    return found.group(1)


def build_base() -> str:
    base = os.environ.get("URLKEYS_BUILD_BASE")
    if not base:
        tag = hashlib.sha1(f"{ROOT}\0{sys.executable}".encode()).hexdigest()[:12]
        base = os.path.join(tempfile.gettempdir(), f"urlkeys-build-{tag}")
    os.makedirs(base, exist_ok=True)
    return base


class CMakeBuild(build_ext):
    def build_extension(self, ext: Extension) -> None:
        import pybind11

        target = Path(self.get_ext_fullpath(ext.name)).resolve()
        build = Path(self.build_temp).resolve() / "cmake"
        configure = [
            "cmake", "-S", str(ROOT), "-B", str(build),
            "-DCMAKE_BUILD_TYPE=Release",
            "-DURLKEYS_BUILD_PYTHON=ON",
            "-DURLKEYS_BUILD_TESTS=OFF",
            "-DURLKEYS_BUILD_TOOLS=OFF",
            f"-DPython_EXECUTABLE={sys.executable}",
            f"-Dpybind11_DIR={pybind11.get_cmake_dir()}",
        ]
        if shutil.which("ninja") and not (build / "CMakeCache.txt").exists():
            configure += ["-G", "Ninja"]
        subprocess.run(configure, check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(["cmake", "--build", str(build), "--target", "urlkeys_python",
                        "--parallel", jobs], check=True)
        built = sorted((build / "python" / "urlkeys").glob("_urlkeys*.so"))
        if not built:
            raise RuntimeError("CMake did not build the extension _urlkeys")
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[-1], target)


base = build_base()
setup(
    version=project_version(),
    ext_modules=[Extension("urlkeys._urlkeys", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": base}, "egg_info": {"egg_base": base}},
)
