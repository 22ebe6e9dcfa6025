"""The command line: one sub-command per job, refusals as one sentence on
stderr with exit code 1 (usage errors too)."""
import argparse
import os
import sys

from .base import Refusal, check_intname, check_plain_name, parse_pins
from .publish import Scratch, cmd_halt, cmd_manifest, cmd_refresh, cmd_release, cmd_rollout
from .report import cmd_report
from .signing import check_signer, pin_of, sign_installer
from .verify import FolderSource, UrlSource, verdict, verify

USAGE_ERROR = 1


class Parser(argparse.ArgumentParser):
    """Usage errors end with exit code 1, like every other refusal."""

    def error(self, message):
        self.print_usage(sys.stderr)
        self.exit(USAGE_ERROR, f"{self.prog}: {message}\n")


def cmd_sign(a):
    check_signer(a.key, a.cert, a.key_password_file)
    if not os.path.isfile(a.installer):
        raise Refusal(f"no such installer: {a.installer}")
    sign_installer(a.installer, a.out, a.key, a.cert, a.key_password_file, a.timestamp, a.description, a.url)
    print(f"signed {a.out} (SHA-256, signer pin {pin_of(a.cert)})")


def cmd_verify(a):
    pins = parse_pins(a.pin)
    if a.intname is not None:
        check_intname(a.intname)
    if "://" in a.target:
        source = UrlSource(a.target)
    else:
        check_plain_name(a.manifest_name, "manifest name")
        source = FolderSource(a.target, a.manifest_name)
    print(f"checking {source.label} against pins {'; '.join(pins)}")
    with Scratch() as scratch:
        checks, attributes = verify(source, pins, a.intname, scratch)
    for what, ok, detail in checks:
        print(f"  {'ok    ' if ok else 'FAILED'}  {what}" + (f": {detail}" if detail else ""))
    line, accepted = verdict(checks, attributes)
    print(line)
    return 0 if accepted else 1


def cmd_pin(a):
    if not os.path.isfile(a.cert):
        raise Refusal(f"no such file: {a.cert}")
    print(pin_of(a.cert))


def signer_options(p):
    p.add_argument("--key", required=True, help="the publisher's RSA private key (PEM)")
    p.add_argument("--cert", required=True, help="its certificate (PEM; further certificates after it are its chain)")
    p.add_argument("--key-password-file", help="file holding the key's password, if it has one")


def authenticode_options(p):
    p.add_argument("--timestamp", metavar="URL", help="RFC 3161 timestamp server")
    p.add_argument("--description", help="program name shown by Windows")
    p.add_argument("--url", help="publisher's web address shown by Windows")


def expiry_options(p, default):
    group = p.add_mutually_exclusive_group()
    group.add_argument("--days", type=int, help=f"days until the manifest expires, at most 90 ({default})")
    group.add_argument("--hours", type=int, help="hours until the manifest expires, for short expiries")


def manifest_name_option(p):
    p.add_argument("--manifest-name", default="update.xml", help="the manifest's file name (update.xml)")


def resign_options(p):
    p.add_argument("folder", help="the published folder")
    p.add_argument("--pin", action="append", default=[],
                   help="a pin the product holds besides the --cert's own (';' separates several; repeatable): "
                        "a manifest signed by it is signed again too")
    p.add_argument("--new-signer", action="store_true",
                   help="sign with --cert although another key signed the manifest in the folder")
    manifest_name_option(p)
    signer_options(p)


def publish_options(p):
    p.add_argument("--intname", required=True, help="the product's intname")
    p.add_argument("--version", required=True, help="the new version, dotted numbers")
    p.add_argument("--installer-url", required=True, help="the address the installer is published at")
    p.add_argument("--whatsnew-url", help="the address of the what's-new document")
    p.add_argument("--whatsnew", metavar="FILE",
                   help="the what's-new document: its SHA-256 goes into the manifest and the file into OUT, "
                        "named after the last part of --whatsnew-url (which it needs)")
    p.add_argument("--rollout", metavar="N", help="percentage of machines that take it, 0 to 100 (100)")
    p.add_argument("--report-url", metavar="URL", help="http or https address machines report each install to")
    expiry_options(p, 30)
    p.add_argument("--allow-lower", action="store_true",
                   help="publish a version not above the one in OUT (a withdrawal)")
    p.add_argument("--version-mismatch-ok", action="store_true",
                   help="publish a version other than the installer's version resource states")
    p.add_argument("--new-signer", action="store_true",
                   help="replace a release in OUT that another key signed")
    manifest_name_option(p)
    signer_options(p)
    p.add_argument("--out", required=True, help="output folder")


def parser(doc):
    top = Parser(prog="qmpublish", description=doc.split("\n\n")[0],
                 formatter_class=argparse.RawDescriptionHelpFormatter, epilog=doc.split("\n\n", 1)[1])
    sub = top.add_subparsers(dest="command", required=True, metavar="command")

    p = sub.add_parser("sign", help="Authenticode-sign an installer with SHA-256")
    signer_options(p)
    authenticode_options(p)
    p.add_argument("installer", help="the finished installer")
    p.add_argument("out", help="where the signed installer is written")
    p.set_defaults(run=cmd_sign)

    p = sub.add_parser("manifest", help="write the folder to upload: signed manifest, installer, .md5",
                       description="Writes into OUT: the manifest and its .sig, the installer "
                                   "(named after the last part of its address), its .md5 and the what's-new "
                                   "document if given. Upload each file to its address. A release already in "
                                   "OUT is replaced, and the files only it named are removed.")
    p.add_argument("--installer", required=True, help="the installer, Authenticode-signed with --key")
    publish_options(p)
    p.set_defaults(run=cmd_manifest)

    p = sub.add_parser("release", help="sign the installer, write the folder to upload and verify it",
                       description="sign, manifest and verify in one: OUT changes only when the Updater of "
                                   "a product with the pins (--pin, else the --cert's own) accepts the release.")
    p.add_argument("--installer", required=True, help="the finished, unsigned installer")
    publish_options(p)
    authenticode_options(p)
    p.add_argument("--pin", action="append", default=[],
                   help="a pin the product holds (';' separates several; repeatable); default: the --cert's")
    p.add_argument("--dry-run", action="store_true",
                   help="make and check everything in a scratch folder; write nothing to OUT")
    p.add_argument("--json", action="store_true", help="print the result as JSON")
    p.set_defaults(run=cmd_release)

    p = sub.add_parser("refresh", help="re-sign a published manifest with a new expiry",
                       description="Checks that a trusted key signed FOLDER's manifest for the installer beside "
                                   "it, then rewrites only its issued and expires attributes and signs it again.")
    resign_options(p)
    expiry_options(p, 30)
    p.set_defaults(run=cmd_refresh)

    p = sub.add_parser("rollout", help="re-sign a published manifest for another share of machines",
                       description="Like refresh, but sets the rollout percentage; the expiry stays unless "
                                   "--days or --hours is given.")
    resign_options(p)
    p.add_argument("--percent", required=True, metavar="N", help="percentage of machines that take it, 0 to 100")
    expiry_options(p, "unchanged")
    p.set_defaults(run=cmd_rollout)

    p = sub.add_parser("halt", help="re-sign a published manifest so that no machine takes it (rollout 0)",
                       description="rollout --percent 0: machines that installed the version keep it.")
    resign_options(p)
    expiry_options(p, "unchanged")
    p.set_defaults(run=cmd_halt)

    p = sub.add_parser("verify", help="check a published folder or address as the Updater would",
                       description="TARGET is a folder, or the manifest's http or https address: then the "
                                   "manifest, its .sig, the installer, its .md5 and the what's-new document "
                                   "are fetched as a machine fetches them. Exit code 0 when the Updater of a "
                                   "product with these pins accepts the update, 1 otherwise. Chain trust is "
                                   "left to Windows.")
    p.add_argument("target", metavar="FOLDER|URL")
    p.add_argument("--pin", action="append", required=True,
                   help="a pin, or several separated by ';' as in the product's signer (repeatable)")
    p.add_argument("--intname", help="the product the manifest must name")
    p.add_argument("--manifest-name", default="update.xml", help="the manifest's file name in a folder (update.xml)")
    p.set_defaults(run=cmd_verify)

    p = sub.add_parser("report", help="count install reports in web server access logs",
                       description="Reads access logs in the Common or Combined Log Format ('-': standard "
                                   "input; .gz files are read as gzip) and counts per product and version the "
                                   "machines that reported, installed and failed. Exit code 3 when a version's "
                                   "failure rate is above --halt-above.")
    p.add_argument("logs", nargs="+", metavar="LOG")
    p.add_argument("--json", action="store_true", help="print the counts as JSON")
    p.add_argument("--halt-above", metavar="RATE", help="a failure rate, 0 to 1 or a percentage such as 5%%")
    p.set_defaults(run=cmd_report)

    p = sub.add_parser("pin", help="print a certificate's pin")
    p.add_argument("cert", help="the certificate (PEM)")
    p.set_defaults(run=cmd_pin)
    return top


def main(argv, doc):
    args = parser(doc).parse_args(argv)
    try:
        return args.run(args) or 0
    except Refusal as e:
        print(f"qmpublish {args.command}: {e}", file=sys.stderr)
        return 1
    except OSError as e:
        where = f": {e.filename}" if e.filename else ""
        print(f"qmpublish {args.command}: {e.strerror or e}{where}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        return 130
    except Exception as e:  # a fault of the tool: one line, like every other refusal
        print(f"qmpublish {args.command}: unexpected {type(e).__name__}: {e}", file=sys.stderr)
        return 1
