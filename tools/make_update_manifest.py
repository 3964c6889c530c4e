#!/usr/bin/python3
"""Writes the update manifest for a release folder: what the update server answers at
"/update.php?p=Tastovolant".

    make_update_manifest.py FOLDER VERSION [--output FILE]

The manifest is "ok|VERSION|" followed by one "NAME|SIZE|MD5||" entry for every file under FOLDER,
in sorted order. NAME is the file's path relative to FOLDER with Windows separators (GFX\\pp_0.png),
because the program looks each name up, unchanged, in its working directory. The program reads the
manifest as ISO-8859-1, so names and version are written in it; a name or version that it cannot
carry (a bar, a line break, a character outside ISO-8859-1) is refused rather than written wrong.
Without --output the manifest goes to standard output. Standard library only.
"""

import argparse
import hashlib
import os
import sys

ANSWER = "ok"


class ManifestError(Exception):
    pass


def _encoded(text, what):
    if "|" in text:
        raise ManifestError(f"{what} {text!r} contains '|', which separates the manifest's fields")
    if any(ord(c) < 32 or ord(c) == 127 for c in text):
        raise ManifestError(f"{what} {text!r} contains a control character")
    try:
        return text.encode("iso-8859-1")
    except UnicodeEncodeError:
        raise ManifestError(f"{what} {text!r} has a character outside ISO-8859-1") from None


def _md5_of(path):
    digest = hashlib.md5()
    with open(path, "rb") as file:
        for block in iter(lambda: file.read(1 << 16), b""):
            digest.update(block)
    return digest.hexdigest()


def release_files(folder):
    """(Windows name, path) of every ordinary file under `folder`, sorted by the name's bytes."""
    files = []
    for directory, subdirectories, names in os.walk(folder):
        for name in subdirectories:
            if os.path.islink(os.path.join(directory, name)):
                raise ManifestError(f"{os.path.join(directory, name)} is a link, not a folder")
        for name in names:
            path = os.path.join(directory, name)
            if os.path.islink(path) or not os.path.isfile(path):
                raise ManifestError(f"{path} is no ordinary file")
            components = os.path.relpath(path, folder).split(os.sep)
            if any("\\" in component for component in components):
                raise ManifestError(f"{path}: a backslash in a name would read as a folder on Windows")
            files.append((_encoded("\\".join(components), "file name"), path))
    files.sort()
    return files


def make_manifest(folder, version):
    """The manifest's bytes for the files under `folder`, offered as `version`."""
    if not os.path.isdir(folder):
        raise ManifestError(f"{folder} is no folder")
    if not version.strip():
        raise ManifestError("the version is empty")
    parts = [ANSWER.encode("ascii"), b"|", _encoded(version, "version"), b"|"]
    files = release_files(folder)
    if not files:
        raise ManifestError(f"{folder} holds no files")
    for name, path in files:
        size = os.path.getsize(path)
        parts += [name, b"|", str(size).encode("ascii"), b"|", _md5_of(path).encode("ascii"), b"||"]
    return b"".join(parts)


def main(argv):
    parser = argparse.ArgumentParser(description="Writes the update manifest for a release folder.")
    parser.add_argument("folder", help="the release folder: the program and everything beside it")
    parser.add_argument("version", help="the version the manifest offers, e.g. 2.0.0")
    parser.add_argument("--output", help="the file to write (default: standard output)")
    arguments = parser.parse_args(argv)
    try:
        manifest = make_manifest(arguments.folder, arguments.version)
    except (ManifestError, OSError) as error:
        print(f"make_update_manifest: {error}", file=sys.stderr)
        return 1
    if arguments.output:
        with open(arguments.output, "wb") as file:
            file.write(manifest)
    else:
        sys.stdout.buffer.write(manifest)
        sys.stdout.buffer.flush()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
