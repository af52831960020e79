#!/usr/bin/python3
"""Opens the HTML pages in headless Chromium and checks what a reader gets.

  check_report.py --writer PATH --work DIR
      runs the sample writer into DIR, which writes a run report, a
      comparison report, an A/B page and a fleet page; dumps the DOM the
      browser built from each and checks the scores, the warnings, one rate
      chart per benchmark, the charts of scores (their points and those set
      apart: a disturbed run, a pair that stood out, a machine named slow),
      that the first table is the one the page leads with and holds its
      verdicts in words, and that outside text (a CPU model of
      "<script>...", a file name of "<img ...>", an A/B label, a host name)
      is text. Then the content policy of each: the page declares it before
      anything else can load, and a copy of the page with a script, an event
      handler and fetches from a local server put in runs none of them and
      fetches nothing, where the same copy without the policy runs and
      fetches them all. Last a desktop and a phone screenshot of each,
      checked not to be blank.

  check_report.py --shoot REPORT --out DIR
      only the two screenshots of REPORT, checked the same way, kept in DIR
      as html-report-desktop.png and html-report-phone.png.

Chromium comes from tools/deps.sh; without it this fails, it does not skip.
"""

import argparse
import http.server
import json
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
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
        self.policies = []  # per Content-Security-Policy meta: (its content, whether it came first in the head)
        self.head_elements = 0  # elements met inside the head so far
        self.root = {}  # the attributes of the html element

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        classes = (attrs.get("class") or "").split()
        self.tags[tag] = self.tags.get(tag, 0) + 1
        if tag == "html":
            self.root = attrs
        if "head" in self.stack:
            if tag == "meta" and (attrs.get("http-equiv") or "").lower() == "content-security-policy":
                # The charset may come first; nothing that loads or runs may.
                self.policies.append((attrs.get("content") or "", self.head_elements <= 1))
            self.head_elements += 1
        if tag == "svg" and "chart" in classes:
            kind = "scores" if "series" in classes else "rates"
            self.charts.append({"title": "", "desc": "", "label": attrs.get("aria-label") or "", "kind": kind,
                                "paths": 0, "points": 0, "disturbed": 0})
            self.in_chart = True
        elif self.in_chart:
            chart = self.charts[-1]
            chart["paths"] += tag == "path"
            chart["points"] += "point" in classes
            # Set apart from the others: a disturbed run, a pair that stood out.
            chart["disturbed"] += "point" in classes and ("disturbed" in classes or "out" in classes)
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
        if not (chart["title"].strip() or chart["label"].strip()):
            fail("a chart lacks a name for screen readers")
        # The report's charts are described in words as well.
        if expected["kind"] == "report" and not (chart["title"].strip() and chart["desc"].strip()):
            fail("a chart lacks a title or a description for screen readers")
    for chart in rates:
        if chart["paths"] < 1:
            fail("a chart has no line: " + chart["title"])
    got = [{"points": c["points"], "disturbed": c["disturbed"]} for c in scores]
    if got != expected["series"]:
        fail("score charts hold %r, expected %r" % (got, expected["series"]))
    first_table = expected.get("first_table")
    if first_table is not None and (not dom.tables or first_table not in dom.tables[0]["class"]):
        fail("the first table is not the %s table: %r" % (first_table, dom.tables[0]["class"] if dom.tables else None))
    first = normalised(dom.tables[0]["text"]) if dom.tables else ""
    for verdict in expected["verdicts"]:
        if normalised(verdict) not in first:
            fail("the verdict %r is not in the first table: %r" % (verdict, first))
    print("DOM of %s: %d rate charts, score charts %r%s%s, %d scores, %d warnings, %d outside texts shown as text"
          % (report.name, len(rates), got, ", first table %s" % first_table if first_table else "",
             " with verdicts %r" % expected["verdicts"] if expected["verdicts"] else "",
             len(expected["scores"]), len(expected["warnings"]), len(expected["texts"])))
    return dom


class Fetches(http.server.BaseHTTPRequestHandler):
    """Counts every request; answers each with an empty stylesheet, script or
    image, so that a page that may fetch does."""

    paths = []

    def do_GET(self):
        Fetches.paths.append(self.path)
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass


PROBE_HEAD = ('<script>document.documentElement.setAttribute("data-inline-script", "ran")</script>'
              '<script src="%(base)s/probe.js"></script><link rel="stylesheet" href="%(base)s/probe.css">')
PROBE_BODY = ('<img src="data:," onerror="document.documentElement.setAttribute(\'data-handler\', \'ran\')">'
              '<img src="%(base)s/probe.png"><iframe src="%(base)s/probe.html"></iframe>')
POLICY_META = re.compile(r'<meta http-equiv="Content-Security-Policy" content="[^"]*">\n?')


def check_policy(report, dom, profile, work):
    """The page's content policy, declared and obeyed."""
    if len(dom.policies) != 1:
        fail("%s: %d Content-Security-Policy metas in the head, expected one" % (report.name, len(dom.policies)))
    policy, first = dom.policies[0]
    directives = {d.split()[0]: d.split()[1:] for d in policy.split(";") if d.strip()}
    if not first:
        fail("%s: the content policy comes after something that could load or run" % report.name)
    if directives.get("default-src") != ["'none'"]:
        fail("%s: the content policy does not default to nothing: %r" % (report.name, policy))
    for name in ("script-src", "script-src-elem", "script-src-attr", "connect-src", "font-src", "frame-src"):
        if name in directives:
            fail("%s: the content policy allows %s" % (report.name, name))
    if any(source.startswith(("http", "*")) for sources in directives.values() for source in sources):
        fail("%s: the content policy allows a source on the network: %r" % (report.name, policy))

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Fetches)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = "http://127.0.0.1:%d" % server.server_address[1]
    try:
        page = report.read_text(encoding="utf-8")
        if page.count("</head>") != 1 or page.count("<body>\n") != 1:
            fail("%s: no single head and body to put the probes in" % report.name)
        probed = page.replace("</head>", PROBE_HEAD % {"base": base} + "</head>").replace(
            "<body>\n", "<body>\n" + PROBE_BODY % {"base": base})
        outcome = {}
        for name, text in (("with", probed), ("without", POLICY_META.sub("", probed, count=1))):
            copy = work / ("%s-probe-%s-policy.html" % (report.stem, name))
            copy.write_text(text, encoding="utf-8")
            Fetches.paths = []
            probe = Dom()
            probe.feed(run_chromium(profile, "--dump-dom", copy.as_uri()))
            ran = sorted(k for k, v in probe.root.items() if k in ("data-inline-script", "data-handler") and v == "ran")
            outcome[name] = (ran, sorted(set(Fetches.paths)))
    finally:
        server.shutdown()
        server.server_close()
    if outcome["with"] != ([], []):
        fail("%s: under its content policy the page ran %r and fetched %r" % ((report.name,) + outcome["with"]))
    expected_without = (["data-handler", "data-inline-script"],
                        ["/probe.css", "/probe.html", "/probe.js", "/probe.png"])
    if outcome["without"] != expected_without:
        fail("%s: the probe proves nothing: without the policy it ran %r and fetched %r, expected %r"
             % ((report.name,) + outcome["without"] + (expected_without,)))
    print("content policy of %s: %s; with it the probes ran nothing and fetched nothing, without it they ran %s "
          "and fetched %s" % (report.name, policy, ", ".join(expected_without[0]), ", ".join(expected_without[1])))


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
            dom = check_dom(report, page, Path(profile))
            check_policy(report, dom, Path(profile), work)
            shoot(report, work, Path(profile), report.stem)


if __name__ == "__main__":
    main()
