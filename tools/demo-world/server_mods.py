#!/usr/bin/env python3
"""Writes the demo server's mods (small, valid jar files) and the manifest that names them.

    server_mods.py --out DIR --base-url URL --manifest FILE

Each entry carries fileName, url (percent-escaped, as a web server publishes the name),
sizeBytes and sha256, the shape the account server serves at /api/mods.
"""

import argparse
import hashlib
import io
import json
import urllib.parse
import zipfile
from pathlib import Path

FIXED_TIME = (2026, 5, 15, 1, 14, 6)
MODS = [
    ("quellbrook-core-1.4.2.jar", "quellbrook_core", "1.4.2"),
    ("Ботаника-2.0.jar", "botanika", "2.0"),
    ("jei-1.21.1-19.21.jar", "jei", "19.21"),
]


def jar_bytes(mod_id: str, version: str) -> bytes:
    toml = (f'modLoader="javafml"\nloaderVersion="[4,)"\nlicense="MIT"\n[[mods]]\n'
            f'modId="{mod_id}"\nversion="{version}"\n').encode()
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in (("META-INF/MANIFEST.MF", b"Manifest-Version: 1.0\r\n\r\n"),
                           ("META-INF/neoforge.mods.toml", toml)):
            info = zipfile.ZipInfo(name, FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data)
    return buffer.getvalue()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", required=True, type=Path)
    parser.add_argument("--base-url", required=True)
    parser.add_argument("--manifest", required=True, type=Path)
    args = parser.parse_args()
    args.out.mkdir(parents=True, exist_ok=True)
    entries = []
    for file_name, mod_id, version in MODS:
        data = jar_bytes(mod_id, version)
        (args.out / file_name).write_bytes(data)
        entries.append({"fileName": file_name,
                        "url": args.base_url.rstrip("/") + "/" + urllib.parse.quote(file_name),
                        "sizeBytes": len(data),
                        "sha256": hashlib.sha256(data).hexdigest()})
    args.manifest.write_text(json.dumps({"mods": entries}, ensure_ascii=False), encoding="utf-8")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
