"""The manifest: its text, its attributes, rewriting some of them while
every other byte stays, and the release a folder already holds."""
import os
import re
import xml.etree.ElementTree as ET

from .base import (SHA256_RE, Refusal, check_plain_name, file_digests, parse_time, published_name,
                   xml_escape)
from .signing import manifest_signer

# The attributes in the order the tool writes them.
ORDER = ["intname", "version", "installerurl", "whatsnewurl", "whatsnewsha256", "sha256", "size",
         "rollout", "reporturl", "issued", "expires"]
REQUIRED = ["intname", "version", "installerurl", "sha256", "size", "issued", "expires"]


def manifest_text(attributes):
    """One update element, UTF-8, every value XML-escaped."""
    parts = [f"{k}='{xml_escape(attributes[k])}'" for k in ORDER if k in attributes]
    return ("<update " + " ".join(parts) + "/>\n").encode("utf-8")


def parse_manifest(data):
    try:
        root = ET.fromstring(data)
    except ET.ParseError as e:
        raise Refusal(f"the manifest is not well-formed XML ({e})")
    if root.tag != "update":
        raise Refusal(f"the manifest's element is {root.tag}, not update")
    return dict(root.attrib)


def _attribute_re(name):
    return re.compile(rb"\s" + re.escape(name.encode()) + rb"\s*=\s*(['\"])([^'\"]*)\1")


def _start_tag_end(data):
    """Where the update element's start tag ends (at its / or >)."""
    m = re.search(rb"<update(?=[\s/>])", data)
    if not m:
        raise Refusal("the manifest has no update element")
    i, quote = m.end(), None
    while i < len(data):
        c = data[i:i + 1]
        if quote:
            quote = None if c == quote else quote
        elif c in (b"'", b'"'):
            quote = c
        elif c == b">":
            return i - 1 if data[i - 1:i] == b"/" else i
        i += 1
    raise Refusal("the manifest's update element is not closed")


def rewrite(data, changes):
    """data with the attributes in changes set (a value) or removed (None);
    every other byte stays as it was. A new attribute goes where the tool
    writes it, before the first later one in ORDER, or at the tag's end."""
    before = parse_manifest(data)
    for name, value in changes.items():
        matches = list(_attribute_re(name).finditer(data))
        if len(matches) > 1:
            raise Refusal(f"the manifest has more than one {name} attribute")
        if matches:
            m = matches[0]
            data = (data[:m.start()] + data[m.end():] if value is None else
                    data[:m.start(2)] + xml_escape(value).encode("utf-8") + data[m.end(2):])
        elif value is not None:
            later = ORDER[ORDER.index(name) + 1:] if name in ORDER else []
            starts = [m.start() for n in later for m in _attribute_re(n).finditer(data)]
            at = min(starts) if starts else _start_tag_end(data)
            data = data[:at] + f" {name}='{xml_escape(value)}'".encode("utf-8") + data[at:]
    expected = {k: v for k, v in {**before, **changes}.items() if v is not None}
    if parse_manifest(data) != expected:
        raise Refusal(f"the manifest's {', '.join(changes)} can't be rewritten on their own")
    return data


class Release:
    """The release a folder holds: its manifest, verified against its .sig."""

    def __init__(self, folder, manifest_name, data, attributes, signer):
        self.folder, self.manifest_name = folder, manifest_name
        self.manifest = os.path.join(folder, manifest_name)
        self.data, self.attributes, self.signer = data, attributes, signer

    def get(self, name):
        return self.attributes.get(name)

    def file_name(self, attribute):
        """The published name of the file at the address in attribute, or None."""
        url = self.attributes.get(attribute)
        try:
            return published_name(url, attribute) if url else None
        except Refusal:
            return None

    def files(self):
        """The files beside the manifest that it names."""
        names = []
        installer = self.file_name("installerurl")
        if installer:
            names += [installer, installer + ".md5"]
        whatsnew = self.file_name("whatsnewurl")
        if whatsnew:
            names.append(whatsnew)
        return [n for n in names if n not in (self.manifest_name, self.manifest_name + ".sig")]

    def issued(self):
        """When it was issued; None for a manifest from before that was recorded."""
        text = self.attributes.get("issued")
        if text is None:
            return None
        when = parse_time(text)
        if when is None:
            raise Refusal(f"{self.manifest}: issued {text!r} is not YYYY-MM-DDThh:mm:ssZ")
        return when


def read_release(folder, manifest_name, scratch, advice):
    """The release in folder, or None when it holds no manifest. A manifest
    without its .sig, or one that does not match it, is refused with advice."""
    check_plain_name(manifest_name, "manifest name")
    manifest = os.path.join(folder, manifest_name)
    if not os.path.isfile(manifest):
        return None
    if not os.path.isfile(manifest + ".sig"):
        raise Refusal(f"{manifest} has no {manifest_name}.sig beside it; {advice}")
    try:
        signer = manifest_signer(manifest, manifest + ".sig", scratch)
    except Refusal as e:
        raise Refusal(f"{manifest}: {e}; {advice}")
    with open(manifest, "rb") as f:
        data = f.read()
    return Release(folder, manifest_name, data, parse_manifest(data), signer)


def check_signer_change(release, pin, new_signer):
    """None when release is signed by pin; else, with new_signer, the words that
    say so. A change nobody asked for is refused: a job still holding an old
    key must not switch the signer back."""
    if release.signer == pin:
        return None
    if not new_signer:
        raise Refusal(f"{release.manifest} is signed by {release.signer}, not by the key of --cert ({pin}); "
                      "give --new-signer to change the signer")
    return f"signer changes from {release.signer} to {pin}"


def check_files_unchanged(release):
    """The installer (and a what's-new document bound by its digest) in the
    folder are still the ones the manifest names."""
    for name in ("installerurl", "sha256", "size"):
        if name not in release.attributes:
            raise Refusal(f"{release.manifest} has no {name} attribute")
    installer = published_name(release.get("installerurl"), "installer address")
    path = os.path.join(release.folder, installer)
    if not os.path.isfile(path):
        raise Refusal(f"{installer}, the installer {release.manifest_name} names, is not in {release.folder}")
    sha256, _, size = file_digests(path)
    if str(size) != release.get("size") or sha256 != release.get("sha256"):
        raise Refusal(f"{path} is not the installer {release.manifest_name} was signed for "
                      f"(size {size}, SHA-256 {sha256}; signed: size {release.get('size')}, "
                      f"SHA-256 {release.get('sha256')})")
    digest = release.get("whatsnewsha256")
    if digest is not None:
        name = release.file_name("whatsnewurl")
        path = os.path.join(release.folder, name) if name else None
        if not path or not os.path.isfile(path):
            raise Refusal(f"the what's-new document {release.manifest_name} names is not in {release.folder}")
        if file_digests(path)[0] != digest or not SHA256_RE.fullmatch(digest):
            raise Refusal(f"{path} is not the what's-new document {release.manifest_name} was signed for")
