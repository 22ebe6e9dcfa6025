#!/usr/bin/env python3
"""qmpublish: its units in tables, and its commands end to end on keys,
certificates and real NSIS installers made afresh in a temporary folder;
every output checked with the tool's verify."""
import datetime
import functools
import gzip
import hashlib
import http.server
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest

sys.dont_write_bytecode = True
TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path.insert(0, TOOLS)
from qmpublishlib import base, peversion, report  # noqa: E402

TOOL = os.path.join(TOOLS, "qmpublish")
URL = "https://updates.example.com/pad/Setup-2.1.exe"


def sh(*args):
    result = subprocess.run(args, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"{args}: {result.stderr}")
    return result.stdout


def log_line(query, status=200, combined=True, method="GET"):
    line = f'10.0.0.7 - - [08/Dec/2026:10:00:00 +0000] "{method} /pad/report?{query} HTTP/1.1" {status} 0'
    return line + (' "-" "QuillMarrow Updater"' if combined else "")


def query(intname="pad", to="2.1", result="installed", code="00000000", machine="0123456789abcdef"):
    return f"intname={intname}&from=2.0&to={to}&result={result}&code={code}&machine={machine}"


class Units(unittest.TestCase):
    def test_versions_compare_as_the_updater_compares_them(self):
        cases = [  # a, b, the Updater's comparison, the same version when trailing zeros are ignored
            ("2", "10", -1, False), ("1.10", "1.9", 1, False), ("1.2", "1.2.1", -1, False),
            ("2.1", "2.1.0", 0, True), ("2.1.0.15", "2.1", 0, False), ("3.0.0.0", "3", 0, True),
        ]
        for a, b, order, same in cases:
            with self.subTest(f"{a} {b}"):
                self.assertEqual(base.updater_compare(a, b), order)
                self.assertEqual(base.updater_compare(b, a), -order)
                self.assertEqual(base.version_key(a) == base.version_key(b), same)
        base.check_version("2147483647.1")
        self.assertRaisesRegex(base.Refusal, "above 2147483647", base.check_version, "2147483648.1")

    def test_signature_address_appends_to_the_path(self):
        cases = [
            ("https://h/pad/update.xml?id={x}", "https://h/pad/update.xml.sig?id={x}"),
            ("http://h:8080/u.xml#top", "http://h:8080/u.xml.sig#top"),
            ("https://h?x=1", None), ("https://h", None), ("https://h/pad/", None),
        ]
        for url, expected in cases:
            with self.subTest(url):
                if expected:
                    self.assertEqual(base.signature_address(url), expected)
                else:
                    self.assertRaisesRegex(base.Refusal, "names no file", base.signature_address, url)

    def test_issued_is_later_than_the_one_before(self):
        now = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
        self.assertGreater(base.issued_after(now), now)
        ahead = now + datetime.timedelta(hours=1)
        with self.assertRaises(base.Refusal) as refusal:
            base.issued_after(ahead)
        self.assertIn(base.format_time(ahead), str(refusal.exception))

    def test_report_lines(self):
        cases = [  # name, line, kind, intname of a report
            ("Combined", log_line(query()), "report", "pad"),
            ("Common, answered 404", log_line(query(), status=404, combined=False), "report", "pad"),
            ("report address with a query", log_line("channel=beta&" + query()), "report", "pad"),
            ("encoded intname", log_line(query(intname="notes-%C3%A9%20x")), "report", "notes-é x"),
            ("manifest request", log_line("id=3").replace("/pad/report", "/pad/update.xml"), "other", None),
            ("HEAD", log_line(query(), method="HEAD"), "other", None),
            ("no log line", "GET /pad/report?" + query(), "malformed", None),
            ("no status", log_line(query()).replace('" 200 0 "', '" "'), "malformed", None),
            ("unknown result", log_line(query(result="exploded")), "malformed report", None),
            ("upper-case code", log_line(query(code="0000000A")), "malformed report", None),
            ("short machine", log_line(query(machine="0123")), "malformed report", None),
            ("no machine", log_line(query().replace("&machine=", "&m=")), "malformed report", None),
            ("not UTF-8", log_line(query(intname="%FF")), "malformed report", None),
            ("broken escape", log_line(query(intname="pa%G0")), "malformed report", None),
        ]
        for name, line, kind, intname in cases:
            with self.subTest(name):
                found, fields = report.parse_line(line + "\n")
                self.assertEqual(found, kind, line)
                self.assertEqual(fields and fields["intname"], intname)

    def test_report_counts_machines_once(self):
        a, b, c, d = "a" * 16, "b" * 16, "c" * 16, "d" * 16
        tally = report.Tally()
        for line in [log_line(query(machine=a)), log_line(query(machine=a)),  # twice, one machine
                     log_line(query(result="failed", code="00000002", machine=b)),
                     log_line(query(result="timedout", machine=b)),
                     log_line(query(machine=c)), log_line(query(result="failed", machine=c)),
                     log_line(query(result="refused", machine=d)),
                     log_line(query(to="2.10", result="notregistered", machine=a)),
                     log_line(query(to="2.9", machine=a)), log_line(query(intname="ink", machine=a)),
                     "junk"]:
            tally.add_line(line)
        self.assertEqual([(r["intname"], r["version"], r["machines"], r["installed"], r["failed"])
                          for r in tally.versions()],
                         [("ink", "2.1", 1, 1, 0), ("pad", "2.1", 4, 2, 1), ("pad", "2.9", 1, 1, 0),
                          ("pad", "2.10", 1, 0, 1)])
        self.assertEqual(tally.versions()[1]["failure_rate"], 0.25)
        self.assertEqual(tally.skipped, {"malformed": 1, "other": 0, "malformed report": 0})


class QmPublish(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="qmpublish-test-")
        d = cls.file
        for n in ("1", "2"):
            sh("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
               f"/CN=Publisher {n}", "-keyout", d(f"key{n}.pem"), "-out", d(f"cert{n}.pem"))
        sh("openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
           "-days", "2", "-subj", "/CN=EC", "-keyout", d("ec.key"), "-out", d("ec.crt"))
        cls.pin1 = sh(TOOL, "pin", d("cert1.pem")).strip()
        cls.pin2 = sh(TOOL, "pin", d("cert2.pem")).strip()
        for name, lines in (("plain", ""), ("v30", 'VIProductVersion "3.0.0.0"\n'
                                                   'VIAddVersionKey "ProductVersion" "3.0"\n')):
            with open(d(f"{name}.nsi"), "w") as f:
                f.write(f'OutFile "{d(name + ".exe")}"\nSilentInstall silent\n{lines}Section\nSectionEnd\n')
            sh("makensis", "-V1", d(f"{name}.nsi"))
        for n in ("1", "2"):
            sh(TOOL, "sign", "--key", d(f"key{n}.pem"), "--cert", d(f"cert{n}.pem"), d("plain.exe"),
               d(f"signed{n}.exe"))
        sh(TOOL, "sign", "--key", d("key1.pem"), "--cert", d("cert1.pem"), d("v30.exe"), d("v30-signed1.exe"))
        with open(d("news.xml"), "w") as f:
            f.write("<whatsnew><title>Pad 2.1</title></whatsnew>\n")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    @classmethod
    def file(cls, name):
        return os.path.join(cls.dir, name)

    def run_tool(self, *args, stdin=None):
        return subprocess.run([TOOL] + list(args), capture_output=True, text=True, input=stdin)

    def publish(self, out, command="manifest", **changes):
        options = {"intname": "pad", "version": "2.1", "installer": self.file("signed1.exe"),
                   "installer-url": URL, "whatsnew-url": "https://updates.example.com/pad/new.xml?a=1&b=2",
                   "days": "30", "key": self.file("key1.pem"), "cert": self.file("cert1.pem")}
        options.update(changes)
        args = [command, "--out", out]
        for name, value in options.items():
            if value is True:
                args.append(f"--{name}")
            elif value is not None:
                args += [f"--{name}", value]
        return self.run_tool(*args)

    def signed(self, n=1):
        return {"key": self.file(f"key{n}.pem"), "cert": self.file(f"cert{n}.pem")}

    def keys(self, n=1):
        return ["--key", self.file(f"key{n}.pem"), "--cert", self.file(f"cert{n}.pem")]

    def fresh(self, name):
        path = self.file(name)
        shutil.rmtree(path, ignore_errors=True)
        os.mkdir(path)
        return path

    def published(self, name, **changes):
        out = self.fresh(name)
        result = self.publish(out, **changes)
        self.assertEqual(result.returncode, 0, result.stderr)
        return out

    def verify(self, out, *extra, pin=None):
        return self.run_tool("verify", out, "--pin", pin or self.pin1, *extra)

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def sign_by_hand(self, out, old, new, n=1):
        """The folder's manifest edited and signed with key n, as no qmpublish command would."""
        manifest = os.path.join(out, "update.xml")
        data = re.sub(old, new, self.read(manifest), count=1)
        with open(manifest, "wb") as f:
            f.write(data)
        sh("openssl", "cms", "-sign", "-binary", "-md", "sha256", "-outform", "DER", "-nosmimecap",
           "-in", manifest, "-signer", self.file(f"cert{n}.pem"), "-inkey", self.file(f"key{n}.pem"),
           "-out", manifest + ".sig")

    def snapshot(self, out):
        return {n: self.read(os.path.join(out, n)) for n in sorted(os.listdir(out))}

    def test_version_resource_of_installers(self):
        self.assertEqual(peversion.product_version(self.file("v30.exe")),
                         ("3.0.0.0", "the fixed ProductVersion of its version resource"))
        self.assertEqual(peversion.product_version(self.file("plain.exe")), (None, None))
        self.assertRaisesRegex(base.Refusal, "not a Windows program", peversion.product_version, self.file("news.xml"))
        # Damaged images: a refusal or no version, never an error of the reader.
        image = self.read(self.file("v30.exe"))
        resource = image.find("VS_VERSION_INFO".encode("utf-16-le")) - 1024
        damaged = [image[:cut] for cut in range(0, 4096, 61)]
        for at in list(range(512)) + list(range(resource, resource + 2048)):  # headers, version resource
            damaged.append(image[:at] + b"\xff" + image[at + 1:resource + 2048])
        outcomes = set()
        for data in damaged:
            with open(self.file("damaged.exe"), "wb") as f:
                f.write(data)
            try:
                outcomes.add(peversion.product_version(self.file("damaged.exe"))[0])
            except base.Refusal:
                outcomes.add("refused")
        self.assertTrue(all(o in (None, "refused") or base.VERSION_RE.fullmatch(o) for o in outcomes), outcomes)
        self.assertTrue({None, "refused", "3.0.0.0"} <= outcomes, outcomes)

    def test_published_folder_verifies_and_follows_the_manifest_format(self):
        out = self.published("good")
        self.assertEqual(sorted(os.listdir(out)),
                         ["Setup-2.1.exe", "Setup-2.1.exe.md5", "update.xml", "update.xml.sig"])
        text = self.read(os.path.join(out, "update.xml")).decode()
        when = r"'\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ'"
        self.assertRegex(text, r"^<update intname='pad' version='2\.1' installerurl='https://updates\.example\.com/"
                         r"pad/Setup-2\.1\.exe' whatsnewurl='https://updates\.example\.com/pad/new\.xml\?a=1&amp;b=2'"
                         rf" sha256='[0-9a-f]{{64}}' size='[0-9]+' issued={when} expires={when}/>\n$")
        self.assertRegex(self.read(os.path.join(out, "Setup-2.1.exe.md5")).decode(),
                         r"^[0-9a-f]{32}  Setup-2\.1\.exe\n$")
        # Pins as the product's signer holds them while moving to a new key.
        for pins in (self.pin1, f" {self.pin2} ; {self.pin1.upper()} "):
            result = self.verify(out, "--intname", "pad", pin=pins)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertIn("verdict: ACCEPTED", result.stdout)

        out = self.published("full", whatsnew=self.file("news.xml"), rollout="25",
                             **{"whatsnew-url": "https://updates.example.com/pad/news-2.1.xml",
                                "report-url": "https://updates.example.com/pad/report?channel=beta"})
        text = self.read(os.path.join(out, "update.xml")).decode()
        digest = hashlib.sha256(self.read(self.file("news.xml"))).hexdigest()
        self.assertRegex(text, rf" whatsnewurl='[^']*/news-2\.1\.xml' whatsnewsha256='{digest}' sha256='[0-9a-f]{{64}}'"
                         r" size='[0-9]+' rollout='25'"
                         r" reporturl='https://updates\.example\.com/pad/report\?channel=beta' issued=")
        self.assertEqual(self.read(os.path.join(out, "news-2.1.xml")), self.read(self.file("news.xml")))
        result = self.verify(out)
        self.assertIn(f"ok      what's-new document: {os.path.getsize(self.file('news.xml'))} bytes, sha256 matches",
                      result.stdout)
        self.assertIn("installs this update on 25% of machines", result.stdout)
        with open(os.path.join(out, "news-2.1.xml"), "a") as f:
            f.write(" ")
        self.assertIn("FAILED  what's-new document: digest mismatch", self.verify(out).stdout)

    def test_bad_input_is_refused_and_leaves_nothing(self):
        cases = [  # name, manifest options, words of the error
            ("key of another certificate", {"key": self.file("key2.pem")}, "does not belong to"),
            ("letters in version", {"version": "2.1a"}, "not dotted numbers"),
            ("empty part in version", {"version": "2..1"}, "not dotted numbers"),
            ("missing installer", {"installer": self.file("nothing.exe")}, "no such installer"),
            ("unsigned installer", {"installer": self.file("plain.exe")}, "no Authenticode signature"),
            ("installer signed by another key", {"installer": self.file("signed2.exe")},
             f"signed by {self.pin2}, the manifest would be signed by {self.pin1}"),
            ("installer of another version", {"installer": self.file("v30-signed1.exe")},
             "says it is version 3.0.0.0 (the fixed ProductVersion of its version resource), not 2.1"),
            ("no PE image", {"installer": self.file("news.xml")}, "not a Windows program"),
            ("expiry in the past", {"days": "-3"}, "in the past"),
            ("expiry beyond 90 days", {"days": "91"}, "beyond 90"),
            ("expiry beyond 90 days in hours", {"days": None, "hours": "2161"}, "beyond 90 days"),
            ("days and hours", {"hours": "5"}, "not allowed with argument"),
            ("days not a number", {"days": "2x"}, "invalid int value"),
            ("rollout above 100", {"rollout": "101"}, "not a whole number from 0 to 100"),
            ("rollout with a sign", {"rollout": "+5"}, "not a whole number from 0 to 100"),
            ("report address not http", {"report-url": "ftp://h/r"}, "not an http or https address"),
            ("report address with a fragment", {"report-url": "https://h/r#x"}, "#fragment"),
            ("document without address", {"whatsnew": self.file("news.xml"), "whatsnew-url": None},
             "--whatsnew needs --whatsnew-url"),
            ("document named as the installer", {"whatsnew": self.file("news.xml"), "whatsnew-url": URL},
             "need names of their own"),
            ("ECDSA key", {"key": self.file("ec.key"), "cert": self.file("ec.crt")}, "only RSA"),
            ("slash in intname", {"intname": "pa/d"}, "file name"),
            ("file installer address", {"installer-url": "file:///C:/Setup.exe"}, "not an http"),
            ("malformed installer address", {"installer-url": "https://[h/Setup.exe"}, "is malformed"),
        ]
        for name, changes, words in cases:
            with self.subTest(name):
                out = self.fresh("refused")
                result = self.publish(out, **changes)
                self.assertEqual(result.returncode, 1, result.stdout)
                self.assertIn(words, result.stderr)
                self.assertNotIn("Traceback", result.stderr)
                self.assertEqual(os.listdir(out), [])
        for args, words in ((["verify", self.file("nowhere"), "--pin", self.pin1], "no such folder"),
                            (["refresh", self.file("nowhere"), "--key", "k", "--cert", "c"], "no such folder"),
                            (["rollout", "--percent"], "expected one argument"), (["report"], "required")):
            result = self.run_tool(*args)
            self.assertEqual((result.returncode, result.stdout), (1, ""), args)
            self.assertIn(words, result.stderr)

    def test_guard_rails_over_a_published_release(self):
        installer2 = URL.replace("2.1", "2.2")
        cases = [  # name, manifest options, exit code, words in the output, files after
            ("lower version", {"version": "2.0"}, 1, "version 2.0 is not above 2.1", None),
            ("same version", {}, 1, "give --allow-lower to withdraw 2.1", None),
            ("above, but equal for the Updater", {"version": "2.1.0.5"}, 1, "counts the two as equal", None),
            ("withdrawal", {"version": "2.0", "allow-lower": True}, 0,
             "replaced pad 2.1 with 2.0 in ", ["Setup-2.1.exe", "Setup-2.1.exe.md5", "news-2.1.xml"]),
            ("another product", {"intname": "ink"}, 1, "holds a release of pad, not of ink", None),
            ("another signer", {"version": "2.2", "installer": self.file("signed2.exe"), **self.signed(2)}, 1,
             "give --new-signer to change the signer", None),
            ("another signer, meant", {"version": "2.2", "installer": self.file("signed2.exe"), **self.signed(2),
                                       "new-signer": True}, 0,
             f"signer changes from {self.pin1} to {self.pin2}",
             ["Setup-2.1.exe", "Setup-2.1.exe.md5", "news-2.1.xml"]),
            ("new version, new names", {"version": "2.2", "installer-url": installer2,
                                        "whatsnew-url": "https://updates.example.com/pad/news-2.2.xml"}, 0,
             "removed Setup-2.1.exe, Setup-2.1.exe.md5, news-2.1.xml: the new manifest no longer names them",
             ["Setup-2.2.exe", "Setup-2.2.exe.md5", "news-2.2.xml"]),
            ("new version, same document", {"version": "2.2", "installer-url": installer2, "whatsnew": None}, 0,
             "removed Setup-2.1.exe, Setup-2.1.exe.md5: the", ["Setup-2.2.exe", "Setup-2.2.exe.md5", "news-2.1.xml"]),
            ("new version, no document", {"version": "2.2", "installer-url": installer2, "whatsnew": None,
                                          "whatsnew-url": None}, 0, "removed Setup-2.1.exe, Setup-2.1.exe.md5, "
             "news-2.1.xml", ["Setup-2.2.exe", "Setup-2.2.exe.md5"]),
        ]
        options = {"whatsnew": self.file("news.xml"), "whatsnew-url": "https://updates.example.com/pad/news-2.1.xml"}
        original = self.published("release", **options)
        for name, changes, code, words, files in cases:
            with self.subTest(name):
                out = self.file("over")
                shutil.rmtree(out, ignore_errors=True)
                shutil.copytree(original, out)
                before = self.snapshot(out)
                result = self.publish(out, **{**options, **changes})
                self.assertEqual(result.returncode, code, result.stdout + result.stderr)
                self.assertIn(words, result.stdout + result.stderr)
                if files is None:
                    self.assertEqual(self.snapshot(out), before)
                else:
                    self.assertEqual(sorted(os.listdir(out)), sorted(files + ["update.xml", "update.xml.sig"]))
        out = self.file("over")
        self.sign_by_hand(out, rb"version='2\.1'", b"version='9.9'", n=2)
        with open(os.path.join(out, "update.xml"), "ab") as f:
            f.write(b" ")
        result = self.publish(out, version="9.10")
        self.assertEqual(result.returncode, 1)
        self.assertIn("the signature does not match the manifest", result.stderr)

    def test_resigning_verifies_the_folder_first(self):
        def foreign(out):  # an attacker's manifest, signed by a key the publisher never used
            self.sign_by_hand(out, rb"version='2\.1'", b"version='9.9'", n=2)

        def altered(out):
            with open(os.path.join(out, "Setup-2.1.exe"), "ab") as f:
                f.write(b"\0")

        def unsigned(out):
            with open(os.path.join(out, "update.xml"), "ab") as f:
                f.write(b" ")

        cases = [  # name, change to the folder, options, words of the refusal (None: re-signed)
            ("foreign signer", foreign, [], f"signed by {self.pin2}, which is neither the key of --cert"),
            ("foreign signer, new signer", foreign, ["--new-signer"], "which is neither the key of --cert"),
            ("altered installer", altered, [], "Setup-2.1.exe is not the installer update.xml was signed for"),
            ("manifest changed after signing", unsigned, [], "the signature does not match the manifest"),
            ("signer changed", None, ["--pin", self.pin1, *self.keys(2)], "give --new-signer"),
            ("signer changed, meant", None, ["--pin", f"{self.pin2};{self.pin1}", "--new-signer", *self.keys(2)],
             None),
        ]
        original = self.published("resign")
        for command in (["refresh"], ["rollout", "--percent", "50"], ["halt"]):
            for name, change, options, words in cases:
                with self.subTest(f"{command[0]}: {name}"):
                    out = self.file("resigned")
                    shutil.rmtree(out, ignore_errors=True)
                    shutil.copytree(original, out)
                    if change:
                        change(out)
                    before = self.snapshot(out)
                    keys = [] if "--key" in options else self.keys(1)
                    result = self.run_tool(command[0], out, *command[1:], *options, *keys)
                    if words:
                        self.assertEqual(result.returncode, 1, result.stdout)
                        self.assertIn(words, result.stderr)
                        self.assertEqual(self.snapshot(out), before)
                    else:
                        self.assertEqual(result.returncode, 0, result.stderr)
                        self.assertIn(f"signer changes from {self.pin1} to {self.pin2}", result.stdout)
                        # The installer beside it is still signed by the old key.
                        self.assertEqual(self.verify(out, pin=f"{self.pin1};{self.pin2}").returncode, 0)

    def test_rollout_halt_and_refresh_rewrite_only_their_attributes(self):
        out = self.published("rollout", rollout="10", days=None, hours="48")
        manifest = os.path.join(out, "update.xml")
        keys = self.keys(1)
        steps = [  # command, rollout after, expiry changed, words of the verdict
            (["rollout", "--percent", "50"], "50", False, "on 50% of machines"),
            (["halt"], "0", False, "but it is halted"),
            (["refresh", "--days", "5"], "0", True, "but it is halted"),
            (["rollout", "--percent", "100", "--hours", "3"], None, True, "installs this update"),
        ]
        for command, rollout, new_expiry, words in steps:
            with self.subTest(command[0]):
                before = self.read(manifest)
                old = dict(re.findall(r"(\w+)='([^']*)'", before.decode()))
                result = self.run_tool(command[0], out, *command[1:], *keys)
                self.assertEqual(result.returncode, 0, result.stderr)
                after = self.read(manifest)
                new = dict(re.findall(r"(\w+)='([^']*)'", after.decode()))
                self.assertGreater(new["issued"], old["issued"])
                self.assertEqual(new["expires"] != old["expires"], new_expiry)
                self.assertEqual(new.get("rollout"), rollout)
                strip = functools.partial(re.sub, rb" (rollout|issued|expires)='[^']*'", b"")
                self.assertEqual(strip(after), strip(before))
                result = self.verify(out)
                self.assertEqual(result.returncode, 0, result.stdout)
                self.assertIn(words, result.stdout)

    def test_a_clock_behind_the_folder_is_refused(self):
        out = self.published("clock")
        ahead = (datetime.datetime.now(datetime.timezone.utc) + datetime.timedelta(hours=2)).strftime(
            "%Y-%m-%dT%H:%M:%SZ")
        self.sign_by_hand(out, rb"issued='[^']*'", f"issued='{ahead}'".encode())
        before = self.snapshot(out)
        for result in (self.run_tool("refresh", out, *self.keys(1)), self.publish(out, version="2.2")):
            self.assertEqual(result.returncode, 1, result.stdout)
            self.assertRegex(result.stderr, rf"clock reads \S+Z, earlier than {ahead}, when the manifest")
            self.assertEqual(self.snapshot(out), before)

    def test_release_signs_publishes_and_verifies(self):
        out = self.file("released")
        shutil.rmtree(out, ignore_errors=True)
        common = {"installer": self.file("v30.exe"), "version": "3.0", "json": True}
        result = self.publish(out, "release", **common, **{"dry-run": True})
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertFalse(os.path.exists(out))
        dry = json.loads(result.stdout)
        self.assertEqual((dry["ok"], dry["dry_run"], dry["version"], dry["replaces"], dry["files"]),
                         (True, True, "3.0", None, ["Setup-2.1.exe", "Setup-2.1.exe.md5", "update.xml.sig",
                                                    "update.xml"]))
        self.assertTrue(all(check["ok"] for check in dry["checks"]), dry["checks"])
        result = self.publish(out, "release", **common, pin=f"{self.pin2};{self.pin1}")
        self.assertEqual((result.returncode, json.loads(result.stdout)["dry_run"]), (0, False), result.stderr)
        self.assertEqual(self.verify(out).returncode, 0)
        before = self.snapshot(out)
        result = self.publish(out, "release", **{**common, "version": "3.1", "version-mismatch-ok": True},
                              pin=self.pin2)
        self.assertEqual(result.returncode, 1)
        refusal = json.loads(result.stdout)
        self.assertEqual(refusal["ok"], False)
        self.assertIn(f"signed by {self.pin1}, which is not pinned", refusal["error"])
        self.assertEqual(self.snapshot(out), before)

    def test_verify_fetches_what_a_machine_fetches(self):
        root = self.fresh("web")
        class Quiet(http.server.SimpleHTTPRequestHandler):
            def log_message(self, *args):
                pass

        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Quiet, directory=root))
        threading.Thread(target=server.serve_forever, daemon=True).start()
        base_url = f"http://127.0.0.1:{server.server_address[1]}"
        try:
            cases = [  # name, folder on the server, installer address, manifest address, words
                ("as published", "pad", "/pad/Setup.exe", "/pad/update.xml?id=7", "verdict: ACCEPTED"),
                ("mistyped installer address", "pad2", "/pads/Setup.exe", "/pad2/update.xml",
                 "FAILED  installer size and digests: " + base_url + "/pads/Setup.exe answered 404"),
                ("manifest address without a file", "pad3", "/pad3/Setup.exe", "/?x=1", "names no file"),
            ]
            for name, folder, installer, address, words in cases:
                with self.subTest(name):
                    self.published(os.path.join("web", folder), whatsnew=self.file("news.xml"), **{
                        "installer-url": base_url + installer, "whatsnew-url": base_url + f"/{folder}/news.xml"})
                    result = self.verify(base_url + address)
                    self.assertIn(words, result.stdout + result.stderr)
                    self.assertEqual(result.returncode, 0 if "ACCEPTED" in words else 1)
            with open(os.path.join(root, "pad", "news.xml"), "a") as f:
                f.write(" ")
            result = self.verify(base_url + "/pad/update.xml")
            self.assertIn("FAILED  what's-new document: digest mismatch", result.stdout)
        finally:
            server.shutdown()
            server.server_close()

    def test_verify_refuses_what_the_updater_refuses(self):
        def edit(path, old, new):
            with open(path, "rb") as f:
                data = f.read()
            with open(path, "wb") as f:
                f.write(re.sub(old, new, data, count=1))

        def append_byte(out):
            with open(os.path.join(out, "Setup-2.1.exe"), "ab") as f:
                f.write(b"\0")

        def change_byte(out):
            with open(os.path.join(out, "Setup-2.1.exe"), "r+b") as f:
                f.seek(1000)
                byte = f.read(1)
                f.seek(1000)
                f.write(bytes([byte[0] ^ 1]))

        def unpinned_installer(out):
            shutil.copyfile(self.file("signed2.exe"), os.path.join(out, "Setup-2.1.exe"))
            sha256, _, size = base.file_digests(self.file("signed2.exe"))
            self.sign_by_hand(out, rb"sha256='[^']*' size='[^']*'", f"sha256='{sha256}' size='{size}'".encode())

        cases = [  # name, change to a good folder, verify options, words of the failure
            ("altered manifest", lambda out: edit(os.path.join(out, "update.xml"), rb"2\.1'", b"2.2'"), [],
             "FAILED  manifest signature: the signature does not match"),
            ("missing signature", lambda out: os.unlink(os.path.join(out, "update.xml.sig")), [],
             "FAILED  manifest signature"),
            ("wrong pin", None, ["--pin", self.pin2], "not pinned"),
            ("expired manifest", lambda out: self.sign_by_hand(out, rb"expires='[^']*'",
                                                               b"expires='2020-01-01T00:00:00Z'"),
             [], "FAILED  issued and expiry: expired on 2020-01-01T00:00:00Z"),
            ("issued after it expires", lambda out: self.sign_by_hand(out, rb"issued='[^']*'",
                                                                      b"issued='2099-01-01T00:00:00Z'"),
             [], "FAILED  issued and expiry: issued at 2099-01-01T00:00:00Z, later than it expires"),
            ("no issued time", lambda out: self.sign_by_hand(out, rb" issued='[^']*'", b""), [], "missing issued"),
            ("rollout not a percentage", lambda out: self.sign_by_hand(out, rb" issued=", b" rollout='5%' issued="), [],
             "FAILED  rollout and reports"),
            ("size mismatch", append_byte, [], "size mismatch"),
            ("digest mismatch", change_byte, [], "digest mismatch"),
            ("installer signed by an unpinned key", unpinned_installer, [],
             f"FAILED  installer signature: Setup-2.1.exe is signed by a key that is not pinned ({self.pin2})"),
            ("other product", None, ["--intname", "ink"], "names product pad, not ink"),
        ]
        published = self.published("published")
        for name, change, options, words in cases:
            with self.subTest(name):
                out = self.file("verify")
                shutil.rmtree(out, ignore_errors=True)
                shutil.copytree(published, out)
                if change:
                    change(out)
                result = self.run_tool("verify", out, *(options if "--pin" in options else
                                                        ["--pin", self.pin1] + options))
                self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
                self.assertIn(words, result.stdout)
                self.assertIn("verdict: REFUSED", result.stdout)

    def test_report_reads_logs_and_names_the_versions_to_halt(self):
        lines = [log_line(query(machine=f"{m:016x}", result="failed" if m < 3 else "installed"), combined=m % 2)
                 for m in range(10)] + [log_line(query(to="2.2", machine="f" * 16)), "junk"]
        with gzip.open(self.file("access.log.gz"), "wt") as f:
            f.write("\n".join(lines[:6]) + "\n")
        cases = [  # options, exit code, JSON?
            (["--json"], 0, True), (["--halt-above", "30%"], 0, False), (["--json", "--halt-above", "0.25"], 3, True),
        ]
        for options, code, as_json in cases:
            with self.subTest(" ".join(options)):
                result = self.run_tool("report", *options, self.file("access.log.gz"), "-",
                                       stdin="\n".join(lines[6:]) + "\n")
                self.assertEqual(result.returncode, code, result.stderr)
                if as_json:
                    self.assertEqual(json.loads(result.stdout), {"versions": [
                        {"intname": "pad", "version": "2.1", "machines": 10, "installed": 7, "failed": 3,
                         "failure_rate": 0.3},
                        {"intname": "pad", "version": "2.2", "machines": 1, "installed": 1, "failed": 0,
                         "failure_rate": 0.0}]})
                else:
                    self.assertRegex(result.stdout, r"pad +2\.1 +10 +7 +3 +30\.0%\n")
                self.assertIn("11 reports read; 1 line skipped: 1 line in another format, 0 other requests, "
                              "0 malformed reports",
                              result.stderr if as_json else result.stdout)
                halted = "pad 2.1 failed on 3 of 10 machines (30.0%, 7 installed), above 25.0%"
                self.assertEqual(halted in result.stderr, code == 3)


if __name__ == "__main__":
    missing = [t for t in ("openssl", "osslsigncode", "makensis") if not shutil.which(t)]
    if missing:
        print("skipped: not installed:", ", ".join(missing))
        sys.exit(77)
    # "--shard I/N" runs every N-th test from the I-th on (I from 1), so that
    # the tests can share the machine's cores; every test is in one shard.
    if len(sys.argv) == 3 and sys.argv[1] == "--shard":
        index, count = (int(n) for n in sys.argv[2].split("/"))
        tests = []
        pending = [unittest.defaultTestLoader.loadTestsFromModule(sys.modules[__name__])]
        while pending:
            for item in pending.pop(0):
                (pending if isinstance(item, unittest.TestSuite) else tests).append(item)
        suite = unittest.TestSuite(t for i, t in enumerate(tests) if i % count == index - 1)
        sys.exit(0 if unittest.TextTestRunner(verbosity=1).run(suite).wasSuccessful() else 1)
    unittest.main()
