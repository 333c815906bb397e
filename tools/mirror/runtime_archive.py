#!/usr/bin/env python3
"""Writes a stand-in for the Adoptium Java 21 JRE archive.

The archive has the shape of the real one: a single top-level folder (jdk-21.0.5+11-jre/)
with bin/java (plus bin/java.exe and bin/javaw.exe in the Windows layout), lib/ with filler
files of deterministic pseudo-random bytes that do not compress, so the archive keeps the
real one's size, conf/ text, and legal/ with one folder per module. In the Linux tar.gz the
module folders hold relative links to ../java.base/, as a real Linux JRE does; the Windows
zip holds copies. By default bin/java is a POSIX shell script that prints a Java 21 version
banner on standard error for -version; --java stores a program there instead, and for the
Windows zip --java-exe and --javaw-exe store Windows programs as bin/java.exe and bin/javaw.exe,
with the DLLs they load (--bin-file, repeatable) beside them in bin/, as a real runtime has them.

The same arguments always give the same bytes.

  runtime_archive.py OUT --target windows|linux [--size-mb 45] [--scale N] [--java PROGRAM]
                    [--java-exe EXE] [--javaw-exe EXE] [--bin-file FILE ...]
"""

import argparse
import gzip
import io
import json
import random
import sys
import tarfile
import zipfile
from pathlib import Path

TOP = "jdk-21.0.5+11-jre"
ZIP_TIME = (2024, 10, 15, 12, 0, 0)
TAR_TIME = 1728993600
MODULES = [
    "java.base", "java.compiler", "java.datatransfer", "java.desktop", "java.instrument",
    "java.logging", "java.management", "java.naming", "java.net.http", "java.prefs",
    "java.rmi", "java.scripting", "java.se", "java.security.jgss", "java.sql",
    "java.transaction.xa", "java.xml", "java.xml.crypto", "jdk.charsets", "jdk.crypto.ec",
    "jdk.httpserver", "jdk.jfr", "jdk.localedata", "jdk.management", "jdk.net", "jdk.unsupported",
    "jdk.zipfs",
]
LEGAL_FILES = ["LICENSE", "ASSEMBLY_EXCEPTION", "ADDITIONAL_LICENSE_INFO"]
# Share of the payload per lib/ file, in the proportions of a real JRE.
LIB_SHARES = [("modules", 0.62), ("server/libjvm", 0.22), ("libawt", 0.03), ("libfontmanager", 0.02),
              ("libjava", 0.01), ("libnet", 0.005), ("libnio", 0.005), ("libzip", 0.003),
              ("ct.sym", 0.004), ("tzdb.dat", 0.002), ("jrt-fs.jar", 0.002), ("classlist", 0.003)]
SHARES_TOTAL = sum(share for _, share in LIB_SHARES)
SMALL_LIB_FILES = 40

DEFAULT_JAVA = b"""#!/bin/sh
# Stand-in for the Java launcher of a test runtime archive.
if [ "$1" = "-version" ]; then
    echo 'openjdk version "21.0.5" 2024-10-15 LTS' >&2
    echo 'OpenJDK Runtime Environment Temurin-21.0.5+11 (build 21.0.5+11-LTS)' >&2
    echo 'OpenJDK 64-Bit Server VM Temurin-21.0.5+11 (build 21.0.5+11-LTS, mixed mode, sharing)' >&2
    exit 0
fi
echo "stand-in java: $*" >&2
exit 0
"""


def _text(seed: int, size: int) -> bytes:
    rng = random.Random(seed)
    words = [b"java", b"module", b"license", b"class", b"runtime", b"security", b"provider",
             b"=", b"#", b"true", b"false", b"path", b"\n"]
    out = bytearray()
    while len(out) < size:
        out += rng.choice(words) + b" "
    return bytes(out[:size])


def _entries(target: str, payload: int, java: bytes, windows_bin=None):
    """(name, kind, data or link target, mode) in archive order."""
    lib_ext = ".dll" if target == "windows" else ".so"
    yield TOP + "/", "dir", None, 0o755
    yield TOP + "/bin/", "dir", None, 0o755
    names = ["java"] + (["java.exe", "javaw.exe"] if target == "windows" else [])
    windows_bin = windows_bin or {}
    for name in names:
        yield f"{TOP}/bin/{name}", "file", windows_bin.get(name, java), 0o755
    for name in sorted(set(windows_bin) - set(names)):
        yield f"{TOP}/bin/{name}", "file", windows_bin[name], 0o755
    yield TOP + "/conf/", "dir", None, 0o755
    for i, name in enumerate(["security/java.security", "net.properties", "logging.properties"]):
        yield f"{TOP}/conf/{name}", "file", _text(100 + i, max(64, payload // 400)), 0o644
    yield TOP + "/lib/", "dir", None, 0o755
    rng = random.Random(20241015)
    big_total = int(payload * 0.97)
    for name, share in LIB_SHARES:
        full = name if "." in name or name == "modules" or name == "classlist" else name + lib_ext
        size = max(1, int(big_total * share / SHARES_TOTAL))
        yield f"{TOP}/lib/{full}", "file", rng.randbytes(size), 0o644
    small = max(1, (payload - big_total) // SMALL_LIB_FILES)
    for i in range(SMALL_LIB_FILES):
        yield f"{TOP}/lib/libpart{i:02d}{lib_ext}", "file", rng.randbytes(small), 0o644
    yield TOP + "/legal/", "dir", None, 0o755
    for module in MODULES:
        yield f"{TOP}/legal/{module}/", "dir", None, 0o755
        for j, legal in enumerate(LEGAL_FILES):
            name = f"{TOP}/legal/{module}/{legal}"
            if module == "java.base":
                yield name, "file", _text(200 + j, 2048 + 512 * j), 0o644
            elif target == "linux":
                yield name, "link", f"../java.base/{legal}", 0o777
            else:
                yield name, "file", _text(200 + j, 2048 + 512 * j), 0o644
    yield f"{TOP}/release", "file", b'JAVA_VERSION="21.0.5"\nIMPLEMENTOR="Eclipse Adoptium"\n', 0o644


def _write_zip(out: Path, entries) -> None:
    with zipfile.ZipFile(out, "w", compression=zipfile.ZIP_DEFLATED, compresslevel=6) as archive:
        for name, kind, data, mode in entries:
            info = zipfile.ZipInfo(name, date_time=ZIP_TIME)
            info.create_system = 3  # Unix, so that the mode bits below are honoured
            if kind == "dir":
                info.external_attr = ((0o040000 | mode) << 16) | 0x10
                archive.writestr(info, b"")
            else:
                info.external_attr = (0o100000 | mode) << 16
                info.compress_type = zipfile.ZIP_DEFLATED
                archive.writestr(info, data)


def _write_tar_gz(out: Path, entries) -> None:
    with open(out, "wb") as raw, gzip.GzipFile(filename="", fileobj=raw, mode="wb", compresslevel=6, mtime=0) as gz:
        with tarfile.open(fileobj=gz, mode="w", format=tarfile.GNU_FORMAT) as archive:
            for name, kind, data, mode in entries:
                info = tarfile.TarInfo(name.rstrip("/"))
                info.mtime = TAR_TIME
                info.mode = mode
                info.uid = info.gid = 0
                info.uname = info.gname = ""
                if kind == "dir":
                    info.type = tarfile.DIRTYPE
                    archive.addfile(info)
                elif kind == "link":
                    info.type = tarfile.SYMTYPE
                    info.linkname = data
                    archive.addfile(info)
                else:
                    info.size = len(data)
                    archive.addfile(info, io.BytesIO(data))


def write_runtime_archive(out, target: str, size_bytes: int = 45_000_000, scale: int = 1,
                          java_program=None, windows_bin=None) -> Path:
    """Writes the archive for target ("windows": zip, "linux": tar.gz) and returns its path."""
    if target not in ("windows", "linux"):
        raise ValueError("target must be windows or linux")
    out = Path(out)
    out.parent.mkdir(parents=True, exist_ok=True)
    java = Path(java_program).read_bytes() if java_program else DEFAULT_JAVA
    payload = max(1024, size_bytes // max(1, scale))
    entries = _entries(target, payload, java, windows_bin if target == "windows" else None)
    if target == "windows":
        _write_zip(out, entries)
    else:
        _write_tar_gz(out, entries)
    return out


def runtime_path(target: str) -> str:
    """Where the Adoptium path of the target's runtime lies below a mirror root."""
    return f"v3/binary/latest/21/ga/{target}/x64/jre/hotspot/normal/eclipse"


def write_mirror_archives(root, scale: int = 1, java_program=None) -> list:
    """Writes both targets' archives at their Adoptium paths below a mirror root."""
    return [write_runtime_archive(Path(root) / runtime_path(t), t, scale=scale, java_program=java_program)
            for t in ("windows", "linux")]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("out", type=Path, help="archive file to write")
    parser.add_argument("--target", choices=["windows", "linux"], required=True,
                        help="windows: zip with java.exe/javaw.exe; linux: tar.gz with links")
    parser.add_argument("--size-mb", type=float, default=45.0, help="payload size in MB (default 45)")
    parser.add_argument("--scale", type=int, default=1, help="divide the payload size by N")
    parser.add_argument("--java", type=Path, help="program to store as bin/java (default: a shell script)")
    parser.add_argument("--java-exe", type=Path, help="Windows program to store as bin/java.exe")
    parser.add_argument("--javaw-exe", type=Path, help="Windows program to store as bin/javaw.exe")
    parser.add_argument("--bin-file", type=Path, action="append", default=[],
                        help="a file (DLL) to store in bin/ of the Windows zip")
    args = parser.parse_args()
    windows_bin = {p.name: p.read_bytes() for p in args.bin_file}
    for name, program in (("java.exe", args.java_exe), ("javaw.exe", args.javaw_exe)):
        if program:
            windows_bin[name] = program.read_bytes()
    path = write_runtime_archive(args.out, args.target, int(args.size_mb * 1_000_000), args.scale,
                                 args.java, windows_bin)
    print(json.dumps({"archive": str(path), "target": args.target, "bytes": path.stat().st_size,
                      "topFolder": TOP}))
    return 0


if __name__ == "__main__":
    sys.exit(main())
