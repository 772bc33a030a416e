#!/usr/bin/env python3
"""Renders the user guide docs/用户指南.md to one HTML page that the
program's help menu opens: help/guide.html of the application folder, with
its pictures in help/images/ beside it.

The Markdown is rendered by cmark-gfm (Debian's package, with its table
extension); this script puts the result into a plain UTF-8 page with a table
of contents made from the second-level headings, and refuses a guide that
links a picture which is not in the images folder (with QV_GUIDE_DRAFT=1 in
the environment it only warns: scripts/guide-screenshots.sh builds the
program so, before it has taken a picture the guide has just begun to link).

Usage: scripts/make-guide.py GUIDE.md IMAGES-FOLDER OUTPUT.html
"""
import html
import os
import pathlib
import re
import subprocess
import sys

PAGE = """<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>{title}</title>
<style>
body {{ font-family: "Microsoft YaHei", "微软雅黑", SimSun, "宋体", sans-serif; font-size: 15px;
       line-height: 1.7; color: #222; max-width: 860px; margin: 0 auto; padding: 16px 24px 48px; }}
h1 {{ font-size: 26px; color: #1c4f97; border-bottom: 2px solid #1c4f97; padding-bottom: 6px; }}
h2 {{ font-size: 21px; color: #1c4f97; margin-top: 36px; border-bottom: 1px solid #ccd; }}
h3 {{ font-size: 17px; margin-top: 24px; }}
table {{ border-collapse: collapse; margin: 10px 0; }}
th, td {{ border: 1px solid #bbc; padding: 4px 10px; vertical-align: top; }}
th {{ background: #eef2f8; }}
code {{ font-family: Consolas, "Courier New", monospace; background: #f3f3f3; padding: 0 3px; }}
pre {{ background: #f6f6f6; border: 1px solid #ddd; padding: 8px 12px; overflow-x: auto; }}
pre code {{ background: none; padding: 0; }}
img {{ max-width: 100%; border: 1px solid #ccc; margin: 6px 0; }}
blockquote {{ margin: 10px 0; padding: 6px 14px; background: #fff8e6; border-left: 4px solid #e0a800; }}
nav.toc {{ background: #f5f7fb; border: 1px solid #dde; padding: 8px 20px; }}
nav.toc ol {{ margin: 4px 0; }}
</style>
</head>
<body>
{body}
</body>
</html>
"""


def render(markdown):
    try:
        done = subprocess.run(["cmark-gfm", "-e", "table", "--to", "html"], input=markdown.encode("utf-8"),
                              capture_output=True, check=True)
    except FileNotFoundError:
        sys.exit("make-guide: cmark-gfm is missing (scripts/setup.sh installs it)")
    return done.stdout.decode("utf-8")


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    source, images, out = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2]), pathlib.Path(sys.argv[3])
    body = render(source.read_text(encoding="utf-8"))

    missing = [src for src in re.findall(r'<img src="([^"]+)"', body)
               if not src.startswith("images/") or not (images / src[len("images/"):]).is_file()]
    if missing and os.environ.get("QV_GUIDE_DRAFT") == "1":
        print("make-guide: pictures still to be taken: " + ", ".join(missing), file=sys.stderr)
    elif missing:
        sys.exit("make-guide: %s links pictures that are not in %s: %s" % (source, images, ", ".join(missing)))

    title_match = re.search(r"<h1>(.*?)</h1>", body)
    title = re.sub(r"<[^>]+>", "", title_match.group(1)) if title_match else "用户指南"

    # Anchors for the second-level headings, and the table of contents after the title.
    entries = []

    def anchor(match):
        entries.append((len(entries) + 1, match.group(1)))
        return '<h2 id="s%d">%s</h2>' % (len(entries), match.group(1))

    body = re.sub(r"<h2>(.*?)</h2>", anchor, body)
    toc = "<nav class=\"toc\"><b>目录</b>\n<ol>\n%s</ol>\n</nav>\n" % "".join(
        '<li><a href="#s%d">%s</a></li>\n' % (n, text) for n, text in entries)
    if title_match:
        end = body.index("</h1>") + len("</h1>\n")
        body = body[:end] + toc + body[end:]
    else:
        body = toc + body

    out.parent.mkdir(parents=True, exist_ok=True)
    text = PAGE.format(title=html.escape(html.unescape(title), quote=False), body=body)
    # Windows line ends: the page is read on Windows, also in Notepad.
    out.write_bytes(text.replace("\n", "\r\n").encode("utf-8"))


if __name__ == "__main__":
    main()
