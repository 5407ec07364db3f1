#!/usr/bin/env bash
# The Debian package: built from the source tree in a Release build folder
# of its own (build folder/package), its desktop entry and AppStream
# metainfo valid, lintian without errors; the RPM of the same build holds
# the same files, rpmlint without errors; unpacked into a folder made
# read-only, the program starts under Xvfb with a fresh home, seeds
# ~/.local/share/nimbra-wallpaper/ with the samples and the language file,
# and shows the sample pictures.
# Arguments: the staged program folder, the build folder.

# shellcheck disable=SC2317,SC2034  # checks called by name; E2E_ values read by lib.sh
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$@"
e2e_require cmake cpack dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli file rpm rpmbuild rpmsign rpmkeys rpmlint gpg

readonly WINDOW_W=799 WINDOW_H=599
readonly START_SECONDS=60
readonly APP_ID=org.nimbra.wallpaper
BUILD=$(cd "$2" && pwd)/package

# --- the package

e2e_log "building the package in $BUILD (a first build takes minutes)"
{
  cmake -S "$E2E_SOURCE_DIR" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DNIMBRA_TESTS=OFF -DNIMBRA_SANITIZE=OFF \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON &&
    cmake --build "$BUILD" -j"$(nproc)" --target NimbraWallpaper nimbra-get &&
    rm -f "$BUILD"/*.deb "$BUILD"/*.rpm &&
    (cd "$BUILD" && cpack -G DEB && cpack -G RPM)
} >"$E2E_OUT/package-build.log" 2>&1 || e2e_abort "the package was not built (see $E2E_OUT/package-build.log)"
DEB=$(find "$BUILD" -maxdepth 1 -name 'nimbra-wallpaper_*.deb' | head -n1)
[[ -n $DEB ]] || e2e_abort "cpack made no nimbra-wallpaper .deb (see $E2E_OUT/package-build.log)"

field() { dpkg-deb -f "$DEB" "$1"; }
depends_on() { field Depends | tr ',' '\n' | grep -q "^ *$1\b"; }
e2e_expect "the dependencies are worked out from the binaries" depends_on libqt6widgets6
e2e_expect "the package depends on the X11 platform plugin" depends_on qt6-qpa-plugins
e2e_expect "the package depends on pixman, which the program opens when it draws" depends_on libpixman-1-0
e2e_expect "the package depends on OpenSSL, which the program opens for https" depends_on libssl3
e2e_expect "the package depends on Qt's WebP and TIFF readers" depends_on qt6-image-formats-plugins
for decoder in libavif15 libheif1 libjxl0.7; do
  e2e_expect "the package depends on $decoder, which the import opens" depends_on "$decoder"
done

lintian_errors() {
  lintian "$DEB" >"$E2E_OUT/lintian.log" 2>&1
  grep '^E: ' "$E2E_OUT/lintian.log"
}
no_lintian_errors() { [[ -z $(lintian_errors) ]]; }
e2e_expect "lintian shows no errors" no_lintian_errors
no_lintian_errors || lintian_errors >&2

RPM=$(find "$BUILD" -maxdepth 1 -name 'nimbra-wallpaper-*.rpm' | head -n1)
[[ -n $RPM ]] || e2e_abort "cpack made no nimbra-wallpaper .rpm (see $E2E_OUT/package-build.log)"
# Files and links, without the folders that each system owns in its own way.
deb_files() { dpkg-deb -c "$DEB" | awk '$1 ~ /^[-l]/ { sub(/^\./, "", $6); print $6 }' | sort; }
rpm_files() { rpm -qp --qf '[%{FILEMODES:perms} %{FILENAMES}\n]' "$RPM" 2>/dev/null | awk '$1 ~ /^[-l]/ { print $2 }' | sort; }
same_files() {
  deb_files >"$E2E_OUT/deb-files.txt" && rpm_files >"$E2E_OUT/rpm-files.txt" &&
    [[ -s $E2E_OUT/deb-files.txt ]] && diff "$E2E_OUT/deb-files.txt" "$E2E_OUT/rpm-files.txt" >&2
}
e2e_expect "the RPM holds the same files as the Debian package" same_files
rpm_requires() { rpm -qp --requires "$RPM" 2>/dev/null | grep -q "^$1"; }
e2e_expect "the RPM's requirements are worked out from the binaries" rpm_requires 'libQt6Widgets.so.6'
e2e_expect "the RPM requires pixman, which the program opens when it draws" rpm_requires 'libpixman-1.so.0'
e2e_expect "the RPM requires OpenSSL, which the program opens for https" rpm_requires 'libssl.so.3'
for decoder in libavif.so.15 libheif.so.1 libjxl.so.0.7; do
  e2e_expect "the RPM requires $decoder, which the import opens" rpm_requires "$decoder"
done
# A packager signs with a key of their own, which the systems that install
# the package trust; here a key made for the run, trusted by a private rpm
# database, so that rpmlint checks the signature as a user's rpm would.
sign_rpm() {
  local keys=$E2E_TMP/rpm-keys
  mkdir -p "$keys/gnupg" && chmod 700 "$keys/gnupg" &&
    echo "%_dbpath $keys/rpmdb" >"$keys/.rpmmacros" &&
    GNUPGHOME=$keys/gnupg gpg --batch --passphrase '' --quick-gen-key 'Package test <package-test@nimbra.example>' \
      default default never &&
    GNUPGHOME=$keys/gnupg gpg --batch --armor --export package-test@nimbra.example >"$keys/key.asc" &&
    HOME=$keys rpmkeys --import "$keys/key.asc" &&
    HOME=$keys GNUPGHOME=$keys/gnupg rpmsign --define "__gpg $(command -v gpg)" \
      --define "_gpg_name package-test@nimbra.example" --addsign "$RPM"
} >"$E2E_OUT/rpm-sign.log" 2>&1
e2e_expect "the RPM can be signed" sign_rpm
rpmlint_errors() {
  HOME=$E2E_TMP/rpm-keys rpmlint "$RPM" >"$E2E_OUT/rpmlint.log" 2>&1
  grep ': E: ' "$E2E_OUT/rpmlint.log"
}
no_rpmlint_errors() { [[ -z $(rpmlint_errors) ]]; }
e2e_expect "rpmlint shows no errors" no_rpmlint_errors
no_rpmlint_errors || rpmlint_errors >&2

ROOT=$E2E_TMP/root
mkdir -p "$ROOT" || e2e_abort "cannot create $ROOT"
dpkg-deb -x "$DEB" "$ROOT" || e2e_abort "dpkg-deb cannot unpack $DEB"
trap 'chmod -R u+w "$ROOT" 2>/dev/null; e2e_cleanup' EXIT

for file in usr/bin/NimbraWallpaper usr/bin/nimbra-get usr/share/applications/$APP_ID.desktop \
  usr/share/metainfo/$APP_ID.metainfo.xml usr/share/icons/hicolor/scalable/apps/$APP_ID.svg \
  usr/share/nimbra-wallpaper/lang/{de,en,es,fr,it,ja,ko,pt_BR,ru,zh_CN}/lang.ini; do
  e2e_expect "the package holds /$file" test -s "$ROOT/$file"
done
for size in 16 22 24 32 48 64 128 256; do
  e2e_expect "the package holds the ${size}x$size icon" test -s "$ROOT/usr/share/icons/hicolor/${size}x$size/apps/$APP_ID.png"
done
e2e_expect "the package holds the sample store" test -d "$ROOT/usr/share/nimbra-wallpaper/wallpaper/widescreen/local/1"
valid_desktop_entry() { desktop-file-validate "$ROOT/usr/share/applications/$APP_ID.desktop" >&2; }
# Not even a pedantic remark; the addresses are not fetched.
valid_metainfo() {
  local report
  report=$(appstreamcli validate --pedantic --no-net "$ROOT/usr/share/metainfo/$APP_ID.metainfo.xml" 2>&1)
  echo "$report" >&2
  grep -q 'Validation was successful\.$' <<<"$report"
}
e2e_expect "desktop-file-validate accepts the desktop entry" valid_desktop_entry
e2e_expect "appstreamcli --pedantic accepts the metainfo without a remark" valid_metainfo

# --- the unpacked program in a folder it cannot write, with a fresh home

chmod -R a-w "$ROOT"
e2e_start_session 1280x800x24
# The library's program helpers run this copy from its own folder.
E2E_HOME=$E2E_TMP/home
E2E_APP_DIR=$ROOT/usr/bin
E2E_PROGRAM=$ROOT/usr/bin/NimbraWallpaper
mkdir -p "$E2E_HOME/.config"
DATA=$E2E_HOME/.local/share/nimbra-wallpaper

e2e_start_program
main=$(e2e_wait_window "$START_SECONDS" "$E2E_PROGRAM_PID" "$WINDOW_W" "$WINDOW_H") ||
  e2e_abort "the unpacked program showed no ${WINDOW_W}x${WINDOW_H} window (log: $E2E_PROGRAM_LOG)"
e2e_expect "the first start seeds the English language file" cmp -s "$DATA/lang.ini" \
  "$ROOT/usr/share/nimbra-wallpaper/lang/en/lang.ini"
e2e_expect "the first start seeds the sample store" \
  diff -r "$DATA/wallpaper" "$ROOT/usr/share/nimbra-wallpaper/wallpaper"
e2e_expect_within 10 "the program keeps its rotation list in the data folder" test -s "$DATA/list.dat"
shown() { E2E_APP_DIR=$DATA e2e_thumbnails_shown "$main" widescreen 1; }
e2e_expect_within 20 "the window shows the sample pictures" shown
e2e_screenshot installed >/dev/null
e2e_expect "nothing is written beside the executable" test ! -e "$ROOT/usr/bin/setting.ini" -a ! -e "$ROOT/usr/bin/list.dat"
autostart_names_program() {
  grep -q "^Exec=.*$ROOT/usr/bin/NimbraWallpaper" "$E2E_HOME/.config/autostart/Nimbra-Wallpaper.desktop"
}
if [[ -f $E2E_HOME/.config/autostart/Nimbra-Wallpaper.desktop ]]; then
  e2e_expect "the auto-start entry names the installed executable" autostart_names_program
fi
e2e_run_command 60 --quit
e2e_expect "--quit ends the unpacked program" e2e_wait_program_exit 20

# A first use from the command line, on a Chinese desktop, seeds as well.
E2E_HOME=$E2E_TMP/home-zh
mkdir -p "$E2E_HOME/.config"
picture=$(find "$ROOT/usr/share/nimbra-wallpaper/wallpaper/widescreen" -type f -iname 'l_*.jpg' | sort | head -n1)
E2E_PROGRAM_LOCALE=zh_CN.UTF-8 e2e_run_command 60 --set "$picture"
e2e_expect "--set of a shipped picture ends with 0" test "$E2E_COMMAND_STATUS" = 0
e2e_expect "a zh_CN desktop is seeded with the Chinese language file" \
  cmp -s "$E2E_HOME/.local/share/nimbra-wallpaper/lang.ini" "$ROOT/usr/share/nimbra-wallpaper/lang/zh_CN/lang.ini"

# LANGUAGE comes first, and Brazilian Portuguese is found for pt_BR.
E2E_HOME=$E2E_TMP/home-pt
mkdir -p "$E2E_HOME/.config"
E2E_COMMAND_ENV=(LANGUAGE=pt_BR:pt)
E2E_PROGRAM_LOCALE=de_DE.UTF-8 e2e_run_command 60 --set "$picture"
E2E_COMMAND_ENV=()
e2e_expect "LANGUAGE=pt_BR:pt seeds the Brazilian Portuguese language file before LC_ALL's German" \
  cmp -s "$E2E_HOME/.local/share/nimbra-wallpaper/lang.ini" "$ROOT/usr/share/nimbra-wallpaper/lang/pt_BR/lang.ini"

e2e_finish
