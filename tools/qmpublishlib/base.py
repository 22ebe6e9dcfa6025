"""What every command stands on: the refusal, the external commands, and the
checks of names, versions, addresses, pins and times."""
import datetime
import hashlib
import re
import subprocess
import time
import urllib.parse

VERSION_RE = re.compile(r"[0-9]+(\.[0-9]+)*")
# The Updater reads a version field as a signed 32-bit number and saturates
# beyond it: larger fields would all compare equal.
MAX_VERSION_FIELD = 2**31 - 1
PIN_RE = re.compile(r"[0-9a-fA-F]{64}")
SHA256_RE = re.compile(r"[0-9a-f]{64}")
TIME_FORMAT = "%Y-%m-%dT%H:%M:%SZ"
TIME_RE = re.compile(r"[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z")
MAX_DAYS = 90
# The Updater reads at most this much of a manifest, a signature, a checksum
# or a what's-new document.
DOCUMENT_LIMIT = 1 << 20
# Characters Windows does not allow in a file name; the Updater names the
# downloaded installer after the intname.
BAD_NAME_CHARS = set('<>:"/\\|?*')


class Refusal(Exception):
    """Bad input or a failed tool: the message goes to stderr, the exit code is 1."""


# --- the openssl and osslsigncode commands -----------------------------------

def run(args, stdin=None):
    try:
        return subprocess.run(args, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    except FileNotFoundError:
        raise Refusal(f"{args[0]} is not installed")


def tool_error(result):
    lines = (result.stderr or result.stdout).decode("utf-8", "replace").strip().splitlines()
    return lines[-1] if lines else f"exit code {result.returncode}"


def need(args, what, stdin=None):
    result = run(args, stdin)
    if result.returncode != 0:
        raise Refusal(f"{what}: {tool_error(result)}")
    return result.stdout


# --- names and versions ----------------------------------------------------------

def check_intname(intname):
    if (not intname or any(c in BAD_NAME_CHARS or ord(c) < 32 or ord(c) == 127 for c in intname)
            or intname[-1] in ". " or intname[0] == " "):
        raise Refusal(f"intname {intname!r} can't be part of a file name")


def check_version(version):
    if not VERSION_RE.fullmatch(version):
        raise Refusal(f"version {version!r} is not dotted numbers (like 2.1 or 2.1.0.15)")
    if any(int(field) > MAX_VERSION_FIELD for field in version.split(".")):
        raise Refusal(f"version {version!r} has a field above {MAX_VERSION_FIELD}, "
                      "which the Updater can't tell from smaller ones")


def updater_compare(a, b):
    """+1, 0 or -1 as the Updater compares two dotted versions: field by field,
    and when one runs out of fields, one more step with 0 ends it (so 2.1 and
    2.1.0.15 count as equal)."""
    fa, fb = [int(f) for f in a.split(".")], [int(f) for f in b.split(".")]
    for i in range(max(len(fa), len(fb)) + 1):
        va = fa[i] if i < len(fa) else 0
        vb = fb[i] if i < len(fb) else 0
        if va != vb:
            return 1 if va > vb else -1
        if i >= len(fa) or i >= len(fb):
            return 0
    return 0


def version_key(version):
    """The numbers of a dotted version without trailing zero fields: 2.1 and 2.1.0 are one."""
    fields = [int(f) for f in version.split(".")]
    while len(fields) > 1 and fields[-1] == 0:
        fields.pop()
    return tuple(fields)


def check_plain_name(name, what):
    if not name or name in (".", "..") or any(c in BAD_NAME_CHARS or ord(c) < 32 for c in name):
        raise Refusal(f"{what} {name!r} is not a plain file name")


def parse_pins(values, required=True):
    """Pins as the product's signer holds them: ';'-separated, any letter case, blanks around."""
    pins = [p.strip().lower() for v in values or [] for p in v.split(";") if p.strip()]
    for p in pins:
        if not PIN_RE.fullmatch(p):
            raise Refusal(f"pin {p!r} is not 64 hexadecimal digits")
    if required and not pins:
        raise Refusal("no pin given")
    return pins


def parse_percent(text, what):
    """A rollout percentage: plain decimal digits, 0 to 100."""
    if not re.fullmatch(r"[0-9]{1,3}", text or "") or int(text) > 100:
        raise Refusal(f"{what} {text!r} is not a whole number from 0 to 100")
    return int(text)


# --- addresses -----------------------------------------------------------------

def split_address(url, what):
    try:
        return urllib.parse.urlsplit(url)
    except ValueError as e:
        raise Refusal(f"{what} {url!r} is malformed ({e})")


def check_address(url, what):
    parsed = split_address(url, what)
    if parsed.scheme.lower() not in ("http", "https") or not parsed.netloc:
        raise Refusal(f"{what} {url!r} is not an http or https address")
    if any(c.isspace() or ord(c) < 32 or ord(c) == 127 for c in url):
        raise Refusal(f"{what} {url!r} contains blanks or control characters")


def published_name(url, what):
    """The file name under which a file is published: its address's last part."""
    name = urllib.parse.unquote(split_address(url, what).path.rsplit("/", 1)[-1])
    if not name or name in (".", "..") or any(c in BAD_NAME_CHARS or ord(c) < 32 for c in name):
        raise Refusal(f"{what} {url!r} does not end in a file name")
    return name


def signature_address(url):
    """The manifest's address with .sig appended to its path, before any
    ?query or #fragment, as the Updater forms it. An address whose path is
    empty or ends in / names no file and is refused."""
    m = re.fullmatch(r"([A-Za-z][A-Za-z0-9+.-]*://[^/?#]*)([^?#]*)(.*)", url, re.S)
    if not m or not m.group(2) or m.group(2).endswith("/"):
        raise Refusal(f"{url!r} is not a manifest's address: its path names no file")
    return m.group(1) + m.group(2) + ".sig" + m.group(3)


# --- times -------------------------------------------------------------------------

def format_time(when):
    return when.strftime(TIME_FORMAT)


def parse_time(text):
    """A UTC time in the manifest's form, or None."""
    if not isinstance(text, str) or not TIME_RE.fullmatch(text):
        return None
    try:
        return datetime.datetime.strptime(text, TIME_FORMAT).replace(tzinfo=datetime.timezone.utc)
    except ValueError:
        return None


def lifetime(days, hours, default_days):
    """How long a manifest signed now stays valid: --days or --hours, at most
    MAX_DAYS days. None when neither is given and there is no default."""
    if hours is not None:
        if hours < 1:
            raise Refusal(f"--hours {hours} puts the expiry in the past; give 1 or more")
        if hours > MAX_DAYS * 24:
            raise Refusal(f"--hours {hours} is beyond {MAX_DAYS} days; a shorter expiry, refreshed daily, "
                          "bounds how long a server can offer an old manifest")
        return datetime.timedelta(hours=hours)
    if days is None:
        days = default_days
        if days is None:
            return None
    if days < 1:
        raise Refusal(f"--days {days} puts the expiry in the past; give 1 or more")
    if days > MAX_DAYS:
        raise Refusal(f"--days {days} is beyond {MAX_DAYS}; a shorter expiry, refreshed daily, "
                      "bounds how long a server can offer an old manifest")
    return datetime.timedelta(days=days)


def issued_after(previous):
    """The time to sign at: now, to the second, strictly later than previous
    (the issued time of the manifest this one follows). The same second is
    waited out; an earlier clock is refused, since every machine that saw
    the previous manifest would refuse this one."""
    while True:
        now = datetime.datetime.now(datetime.timezone.utc)
        second = now.replace(microsecond=0)
        if previous is None or second > previous:
            return second
        if second < previous:
            raise Refusal(f"this machine's clock reads {format_time(second)}, earlier than {format_time(previous)}, "
                          "when the manifest in the folder was issued; set the clock right first")
        time.sleep(1.0 - now.microsecond / 1e6 + 0.01)


# --- files -------------------------------------------------------------------------

def xml_escape(text):
    return (text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace("'", "&apos;").replace('"', "&quot;"))


def file_digests(path):
    sha256, md5, size = hashlib.sha256(), hashlib.md5(), 0
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 16), b""):
            sha256.update(chunk)
            md5.update(chunk)
            size += len(chunk)
    return sha256.hexdigest(), md5.hexdigest(), size
