#!/usr/bin/env python3
"""Writes a launcher release manifest (latest.json) naming each package's URL, size and SHA-256.

usage: make-manifest.py OUT VERSION NOTES PLATFORM=URL=FILE [PLATFORM=URL=FILE ...]
PLATFORM is windows-x64 or linux-x64; FILE is the package as it will be served at URL."""
import hashlib
import json
import os
import sys

def main(out, version, notes, *packages):
    entries = {}
    for package in packages:
        platform, url, path = package.split("=", 2)
        with open(path, "rb") as data:
            digest = hashlib.sha256(data.read()).hexdigest()
        entries[platform] = {"url": url, "size": os.path.getsize(path), "sha256": digest}
    with open(out, "w", encoding="utf-8") as manifest:
        json.dump({"version": version, "notes": notes, "packages": entries}, manifest,
                  ensure_ascii=False, indent=2)
        manifest.write("\n")

if __name__ == "__main__":
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])
