#!/usr/bin/env bash
# Checks a Kelvo Debian package: its control data, its files, that Depends
# names the package of every library the programs link, that the desktop
# file is valid, that the MIME type maps *.dbm, and that the packaged tool
# runs. Prints what is wrong; exits 0 only when nothing is.
#   check_deb.sh PACKAGE.deb SCRATCH_FOLDER
set -u
deb=$1 dir=$2 bad=0
fail() { echo "FAIL: $*"; bad=1; }

info=$(dpkg-deb --info "$deb") || fail "dpkg-deb --info"
for field in "Package: kelvo" "Architecture: $(dpkg --print-architecture)" "Section: utils"; do
  grep -q "^ $field\$" <<<"$info" || fail "no '$field'"
done
depends=$(sed -n 's/^ Depends: //p' <<<"$info")

contents=$(dpkg-deb --contents "$deb") || fail "dpkg-deb --contents"
for f in usr/bin/kelvo usr/bin/kelvotool usr/share/applications/kelvo.desktop \
  usr/share/icons/hicolor/scalable/apps/kelvo.svg \
  usr/share/icons/hicolor/scalable/mimetypes/application-x-kelvo-database.svg \
  usr/share/mime/packages/kelvo.xml; do
  grep -q " \./$f\$" <<<"$contents" || fail "no $f in the package"
done

dpkg-deb -x "$deb" "$dir/root" || fail "dpkg-deb -x"
for program in kelvo kelvotool; do
  for lib in $(objdump -p "$dir/root/usr/bin/$program" | awk '/NEEDED/ {print $2}'); do
    path=$(ldconfig -p | awk -v l="$lib" '$1 == l {print $NF; exit}')
    owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null || dpkg -S "$path" 2>/dev/null)
    owner=${owner%%:*}
    [ -n "$owner" ] || { fail "no package owns $lib"; continue; }
    sed 's/ ([^)]*)//g; s/, /\n/g; s/ | /\n/g' <<<"$depends" | grep -Fxq "$owner" ||
      fail "Depends lacks $owner (for $lib of $program)"
  done
done

desktop-file-validate "$dir/root/usr/share/applications/kelvo.desktop" || fail "desktop file"
grep -q '^MimeType=application/x-kelvo-database;$' "$dir/root/usr/share/applications/kelvo.desktop" ||
  fail "the desktop file does not take .dbm files"
mkdir -p "$dir/mime/packages" && cp "$dir/root/usr/share/mime/packages/kelvo.xml" "$dir/mime/packages/"
update-mime-database "$dir/mime" >/dev/null 2>&1 || fail "update-mime-database"
grep -q ':application/x-kelvo-database:\*\.dbm$' "$dir/mime/globs2" || fail "*.dbm is not mapped"

"$dir/root/usr/bin/kelvotool" --version | grep -q "^kelvotool " || fail "the packaged kelvotool does not run"
[ $bad = 0 ] && echo "package ok: Depends: $depends"
exit $bad
