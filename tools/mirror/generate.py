#!/usr/bin/env python3
"""Writes a local mirror of the Minecraft 1.21.1 download services.

The mirror holds every file a vanilla install fetches (client jar, libraries and natives,
asset index, asset objects) with deterministic synthetic bytes of the real sizes (divided by
--scale), and rewrites the version manifest, the version JSON and the asset index so that
every URL points at --base-url and every SHA-1 and size matches the synthetic file.

Layout below the output root, served as one tree:
  mc/game/version_manifest_v2.json      Endpoints::mojangMeta = BASE
  v1/packages/<sha1>/<id>.json          version JSON and asset index
  v1/objects/<sha1>/<name>              client jar, mappings, server, logging config
  libraries/<artifact path>             libraries and natives
  resources/<xx>/<hash>                 Endpoints::mojangAssets = BASE/resources
  v3/binary/latest/21/ga/...            runtime archives, when runtime_archive.py is present
  endpoints.ini                         the [endpoints] section for Quellbrook.ini
  urls-windows.txt, urls-linux.txt      "url<TAB>relative path<TAB>size<TAB>sha1" per file a
                                        vanilla install of that target fetches
"""

import argparse
import hashlib
import json
import os
import random
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
DEFAULT_SOURCE = HERE.parent.parent.parent / "shared" / "testdata" / "real" / "minecraft"
VERSION_ID = "1.21.1"
ASSETS_PREFIX = "resources"

# One fixed pool of pseudo-random bytes; each file is a slice of it at an offset derived from
# the file's identity, behind a header that makes every file's content distinct.
_POOL_SIZE = 4 * 1024 * 1024
_POOL = random.Random(20261207).randbytes(_POOL_SIZE)


def synthetic_bytes(identity: str, size: int) -> bytes:
    header = hashlib.sha256(identity.encode("utf-8")).digest()
    offset = int.from_bytes(header[:4], "little") % _POOL_SIZE
    out = bytearray(header[: min(size, len(header))])
    while len(out) < size:
        chunk = _POOL[offset : offset + (size - len(out))]
        out += chunk
        offset = 0
    return bytes(out)


# Never below the header, so that distinct real files stay distinct at any scale.
_MIN_SCALED = 32


def scaled(size: int, scale: int) -> int:
    if size <= 0:
        return 0
    return max(min(size, _MIN_SCALED), -(-size // scale))


class Mirror:
    def __init__(self, root: Path, base_url: str, scale: int):
        self.root = root
        self.base = base_url.rstrip("/")
        self.scale = scale
        self.files_written = 0

    def url(self, relative: str) -> str:
        return self.base + "/" + relative

    def write(self, relative: str, data: bytes) -> None:
        target = self.root / relative
        if target.is_file() and target.stat().st_size == len(data):
            with open(target, "rb") as existing:
                if existing.read() == data:
                    return
        target.parent.mkdir(parents=True, exist_ok=True)
        temp = target.with_name(target.name + ".tmp")
        with open(temp, "wb") as out:
            out.write(data)
        os.replace(temp, target)
        self.files_written += 1

    def synthetic_file(self, relative: str, identity: str, real_size: int) -> dict:
        data = synthetic_bytes(identity, scaled(real_size, self.scale))
        self.write(relative, data)
        return {"sha1": hashlib.sha1(data).hexdigest(), "size": len(data)}

    def content_addressed(self, folder: str, name: str, identity: str, real_size: int) -> dict:
        # Stored under its own SHA-1, as Mojang's hosts do.
        data = synthetic_bytes(identity, scaled(real_size, self.scale))
        sha1 = hashlib.sha1(data).hexdigest()
        relative = f"{folder}/{sha1}/{name}"
        self.write(relative, data)
        return {"sha1": sha1, "size": len(data), "url": self.url(relative)}

    def document(self, folder: str, name: str, obj) -> dict:
        # Mojang serves its documents on one line with these separators.
        data = json.dumps(obj, ensure_ascii=False).encode("utf-8")
        sha1 = hashlib.sha1(data).hexdigest()
        relative = f"{folder}/{sha1}/{name}"
        self.write(relative, data)
        return {"sha1": sha1, "size": len(data), "url": self.url(relative), "relative": relative}


def rule_allows(entry: dict, os_name: str, arch: str = "x86_64") -> bool:
    if "rules" not in entry:
        return True
    allowed = False
    for rule in entry["rules"]:
        applies = True
        os_part = rule.get("os")
        if isinstance(os_part, dict):
            if "name" in os_part:
                applies = os_part["name"] == os_name
            if "arch" in os_part and os_part["arch"] != arch:
                applies = False
        if "features" in rule:
            continue
        if applies:
            allowed = rule.get("action", "allow") == "allow"
    return allowed


def rewrite_asset_index(mirror: Mirror, index: dict) -> list:
    """Gives each distinct real hash one synthetic object, so names sharing a hash still do."""
    new_hash_of = {}
    for name, entry in index["objects"].items():
        real = entry["hash"]
        if real not in new_hash_of:
            data = synthetic_bytes("asset:" + real, scaled(entry["size"], mirror.scale))
            new_hash = hashlib.sha1(data).hexdigest()
            mirror.write(f"{ASSETS_PREFIX}/{new_hash[:2]}/{new_hash}", data)
            new_hash_of[real] = (new_hash, len(data))
        new_hash, size = new_hash_of[real]
        entry["hash"] = new_hash
        entry["size"] = size
    return [
        (f"{ASSETS_PREFIX}/{h[:2]}/{h}", size, h) for h, size in new_hash_of.values()
    ]


def rewrite_downloads(mirror: Mirror, version: dict) -> None:
    names = {"client": "client.jar", "server": "server.jar"}
    for key, item in version["downloads"].items():
        meta = mirror.content_addressed("v1/objects", names.get(key, key + ".txt"), key, item["size"])
        item.update(meta)
    logging = version.get("logging", {}).get("client", {}).get("file")
    if logging:
        logging.update(mirror.content_addressed("v1/objects", logging["id"], "logging", logging["size"]))


def rewrite_libraries(mirror: Mirror, version: dict) -> None:
    for library in version["libraries"]:
        artifact = library.get("downloads", {}).get("artifact")
        if not artifact:
            continue
        relative = "libraries/" + artifact["path"]
        meta = mirror.synthetic_file(relative, "library:" + artifact["path"], artifact["size"])
        artifact.update(meta, url=mirror.url(relative))


def write_runtime_archives(mirror: Mirror, args) -> list:
    sys.path.insert(0, str(HERE))
    try:
        import runtime_archive  # written alongside; optional
    except ImportError:
        return []
    return runtime_archive.write_mirror_archives(mirror.root, args.scale)


def url_list(mirror, version, index_doc, asset_files, manifest_relative, version_doc, os_name):
    lines = [(manifest_relative, None, None), (version_doc["relative"], version_doc["size"], version_doc["sha1"])]
    client = version["downloads"]["client"]
    lines.append((client["url"][len(mirror.base) + 1 :], client["size"], client["sha1"]))
    for library in version["libraries"]:
        artifact = library.get("downloads", {}).get("artifact")
        if artifact and rule_allows(library, os_name):
            lines.append(("libraries/" + artifact["path"], artifact["size"], artifact["sha1"]))
    lines.append((index_doc["relative"], index_doc["size"], index_doc["sha1"]))
    lines.extend(asset_files)
    out = []
    for relative, size, sha1 in lines:
        out.append(f"{mirror.url(relative)}\t{relative}\t{'' if size is None else size}\t{sha1 or ''}")
    return "\n".join(out) + "\n"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", required=True, type=Path, help="mirror root to write")
    parser.add_argument("--base-url", required=True, help="URL at which the root will be served")
    parser.add_argument("--scale", type=int, default=1, help="divide every file size by N")
    parser.add_argument("--source", type=Path, default=DEFAULT_SOURCE, help="folder with the real documents")
    parser.add_argument("--no-runtime", action="store_true", help="skip the runtime archives")
    args = parser.parse_args()
    if args.scale < 1:
        parser.error("--scale must be at least 1")

    mirror = Mirror(args.out, args.base_url, args.scale)
    args.out.mkdir(parents=True, exist_ok=True)
    version = json.loads((args.source / f"{VERSION_ID}.json").read_text(encoding="utf-8"))
    index = json.loads((args.source / "asset-index-17.json").read_text(encoding="utf-8"))
    real_manifest = json.loads((args.source / "version_manifest_v2.json").read_text(encoding="utf-8"))

    asset_files = rewrite_asset_index(mirror, index)
    index_doc = mirror.document("v1/packages", version["assetIndex"]["id"] + ".json", index)
    total_size = sum(size for _, size, _ in asset_files)
    version["assetIndex"].update(sha1=index_doc["sha1"], size=index_doc["size"], url=index_doc["url"], totalSize=total_size)
    rewrite_downloads(mirror, version)
    rewrite_libraries(mirror, version)
    version_doc = mirror.document("v1/packages", VERSION_ID + ".json", version)

    entry = next(v for v in real_manifest["versions"] if v["id"] == VERSION_ID)
    entry = dict(entry, url=version_doc["url"], sha1=version_doc["sha1"])
    manifest = {"latest": {"release": VERSION_ID, "snapshot": VERSION_ID}, "versions": [entry]}
    manifest_relative = "mc/game/version_manifest_v2.json"
    mirror.write(manifest_relative, json.dumps(manifest, indent=2).encode("utf-8"))

    runtime_paths = [] if args.no_runtime else write_runtime_archives(mirror, args)

    endpoints = (
        "[endpoints]\n"
        f"mojangMeta={mirror.base}\n"
        f"mojangAssets={mirror.base}/{ASSETS_PREFIX}\n"
        f"adoptium={mirror.base}\n"
    )
    (args.out / "endpoints.ini").write_text(endpoints, encoding="utf-8")
    for os_name in ("windows", "linux"):
        text = url_list(mirror, version, index_doc, asset_files, manifest_relative, version_doc, os_name)
        (args.out / f"urls-{os_name}.txt").write_text(text, encoding="utf-8")

    summary = {
        "root": str(args.out),
        "baseUrl": mirror.base,
        "scale": args.scale,
        "assetObjects": len(asset_files),
        "assetBytes": total_size,
        "filesWritten": mirror.files_written,
        "versionJsonSha1": version_doc["sha1"],
        "runtimeArchives": [str(p) for p in runtime_paths],
    }
    print(json.dumps(summary))
    return 0


if __name__ == "__main__":
    sys.exit(main())
