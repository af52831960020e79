#!/usr/bin/python3
"""Opens an HTML report in headless Chromium and checks what a reader gets.

  check_report.py --writer PATH --work DIR
      runs the sample writer into DIR, which writes a run report and a
      comparison report; dumps the DOM the browser built from each and checks
      the scores, the warnings, one rate chart per benchmark, the chart of run
      scores (its points and its one disturbed run), that the comparison's
      first table is the comparison with its verdict in words, and that
      outside text (a CPU model of "<script>...", a file name of "<img ...>")
      is text; then takes a desktop and a phone screenshot of each and checks
      that none is blank.

  check_report.py --shoot REPORT --out DIR
      only the two screenshots of REPORT, checked the same way, kept in DIR
      as html-report-desktop.png and html-report-phone.png.

Chromium comes from tools/deps.sh; without it this fails, it does not skip.
"""

import argparse
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib
from html.parser import HTMLParser
from pathlib import Path

SIZES = {"desktop": (1280, 900), "phone": (375, 800)}
TIMEOUT = 120  # seconds; a bound on a hang, not a speed target


def fail(message):
    print("check_report: " + message, file=sys.stderr)
    sys.exit(1)


def chromium():
    for name in ("chromium", "chromium-browser"):
        path = shutil.which(name)
        if path:
            return path
    fail("chromium not found; tools/deps.sh installs it")


def run_chromium(profile, *args):
    command = [chromium(), "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars", "--no-first-run",
               "--disable-extensions", "--disable-background-networking", "--user-data-dir=" + str(profile), *args]
    try:
        done = subprocess.run(command, capture_output=True, text=True, timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        fail("chromium did not finish within %d s: %s" % (TIMEOUT, " ".join(args)))
    if done.returncode != 0:
        fail("chromium exited with %d: %s" % (done.returncode, done.stderr[-2000:]))
    return done.stdout


class Dom(HTMLParser):
    """The parts of a dumped DOM the checks need."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.tags = {}
        self.stack = []
        self.text = []
        self.charts = []  # per chart: {"title": ..., "desc": ..., "kind": "rates" or "scores", ...}
        self.tables = []  # per table: {"class": ..., "text": ...}
        self.in_chart = False  # the legends' small key drawings are svg elements too

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        classes = (attrs.get("class") or "").split()
        self.tags[tag] = self.tags.get(tag, 0) + 1
        if tag == "svg" and "chart" in classes:
            kind = "scores" if "series" in classes else "rates"
            self.charts.append({"title": "", "desc": "", "kind": kind, "paths": 0, "points": 0, "disturbed": 0})
            self.in_chart = True
        elif self.in_chart:
            chart = self.charts[-1]
            chart["paths"] += tag == "path"
            chart["points"] += "point" in classes
            chart["disturbed"] += "point" in classes and "disturbed" in classes
        if tag == "table":
            self.tables.append({"class": classes, "text": ""})
        self.stack.append(tag)

    def handle_endtag(self, tag):
        if tag == "svg":
            self.in_chart = False
        while self.stack:
            if self.stack.pop() == tag:
                break

    def handle_data(self, data):
        self.text.append(data)
        if self.tables and "table" in self.stack:
            self.tables[-1]["text"] += data
        if self.in_chart and self.stack[-1] in ("title", "desc"):
            self.charts[-1][self.stack[-1]] += data


def normalised(text):
    return " ".join(text.split())


def check_dom(report, expected, profile):
    dom = Dom()
    dom.feed(run_chromium(profile, "--dump-dom", report.as_uri()))
    text = normalised("".join(dom.text))
    if dom.tags.get("script", 0) != 0:
        fail("the DOM has a script element: outside text became markup")
    for tag in ("b", "img"):
        if dom.tags.get(tag, 0) != 0:
            fail("the DOM has a <%s> element: outside text became markup" % tag)
    for outside in expected["texts"]:
        if normalised(outside) not in text:
            fail("outside text is not shown as text: %r" % outside)
    for score in expected["scores"]:
        if score not in text:
            fail("score %r is not in the page" % score)
    for warning in expected["warnings"]:
        if normalised(warning) not in text:
            fail("warning is not in the page: %r" % warning)
    rates = [c for c in dom.charts if c["kind"] == "rates"]
    scores = [c for c in dom.charts if c["kind"] == "scores"]
    if len(rates) != expected["charts"]:
        fail("%d rate charts, expected one per benchmark (%d)" % (len(rates), expected["charts"]))
    for chart in dom.charts:
        if not chart["title"].strip() or not chart["desc"].strip():
            fail("a chart lacks a title or a description for screen readers")
    for chart in rates:
        if chart["paths"] < 1:
            fail("a chart has no line: " + chart["title"])
    got = [{"points": c["points"], "disturbed": c["disturbed"]} for c in scores]
    if got != expected["series"]:
        fail("score charts hold %r, expected %r" % (got, expected["series"]))
    if not dom.tables or expected["first_table"] not in dom.tables[0]["class"]:
        fail("the first table is not the %s table: %r" % (expected["first_table"],
                                                          dom.tables[0]["class"] if dom.tables else None))
    first = normalised(dom.tables[0]["text"])
    for verdict in expected["verdicts"]:
        if verdict not in first:
            fail("the verdict %r is not in the first table: %r" % (verdict, first))
    print("DOM of %s: %d rate charts, score charts %r, first table %s%s, %d scores, %d warnings, outside text "
          "shown as text" % (report.name, len(rates), got, expected["first_table"],
                             " with verdicts %r" % expected["verdicts"] if expected["verdicts"] else "",
                             len(expected["scores"]), len(expected["warnings"])))


def png_pixels(path):
    """Width, height and the set of distinct pixel values of an 8-bit RGB or
    RGBA PNG, with the share of the most common one."""
    data = path.read_bytes()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail("%s is not a PNG" % path)
    pos, idat, header = 8, [], None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat.append(body)
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace != 0:
        fail("%s: unexpected PNG format (depth %d, colour %d, interlace %d)" % (path, depth, colour, interlace))
    bpp = 3 if colour == 2 else 4
    raw = zlib.decompress(b"".join(idat))
    stride = width * bpp
    previous = bytearray(stride)
    counts = {}
    for y in range(height):
        start = y * (stride + 1)
        kind = raw[start]
        row = bytearray(raw[start + 1:start + 1 + stride])
        if kind == 1:
            for i in range(bpp, stride):
                row[i] = (row[i] + row[i - bpp]) & 0xFF
        elif kind == 2:
            row = bytearray((a + b) & 0xFF for a, b in zip(row, previous))
        elif kind == 3:
            for i in range(stride):
                left = row[i - bpp] if i >= bpp else 0
                row[i] = (row[i] + ((left + previous[i]) >> 1)) & 0xFF
        elif kind == 4:
            for i in range(stride):
                a = row[i - bpp] if i >= bpp else 0
                b = previous[i]
                c = previous[i - bpp] if i >= bpp else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                row[i] = (row[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        elif kind != 0:
            fail("%s: unknown PNG filter %d" % (path, kind))
        for x in range(0, stride, bpp):
            pixel = bytes(row[x:x + bpp])
            counts[pixel] = counts.get(pixel, 0) + 1
        previous = row
    return width, height, len(counts), max(counts.values()) / (width * height)


def shoot(report, out_dir, profile, prefix="html-report"):
    shots = {}
    for name, (width, height) in SIZES.items():
        png = out_dir / ("%s-%s.png" % (prefix, name))
        run_chromium(profile, "--screenshot=" + str(png), "--window-size=%d,%d" % (width, height), report.as_uri())
        if not png.exists():
            fail("chromium wrote no screenshot at %dx%d" % (width, height))
        got_w, got_h, distinct, dominant = png_pixels(png)
        if (got_w, got_h) != (width, height):
            fail("%s is %dx%d, asked for %dx%d" % (png, got_w, got_h, width, height))
        # A blank page is one colour; a page of text and a chart has hundreds.
        if distinct < 50 or dominant > 0.97:
            fail("%s looks blank: %d distinct pixel values, the commonest covers %.1f %%"
                 % (png, distinct, dominant * 100))
        print("screenshot %s %s: %dx%d, %d distinct pixel values, background %.1f %%"
              % (report.name, name, width, height, distinct, dominant * 100))
        shots[name] = png
    return shots


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--writer", help="the sample report writer")
    parser.add_argument("--work", help="directory for the sample report and screenshots")
    parser.add_argument("--shoot", help="an HTML report to take the two screenshots of")
    parser.add_argument("--out", help="where --shoot keeps them")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="truvello-chromium-") as profile:
        if args.shoot:
            if not args.out:
                fail("--shoot needs --out")
            shoot(Path(args.shoot).resolve(), Path(args.out).resolve(), Path(profile))
            return
        if not args.writer or not args.work:
            fail("needs --writer and --work, or --shoot and --out")
        work = Path(args.work).resolve()
        work.mkdir(parents=True, exist_ok=True)
        subprocess.run([args.writer, str(work)], check=True, timeout=TIMEOUT)
        expected = json.loads((work / "expected.json").read_text())
        for page in expected["pages"]:
            report = work / page["file"]
            print("%s: %d bytes" % (report.name, report.stat().st_size))
            check_dom(report, page, Path(profile))
            shoot(report, work, Path(profile), report.stem)


if __name__ == "__main__":
    main()
