#!/usr/bin/env python3
"""Brings the English translation files up to date with the sources.

  resources/translations/strings_en.ts  the string table, context "strings",
      one message per id (the Japanese text as source, the id as comment);
  resources/translations/quillon_en.ts  the texts in the code, by lupdate.

Translations already made are kept while their source text is unchanged;
a changed or new text is marked unfinished for Qt Linguist. Run after
editing resources/strings/strings.tsv or a text in the code; needs
qt6-l10n-tools.
"""
import os
import subprocess
import sys
import xml.etree.ElementTree as ET

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TABLE = os.path.join(ROOT, "resources/strings/strings.tsv")
STRINGS_TS = os.path.join(ROOT, "resources/translations/strings_en.ts")
CODE_TS = os.path.join(ROOT, "resources/translations/quillon_en.ts")
FIRST_TEXT_ID = 500  # lower ids are model table rows, not texts
LUPDATE = "/usr/lib/qt6/bin/lupdate"


def unescape(s):
    out, i = [], 0
    while i < len(s):
        if s[i] == "\\" and i + 1 < len(s) and s[i + 1] in "nrt\\":
            out.append({"n": "\n", "r": "\r", "t": "\t", "\\": "\\"}[s[i + 1]])
            i += 2
        else:
            out.append(s[i])
            i += 1
    return "".join(out)


def read_table():
    texts = {}
    with open(TABLE, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n").rstrip("\r")
            if not line or line.startswith("#") or "\t" not in line:
                continue
            key, text = line.split("\t", 1)
            if key.isdigit() and int(key) >= FIRST_TEXT_ID and int(key) not in texts:
                texts[int(key)] = unescape(text)
    return texts


def read_existing():
    known = {}
    if not os.path.exists(STRINGS_TS):
        return known
    for msg in ET.parse(STRINGS_TS).getroot().iter("message"):
        known[int(msg.findtext("comment"))] = (msg.findtext("source"), msg.find("translation"))
    return known


def write_strings():
    known = read_existing()
    ts = ET.Element("TS", version="2.1", language="en_US", sourcelanguage="ja_JP")
    ctx = ET.SubElement(ts, "context")
    ET.SubElement(ctx, "name").text = "strings"
    for key, text in sorted(read_table().items()):
        msg = ET.SubElement(ctx, "message")
        ET.SubElement(msg, "source").text = text
        ET.SubElement(msg, "comment").text = str(key)
        tr = ET.SubElement(msg, "translation")
        old = known.get(key)
        if old is not None and old[1] is not None:
            tr.text = old[1].text
            if old[0] != text or old[1].get("type") == "unfinished":
                tr.set("type", "unfinished")
        else:
            tr.set("type", "unfinished")
    ET.indent(ts)
    with open(STRINGS_TS, "wb") as f:
        f.write(b'<?xml version="1.0" encoding="utf-8"?>\n<!DOCTYPE TS>\n')
        f.write(ET.tostring(ts, encoding="utf-8"))
        f.write(b"\n")


def main():
    write_strings()
    dirs = [os.path.join(ROOT, d) for d in ("gui", "cli", "core", "netlib", "resources")]
    subprocess.run([LUPDATE, "-silent", "-no-obsolete", "-locations", "none", "-extensions", "cpp,h",
                    "-source-language", "ja_JP", "-target-language", "en_US", *dirs, "-ts", CODE_TS],
                   check=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
