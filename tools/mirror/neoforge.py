#!/usr/bin/env python3
"""Adds the NeoForge maven repository and the authlib-injector release service to a mirror.

Below the output root, served as one tree next to what generate.py writes:
  maven/api/maven/versions/releases/net/neoforged/neoforge     the version list, as the maven
                                                               API answers it
  maven/releases/net/neoforged/neoforge/<v>/neoforge-<v>-installer.jar
  authlib-injector/artifact/latest.json                        release metadata, real shape
  authlib-injector/artifact/<build>/authlib-injector-<v>.jar   a synthetic agent jar
  endpoints-play.ini                                           neoforgeMaven= and authlibInjector=

The installer jar is a zip that carries what the stand-in Java's installer mode writes:
  install_profile.json   the real profile of the release ("version" names the version id)
  version.json           the real loader version JSON, byte for byte
  maven/<path>           every library of version.json at its maven path, synthetic bytes of
                         the listed size divided by --scale; a library the game lists too is
                         the same artifact, so it gets the same bytes as generate.py gives it
"""

import argparse
import hashlib
import io
import json
import sys
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
from generate import scaled, synthetic_bytes  # noqa: E402

DEFAULT_SOURCE = HERE.parent.parent.parent / "shared" / "testdata" / "real"
NEOFORGE_VERSION = "21.1.230"
AGENT_BUILD = 55
AGENT_VERSION = "1.2.7"
FIXED_TIME = (2026, 5, 15, 1, 14, 6)


def version_names() -> list:
    """Release names in the repository's pattern and ascending order: the 21.0 line only ever
    had betas, 21.1 starts with one, later lines follow with betas of their own."""
    names = ["20.6.119"]
    names += [f"21.0.{n}-beta" for n in range(0, 168)]
    names += ["21.1.0-beta"] + [f"21.1.{n}" for n in range(1, 231)]
    names += ["21.2.0-beta", "21.2.1-beta", "21.3.0-beta"] + [f"21.3.{n}" for n in range(1, 6)]
    return names


def zip_bytes(entries) -> bytes:
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in entries:
            info = zipfile.ZipInfo(name, FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            archive.writestr(info, data)
    return buffer.getvalue()


def installer_jar(source: Path, scale: int) -> bytes:
    version_json = (source / "neoforge" / f"neoforge-{NEOFORGE_VERSION}.json").read_bytes()
    profile = (source / "neoforge" / f"install_profile-{NEOFORGE_VERSION}.json").read_bytes()
    manifest = b"Manifest-Version: 1.0\r\nMain-Class: net.neoforged.installer.SimpleInstaller\r\n\r\n"
    entries = [("META-INF/MANIFEST.MF", manifest), ("install_profile.json", profile),
               ("version.json", version_json)]
    for library in json.loads(version_json)["libraries"]:
        artifact = library["downloads"]["artifact"]
        data = synthetic_bytes("library:" + artifact["path"], scaled(artifact["size"], scale))
        entries.append(("maven/" + artifact["path"], data))
    return zip_bytes(entries)


def agent_jar() -> bytes:
    manifest = (b"Manifest-Version: 1.0\r\n"
                b"Premain-Class: moe.yushi.authlibinjector.javaagent.AuthlibInjectorPremain\r\n"
                b"Implementation-Version: " + AGENT_VERSION.encode() + b"\r\n\r\n")
    body = synthetic_bytes("authlib-injector-" + AGENT_VERSION, 4096)
    return zip_bytes([("META-INF/MANIFEST.MF", manifest),
                      ("moe/yushi/authlibinjector/javaagent/AuthlibInjectorPremain.class", body)])


def write(root: Path, relative: str, data: bytes) -> None:
    target = root / relative
    target.parent.mkdir(parents=True, exist_ok=True)
    temp = target.with_name(target.name + ".tmp")
    temp.write_bytes(data)
    temp.replace(target)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", required=True, type=Path, help="mirror root to write")
    parser.add_argument("--base-url", required=True, help="URL at which the root will be served")
    parser.add_argument("--scale", type=int, default=1, help="divide every library size by N")
    parser.add_argument("--source", type=Path, default=DEFAULT_SOURCE, help="folder with the real documents")
    args = parser.parse_args()
    if args.scale < 1:
        parser.error("--scale must be at least 1")
    base = args.base_url.rstrip("/")
    maven_base = base + "/maven"
    agent_base = base + "/authlib-injector"

    versions = {"isSnapshot": False, "versions": version_names()}
    write(args.out, "maven/api/maven/versions/releases/net/neoforged/neoforge",
          json.dumps(versions).encode("utf-8"))
    jar = installer_jar(args.source, args.scale)
    jar_relative = (f"maven/releases/net/neoforged/neoforge/{NEOFORGE_VERSION}/"
                    f"neoforge-{NEOFORGE_VERSION}-installer.jar")
    write(args.out, jar_relative, jar)

    agent = agent_jar()
    agent_relative = f"artifact/{AGENT_BUILD}/authlib-injector-{AGENT_VERSION}.jar"
    write(args.out, "authlib-injector/" + agent_relative, agent)
    latest = {
        "build_number": AGENT_BUILD,
        "version": AGENT_VERSION,
        "release_time": "2025-12-16T16:01:27Z",
        "download_url": agent_base + "/" + agent_relative,
        "checksums": {"sha256": hashlib.sha256(agent).hexdigest()},
    }
    write(args.out, "authlib-injector/artifact/latest.json", json.dumps(latest, indent=2).encode("utf-8"))
    (args.out / "endpoints-play.ini").write_text(
        f"neoforgeMaven={maven_base}\nauthlibInjector={agent_base}\n", encoding="utf-8")

    summary = {
        "neoforgeMaven": maven_base,
        "authlibInjector": agent_base,
        "installerJar": jar_relative,
        "installerJarSize": len(jar),
        "installerJarSha1": hashlib.sha1(jar).hexdigest(),
        "agentJarSha256": latest["checksums"]["sha256"],
        "versions": len(versions["versions"]),
    }
    print(json.dumps(summary, indent=2))
    return 0


if __name__ == "__main__":
    sys.exit(main())
