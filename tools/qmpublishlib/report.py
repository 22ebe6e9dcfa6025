"""Install reports read from the web server's access log: per product and
version, how many machines installed it and how many failed."""
import gzip
import json
import re
import sys
import urllib.parse

from .base import VERSION_RE, Refusal, version_key

# host ident user [date] "request" status bytes, and in the Combined Log
# Format "referer" "agent" after it (further fields some servers add are
# let be). A quote inside the request is written \" by the server.
LINE_RE = re.compile(r'\S+ \S+ \S+ \[[^\]]*\] "((?:[^"\\]|\\.)*)" [0-9]{3} (?:[0-9]+|-)(?:\s.*)?')
PARAMETERS = ("intname", "from", "to", "result", "code", "machine")
RESULTS = ("installed", "failed", "timedout", "notregistered", "refused")
FAILURES = ("failed", "timedout", "notregistered")
ENCODED_RE = re.compile(r"(?:[^%]|%[0-9A-Fa-f]{2})*")
CODE_RE = re.compile(r"[0-9a-f]{8}")
MACHINE_RE = re.compile(r"[0-9a-f]{16}")


def _decode(value):
    """A percent-encoded value as text, or None when it is malformed."""
    if not ENCODED_RE.fullmatch(value):
        return None
    try:
        text = urllib.parse.unquote_to_bytes(value).decode("utf-8")
    except UnicodeDecodeError:
        return None
    return None if any(ord(c) < 32 or ord(c) == 127 for c in text) else text


def parse_line(line):
    """('report', fields), ('other', None) for a request that is no report, or
    ('malformed', None) for a line that is no log line or a report whose
    values are not what the Updater sends."""
    m = LINE_RE.fullmatch(line.rstrip("\r\n"))
    if not m:
        return "malformed", None
    request = m.group(1).split(" ")
    if len(request) != 3 or request[0] != "GET" or "?" not in request[1]:
        return "other", None
    # The report address may carry a query of its own: the Updater's
    # parameters follow it, so the last of each name counts.
    found = {}
    for pair in request[1].split("?", 1)[1].split("#", 1)[0].split("&"):
        name, _, value = pair.partition("=")
        if name in PARAMETERS:
            found[name] = value
    if len(found) != len(PARAMETERS):
        return ("malformed report" if "result" in found or "machine" in found else "other"), None
    fields = {name: _decode(value) for name, value in found.items()}
    if (None in fields.values() or not fields["intname"] or not VERSION_RE.fullmatch(fields["to"])
            or fields["result"] not in RESULTS or not CODE_RE.fullmatch(fields["code"])
            or not MACHINE_RE.fullmatch(fields["machine"])):
        return "malformed report", None
    return "report", fields


class Tally:
    """Reports counted per intname and target version."""

    def __init__(self):
        self.groups = {}
        self.skipped = {"malformed": 0, "other": 0, "malformed report": 0}
        self.reports = 0

    def add_line(self, line):
        kind, fields = parse_line(line)
        if kind != "report":
            self.skipped[kind] += 1
            return
        self.reports += 1
        group = self.groups.setdefault((fields["intname"], fields["to"]), (set(), set(), set()))
        machines, installed, failing = group
        machines.add(fields["machine"])
        if fields["result"] == "installed":
            installed.add(fields["machine"])
        elif fields["result"] in FAILURES:
            failing.add(fields["machine"])

    def versions(self):
        """One entry per (intname, version), sorted by intname, then version numerically."""
        rows = []
        for (intname, version), (machines, installed, failing) in sorted(
                self.groups.items(), key=lambda item: (item[0][0], version_key(item[0][1]), item[0][1])):
            failed = len(failing - installed)
            rows.append({"intname": intname, "version": version, "machines": len(machines),
                         "installed": len(installed), "failed": failed,
                         "failure_rate": failed / len(machines)})
        return rows

    def skipped_words(self):
        def count(n, what):
            return f"{n} {what}{'' if n == 1 else 's'}"

        return (f"{count(self.reports, 'report')} read; {count(sum(self.skipped.values()), 'line')} skipped: "
                f"{count(self.skipped['malformed'], 'line')} in another format, "
                f"{count(self.skipped['other'], 'other request')}, "
                f"{count(self.skipped['malformed report'], 'malformed report')}")


def read_log(tally, path):
    """Adds every line of the log at path ("-": standard input; .gz: gzip) to tally."""
    try:
        if path == "-":
            stream = sys.stdin.buffer
        elif path.endswith(".gz"):
            stream = gzip.open(path, "rb")
        else:
            stream = open(path, "rb")
    except FileNotFoundError:
        raise Refusal(f"no such log: {path}")
    except OSError as e:
        raise Refusal(f"can't read log {path} ({e.strerror or e})")
    try:
        for raw in stream:
            tally.add_line(raw.decode("utf-8", "replace"))
    except (OSError, EOFError, gzip.BadGzipFile) as e:
        raise Refusal(f"can't read log {path} ({e})")
    finally:
        if stream is not sys.stdin.buffer:
            stream.close()


def parse_rate(text):
    """A failure rate: a fraction from 0 to 1, or a percentage such as 5%."""
    try:
        rate = float(text[:-1]) / 100 if text.endswith("%") else float(text)
    except ValueError:
        rate = -1
    if not 0 <= rate <= 1:
        raise Refusal(f"--halt-above {text!r} is not a fraction from 0 to 1 nor a percentage such as 5%")
    return rate


def percent(rate):
    return f"{rate * 100:.1f}%"


def table(rows):
    header = ["intname", "version", "machines", "installed", "failed", "failure rate"]
    cells = [[r["intname"], r["version"], str(r["machines"]), str(r["installed"]), str(r["failed"]),
              percent(r["failure_rate"])] for r in rows]
    widths = [max(len(line[i]) for line in [header] + cells) for i in range(len(header))]
    lines = []
    for line in [header] + cells:
        lines.append("  ".join(c.ljust(w) if i < 2 else c.rjust(w)
                               for i, (c, w) in enumerate(zip(line, widths))).rstrip())
    return "\n".join(lines)


def cmd_report(a):
    rate = parse_rate(a.halt_above) if a.halt_above is not None else None
    tally = Tally()
    for path in a.logs:
        read_log(tally, path)
    rows = tally.versions()
    if a.json:
        print(json.dumps({"versions": rows}))
        print(tally.skipped_words(), file=sys.stderr)
    else:
        print(table(rows) if rows else "no reports")
        print(tally.skipped_words())
    above = [r for r in rows if rate is not None and r["failure_rate"] > rate]
    for r in above:
        print(f"{r['intname']} {r['version']} failed on {r['failed']} of {r['machines']} machines "
              f"({percent(r['failure_rate'])}, {r['installed']} installed), above {percent(rate)}",
              file=sys.stderr if a.json else sys.stdout)
    return 3 if above else 0
