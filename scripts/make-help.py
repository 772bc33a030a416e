#!/usr/bin/env python3
"""Writes the help texts dist/res/*.rtf from their UTF-8 sources in
src/app/res/help/*.txt.

The editors show these files in a read-only rich edit. The output is pure
ASCII: Chinese goes in as \\uN? escapes, font names as GBK \\'xx bytes, so the
files read the same whatever the system code page.

Source markup, one construct per line:
  # title          the window's topic, large and bold
  ## heading       a section heading
  - item           a list item
  **text**         bold text inside any line
  blank line       ends a paragraph; other lines of a paragraph are joined

Usage: scripts/make-help.py [source folder] [output folder]
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
SRC = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "src/app/res/help"
OUT = pathlib.Path(sys.argv[2]) if len(sys.argv) > 2 else ROOT / "dist/res"


def gbk_name(name):
    return "".join("\\'%02x" % b for b in name.encode("gbk"))


HEADER = (
    "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052"
    "{\\fonttbl{\\f0\\fnil\\fcharset134 " + gbk_name("微软雅黑")
    + "{\\*\\falt " + gbk_name("宋体") + "};}"
    "{\\f1\\fnil\\fcharset134 " + gbk_name("宋体") + ";}}"
    "{\\colortbl ;\\red28\\green79\\blue151;\\red64\\green64\\blue64;}"
    "\\viewkind4\\uc1"
)


def text(s):
    """Plain text to RTF: control characters escaped, non-ASCII as \\uN?."""
    out = []
    for ch in s:
        c = ord(ch)
        if ch in "\\{}":
            out.append("\\" + ch)
        elif 32 <= c < 127:
            out.append(ch)
        elif c < 0x10000:
            # \u takes a signed 16-bit number; '?' is the fallback character.
            out.append("\\u%d?" % (c - 0x10000 if c > 0x7FFF else c))
        else:
            hi, lo = divmod(c - 0x10000, 0x400)
            out.append("\\u%d?\\u%d?" % (0xD800 + hi - 0x10000, 0xDC00 + lo - 0x10000))
    return "".join(out)


def inline(s):
    """Text with **bold** spans."""
    parts = re.split(r"\*\*(.+?)\*\*", s)
    return "".join(text(p) if i % 2 == 0 else "{\\b " + text(p) + "}" for i, p in enumerate(parts))


def convert(source):
    lines = [HEADER]
    para = []

    def flush():
        if para:
            lines.append("\\pard\\sa100\\sl300\\slmult1\\f0\\fs18\\cf2 " + inline("".join(para)) + "\\par")
            para.clear()

    for raw in source.splitlines():
        line = raw.strip()
        if not line:
            flush()
        elif line.startswith("## "):
            flush()
            lines.append("\\pard\\sb120\\sa60\\f0\\fs20\\cf1\\b " + inline(line[3:]) + "\\b0\\par")
        elif line.startswith("# "):
            flush()
            lines.append("\\pard\\sa120\\f0\\fs28\\cf1\\b " + inline(line[2:]) + "\\b0\\par")
        elif line.startswith("- "):
            flush()
            lines.append("\\pard\\fi-200\\li200\\sa60\\sl280\\slmult1\\f0\\fs18\\cf2 "
                         + text("·") + inline(line[2:]) + "\\par")
        else:
            para.append(line)
    flush()
    lines.append("}")
    return "\r\n".join(lines) + "\r\n"


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    sources = sorted(SRC.glob("*.txt"))
    if not sources:
        sys.exit("make-help: no sources in %s" % SRC)
    for src in sources:
        rtf = convert(src.read_text(encoding="utf-8"))
        rtf.encode("ascii")  # the output must be pure ASCII
        dest = OUT / (src.stem + ".rtf")
        dest.write_bytes(rtf.encode("ascii"))
        print("make-help: %-22s %5d bytes" % (dest.name, len(rtf)))


if __name__ == "__main__":
    main()
