"""The commands that write a release: manifest and release, and the ones
that sign a published manifest again: refresh, rollout and halt."""
import json
import os
import shutil
import tempfile

from .base import (DOCUMENT_LIMIT, VERSION_RE, Refusal, check_address, check_intname, check_plain_name,
                   check_version, file_digests, format_time, issued_after, lifetime, parse_percent,
                   parse_pins, parse_time, published_name, updater_compare, version_key)
from .manifest import (check_files_unchanged, check_signer_change, manifest_text, read_release,
                       rewrite)
from .peversion import product_version
from .signing import check_signer, installer_signer, sign_installer, sign_manifest
from .verify import FolderSource, verdict, verify


class Staging:
    """A temporary folder inside the output folder; its files are renamed into
    place only when everything has been made, so a refusal leaves nothing.
    A dry run makes everything in a folder elsewhere and never touches out."""

    def __init__(self, out, dry_run=False):
        self.out, self.dry_run = out, dry_run
        if dry_run:
            self.made_out = False
            self.dir = tempfile.mkdtemp(prefix="qmpublish-dry-run-")
        else:
            self.made_out = not os.path.isdir(out)
            os.makedirs(out, exist_ok=True)
            self.dir = tempfile.mkdtemp(prefix=".qmpublish-", dir=out)

    def path(self, name):
        return os.path.join(self.dir, name)

    def commit(self, names):
        if self.dry_run:
            return
        for name in names:  # the manifest last: it names the rest
            os.replace(self.path(name), os.path.join(self.out, name))

    def close(self):
        shutil.rmtree(self.dir, ignore_errors=True)
        if self.made_out:
            try:
                os.rmdir(self.out)  # only if the refusal left it empty
            except OSError:
                pass


class Scratch:
    """A temporary folder for the signature checks, removed at the end."""

    def __enter__(self):
        self.dir = tempfile.mkdtemp(prefix="qmpublish-")
        return self.dir

    def __exit__(self, *exc):
        shutil.rmtree(self.dir, ignore_errors=True)


def write_md5(path, md5, name):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(f"{md5}  {name}\n")


def check_version_order(old, new, out, allow_lower):
    """Refuses a version not above the one out holds, as the Updater compares them."""
    if not VERSION_RE.fullmatch(old or "") or updater_compare(new, old) > 0 or allow_lower:
        return
    if version_key(new) > version_key(old):
        raise Refusal(f"version {new} is above {old}, the version in {out}, but the Updater counts the two "
                      "as equal (it compares fields only up to one past the shorter version): machines "
                      f"with {old} would not take it")
    raise Refusal(f"version {new} is not above {old}, the version in {out}; give --allow-lower to withdraw "
                  f"{old} (machines that took it keep it until a higher version ships)")


def check_installer_version(installer, version, mismatch_ok):
    resource, where = product_version(installer)
    if resource and version_key(resource) != version_key(version) and not mismatch_ok:
        raise Refusal(f"{installer} says it is version {resource} ({where}), not {version}; "
                      "give --version-mismatch-ok if that is meant")


def named_file(url):
    """The file name an address names, or None."""
    try:
        return published_name(url, "address") if url else None
    except Refusal:
        return None


def release_control(attributes):
    rollout = attributes.get("rollout")
    words = ("rolled out to every machine" if rollout is None else
             "halted" if rollout == "0" else f"rolled out to {rollout}% of machines")
    if "reporturl" in attributes:
        words += f"; reports to {attributes['reporturl']}"
    return words


def check_publish_options(a):
    """Checks what manifest and release are given before anything is made;
    the file names and values the options come to."""
    check_intname(a.intname)
    check_version(a.version)
    check_address(a.installer_url, "installer address")
    name = published_name(a.installer_url, "installer address")
    check_plain_name(a.manifest_name, "manifest name")
    if a.whatsnew is not None and a.whatsnew_url is None:
        raise Refusal("--whatsnew needs --whatsnew-url, the address the document is published at")
    whatsnew = None
    if a.whatsnew_url is not None:
        check_address(a.whatsnew_url, "what's-new address")
        if a.whatsnew is not None:
            whatsnew = published_name(a.whatsnew_url, "what's-new address")
    files = [name, name + ".md5"] + ([whatsnew] if whatsnew else [])
    if len(set(files + [a.manifest_name, a.manifest_name + ".sig"])) != len(files) + 2:
        raise Refusal(f"the installer, its .md5, the what's-new document and the manifest need names of their "
                      f"own ({', '.join(files)}, {a.manifest_name})")
    rollout = parse_percent(a.rollout, "--rollout") if a.rollout is not None else 100
    if a.report_url is not None:
        check_address(a.report_url, "report address")
        if "#" in a.report_url:
            raise Refusal(f"report address {a.report_url!r} has a #fragment, which would hide the report's query")
    span = lifetime(a.days, a.hours, 30)
    if not os.path.isfile(a.installer):
        raise Refusal(f"no such installer: {a.installer}")
    if a.whatsnew is not None:
        if not os.path.isfile(a.whatsnew):
            raise Refusal(f"no such what's-new document: {a.whatsnew}")
        if os.path.getsize(a.whatsnew) > DOCUMENT_LIMIT:
            raise Refusal(f"{a.whatsnew} is longer than {DOCUMENT_LIMIT} bytes, more than the Updater reads")
    if os.path.exists(a.out) and not os.path.isdir(a.out):
        raise Refusal(f"{a.out} is not a folder")
    pin = check_signer(a.key, a.cert, a.key_password_file)
    check_installer_version(a.installer, a.version, a.version_mismatch_ok)
    return name, whatsnew, files, rollout, span, pin


def check_replacement(old, a, pin):
    """Refuses to replace the release in --out by a.version signed by pin
    unless the options allow it; the words of a signer change, if any."""
    if old.get("intname") != a.intname:
        raise Refusal(f"{a.out} holds a release of {old.get('intname')}, not of {a.intname}")
    check_version_order(old.get("version"), a.version, a.out, a.allow_lower)
    return check_signer_change(old, pin, a.new_signer)


def publish(a, sign):
    """manifest (sign False) and release (sign True): the folder to upload,
    made in a staging folder and put in place only when all of it holds."""
    name, whatsnew, files, rollout, span, pin = check_publish_options(a)
    pins = parse_pins(getattr(a, "pin", None), required=False) or [pin]
    result = {"ok": True, "dry_run": bool(getattr(a, "dry_run", False)), "out": a.out,
              "intname": a.intname, "version": a.version, "replaces": None, "signer": pin,
              "previous_signer": None, "signer_change": None}
    with Scratch() as scratch:
        old = (read_release(a.out, a.manifest_name, scratch, "remove it and its .sig to publish anew")
               if os.path.isdir(a.out) else None)
        if old:
            result["signer_change"] = check_replacement(old, a, pin)
            result.update(replaces=old.get("version"), previous_signer=old.signer)
        staging = Staging(a.out, result["dry_run"])
        try:
            installer = staging.path(name)
            if sign:
                sign_installer(a.installer, installer, a.key, a.cert, a.key_password_file,
                               a.timestamp, a.description, a.url)
            else:
                shutil.copyfile(a.installer, installer)
            installer_pin = installer_signer(installer, None, scratch)
            if installer_pin != pin:
                raise Refusal(f"{a.installer} is signed by {installer_pin}, the manifest would be signed by {pin}; "
                              "sign both with the same key")
            sha256, md5, size = file_digests(installer)
            write_md5(staging.path(name + ".md5"), md5, name)
            attributes = {"intname": a.intname, "version": a.version, "installerurl": a.installer_url}
            if a.whatsnew_url is not None:
                attributes["whatsnewurl"] = a.whatsnew_url
            if whatsnew:
                shutil.copyfile(a.whatsnew, staging.path(whatsnew))
                attributes["whatsnewsha256"] = file_digests(staging.path(whatsnew))[0]
            attributes.update(sha256=sha256, size=str(size))
            if rollout != 100:
                attributes["rollout"] = str(rollout)
            if a.report_url is not None:
                attributes["reporturl"] = a.report_url
            issued = issued_after(old.issued() if old else None)
            attributes.update(issued=format_time(issued), expires=format_time(issued + span))
            manifest = staging.path(a.manifest_name)
            with open(manifest, "wb") as f:
                f.write(manifest_text(attributes))
            sign_manifest(manifest, manifest + ".sig", a.key, a.cert, a.key_password_file)
            result["manifest"] = attributes
            if sign:
                check_staged(result, staging.dir, a, pins)
            published = files + [a.manifest_name + ".sig", a.manifest_name]
            # A what's-new document uploaded by other means stays while the manifest names it.
            named = published + [n for n in [named_file(a.whatsnew_url)] if n]
            kept = old.files() + [a.manifest_name, a.manifest_name + ".sig"] if old else []
            result["files"] = published
            result["removed"] = [n for n in (old.files() if old else [])
                                 if n not in named and os.path.isfile(os.path.join(a.out, n))]
            result["overwritten"] = [n for n in published
                                     if n not in kept and os.path.isfile(os.path.join(a.out, n))]
            staging.commit(published)
            if not result["dry_run"]:
                for n in result["removed"]:
                    os.unlink(os.path.join(a.out, n))
        finally:
            staging.close()
    return result


def check_staged(result, folder, a, pins):
    """The Updater's checks of the staged release, for a product with pins; refuses unless all hold."""
    with Scratch() as checking:
        checks, _ = verify(FolderSource(folder, a.manifest_name), pins, a.intname, checking)
    result["checks"] = [{"check": w, "ok": ok, "detail": d} for w, ok, d in checks]
    result["verdict"], accepted = verdict(checks, result["manifest"])
    if not accepted:
        failed = "; ".join(f"{w}: {d}" for w, ok, d in checks if not ok)
        raise Refusal(f"the Updater of a product with the pins {'; '.join(pins)} would refuse it ({failed})")


def print_publication(result, as_json):
    if as_json:
        print(json.dumps(result))
        return
    dry = result["dry_run"]

    def did(verb, past):
        return f"would {verb}" if dry else past

    attributes, out = result["manifest"], result["out"]
    if result["replaces"] is not None:
        old, new = result["replaces"], result["version"]
        order = updater_compare(new, old) if VERSION_RE.fullmatch(old) else 1
        note = ("" if order > 0 else
                f" (a withdrawal: machines that took {old} keep it)" if order < 0 else
                " (the Updater counts the two as the same version: machines that have it don't take it)")
        print(f"{did('replace', 'replaced')} {result['intname']} {old} with {new} in {out}{note}")
    if result["signer_change"]:
        print(result["signer_change"])
    for check in result.get("checks", []):
        print(f"  {'ok    ' if check['ok'] else 'FAILED'}  {check['check']}"
              + (f": {check['detail']}" if check["detail"] else ""))
    if "verdict" in result:
        print(result["verdict"])
    manifest, sig = result["files"][-1], result["files"][-2]
    print(f"{did('publish', 'published')} {result['intname']} {result['version']} into {out}: "
          f"{', '.join([manifest, sig] + result['files'][:-2])}")
    if result["removed"]:
        print(f"{did('remove', 'removed')} {', '.join(result['removed'])}: the new manifest no longer names them")
    if result["overwritten"]:
        print(f"{did('overwrite', 'overwrote')} {', '.join(result['overwritten'])}, which no release named")
    print(f"issued {attributes['issued']}, expires {attributes['expires']}; {release_control(attributes)}")
    print(f"the product's signer must hold {result['signer']}")
    if dry:
        print(f"dry run: nothing was written to {out}")


def cmd_manifest(a):
    print_publication(publish(a, sign=False), as_json=False)


def cmd_release(a):
    try:
        result = publish(a, sign=True)
    except Refusal as e:
        if a.json:
            print(json.dumps({"ok": False, "error": str(e)}))
        raise
    print_publication(result, a.json)


def resign(a, changes, default_days):
    """Signs the manifest in a.folder again with changes, a new issued time
    and expiry, after checking that it is one a trusted key signed for the
    installer still beside it; every other byte stays as it was."""
    if not os.path.isdir(a.folder):
        raise Refusal(f"no such folder: {a.folder}")
    check_plain_name(a.manifest_name, "manifest name")
    span = lifetime(a.days, a.hours, default_days)
    pin = check_signer(a.key, a.cert, a.key_password_file)
    pins = parse_pins(a.pin, required=False)
    with Scratch() as scratch:
        release = read_release(a.folder, a.manifest_name, scratch, "it is not signed again")
        if release is None:
            raise Refusal(f"{a.folder} holds no {a.manifest_name}; publish with 'manifest' or 'release' first")
        if release.signer != pin and release.signer not in pins:
            raise Refusal(f"{release.manifest} is signed by {release.signer}, which is neither the key of --cert "
                          f"({pin}) nor one of --pin; it is not signed again")
        change = check_signer_change(release, pin, a.new_signer)
        check_files_unchanged(release)
        issued = issued_after(release.issued())
        if span is not None:
            expires = format_time(issued + span)
        else:
            expires = release.get("expires")
            when = parse_time(expires)
            if when is None or when <= issued:
                raise Refusal(f"{release.manifest} expires {expires!r}, not after now; "
                              "give --days or --hours for a new expiry")
        changes = {**changes, "issued": format_time(issued), "expires": expires}
        data = rewrite(release.data, changes)
        staging = Staging(a.folder)
        try:
            path = staging.path(a.manifest_name)
            with open(path, "wb") as f:
                f.write(data)
            sign_manifest(path, path + ".sig", a.key, a.cert, a.key_password_file)
            staging.commit([a.manifest_name + ".sig", a.manifest_name])
        finally:
            staging.close()
    if change:
        print(change)
    return release, changes, pin


def cmd_refresh(a):
    _, changes, pin = resign(a, {}, 30)
    print(f"{os.path.join(a.folder, a.manifest_name)}: issued {changes['issued']}, expires {changes['expires']}, "
          f"signed by {pin}")


def rollout_to(a, percent):
    release, changes, pin = resign(a, {"rollout": None if percent == 100 else str(percent)}, None)
    was = release.get("rollout") or "100"
    what = f"{release.get('intname')} {release.get('version')}"
    state = (f"{what} is halted: no machine takes it any more" if percent == 0 else
             f"{what} is rolled out to every machine" if percent == 100 else
             f"{what} is rolled out to {percent}% of machines")
    print(f"{os.path.join(a.folder, a.manifest_name)}: {state} (was {was}%); issued {changes['issued']}, "
          f"expires {changes['expires']}, signed by {pin}")


def cmd_rollout(a):
    rollout_to(a, parse_percent(a.percent, "--percent"))


def cmd_halt(a):
    rollout_to(a, 0)
