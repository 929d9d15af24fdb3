#!/usr/bin/env python3
"""Checks the Windows library DLL, its import libraries and qob.exe against the Linux build.

Binaries (always): libxqob-1.dll is built for its machine, exports exactly the functions that
include/xqob/xqob.h declares, under their plain C names, and imports only system DLLs; both
import libraries name libxqob-1.dll and give every export; qob.exe imports only system DLLs
and the C check programs import libxqob-1.dll.

Under Wine (unless --static-only): the C check program, linked through each import library,
prints the same header fields, decode digests and refusal messages as the same program built
on Linux against libxqob.so; qob.exe's info, decode (PPM, PGM, PNM on standard output, PNG
compared by pixels, -d batches) and encode give the Linux tool's output, exit status and
messages, and a failed decode leaves no file behind.

Run with Debian's Python (/usr/bin/python3), which has PIL for reading the PNG files.
"""

import argparse
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile

SYSTEM_DLLS = {
    "kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll", "ntdll.dll", "gdi32.dll",
    "shell32.dll", "ole32.dll", "oleaut32.dll", "windowscodecs.dll", "ws2_32.dll", "bcrypt.dll",
}
FORMATS = {"x86": "pei-i386", "x64": "pei-x86-64"}
LIBRARY = "libxqob-1.dll"

failures = []
checks = 0


def expect(condition, message):
    global checks
    checks += 1
    if not condition:
        failures.append(message)
        print("FAIL: " + message)


def run(command, stdin=None, cwd=None, timeout=120):
    return subprocess.run(command, stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          cwd=cwd, timeout=timeout)


# ---- Binaries ------------------------------------------------------------------------------


def header_functions(header):
    with open(header) as file:
        return sorted(set(re.findall(r"XQOB_API\s[^;(]*?\b(xqob_\w+)\s*\(", file.read())))


def pe_headers(objdump, path, arch):
    text = run([objdump, "-p", path]).stdout.decode()
    form = re.search(r"file format (\S+)", run([objdump, "-f", path]).stdout.decode())
    expect(form and form.group(1) == FORMATS[arch],
           "%s is not %s" % (path, FORMATS[arch]))
    return text


def imports_of(headers):
    return [name.lower() for name in re.findall(r"DLL Name:\s*(\S+)", headers)]


def check_binaries(args):
    folder = args.folder
    functions = header_functions(args.header)
    dll = os.path.join(folder, "bin", LIBRARY)
    headers = pe_headers(args.objdump, dll, args.arch)
    exports = re.findall(r"^\s*\[\s*\d+\]\s+(\S+)\s*$",
                         headers.split("[Ordinal/Name Pointer] Table", 1)[-1], re.M)
    expect(sorted(exports) == functions,
           "%s exports %s; xqob.h declares %s" % (LIBRARY, sorted(exports), functions))
    foreign = [name for name in imports_of(headers) if name not in SYSTEM_DLLS]
    expect(not foreign, "%s imports non-system DLLs %s" % (LIBRARY, foreign))
    prefix = "_" if args.arch == "x86" else ""
    for library in ("libxqob.dll.a", "xqob.lib"):
        path = os.path.join(folder, "lib", library)
        symbols = run([args.nm, path]).stdout.decode()
        missing = [f for f in functions if "__imp_%s%s\n" % (prefix, f) not in symbols]
        expect(not missing, "%s lacks the imports %s" % (library, missing))
        with open(path, "rb") as file:
            expect(LIBRARY.encode() in file.read(), "%s does not name %s" % (library, LIBRARY))
    qob = pe_headers(args.objdump, os.path.join(folder, "bin", "qob.exe"), args.arch)
    foreign = [name for name in imports_of(qob) if name not in SYSTEM_DLLS]
    expect(not foreign, "qob.exe imports non-system DLLs %s" % foreign)
    for program in ("xqob_capi_check.exe", "xqob_capi_check_msvc_import.exe"):
        imports = imports_of(pe_headers(args.objdump, os.path.join(folder, "bin", program),
                                        args.arch))
        expect(LIBRARY in imports, "%s does not import %s: %s" % (program, LIBRARY, imports))


def check_install(args):
    """cmake --install lays out the DLL, both import libraries, the headers, xqob.pc and
    qob.exe, and a program builds from the installed tree through pkg-config."""
    with tempfile.TemporaryDirectory(prefix="xqob-install-") as prefix:
        installed = run(["cmake", "--install", args.folder, "--prefix", prefix])
        expect(installed.returncode == 0, "cmake --install: " + installed.stderr.decode())
        for path in ("bin/" + LIBRARY, "bin/qob.exe", "lib/libxqob.dll.a", "lib/xqob.lib",
                     "include/xqob/xqob.h", "include/xqob/xqob.hpp", "lib/pkgconfig/xqob.pc"):
            expect(os.path.isfile(os.path.join(prefix, path)), "not installed: " + path)
        environment = dict(os.environ, PKG_CONFIG_LIBDIR=os.path.join(prefix, "lib/pkgconfig"))
        flags = subprocess.run(["pkg-config", "--cflags", "--libs", "xqob"], env=environment,
                               stdout=subprocess.PIPE).stdout.decode().split()
        compiler = args.objdump.replace("objdump", "gcc")
        program = os.path.join(prefix, "check.exe")
        built = run([compiler, os.path.join(args.source, "tests/windows/capi_check.c"), *flags,
                     "-o", program])
        expect(built.returncode == 0 and LIBRARY in imports_of(
            run([args.objdump, "-p", program]).stdout.decode()),
               "a program does not build from the installed tree with %s: %s" % (
                   " ".join(flags), built.stderr.decode(errors="replace")))


# ---- Test files ----------------------------------------------------------------------------


def write(path, data):
    with open(path, "wb") as file:
        file.write(data)


def read(path):
    with open(path, "rb") as file:
        return file.read()


def broken_files(samples, work):
    """Files every interface must refuse, each with its own message."""
    good = read(os.path.join(samples, "chelsea-q50.qob"))
    files = {
        "empty.qob": b"",
        "magic.qob": b"QOX" + good[3:],
        "quality.qob": good[:3] + bytes([101]) + good[4:],
        "header-cut.qob": good[:9],
        "payload-cut.qob": good[: len(good) // 2],
        "text.qob": b"not a picture\n",
    }
    for name, data in files.items():
        write(os.path.join(work, name), data)
    return sorted(files)


# ---- The C interface -----------------------------------------------------------------------


def check_c_interface(args, work, wine, names):
    linux_program = os.path.join(work, "capi_check")
    build = run(["cc", "-std=c99", "-O1", os.path.join(args.source, "tests/windows/capi_check.c"),
                 "-I" + os.path.join(args.source, "include"),
                 "-L" + os.path.join(args.linux_build, "lib"), "-lxqob",
                 "-Wl,-rpath," + os.path.abspath(os.path.join(args.linux_build, "lib")),
                 "-o", linux_program])
    expect(build.returncode == 0, "cc capi_check.c: " + build.stderr.decode(errors="replace"))
    if build.returncode != 0:
        return
    files = names + ["missing.qob"]
    linux = run([linux_program, *files], cwd=work)
    expect(linux.returncode == 0, "Linux capi_check exit %d" % linux.returncode)
    expected = linux.stdout.decode()
    decodes = expected.count("digest")
    for program in ("xqob_capi_check.exe", "xqob_capi_check_msvc_import.exe"):
        exe = os.path.abspath(os.path.join(args.folder, "bin", program))
        windows = run([*wine, exe, "--wide", "chelsea-q50.qob", ".", *files], cwd=work)
        lines = windows.stdout.decode(errors="replace").replace("\r", "").splitlines(True)
        same = "".join(line for line in lines if not line.startswith("windows:"))
        expect(windows.returncode == 0 and same == expected,
               "%s differs from Linux (exit %d):\n%s" % (program, windows.returncode,
                                                         diff(expected, same)))
        wide = [line.strip() for line in lines if line.startswith("windows:")]
        allocated = re.search(r"chelsea-q50.qob\n(?:.*\n)*?  source 0 format 0 padding -1 "
                              r"threads 2: .* digest (\w+)", expected).group(1)
        expect(any(l.startswith('windows: info_file_w 0 "" 451x300 payload') for l in wide) and
               all(("digest " + allocated) in l for l in wide if "decode_file_w threads" in l) and
               len([l for l in wide if "decode_file_w threads" in l]) == 2 and
               'windows: decode_file_w missing 1 "cannot open: No such file or directory"' in wide,
               "%s: UTF-16 file functions:\n%s" % (program, "\n".join(wide)))
        if program == "xqob_capi_check.exe":
            print("  %s: %d decodes and refusals as on Linux; %s" % (
                program, decodes, "; ".join(l[9:] for l in wide if "UTF-8" in l)))


def diff(expected, got):
    for number, (a, b) in enumerate(zip(expected.splitlines(), got.splitlines())):
        if a != b:
            return "line %d:\n  Linux:   %s\n  Windows: %s" % (number + 1, a, b)
    return "Linux %d lines, Windows %d" % (len(expected.splitlines()), len(got.splitlines()))


# ---- qob.exe -------------------------------------------------------------------------------


def pixels(path):
    from PIL import Image
    with Image.open(path) as image:
        return image.mode, image.size, image.tobytes()


class Tools:
    def __init__(self, args, work, wine):
        self.linux = [os.path.abspath(os.path.join(args.linux_build, "bin", "qob"))]
        self.windows = [*wine, os.path.abspath(os.path.join(args.folder, "bin", "qob.exe"))]
        self.work = work

    def both(self, arguments, stdin=None):
        """Runs qob on both sides in folders linux/ and windows/ of the work folder."""
        results = []
        for side, tool in (("linux", self.linux), ("windows", self.windows)):
            folder = os.path.join(self.work, side)
            source = open(os.path.join(folder, stdin), "rb") if stdin else None
            try:
                results.append(run([*tool, *arguments], stdin=source, cwd=folder))
            finally:
                if source:
                    source.close()
        return results

    def compare(self, label, arguments, outputs=(), stdin=None, png=False):
        linux, windows = self.both(arguments, stdin)
        # Standard output is binary on both; standard error is text, with CR LF on Windows,
        # where the names of -d outputs have Windows's separator. The encode time varies.
        text = lambda r: r.stderr.decode(errors="replace").replace("\r", "").replace("\\", "/")
        out = lambda r: re.sub(rb"encode time .*\n", b"", r.stdout)
        expect((linux.returncode, text(linux), out(linux)) ==
               (windows.returncode, text(windows), out(windows)),
               "qob %s (%s): Linux exit %d %r %r, Windows exit %d %r %r" % (
                   " ".join(arguments), label, linux.returncode, text(linux), linux.stdout[:200],
                   windows.returncode, text(windows), windows.stdout[:200]))
        for output in outputs:
            paths = [os.path.join(self.work, side, output) for side in ("linux", "windows")]
            exist = [os.path.exists(p) for p in paths]
            expect(exist[0] == exist[1], "qob %s: %s exists on Linux %s, Windows %s" % (
                " ".join(arguments), output, exist[0], exist[1]))
            if not all(exist):
                continue
            if png:
                expect(pixels(paths[0]) == pixels(paths[1]),
                       "qob %s: %s has other pixels" % (" ".join(arguments), output))
            else:
                expect(read(paths[0]) == read(paths[1]),
                       "qob %s: %s has other bytes" % (" ".join(arguments), output))


def png_sources(work):
    """8-bit PNGs of the kinds that take other paths when read: alpha over a background,
    gray with alpha, a palette of grays, a palette with transparency, 1-bit gray."""
    from PIL import Image
    width, height = 37, 21
    ramp = [(x * 7 + y * 11) % 256 for y in range(height) for x in range(width)]
    made = {
        "rgba.png": Image.frombytes("RGBA", (width, height), bytes(
            v for i, g in enumerate(ramp) for v in (g, 255 - g, (g * 3) % 256, (i * 5) % 256))),
        "gray-alpha.png": Image.frombytes("LA", (width, height), bytes(
            v for i, g in enumerate(ramp) for v in (g, 255 if i % 3 else i % 256))),
        "palette-gray.png": Image.frombytes("L", (width, height), bytes(ramp)).convert(
            "P", palette=Image.ADAPTIVE, colors=16).convert("L").convert("P"),
        "bits.png": Image.frombytes("L", (width, height), bytes(ramp)).convert("1"),
    }
    palette = Image.frombytes("RGB", (width, height), bytes(
        v for g in ramp for v in (g, (g * 5) % 256, 90))).convert("P", colors=32)
    made["palette-alpha.png"] = palette
    for name, image in made.items():
        extra = {"transparency": 3} if name == "palette-alpha.png" else {}
        image.save(os.path.join(work, name), **extra)
    return sorted(made)


def check_tool(args, work, wine, samples, broken, jobs):
    names = samples + broken
    for side in ("linux", "windows"):
        folder = os.path.join(work, side)
        os.makedirs(os.path.join(folder, "in"))
        for name in names:
            shutil.copy(os.path.join(work, name), os.path.join(folder, name))
    tools = Tools(args, work, wine)
    gray = [n for n in samples if "gray" in n]
    cases = [
        ("header of every file", ["info", *names, "missing.qob"], ()),
        ("header as JSON", ["info", "--json", *samples], ()),
        ("standard input", ["info", "-"], (), samples[0]),
        ("batch to PNG", ["decode", "-d", "out", *samples], ()),
        ("batch to PPM", ["decode", "-d", "ppm", "-f", "ppm", *samples],
         ["ppm/%s.ppm" % n[:-4] for n in samples]),
        ("over its input", ["decode", samples[0], "-o", samples[0], "-f", "ppm"], ()),
        ("two to one file", ["decode", "-d", "in", samples[0], "in/../" + samples[0]], ()),
        ("PNM to standard output", ["decode", "-", "-o", "-"], (), samples[-1]),
        ("usage", ["decode", samples[0]], ()),
    ]
    for name in samples:
        stem = name[:-4]
        cases += [
            ("PPM", ["decode", name, "-o", stem + ".ppm"], [stem + ".ppm"]),
            ("PNG", ["decode", name, "-o", stem + ".png", "-t", "2"], [stem + ".png"], None, True),
        ]
    for name in gray:
        cases.append(("PGM", ["decode", name, "-o", name[:-4] + ".pgm"], [name[:-4] + ".pgm"]))
    for name in broken + ["missing.qob"]:
        cases.append(("refused", ["decode", name, "-o", name + ".ppm"], [name + ".ppm"]))
    # Encoding: sources written by the Linux tool, copied to both sides.
    linux_folder = os.path.join(work, "linux")
    sources = []
    for name in samples[:2] + gray[:1]:
        for extension in ("ppm", "png") + (("pgm",) if name in gray else ()):
            source = "src-%s.%s" % (name[:-4], extension)
            made = run([*tools.linux, "decode", name, "-o", source], cwd=linux_folder)
            expect(made.returncode == 0, "Linux qob decode %s" % source)
            shutil.copy(os.path.join(linux_folder, source), os.path.join(work, "windows", source))
            sources.append(source)
    for source in png_sources(work):
        shutil.copy(os.path.join(work, source), os.path.join(work, "linux", source))
        shutil.copy(os.path.join(work, source), os.path.join(work, "windows", source))
        sources.append(source)
    options = [[], ["-q", "90", "--full-chroma"], ["--gray", "-q", "30"],
               ["--chroma-quality", "20", "--stats", "--background", "#336699"]]
    for index, source in enumerate(sources):
        target = "enc-%d.qob" % index
        cases.append(("encode", ["encode", source, "-o", target, *options[index % 4]], [target]))
    cases.append(("encode to standard output", ["encode", "-", "-o", "-"], (), sources[0]))
    cases.append(("encode over its input", ["encode", sources[0], "-o", sources[0]], ()))

    def one(case):
        label, arguments, outputs = case[:3]
        stdin = case[3] if len(case) > 3 else None
        png = case[4] if len(case) > 4 else False
        tools.compare(label, arguments, outputs, stdin, png)

    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        list(pool.map(one, cases))
    # An output that exists is replaced whole.
    tools.compare("over an older output", ["decode", samples[-1], "-o", samples[0][:-4] + ".ppm"],
                  [samples[0][:-4] + ".ppm"])
    # Batches and what no command may leave behind.
    for output in ("out/%s.png" % n[:-4] for n in samples):
        paths = [os.path.join(work, side, output) for side in ("linux", "windows")]
        expect(all(map(os.path.exists, paths)) and pixels(paths[0]) == pixels(paths[1]),
               "decode -d: %s differs" % output)
    leftovers = [f for f in os.listdir(os.path.join(work, "windows")) if f.startswith(".")]
    expect(not leftovers, "temporary files left behind: %s" % leftovers)
    print("  qob.exe: %d commands as on Linux" % (len(cases) + 1))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--arch", choices=sorted(FORMATS), required=True)
    parser.add_argument("--folder", required=True, help="the cross build, e.g. build-windows64")
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--nm", required=True)
    parser.add_argument("--source", default=".")
    parser.add_argument("--static-only", action="store_true")
    parser.add_argument("--wine", help="the Wine loader")
    parser.add_argument("--linux-build", default="build")
    parser.add_argument("--samples", default="samples")
    parser.add_argument("--jobs", type=int, default=4)
    args = parser.parse_args()
    args.header = os.path.join(args.source, "include/xqob/xqob.h")

    check_binaries(args)
    check_install(args)
    if not args.static_only:
        with tempfile.TemporaryDirectory(prefix="xqob-programs-") as work:
            samples = []
            for name in sorted(os.listdir(args.samples)):
                if name.endswith(".qob"):
                    shutil.copy(os.path.join(args.samples, name), work)
                    samples.append(name)
            broken = broken_files(args.samples, work)
            check_c_interface(args, work, [args.wine], samples + broken)
            check_tool(args, work, [args.wine], samples, broken, args.jobs)
    print("windows programs (%s, %s): %d checks, %d failures" % (
        args.arch, "binaries only" if args.static_only else "under Wine", checks, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
