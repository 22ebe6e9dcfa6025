#!/usr/bin/env bash
# The main job, shown from a clean state: a product "Sample" with version 1.0
# installed is registered with addproduct, a local update server offers 1.1
# with a what's-new page, and Updater.exe -runmode=checkupdate updates it under
# Wine. The update is published with tools/qmpublish as a product team would:
# installer and manifest signed by a key the product is pinned to. Prints the
# log, the version folders, the preserved registry value and the
# notification, then removes everything it made. Nothing waits for a
# person: the Notifier runs on the virtual display and the script closes it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/bootstrap.sh"
. "$root/scripts/build.sh" >/dev/null

# Where 32-bit programs can't run, the demo runs the 64-bit build of the same
# sources (scripts/winbuild.sh).
echo "== $QM_WIN_WHY"
dist=$QM_WIN_BUILD/dist
testbin=$QM_WIN_BUILD/testbin
updater="$dist/Updater.exe"
qmpublish="$root/tools/qmpublish"
server_pid=""
demo=""
appdata=""
# What a check records beside the products file, per product.
state_files=(ManifestsIssued.txt InstallFailures.txt)
cleanup() {
  set +e
  if [ -n "$demo" ]; then
    rm -f "$demo/srv/port.txt"          # the server ends when its port file goes
    [ -n "$server_pid" ] && wait "$server_pid" 2>/dev/null
    wine "$updater" -runmode=delproduct -name=sample >/dev/null 2>&1
    wine reg delete 'HKCU\Software\QuillMarrowDemo' /f >/dev/null 2>&1
    # The check's own records as they were before the demo: a later demo
    # would otherwise meet the versions this one offered.
    for f in "${state_files[@]}"; do
      rm -f "$appdata/$f"
      [ -f "$demo/saved-$f" ] && cp -p "$demo/saved-$f" "$appdata/$f"
    done
    rm -rf "$demo"
  fi
  winenv_stop
}
trap cleanup EXIT
. "$root/scripts/winenv.sh"

user=$(wine cmd /c 'echo %USERNAME%' 2>/dev/null | tr -d '\r')
appdata="$WINEPREFIX/drive_c/users/$user/AppData/Local"
[ -d "$appdata" ] || appdata="$WINEPREFIX/drive_c/users/$user/Local Settings/Application Data"
log="$appdata/updater.log"
demo="$WINEPREFIX/drive_c/qmdemo"
win_demo='C:\qmdemo'

echo "== Setting up: Sample 1.0 installed in $win_demo\\Sample, 1.1 offered by a local server"
rm -rf "$demo"
mkdir -p "$demo/Sample/0.9" "$demo/Sample/1.0" "$demo/Sample/data" "$demo/srv/sample"
for f in "${state_files[@]}"; do
  if [ -f "$appdata/$f" ]; then mv "$appdata/$f" "$demo/saved-$f"; fi
done
cp "$testbin/Recorder.exe" "$demo/Sample/1.0/sample.exe"
echo "left over from 0.9" > "$demo/Sample/0.9/sample.exe"
echo "the user's own data" > "$demo/Sample/data/notes.txt"
# The sample installer: the recording test program, which writes the new
# version folder and a registry value when started with /verysilent, and then
# registers the version it installed with addproduct, from the product
# description it carries (sample-1.1.xml). Its publisher signs it with a key
# made for this run, and the product is pinned to that key.
mkdir -p "$demo/keys" "$demo/release"
keys=(--key "$demo/keys/publisher.key" --cert "$demo/keys/publisher.crt")
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Sample Publisher" \
  -keyout "$demo/keys/publisher.key" -out "$demo/keys/publisher.crt" 2>/dev/null
pin=$("$qmpublish" pin "$demo/keys/publisher.crt")
echo "\$ qmpublish sign --key publisher.key --cert publisher.crt Recorder.exe Setup-1.1.exe"
"$qmpublish" sign "${keys[@]}" "$testbin/Recorder.exe" "$demo/release/Setup-1.1.exe" | sed 's/^/   /'
cat > "$demo/srv/sample/whatsnew.xml" <<'EOF'
<whatsnew>
  <title>Sample 1.1 is installed</title>
  <version>1.1</version>
  <change>Faster start</change>
  <change>Fewer clicks to save</change>
  <more href="http://127.0.0.1/sample/notes">Read the release notes</more>
</whatsnew>
EOF
wine reg add 'HKCU\Software\QuillMarrowDemo' /v Setting /t REG_SZ /d 'chosen by the user' /f >/dev/null

python3 Updater/engine/tests/server/update_server.py --root "$demo/srv" --lifetime 600 &
server_pid=$!
for _ in $(seq 1 100); do [ -s "$demo/srv/port.txt" ] && break; sleep 0.1; done
port=$(cat "$demo/srv/port.txt")
base="http://127.0.0.1:$port/sample"
echo "\$ qmpublish manifest --intname sample --version 1.1 --installer Setup-1.1.exe"
echo "    --installer-url $base/Setup.exe --whatsnew-url $base/whatsnew.xml"
echo "    --key publisher.key --cert publisher.crt --out srv/sample"
"$qmpublish" manifest --intname sample --version 1.1 --installer "$demo/release/Setup-1.1.exe" \
  --installer-url "$base/Setup.exe" --whatsnew-url "$base/whatsnew.xml" "${keys[@]}" \
  --out "$demo/srv/sample" | sed 's/^/   /'
echo "   update.xml: $(cat "$demo/srv/sample/update.xml")"
product() {  # <version>: the product description an installer of that version registers
  cat <<EOF
<product intname='sample' friendlyname='Sample' version='$1' needadmin='no'
         updateurl='$base/update.xml' productdir='$win_demo\\Sample' signer='$pin'>
  <unistallactions><action type='kill' file='sample.exe'/></unistallactions>
  <registryactions>
    <value action='preserve' root='HKCU' key='Software\\QuillMarrowDemo' name='Setting'/>
  </registryactions>
</product>
EOF
}
product 1.0 > "$demo/sample.xml"
product 1.1 > "$demo/sample-1.1.xml"
echo "   update server on 127.0.0.1:$port"
echo "   installer and manifest signed with a throw-away key; the product is pinned to it:"
echo "   signer='$pin'"

rm -f "$log"
echo
echo "\$ wine Updater.exe -runmode=addproduct -info=$win_demo\\sample.xml"
wine "$updater" -runmode=addproduct "-info=$win_demo\\sample.xml"

echo "\$ wine Updater.exe -runmode=checkupdate"
export QM_INSTALL_DIR="$win_demo\\Sample\\1.1"
export QM_INSTALL_REGSET='HKCU\Software\QuillMarrowDemo|Setting|installer default'
export QM_INSTALL_ADDPRODUCT="$(winepath -w "$updater" 2>/dev/null)|$win_demo\\sample-1.1.xml"
notifier_shown=""
notifier_closed=""
wine "$updater" -runmode=checkupdate &
check_pid=$!
# The Updater waits for the Notifier; once its window has been up a moment,
# close it the way a user would (WM_CLOSE), on the virtual display.
# Every notice has a file of its own, whatsnew-<random>.xml.
notes="$WINEPREFIX/drive_c/ProgramData"
notice_file() { compgen -G "$notes/whatsnew-*.xml" | head -n 1; }
note=""
for _ in $(seq 1 600); do
  note=$(notice_file || true)
  if [ -n "$note" ] && [ -f "$note" ]; then
    notifier_shown=$(cat "$note")
    sleep 3
    wine taskkill /im notifier.exe >/dev/null 2>&1 && notifier_closed=yes
    break
  fi
  kill -0 "$check_pid" 2>/dev/null || break
  sleep 0.2
done
for _ in $(seq 1 150); do
  kill -0 "$check_pid" 2>/dev/null || break
  [ -n "$(notice_file || true)" ] && wine taskkill /f /im notifier.exe >/dev/null 2>&1
  sleep 0.2
done
# This update must succeed: a failure ends the demo, with the log that says why.
if ! wait "$check_pid"; then
  echo "   the check failed; its log:"
  cat "$log"
  exit 1
fi
unset QM_INSTALL_DIR QM_INSTALL_REGSET QM_INSTALL_ADDPRODUCT

echo
echo "== The log ($log)"
cat "$log"
echo "== Version folders of Sample"
ls -1 "$demo/Sample"
[ -f "$demo/Sample/1.1/installed.txt" ] && echo "   1.1: written by the installer"
[ -d "$demo/Sample/0.9" ] || echo "   0.9: removed as older than the installed 1.0"
echo "== Preserved registry value (the installer wrote 'installer default')"
wine reg query 'HKCU\Software\QuillMarrowDemo' /v Setting | tr -d '\r' | grep Setting
echo "== The notification shown"
if [ -n "$notifier_shown" ]; then echo "$notifier_shown"; else echo "(none)"; fi
[ -n "$notifier_closed" ] && echo "   (shown by notifier.exe on the virtual display, closed by this script)"
[ -n "$(notice_file || true)" ] && echo "   (notification file still present)" || echo "   (notification file deleted after the Notifier ended)"

# Under this Wine notifier.exe has no browser engine (Gecko is not installed)
# to draw the page with. What the stylesheet makes of the notification is
# shown instead: its HTML, rendered by a headless Chromium at the window's size.
browser=$(command -v chromium || true)
if [ -n "$notifier_shown" ] && [ -n "$browser" ]; then
  shots="$root/build/demo"
  mkdir -p "$shots"
  printf '%s' "$notifier_shown" > "$shots/whatsnew.xml"
  if xsltproc "$dist/whatsnew.xsl" "$shots/whatsnew.xml" > "$shots/notice.html" 2>/dev/null &&
     timeout 60 "$browser" --headless --no-sandbox --disable-gpu --disable-background-networking \
       --disable-component-update --no-first-run --user-data-dir="$shots/profile" \
       --window-size=300,325 --hide-scrollbars --screenshot="$shots/notice.png" \
       "file://$shots/notice.html" >/dev/null 2>&1; then
    echo "   the stylesheet's HTML of the notice, rendered by headless Chromium: $shots/notice.png"
  fi
  rm -rf "$shots/profile"
fi

# Signs Setup-<version>.exe and publishes it with its manifest, as the
# publisher would, saying nothing.
publish_quietly() {
  "$qmpublish" sign "${keys[@]}" "$testbin/Recorder.exe" "$demo/release/Setup-$1.exe" >/dev/null
  "$qmpublish" manifest --intname sample --version "$1" --installer "$demo/release/Setup-$1.exe" \
    --installer-url "$base/Setup-$1.exe" --whatsnew-url "$base/whatsnew.xml" "${keys[@]}" \
    --out "$demo/srv/sample" >/dev/null
}

# What qmpublish says of what the server now offers, then a check of it and
# that check's part of the log. A check in which a product failed exits with 1.
verify_and_check() {
  echo "\$ qmpublish verify srv/sample --pin $pin"
  "$qmpublish" verify "$demo/srv/sample" --pin "$pin" | sed 's/^/   /' || true
  local lines
  lines=$(wc -l < "$log")
  echo "\$ wine Updater.exe -runmode=checkupdate"
  wine "$updater" -runmode=checkupdate || echo "   (exit code $?: a product could not be updated)"
  echo "== The log of this check"
  tail -n +$((lines + 1)) "$log"
}

echo
echo "== An altered installer: 1.2 published with qmpublish, then one byte of the signed"
echo "   file changed on the server and its checksum published for the altered bytes; the"
echo "   signed manifest's SHA-256 still names the published installer"
publish_quietly 1.2
size=$(stat -c %s "$demo/srv/sample/Setup-1.2.exe")
printf 'Q' | dd of="$demo/srv/sample/Setup-1.2.exe" bs=1 seek=$((size / 3)) conv=notrunc 2>/dev/null
(cd "$demo/srv/sample" && md5sum Setup-1.2.exe > Setup-1.2.exe.md5)
verify_and_check
[ -d "$demo/Sample/1.2" ] || echo "   refused: nothing of 1.2 ran (no uninstall actions, no installer, no notice)"

echo
echo "== An altered manifest: 1.3 published with qmpublish, then its version changed to 9.9 on"
echo "   the server, the signature left as it was"
publish_quietly 1.3
sed -i "s/version='1.3'/version='9.9'/" "$demo/srv/sample/update.xml"
echo "   update.xml: $(cat "$demo/srv/sample/update.xml")"
verify_and_check
[ -d "$demo/Sample/1.3" ] || [ -d "$demo/Sample/9.9" ] ||
  echo "   refused: the manifest is not the one the publisher signed, and nothing of it ran"
