#!/usr/bin/env bash
# whatsnew.xsl applied to notification files as the Updater writes them, then
# the sample notice photographed by a headless Chromium at the notification
# window's size (300 x 325 pixels: 200 x 200 dialog units of 8 point MS Sans
# Serif). The picture stays in the output folder for a person to look at.
#   stylesheet_test.sh <folder of whatsnew.xsl> <output folder>
set -u
src=$1
out=$2
xsl="$src/whatsnew.xsl"
mkdir -p "$out"
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The notification file: stylesheet instruction, alert start tag with the
# Updater's folder, the what's-new document verbatim, end tag; one line.
notification() {  # <what's-new file or empty> <output file>
  {
    printf "<?xml-stylesheet type='text/xsl' href='C:\\\\Program Files\\\\QuillMarrow/whatsnew.xsl'?>"
    printf "<alert baseurl='C:\\\\Program Files\\\\QuillMarrow\\\\'>"
    [ -n "$1" ] && cat "$1"
    printf "</alert>"
  } > "$2"
}

transform() {  # <notification file> <html file>
  if ! xsltproc --nonet "$xsl" "$1" > "$2" 2> "$2.err"; then
    fail "xsltproc failed on $1: $(cat "$2.err")"
    return 1
  fi
}

expect_in() {  # <html file> <fixed text>...
  local f=$1; shift
  for text in "$@"; do
    grep -qF -- "$text" "$f" || fail "$(basename "$f") lacks: $text"
  done
}

expect_not_in() {
  local f=$1; shift
  for text in "$@"; do
    if grep -qF -- "$text" "$f"; then fail "$(basename "$f") has: $text"; fi
  done
}

# The sample document of the README.
notification "$src/tests/data/whatsnew-sample.xml" "$out/sample.xml"
if transform "$out/sample.xml" "$out/sample.html"; then
  expect_in "$out/sample.html" \
    '<title>Inkwell 2.4 is installed</title>' \
    '<h1>Inkwell 2.4 is installed</h1>' \
    'Version 2.4.1' \
    'Inkwell has been brought up to date while you worked.' \
    '<li>Documents open twice as fast on older machines</li>' \
    '<li>Printing long documents no longer stops at page 99</li>' \
    '<li>Spell checking for Portuguese &amp; Catalan</li>' \
    'href="command:close"' \
    '>Read the release notes</a>'
  # libxslt escapes the bar in href values as %7C; the browser that shows the
  # notice (MSXML's html output) escapes only non-ASCII characters there.
  grep -qE 'href="command:external(\||%7C)https://inkwell\.example\.com/notes/2\.4\.1\?from=notifier&amp;lang=en"' \
    "$out/sample.html" || fail "sample.html lacks the link to the release notes"
  expect_not_in "$out/sample.html" 'The new version has been installed'
fi

# A document of plain text, as a product may publish it.
printf 'Fixed the crash on start.' > "$out/plain.txt"
notification "$out/plain.txt" "$out/plain.xml"
if transform "$out/plain.xml" "$out/plain.html"; then
  expect_in "$out/plain.html" '<p>Fixed the crash on start.</p>' '<h1>Update installed</h1>' 'href="command:close"'
fi

# The document could not be fetched: the alert is empty.
notification "" "$out/empty.xml"
if transform "$out/empty.xml" "$out/empty.html"; then
  expect_in "$out/empty.html" 'The new version has been installed and is ready to use.' 'href="command:close"'
  expect_not_in "$out/empty.html" 'command:external'
fi

# Only a title and a "more" element without address: no dead link, no empty list.
printf '<whatsnew><title>Quill 1.2</title><change>  </change><more>Notes</more></whatsnew>' > "$out/sparse.txt"
notification "$out/sparse.txt" "$out/sparse.xml"
if transform "$out/sparse.xml" "$out/sparse.html"; then
  expect_in "$out/sparse.html" '<h1>Quill 1.2</h1>' 'The new version has been installed and is ready to use.'
  expect_not_in "$out/sparse.html" 'command:external' '<ul>' 'Version '
fi

# Only a web address gets the "more" link, in any letter case: were any of
# the programs, files, shares, scripts or hostless addresses before it taken,
# it would be the link.
printf '%s' '<whatsnew><more href="C:\setup.exe">a</more><more href="file:///C:/x.exe">b</more>' \
  '<more href="\\srv\x.exe">c</more><more href="javascript:alert(1)">d</more><more href="https:///C:/x.exe">e</more>' \
  '<more href=" HTTPS://Example.com/Notes ">web</more></whatsnew>' > "$out/links.txt"
notification "$out/links.txt" "$out/links.xml"
if transform "$out/links.xml" "$out/links.html"; then
  grep -qE 'href="command:external(\||%7C)HTTPS://Example\.com/Notes">web</a>' "$out/links.html" \
    || fail "links.html lacks the link to the web address"
fi

if [ $failures -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi

browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
  echo "SKIP: no chromium for the screenshot"
  exit 77
fi
shot="$out/notice-300x325.png"
rm -f "$shot"
timeout 120 "$browser" --headless --no-sandbox --disable-gpu --disable-background-networking \
  --disable-component-update --no-first-run --user-data-dir="$out/chromium-profile" \
  --window-size=300,325 --hide-scrollbars --screenshot="$shot" "file://$out/sample.html" \
  > "$out/chromium.log" 2>&1
if [ ! -s "$shot" ]; then
  echo "FAIL: no screenshot; chromium said:"; tail -5 "$out/chromium.log"
  exit 1
fi
# The picture must have the window's size and show the blue title bar and a
# fair amount of dark text on the white page.
python3 "$src/tests/png_summary.py" "$shot" 300 325 || exit 1
echo "screenshot: $shot"
