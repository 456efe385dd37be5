#!/usr/bin/python3
"""What the writer of one instance left in a saved backup document: each
component's backup metadata, backup stamp and restore metadata. An
archived-log list is summarised per log (file name, change numbers, size),
its payload decoded here and compared with the log file on disk.

Usage: show_backup_document.py DOCUMENT INSTANCE"""
import base64
import re
import subprocess
import sys


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and text[i + 1] == "u":
            out.append(chr(int(text[i + 2:i + 6], 16)))
            i += 6
        elif text[i] == "\\":
            out.append(text[i + 1])
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def value_of(line):
    key, _, raw = line.strip().partition(" ")
    if key.endswith(":units"):
        return key[:-6], base64.b64decode(raw).decode("utf-16-le", "surrogatepass")
    return key, unescape(raw)


def components(document, instance):
    """The component states (not the metadata's component list) of the writer."""
    writer, depth, current, found = None, 0, None, []
    for line in open(document, encoding="ascii"):
        text = line.strip()
        if text.startswith("begin "):
            depth += 1
            if text == "begin component" and writer == instance and depth == 3:
                current = {}
            continue
        if text == "end":
            if current is not None and depth == 3:
                found.append(current)
                current = None
            depth -= 1
            continue
        key, value = value_of(line)
        if key == "instance-name":
            writer = value
        elif current is not None and depth == 3:
            current.setdefault(key, value)
    return found


def unix_path(windows_path):
    return subprocess.run(["winepath", "-u", windows_path], capture_output=True,
                          text=True).stdout.strip()


def show_log_list(units):
    entries = re.finditer(r";FILENAME=([^;]*);FIRST_SCN=([^;]*);NEXT_SCN=([^;]*);DATA=([^;\0]*)",
                          units)
    for entry in entries:
        name, first, nxt, payload = entry.groups()
        # Two base64 characters per unit, the first in the low byte.
        text = payload.encode("utf-16-le", "surrogatepass").decode("ascii")
        data = base64.b64decode(text)
        with open(unix_path(name), "rb") as log:
            same = log.read() == data
        print("      log %s" % name)
        print("          changes %s to %s, %d bytes, %d base64 characters, %s" %
              (first, nxt, len(data), len(text),
               "decodes to the log's bytes" if same else "DIFFERS from the log on disk"))


def main():
    document, instance = sys.argv[1], sys.argv[2]
    for component in components(document, instance):
        print("%s\\%s" % (component.get("logical-path", ""), component["name"]))
        for key in ("backup-options", "backup-metadata", "backup-stamp"):
            if key in component:
                print("    %-17s %s" % (key, component[key].replace(";", "; ")))
        restore = component.get("restore-metadata")
        if restore is None:
            continue
        if restore.startswith(";FILENAME="):
            print("    restore-metadata  archived-log list of %d units:" % len(restore))
            show_log_list(restore)
        else:
            print("    restore-metadata  %s" % restore)


main()
