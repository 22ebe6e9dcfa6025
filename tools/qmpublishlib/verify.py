"""The Updater's checks of a release, made on a folder or over HTTP(S) on
the addresses a machine fetches."""
import datetime
import hashlib
import http.client
import os
import re
import time
import urllib.error
import urllib.request

from .base import (DOCUMENT_LIMIT, SHA256_RE, Refusal, check_address, check_intname, check_version,
                   file_digests, parse_percent, parse_time, published_name, signature_address,
                   split_address)
from .manifest import REQUIRED, parse_manifest
from .signing import installer_signer, manifest_signer


class _OnlyWebRedirects(urllib.request.HTTPRedirectHandler):
    """Follows a redirect only to http or https, as the Updater does."""

    def redirect_request(self, req, fp, code, msg, headers, newurl):
        if split_address(newurl, "redirect").scheme.lower() not in ("http", "https"):
            raise Refusal(f"{req.full_url} redirects to {newurl}, which is not http or https")
        return super().redirect_request(req, fp, code, msg, headers, newurl)


_opener = urllib.request.build_opener(_OnlyWebRedirects)

# As a machine waits: nothing for 60 s gives up, a document must be whole
# within 2 minutes and an installer within 2 hours.
SILENCE_SECONDS = 60
DOCUMENT_SECONDS = 120
INSTALLER_SECONDS = 2 * 60 * 60


def _open(url):
    check_address(url, "address")
    try:
        response = _opener.open(urllib.request.Request(url, headers={"User-Agent": "qmpublish"}),
                                timeout=SILENCE_SECONDS)
    except urllib.error.HTTPError as e:
        raise Refusal(f"{url} answered {e.code} {e.reason}")
    except (urllib.error.URLError, http.client.HTTPException, OSError, ValueError) as e:
        raise Refusal(f"can't fetch {url} ({getattr(e, 'reason', e)})")
    if not 200 <= response.status < 300:
        response.close()
        raise Refusal(f"{url} answered {response.status}")
    return response


def _read(url, limit, seconds, write):
    """Hands the answer at url to write in pieces, at most limit + 1 bytes of
    it, within seconds in all; the count of bytes."""
    deadline = time.monotonic() + seconds
    size = 0
    with _open(url) as response:
        try:
            while size <= limit:
                chunk = response.read(min(1 << 16, limit + 1 - size))
                if not chunk:
                    break
                write(chunk)
                size += len(chunk)
                if time.monotonic() > deadline:
                    raise Refusal(f"{url} did not arrive whole within {seconds} seconds")
        except (http.client.HTTPException, OSError) as e:
            raise Refusal(f"can't fetch {url} ({e})")
    return size


def fetch(url, limit=DOCUMENT_LIMIT):
    """The document at url, of at most limit bytes, answered with a success status."""
    pieces = []
    if _read(url, limit, DOCUMENT_SECONDS, pieces.append) > limit:
        raise Refusal(f"{url} is longer than {limit} bytes")
    return b"".join(pieces)


def download(url, path, limit):
    """Writes the file at url to path, reading at most limit + 1 bytes; its length."""
    with open(path, "wb") as f:
        return _read(url, limit, INSTALLER_SECONDS, f.write)


class FolderSource:
    """A release as the tool wrote it: the files under their published names."""

    def __init__(self, folder, manifest_name):
        if not os.path.isdir(folder):
            raise Refusal(f"no such folder: {folder}")
        self.folder, self.manifest_name = folder, manifest_name
        self.label = os.path.join(folder, manifest_name)

    def _read(self, name, limit=DOCUMENT_LIMIT):
        path = os.path.join(self.folder, name)
        if not os.path.isfile(path):
            raise Refusal(f"{name} is not in the folder")
        with open(path, "rb") as f:
            return f.read(limit)

    def manifest(self):
        return self._read(self.manifest_name)

    def signature(self):
        return self._read(self.manifest_name + ".sig")

    def installer(self, attributes, scratch):
        name = published_name(attributes["installerurl"], "installer address")
        path = os.path.join(self.folder, name)
        if not os.path.isfile(path):
            raise Refusal(f"{name} is not in the folder")
        return path, name

    def md5(self, attributes):
        return self._read(published_name(attributes["installerurl"], "installer address") + ".md5", 32)

    def whatsnew(self, attributes):
        return self._read(published_name(attributes["whatsnewurl"], "what's-new address"))


class UrlSource:
    """A release as a machine meets it: every file fetched from its address."""

    def __init__(self, url):
        check_address(url, "manifest address")
        self.url = self.label = url
        self.signature_url = signature_address(url)

    def manifest(self):
        return fetch(self.url)

    def signature(self):
        return fetch(self.signature_url)

    def installer(self, attributes, scratch):
        url = attributes["installerurl"]
        path = os.path.join(scratch, "installer.exe")
        download(url, path, int(attributes["size"]))  # digits: checked before
        return path, url

    def md5(self, attributes):
        return fetch(attributes["installerurl"] + ".md5")[:32]

    def whatsnew(self, attributes):
        return fetch(attributes["whatsnewurl"])


def verify(source, pins, intname, scratch):
    """The Updater's checks of the release at source, for a product with these
    pins: a list of (what, ok, detail), and the manifest's attributes."""
    now = datetime.datetime.now(datetime.timezone.utc)
    checks, attrs, installer = [], {}, []

    def check(what, step):
        try:
            checks.append((what, True, step()))
        except (Refusal, OSError) as e:
            checks.append((what, False, str(e)))

    def read():
        data = source.manifest()
        with open(os.path.join(scratch, "manifest"), "wb") as f:
            f.write(data)
        attrs.update(parse_manifest(data))
        missing = [k for k in REQUIRED if k not in attrs]
        if missing:
            raise Refusal("missing " + ", ".join(missing))
        return f"{attrs['intname']} {attrs['version']}"

    def manifest_pinned():
        sig = os.path.join(scratch, "manifest.sig")
        with open(sig, "wb") as f:
            f.write(source.signature())
        pin = manifest_signer(os.path.join(scratch, "manifest"), sig, scratch)
        if pin not in pins:
            raise Refusal(f"signed by {pin}, which is not pinned")
        return f"detached, RSA with SHA-256, signer {pin}"

    def product():
        check_intname(attrs["intname"])
        if intname is not None and attrs["intname"] != intname:
            raise Refusal(f"names product {attrs['intname']}, not {intname}")
        check_version(attrs["version"])
        return f"intname {attrs['intname']}, version {attrs['version']}"

    def times():
        issued, expires = parse_time(attrs["issued"]), parse_time(attrs["expires"])
        for name, when in (("issued", issued), ("expires", expires)):
            if when is None:
                raise Refusal(f"{name} {attrs[name]!r} is not YYYY-MM-DDThh:mm:ssZ")
        left = expires - now
        if left.total_seconds() <= 0:
            raise Refusal(f"expired on {attrs['expires']}")
        if issued > expires:
            raise Refusal(f"issued at {attrs['issued']}, later than it expires ({attrs['expires']})")
        return f"issued {attrs['issued']}, valid until {attrs['expires']} ({left.days} days left)"

    def release_control():
        words = []
        if "rollout" in attrs:
            percent = parse_percent(attrs["rollout"], "rollout")
            words.append("halted: no machine takes it" if percent == 0 else f"rolled out to {percent}% of machines")
        else:
            words.append("every machine takes it")
        if "reporturl" in attrs:
            check_address(attrs["reporturl"], "report address")
            if "#" in attrs["reporturl"]:
                raise Refusal(f"report address {attrs['reporturl']!r} has a #fragment")
            words.append(f"reports to {attrs['reporturl']}")
        return ", ".join(words)

    def addresses():
        check_address(attrs["installerurl"], "installer address")
        if "whatsnewurl" in attrs:
            check_address(attrs["whatsnewurl"], "what's-new address")
        return None

    def digests():
        if not re.fullmatch(r"[0-9]+", attrs["size"]) or not SHA256_RE.fullmatch(attrs["sha256"]):
            raise Refusal(f"size {attrs['size']!r} or sha256 {attrs['sha256']!r} is malformed")
        path, name = source.installer(attrs, scratch)
        sha256, md5, size = file_digests(path)
        if attrs["size"] != str(size):
            more = "more than " if size > int(attrs["size"]) else ""
            raise Refusal(f"size mismatch: expected {attrs['size']}, got {more}{size}")
        if attrs["sha256"] != sha256:
            raise Refusal(f"digest mismatch: expected {attrs['sha256']}, got {sha256}")
        installer.append(path)
        published = source.md5(attrs).decode("ascii", "replace").lower()
        if published != md5:
            raise Refusal(f"{name}.md5 holds {published}, the installer's MD5 is {md5}")
        return f"{name}: {size} bytes, sha256 {sha256}, .md5 matches"

    def installer_pinned():
        if not installer:
            raise Refusal("no installer to check")
        return f"Authenticode valid, signer {installer_signer(installer[0], pins, scratch)}"

    def whatsnew():
        digest = attrs.get("whatsnewsha256")
        if "whatsnewurl" not in attrs:
            if digest is not None:
                raise Refusal("whatsnewsha256 without whatsnewurl")
            return "none"
        if digest is None:
            if isinstance(source, FolderSource):
                return "not bound by a digest, not checked"
            return f"{len(source.whatsnew(attrs))} bytes, not bound by a digest"
        if not SHA256_RE.fullmatch(digest):
            raise Refusal(f"whatsnewsha256 {digest!r} is not 64 lower-case hexadecimal digits")
        document = source.whatsnew(attrs)
        actual = hashlib.sha256(document).hexdigest()
        if actual != digest:
            raise Refusal(f"digest mismatch: signed {digest}, got {actual}; machines show no document")
        return f"{len(document)} bytes, sha256 matches"

    check("manifest", read)
    if checks[-1][1]:
        check("manifest signature", manifest_pinned)
        check("product and version", product)
        check("issued and expiry", times)
        check("rollout and reports", release_control)
        check("addresses", addresses)
        check("installer size and digests", digests)
        check("installer signature", installer_pinned)
        check("what's-new document", whatsnew)
    return checks, attrs


def verdict(checks, attrs):
    """The closing line, and whether the release is accepted."""
    failed = [what for what, ok, _ in checks if not ok]
    if failed:
        return f"verdict: REFUSED ({len(failed)} failed: {', '.join(failed)})", False
    rollout = attrs.get("rollout")
    reach = ("installs this update" if rollout in (None, "100") else
             "would install this update, but it is halted" if int(rollout) == 0 else
             f"installs this update on {int(rollout)}% of machines")
    return f"verdict: ACCEPTED, the Updater of a product with these pins {reach}", True
