"""The package's version is the project's, read from ../CMakeLists.txt, so that it is set in
one place."""

import pathlib
import re

from setuptools import setup


def project_version():
    cmake = pathlib.Path(__file__).resolve().parent.parent / "CMakeLists.txt"
    match = re.search(r"project\(xqob VERSION (\d+\.\d+\.\d+)", cmake.read_text())
    if match is None:
        raise RuntimeError(f"no project(xqob VERSION ...) in {cmake}")
    return match.group(1)


setup(version=project_version())
