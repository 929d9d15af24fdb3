"""Builds the package with its own copy of the library: the build step runs CMake on the
checkout that holds python/ (the library alone, Release: no tool, no tests, no desktop files)
and puts libxqob.so.1 inside the package, next to the module that loads it. The wheel is then
tagged for the platform (py3-none-linux_x86_64, say): any Python 3 on that platform loads it.

XQOB_USE_SYSTEM_LIBRARY=1 at build time leaves the library out, for distributions that
package libxqob.so.1 apart: the module then loads the system's copy, and the wheel is pure.

The version is the project's, read from ../CMakeLists.txt, so that it is set in one place."""

import os
import pathlib
import re
import shutil
import subprocess

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

try:  # setuptools 70.1 and later carry bdist_wheel; before, the wheel package does
    from setuptools.command.bdist_wheel import bdist_wheel
except ImportError:
    from wheel.bdist_wheel import bdist_wheel

HERE = pathlib.Path(__file__).resolve().parent
SOURCE = HERE.parent
LIBRARY = "libxqob.so.1"
CMAKE_OPTIONS = [
    "-DCMAKE_BUILD_TYPE=Release",
    "-DXQOB_BUILD_TESTS=OFF",
    "-DXQOB_BUILD_TOOLS=OFF",
    "-DXQOB_BUILD_DESKTOP=OFF",
]


def use_system_library():
    return os.environ.get("XQOB_USE_SYSTEM_LIBRARY", "0") not in ("", "0")


def project_version():
    cmake = SOURCE / "CMakeLists.txt"
    if not cmake.exists():
        raise SystemExit(f"xqob builds from the project's checkout, with python/ inside it: "
                         f"{cmake} is missing")
    match = re.search(r"project\(xqob VERSION (\d+\.\d+\.\d+)", cmake.read_text())
    if match is None:
        raise SystemExit(f"no project(xqob VERSION ...) in {cmake}")
    return match.group(1)


def build_library(build_dir):
    """Configures (once) and builds the shared library in build_dir; returns its path."""
    cmake = shutil.which("cmake")
    if cmake is None:
        raise SystemExit("building xqob needs CMake 3.20 or later and a C++20 compiler "
                         "(Debian: cmake ninja-build g++), or XQOB_USE_SYSTEM_LIBRARY=1 to use "
                         "an installed libxqob.so.1")
    configure = [cmake, "-S", str(SOURCE), "-B", str(build_dir), *CMAKE_OPTIONS]
    if not (build_dir / "CMakeCache.txt").exists() and shutil.which("ninja"):
        configure += ["-G", "Ninja"]
    build = [cmake, "--build", str(build_dir), "--target", "xqob"]
    if "CMAKE_BUILD_PARALLEL_LEVEL" not in os.environ:
        build += ["--parallel", str(os.cpu_count() or 1)]
    for command in (configure, build):
        try:
            subprocess.run(command, check=True)
        except subprocess.CalledProcessError as failure:
            raise SystemExit(f"building libxqob failed: {' '.join(command)} exited with "
                             f"{failure.returncode} (its output is above)") from None
    return build_dir / "lib" / LIBRARY


class BuildWithLibrary(build_py):
    """build_py that also builds libxqob.so.1 and puts it in the package."""

    def run(self):
        super().run()
        if use_system_library():
            self._library_target().unlink(missing_ok=True)  # left by an earlier build
            return
        build_temp = pathlib.Path(self.get_finalized_command("build").build_temp)
        built = build_library(build_temp.resolve() / "cmake")
        target = self._library_target()
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)  # follows libxqob.so.1 -> libxqob.so.1.0.0
        target.chmod(0o755)

    def _library_target(self):
        # An editable install imports the package from the source folder.
        editable = getattr(self, "editable_mode", False)  # setuptools 64 and later
        package = HERE / "xqob" if editable else pathlib.Path(self.build_lib) / "xqob"
        return package / LIBRARY

    def get_outputs(self, include_bytecode=True):
        outputs = super().get_outputs(include_bytecode)
        return outputs if use_system_library() else outputs + [str(self._library_target())]


class PlatformWheel(bdist_wheel):
    """A wheel for any Python 3 on this platform: the package holds a shared library but no
    extension module, so it does not depend on the interpreter's version or ABI."""

    def get_tag(self):
        python, abi, platform = super().get_tag()
        return (python, abi, platform) if self.root_is_pure else ("py3", "none", platform)


class DistributionWithLibrary(Distribution):
    """Not pure unless the library is left out: installed into platlib, wheel not "any"."""

    def has_ext_modules(self):
        return not use_system_library()


setup(
    version=project_version(),
    distclass=DistributionWithLibrary,
    cmdclass={"build_py": BuildWithLibrary, "bdist_wheel": PlatformWheel},
)
