#!/usr/bin/env python3
"""Checks a Windows plug-in against the Linux one.

The DLL must be built for its machine (32-bit x86 or x86-64), export exactly the six entry
points under their plain names, have the C runtime start-up that calls DllMain as its entry
point, and import only system DLLs. On 32-bit x86 each export is a stdcall function (it
removes its own arguments); on x86-64, where there is one calling convention, the caller
removes them. Run through xqob-host.exe under Wine, it must decode every test picture to the
same bytes as the Linux host does with the Linux plug-in, refuse every broken file (exit
status 1) and report the same plug-in and picture information. --static-only stops after
the checks of the binaries, for machines that cannot run the DLL's architecture.

Wine is run as --wine names it, with the WINEPREFIX and WINEDEBUG of the environment.
"""

import argparse
import concurrent.futures
import os
import random
import re
import subprocess
import sys
import tempfile

# Name and number of arguments of each export (each 32 bits wide on 32-bit x86).
EXPORTS = {
    "vkmGetPluginInfo": 6,
    "vkmLoadPictureInit": 1,
    "vkmLoadPictureGetInfo": 10,
    "vkmLoadPictureGetLine": 3,
    "vkmLoadPictureGetColormap": 2,
    "vkmLoadPictureExit": 1,
}

# DLLs that every Windows system has.
SYSTEM_DLLS = {
    "kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll", "ntdll.dll", "gdi32.dll",
    "shell32.dll", "ole32.dll", "ws2_32.dll", "bcrypt.dll",
}

MARKER = "ee"

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


def run(command, timeout=60):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)


# ---- The binary itself ---------------------------------------------------------------------


# What differs between the two machines: the file format objdump reports, the symbol that
# implements an export, the ret each export must end with, and the runtime start-up symbols.
ARCHITECTURES = {
    "x86": {
        "format": "pei-i386",
        "symbol": lambda name, arguments: "_%s@%d" % (name, 4 * arguments),
        "ret": lambda arguments: "$0x%x" % (4 * arguments),
        "startup": "_DllMainCRTStartup@12",
        "startup_body": "___DllMainCRTStartup",
        "dllmain": "_DllMain@12",
    },
    "x64": {
        "format": "pei-x86-64",
        "symbol": lambda name, arguments: name,
        "ret": lambda arguments: "",
        "startup": "DllMainCRTStartup",
        "startup_body": "__DllMainCRTStartup",
        "dllmain": "DllMain",
    },
}


def check_dll_structure(objdump, dll, arch):
    machine = ARCHITECTURES[arch]
    file_format = re.search(r"file format (\S+)", run([objdump, "-f", dll]).stdout.decode())
    if not file_format or file_format.group(1) != machine["format"]:
        fail("%s is not a %s file (objdump reads it as %s)" % (
            dll, machine["format"], file_format.group(1) if file_format else "unknown"))
        return
    headers = run([objdump, "-p", dll]).stdout.decode()
    names = re.findall(r"^\s*\[\s*\d+\]\s+(\S+)\s*$",
                       headers.split("[Ordinal/Name Pointer] Table", 1)[-1], re.M)
    if sorted(names) != sorted(EXPORTS):
        fail("exports are %s, expected exactly %s" % (names, sorted(EXPORTS)))
    imports = re.findall(r"DLL Name:\s*(\S+)", headers)
    foreign = [name for name in imports if name.lower() not in SYSTEM_DLLS]
    if not imports or foreign:
        fail("imports %s include non-system DLLs %s" % (imports, foreign))

    base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", headers, re.M).group(1), 16)
    entry = base + int(re.search(r"^AddressOfEntryPoint\s+([0-9a-fA-F]+)", headers, re.M)
                       .group(1), 16)
    export_rvas = [int(rva, 16) for rva in
                   re.findall(r"\+base\[\s*\d+\]\s+([0-9a-fA-F]+) Export RVA", headers)]
    symbols = {}
    for line in run([objdump, "-t", dll]).stdout.decode().splitlines():
        match = re.search(r"\(sec\s+1\).*\s0x([0-9a-fA-F]+)\s+(\S+)$", line)
        if match:
            symbols[match.group(2)] = int(match.group(1), 16)
    text = int(re.search(r"^\s*\d+\s+\.text\s+\S+\s+([0-9a-fA-F]+)", run(
        [objdump, "-h", dll]).stdout.decode(), re.M).group(1), 16)
    starts = sorted(set(symbols.values()))

    def function_code(symbol):
        start = symbols[symbol]
        later = [s for s in starts if s > start]
        end = later[0] if later else start + 4096
        return run([objdump, "-d", "--start-address=%d" % (text + start),
                    "--stop-address=%d" % (text + end), dll]).stdout.decode()

    for name, arguments in EXPORTS.items():
        symbol = machine["symbol"](name, arguments)
        if symbol not in symbols:
            fail("no function %s behind export %s" % (symbol, name))
            continue
        if text + symbols[symbol] - base not in export_rvas:
            fail("export %s is not bound to %s" % (name, symbol))
        returns = re.findall(r"\tret[a-z]*\b[ \t]*(\S*)", function_code(symbol))
        expected = machine["ret"](arguments)
        if not returns or any(r != expected for r in returns):
            fail("%s returns with %s, expected ret %s" % (symbol, returns, expected))

    startup = machine["startup"]
    if symbols.get(startup) is None or text + symbols[startup] != entry:
        fail("entry point is not the runtime start-up %s" % startup)
    if machine["dllmain"] not in symbols or not re.search(
            r"call\s+\S+\s+<%s>" % re.escape(machine["dllmain"]),
            function_code(machine["startup_body"])):
        fail("the runtime start-up does not call DllMain")


def check_host_imports(objdump, exe):
    imports = re.findall(r"DLL Name:\s*(\S+)", run([objdump, "-p", exe]).stdout.decode())
    foreign = [name for name in imports if name.lower() not in SYSTEM_DLLS]
    if foreign:
        fail("host %s imports non-system DLLs %s" % (exe, foreign))


# ---- Test pictures -------------------------------------------------------------------------


def qob_header(width, height, gray=False, quality=25, full_chroma=False, chroma=30, flags=0):
    header = bytearray(b"QOB")
    header += bytes([(128 if gray else 0) | quality, (128 if full_chroma else 0) | chroma, flags])
    if flags & 1:
        header += bytes(range(0xA0, 0xAA))
    header += bytes([width >> 8, width & 255, height >> 8, height & 255, 0x55, 0x55, 0x55, 0x55])
    return bytes(header)


def decodable_pictures():
    """Pictures that open: every kind, size, header layout and a spread of settings."""
    generator = random.Random(7)
    kinds = [("gray", True, False), ("grayfull", True, True), ("half", False, False),
             ("full", False, True)]
    sizes = [(1, 1), (17, 1), (33, 47), (64, 64), (0, 0), (0, 5), (7, 0)]
    qualities = [0, 25, 60, 100, 13, 87]
    chromas = [0, 30, 80, 47, 5]
    pictures = {}
    index = 0
    for kind, gray, full in kinds:
        for width, height in sizes:
            for flags in (0, 1, 2, 3):
                payload = bytes(generator.getrandbits(8) for _ in range(64 + 4 * width * height))
                header = qob_header(width, height, gray, qualities[index % len(qualities)], full,
                                    chromas[index % len(chromas)], flags)
                pictures["%s-%dx%d-f%d" % (kind, width, height, flags)] = header + payload
                index += 1
    for fill in (0x00, 0xFF):
        for kind, gray, full in kinds:
            pictures["%s-fill%02x" % (kind, fill)] = (
                qob_header(40, 24, gray, 50, full, 40) + bytes([fill]) * 4000)
    pictures["described"] = bytes([ord("Q"), ord("O"), ord("B"), 25, 30, 0, 1, 64, 0, 240,
                                   1, 2, 3, 4]) + bytes(
        generator.getrandbits(8) for _ in range(320 * 240 * 3))
    return pictures


def broken_pictures():
    """Files that vkmLoadPictureInit must refuse."""
    good = qob_header(16, 16)
    return {
        "empty": b"",
        "bad-magic-first": b"X" + good[1:] + bytes(100),
        "bad-magic-third": b"QOA" + good[3:] + bytes(100),
        "quality-101": qob_header(16, 16, quality=101) + bytes(100),
        "gray-quality-101": qob_header(16, 16, gray=True, quality=101) + bytes(100),
        "chroma-81": qob_header(16, 16, chroma=81) + bytes(100),
        "full-chroma-81": qob_header(16, 16, full_chroma=True, chroma=81) + bytes(100),
        "flags-4": qob_header(16, 16, flags=4) + bytes(100),
        "flags-128": qob_header(16, 16, flags=128) + bytes(100),
        "truncated-3": good[:3],
        "truncated-5": good[:5],
        "truncated-10": good[:10],
        "truncated-optional": qob_header(16, 16, flags=1)[:12],
        "payload-0": good,
        "payload-1": good + b"\x5a",
        "optional-payload-1": qob_header(16, 16, flags=1) + b"\x5a",
        "exhausted-2": qob_header(64, 64) + b"\x12\x34",
        "exhausted-gray": qob_header(64, 64, gray=True) + bytes([0x9c]) * 6,
    }


# ---- Running both hosts --------------------------------------------------------------------


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Hosts:
    def __init__(self, args, work):
        self.args = args
        self.work = work

    def linux(self, *arguments):
        return run([self.args.linux_host, *arguments])

    def windows(self, *arguments):
        converted = [a if a.startswith("--") else windows_path(a) for a in arguments]
        result = run([self.args.wine, self.args.windows_host, *converted])
        # Now and then Wine fails to start a program at all: exit 1 and not a byte written.
        # Such a run is repeated once; a host that really fails that way fails twice.
        if result.returncode != 0 and not result.stdout and not result.stderr:
            result = run([self.args.wine, self.args.windows_host, *converted])
        return result

    def decode(self, name, path, expected_status):
        """Decodes with both hosts; compares status and output bytes."""
        linux_out = os.path.join(self.work, name + ".linux.pnm")
        windows_out = os.path.join(self.work, name + ".windows.pnm")
        linux = self.linux(self.args.linux_library, path, linux_out)
        windows = self.windows(self.args.dll, path, windows_out)
        problems = []
        if expected_status is not None and linux.returncode != expected_status:
            problems.append("Linux host exit %d, expected %d" % (linux.returncode, expected_status))
        if windows.returncode != linux.returncode:
            problems.append("Windows host exit %d (%s), Linux %d" % (
                windows.returncode, windows.stderr.decode(errors="replace").strip(),
                linux.returncode))
        elif linux.returncode == 0 and read(linux_out) != read(windows_out):
            problems.append("decoded bytes differ")
        info = self.info(path)
        if info:
            problems.append(info)
        return name, problems

    def info(self, *picture):
        """Compares the --info text of both hosts; returns a problem or None."""
        linux = self.linux("--info", self.args.linux_library, *picture)
        windows = self.windows("--info", self.args.dll, *picture)
        if (linux.returncode, linux.stdout) != (windows.returncode, windows.stdout):
            return "--info differs: Linux exit %d\n%s\nWindows exit %d\n%s" % (
                linux.returncode, linux.stdout.decode(errors="replace"), windows.returncode,
                windows.stdout.decode(errors="replace"))
        return None


def read(path):
    with open(path, "rb") as file:
        return file.read()


def expected_plugin_info():
    """What vkmGetPluginInfo writes: nothing unless the version is 2."""
    lines = []
    for version in (1, 2, 3):
        for size in (0, 2, 8):
            label, extension, flag = [MARKER] * 12, [MARKER] * 4, [MARKER] * 4
            if version == 2:
                text = [b"%02x" % c for c in b"QOB"] + [b"00"] * 12
                label[:size] = [t.decode() for t in text[:size]]
                extension, flag = ["71", "6f", "62", "00"], ["01", "00", "00", "00"]
            lines.append("vkmGetPluginInfo version %d labelSize %d -> %d label %s extension %s"
                         " flag %s" % (version, size, 1 if version == 2 else 0, " ".join(label),
                                       " ".join(extension), " ".join(flag)))
    return "\n".join(lines) + "\n"


def expected_described_info():
    """320 x 240 colour at quality index 25: the values and "QOB -q 75"."""
    words = b"".join(v.to_bytes(4, "little") for v in (0, 320, 240, 68, 24, 960, 0))
    description = b"QOB -q 75\0" + bytes.fromhex(MARKER) * 6
    return ("vkmLoadPictureGetInfo -> 1 values %s description %s\n"
            "vkmLoadPictureGetColormap -> 0\n" % (" ".join("%02x" % b for b in words),
                                                   " ".join("%02x" % b for b in description)))


def check_info(hosts, work):
    expected = expected_plugin_info()
    linux = hosts.linux("--info", hosts.args.linux_library)
    if linux.stdout.decode() != expected:
        fail("Linux vkmGetPluginInfo output:\n%s\nexpected:\n%s" % (linux.stdout.decode(),
                                                                    expected))
    problem = hosts.info()
    if problem:
        fail(problem)
    described = os.path.join(work, "described.qob")
    linux = hosts.linux("--info", hosts.args.linux_library, described)
    if linux.stdout.decode() != expected + expected_described_info():
        fail("Linux picture information:\n%s" % linux.stdout.decode())


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--arch", choices=sorted(ARCHITECTURES), required=True)
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--windows-host", required=True)
    parser.add_argument("--static-only", action="store_true",
                        help="check the binaries only; do not run them under Wine")
    parser.add_argument("--wine", default="wine", help="the Wine loader to run the host with")
    parser.add_argument("--linux-host")
    parser.add_argument("--linux-library")
    parser.add_argument("--samples", default="samples")
    parser.add_argument("--qob", help="qob tool whose encoder output joins the test pictures")
    parser.add_argument("--jobs", type=int, default=4)
    args = parser.parse_args()

    check_dll_structure(args.objdump, args.dll, args.arch)
    check_host_imports(args.objdump, args.windows_host)
    if args.static_only:
        print("windows check (%s, binaries only): %d failures" % (args.arch, len(failures)))
        return 1 if failures else 0
    if not args.linux_host or not args.linux_library:
        parser.error("--linux-host and --linux-library are needed to run the comparison")

    with tempfile.TemporaryDirectory(prefix="xqob-windows-") as work:
        cases = []
        for expected, pictures in ((0, decodable_pictures()), (1, broken_pictures())):
            for name, data in pictures.items():
                path = os.path.join(work, name + ".qob")
                with open(path, "wb") as file:
                    file.write(data)
                # A picture with no columns but some rows: whether its rows are handed out
                # is the plug-in's choice; Windows must only agree with Linux.
                empty_rows = expected == 0 and re.search(r"-0x[1-9]", name)
                cases.append((name, path, None if empty_rows else expected))
        cases.append(("missing-file", os.path.join(work, "no-such-file.qob"), 1))
        if os.path.isdir(args.samples):
            for sample in sorted(os.listdir(args.samples)):
                if sample.endswith(".qob"):
                    cases.append((sample, os.path.join(args.samples, sample), 0))
        if args.qob:
            cases += encoded_pictures(args.qob, work)

        hosts = Hosts(args, work)
        check_info(hosts, work)
        with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
            results = pool.map(lambda case: hosts.decode(*case), cases)
            for name, problems in results:
                for problem in problems:
                    fail("%s: %s" % (name, problem))

    counts = [sum(1 for case in cases if case[2] == status) for status in (0, 1)]
    print("windows check (%s, under Wine): %d pictures that open, %d that must not, %d either way; %d failures"
          % (args.arch, counts[0], counts[1], len(cases) - sum(counts), len(failures)))
    return 1 if failures else 0


def encoded_pictures(qob, work):
    """Pictures made by the encoder from generated PGM and PPM sources, with its options."""
    cases = []
    generator = random.Random(11)
    options = {
        b"P5": [[], ["-q", "90"], ["--gray", "-q", "10"], ["-q", "60"]],
        b"P6": [[], ["--full-chroma", "-q", "30"], ["--chroma-quality", "20"], ["--gray"]],
    }
    for magic, channels in ((b"P5", 1), (b"P6", 3)):
        for index, (width, height) in enumerate(((1, 1), (17, 1), (33, 47), (64, 64))):
            name = "encoded-%s-%dx%d" % (magic.decode(), width, height)
            source = os.path.join(work, name + (".pgm" if channels == 1 else ".ppm"))
            pixels = bytes((x * 7 + y * 3 + generator.getrandbits(5)) & 255
                           for y in range(height) for x in range(width * channels))
            with open(source, "wb") as file:
                file.write(b"%s\n%d %d\n255\n" % (magic, width, height) + pixels)
            target = os.path.join(work, name + ".qob")
            chosen = options[magic][index]
            result = run([qob, "encode", source, "-o", target, *chosen])
            if result.returncode != 0:
                fail("qob encode %s %s: %s" % (source, " ".join(chosen),
                                                result.stderr.decode(errors="replace")))
                continue
            cases.append((name, target, 0))
    return cases


if __name__ == "__main__":
    sys.exit(main())
