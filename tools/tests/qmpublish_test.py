#!/usr/bin/env python3
"""qmpublish end to end: keys, certificates and a real NSIS installer made
afresh in a temporary folder; every output checked with the tool's verify."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "qmpublish")
URL = "https://updates.example.com/pad/Setup-2.1.exe"


def sh(*args):
    result = subprocess.run(args, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"{args}: {result.stderr}")
    return result.stdout


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
        with open(d("setup.nsi"), "w") as f:
            f.write(f'OutFile "{d("plain.exe")}"\nSilentInstall silent\nSection\nSectionEnd\n')
        sh("makensis", "-V1", d("setup.nsi"))
        sh(TOOL, "sign", "--key", d("key1.pem"), "--cert", d("cert1.pem"), d("plain.exe"), d("signed1.exe"))
        sh(TOOL, "sign", "--key", d("key2.pem"), "--cert", d("cert2.pem"), d("plain.exe"), d("signed2.exe"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    @classmethod
    def file(cls, name):
        return os.path.join(cls.dir, name)

    def run_tool(self, *args):
        return subprocess.run([TOOL] + list(args), capture_output=True, text=True)

    def publish(self, out, **changes):
        options = {"intname": "pad", "version": "2.1", "installer": self.file("signed1.exe"),
                   "installer-url": URL, "whatsnew-url": "https://updates.example.com/pad/new.xml?a=1&b=2",
                   "days": "30", "key": self.file("key1.pem"), "cert": self.file("cert1.pem")}
        options.update(changes)
        args = ["manifest", "--out", out]
        for name, value in options.items():
            args += [f"--{name}", value]
        return self.run_tool(*args)

    def fresh(self, name):
        path = self.file(name)
        shutil.rmtree(path, ignore_errors=True)
        os.mkdir(path)
        return path

    def verify(self, out, *extra, pin=None):
        return self.run_tool("verify", out, "--pin", pin or self.pin1, *extra)

    def test_published_folder_verifies_and_follows_the_manifest_format(self):
        out = self.fresh("good")
        result = self.publish(out)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(os.listdir(out)),
                         ["Setup-2.1.exe", "Setup-2.1.exe.md5", "update.xml", "update.xml.sig"])
        with open(os.path.join(out, "update.xml"), "rb") as f:
            text = f.read().decode()
        self.assertRegex(text, r"^<update intname='pad' version='2\.1' installerurl='https://updates\.example\.com/"
                         r"pad/Setup-2\.1\.exe' whatsnewurl='https://updates\.example\.com/pad/new\.xml\?a=1&amp;b=2'"
                         r" sha256='[0-9a-f]{64}' size='[0-9]+' expires='\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ'/>\n$")
        with open(os.path.join(out, "Setup-2.1.exe.md5")) as f:
            self.assertRegex(f.read(), r"^[0-9a-f]{32}  Setup-2\.1\.exe\n$")
        # Pins as the product's signer holds them while moving to a new key.
        for pins in (self.pin1, f" {self.pin2} ; {self.pin1.upper()} "):
            result = self.verify(out, "--intname", "pad", pin=pins)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertIn("verdict: ACCEPTED", result.stdout)

    def test_bad_input_is_refused_and_leaves_nothing(self):
        cases = [  # name, manifest options, words of the error
            ("key of another certificate", {"key": self.file("key2.pem")}, "does not belong to"),
            ("letters in version", {"version": "2.1a"}, "not dotted numbers"),
            ("empty part in version", {"version": "2..1"}, "not dotted numbers"),
            ("version ending in a dot", {"version": "2.1."}, "not dotted numbers"),
            ("missing installer", {"installer": self.file("nothing.exe")}, "no such installer"),
            ("unsigned installer", {"installer": self.file("plain.exe")}, "no Authenticode signature"),
            ("expiry now", {"days": "0"}, "in the past"),
            ("expiry in the past", {"days": "-3"}, "in the past"),
            ("ECDSA key", {"key": self.file("ec.key"), "cert": self.file("ec.crt")}, "only RSA"),
            ("slash in intname", {"intname": "pa/d"}, "file name"),
            ("colon in intname", {"intname": "pa:d"}, "file name"),
            ("file installer address", {"installer-url": "file:///C:/Setup.exe"}, "not an http"),
        ]
        for name, changes, words in cases:
            with self.subTest(name):
                out = self.fresh("refused")
                result = self.publish(out, **changes)
                self.assertNotEqual(result.returncode, 0, result.stdout)
                self.assertIn(words, result.stderr)
                self.assertEqual(os.listdir(out), [])

    def test_refresh_changes_only_expires(self):
        out = self.fresh("refresh")
        self.assertEqual(self.publish(out, days="30").returncode, 0)
        manifest = os.path.join(out, "update.xml")
        with open(manifest, "rb") as f:
            before = f.read()
        result = self.run_tool("refresh", out, "--days", "5", "--key", self.file("key1.pem"),
                               "--cert", self.file("cert1.pem"))
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(manifest, "rb") as f:
            after = f.read()
        strip = lambda text: re.sub(rb"expires='[^']*'", b"", text)
        self.assertEqual(strip(after), strip(before))
        self.assertNotEqual(after, before)
        result = self.verify(out)
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertRegex(result.stdout, r"\((4|5) days left\)")

    def test_verify_refuses_what_the_updater_refuses(self):
        def edit(path, old, new):
            with open(path, "rb") as f:
                data = f.read()
            with open(path, "wb") as f:
                f.write(re.sub(old, new, data, count=1))

        def expire(out):  # signed again by the publisher, with a date gone by
            manifest = os.path.join(out, "update.xml")
            edit(manifest, rb"expires='[^']*'", b"expires='2020-01-01T00:00:00Z'")
            sh("openssl", "cms", "-sign", "-binary", "-md", "sha256", "-outform", "DER", "-nosmimecap",
               "-in", manifest, "-signer", self.file("cert1.pem"), "-inkey", self.file("key1.pem"),
               "-out", manifest + ".sig")

        def append_byte(out):
            with open(os.path.join(out, "Setup-2.1.exe"), "ab") as f:
                f.write(b"\0")

        def change_byte(out):
            with open(os.path.join(out, "Setup-2.1.exe"), "r+b") as f:
                f.seek(1000)
                byte = f.read(1)
                f.seek(1000)
                f.write(bytes([byte[0] ^ 1]))

        cases = [  # name, change to a good folder, verify options, words of the failure
            ("altered manifest", lambda out: edit(os.path.join(out, "update.xml"), rb"2\.1'", b"2.2'"), [],
             "FAILED  manifest signature: the signature does not match"),
            ("missing signature", lambda out: os.unlink(os.path.join(out, "update.xml.sig")), [],
             "FAILED  manifest signature"),
            ("wrong pin", None, ["--pin", self.pin2], "not pinned"),
            ("expired manifest", expire, [], "FAILED  expiry: expired on 2020-01-01T00:00:00Z"),
            ("size mismatch", append_byte, [], "size mismatch"),
            ("digest mismatch", change_byte, [], "digest mismatch"),
            ("other product", None, ["--intname", "ink"], "names product pad, not ink"),
        ]
        published = self.fresh("published")
        self.assertEqual(self.publish(published).returncode, 0)
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

    def test_installer_signed_by_an_unpinned_key_is_refused(self):
        out = self.fresh("unpinned")
        self.assertEqual(self.publish(out, installer=self.file("signed2.exe")).returncode, 0)
        result = self.verify(out)
        self.assertEqual(result.returncode, 1, result.stdout)
        self.assertIn("FAILED  installer signature", result.stdout)
        self.assertIn(f"not pinned ({self.pin2})", result.stdout)


if __name__ == "__main__":
    missing = [t for t in ("openssl", "osslsigncode", "makensis") if not shutil.which(t)]
    if missing:
        print("skipped: not installed:", ", ".join(missing))
        sys.exit(77)
    unittest.main()
