#!/usr/bin/env bash
# Checks of the installed program, one group per call:
#   check_install.sh GROUP BUILD_DIR SOURCE_DIR [PROBE]
# GROUP: tree, locations, desktop, manpage, completion, deb.
# Exit 0 passed, 1 failed, 77 skipped (a tool the check needs is missing).
set -uo pipefail
group=$1 build=$2 source=$3 probe=${4:-}
id=org.caustica.Caustica

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
need() {
  command -v "$1" >/dev/null 2>&1 || {
    echo "SKIP: $1 is not installed"
    exit 77
  }
}

# A fresh install under $work/root with prefix /usr.
install_tree() {
  DESTDIR="$work/root" cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 || {
    cat "$work/install.log"
    echo "FAIL: cmake --install"
    exit 1
  }
  usr=$work/root/usr
}

check_tree() {
  install_tree
  # The desktop program only where this build has it (CAUSTICA_BUILD_UI).
  desktop_exe=""
  [ -e "$build/caustica" ] && desktop_exe=bin/caustica
  for f in bin/caustica-batch $desktop_exe share/applications/$id.desktop \
    share/metainfo/$id.metainfo.xml share/icons/hicolor/scalable/apps/$id.svg \
    share/bash-completion/completions/caustica-batch share/man/man1/caustica-batch.1.gz \
    share/caustica/help/index.html share/caustica/samples/newtonian200_intra.fits \
    share/caustica/samples/newtonian200_extra.fits share/doc/caustica/copyright; do
    [ -f "$usr/$f" ] || fail "not installed: $f"
  done
  [ -x "$usr/bin/caustica-batch" ] || fail "caustica-batch is not executable"
  # Every help page that a page links to is installed too.
  for page in "$source"/resources/help/*.htm*; do
    [ -f "$usr/share/caustica/help/$(basename "$page")" ] || fail "help page not installed: $(basename "$page")"
  done
  # Each PNG icon has the size its folder names (width and height in the IHDR chunk).
  for size in 16 22 24 32 48 64 128 256; do
    png=$usr/share/icons/hicolor/${size}x${size}/apps/$id.png
    if [ ! -f "$png" ]; then
      fail "no ${size}x${size} icon"
      continue
    fi
    read -r w h < <(od -An -tu1 -j16 -N8 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    [ "$w $h" = "$size $size" ] || fail "icon ${size}x${size} is ${w}x${h}"
  done
  # The installed tool reconstructs the installed sample as the sample notes say.
  s=$usr/share/caustica/samples
  (cd "$work" && "$usr/bin/caustica-batch" reconstruct --intra "$s/newtonian200_intra.fits" \
    --extra "$s/newtonian200_extra.fits" --diameter 200 --focal 1200 --defocus 3.6 \
    --products all --output "$work/results" --quiet >"$work/run.log" 2>&1) || {
    cat "$work/run.log"
    fail "the installed caustica-batch failed on the installed sample"
  }
  for f in summary.txt summary.json wavefront.jpg zernike.txt interferogram0.jpg spots.jpg psf_actual.jpg; do
    [ -s "$work/results/$f" ] || fail "no $f from the installed sample run"
  done
  z11=$(awk '$1 == "11" {print $(NF)}' "$work/results/summary.txt" 2>/dev/null)
  awk -v z="$z11" 'BEGIN {exit !(z != "" && z > -26.5 && z < -24)}' ||
    fail "spherical aberration of the sample is '$z11' nm, not about -25.2 (the accurate method, the default)"
  grep -q '^caustica-batch [0-9]' <<<"$("$usr/bin/caustica-batch" --version)" || fail "--version"
}

# Where an installed program looks for its preferences, help pages and sample.
check_locations() {
  [ -x "$probe" ] || {
    echo "FAIL: no probe program '$probe'"
    exit 1
  }
  install_tree
  cp "$probe" "$usr/bin/install_probe"
  chmod 755 "$work" "$work/root" "$usr" "$usr/bin"
  out=$(cd / && HOME="$work/home" XDG_CONFIG_HOME= "$usr/bin/install_probe")
  grep -qx "help=$usr/share/caustica/help/" <<<"$out" || fail "help pages not taken from the install: $out"
  grep -qx "samples=$usr/share/caustica/samples/" <<<"$out" || fail "sample not taken from the install: $out"
  grep -qx "prefs=$usr/bin/Prefs.txt" <<<"$out" || fail "writable program folder: Prefs.txt not beside it: $out"

  # A program folder the user cannot write: the user's configuration folder.
  home=$work/home
  mkdir -p "$home"
  chmod 555 "$usr/bin"
  run_as_user=()
  if [ "$(id -u)" -eq 0 ]; then
    # root writes everywhere; the check runs as an ordinary user.
    command -v setpriv >/dev/null 2>&1 || {
      echo "SKIP: running as root without setpriv"
      exit 77
    }
    chown 65534:65534 "$home"
    run_as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  fi
  out=$(cd / && env HOME="$home" XDG_CONFIG_HOME= "${run_as_user[@]}" "$usr/bin/install_probe" write) ||
    fail "preferences could not be written for a read-only program folder: $out"
  grep -qx "prefs=$home/.config/Caustica/Prefs.txt" <<<"$out" || fail "read-only program folder: $out"
  [ -s "$home/.config/Caustica/Prefs.txt" ] || fail "no Prefs.txt in the user's configuration folder"
  [ ! -e "$usr/bin/Prefs.txt" ] || fail "Prefs.txt written into the read-only program folder"
  chmod 755 "$usr/bin"
}

check_desktop() {
  need desktop-file-validate
  need appstreamcli
  install_tree
  desktop=$usr/share/applications/$id.desktop
  desktop-file-validate "$desktop" || fail "desktop-file-validate"
  grep -qx 'Categories=Science;Astronomy;' "$desktop" || fail "categories"
  grep -q '^MimeType=.*image/fits;' "$desktop" && grep -q '^MimeType=.*application/fits;' "$desktop" ||
    fail "FITS MIME types"
  exe=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  [ -x "$usr/bin/$exe" ] || fail "Exec=$exe is not an installed program"
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  [ -f "$usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "Icon=$icon is not installed"
  metainfo=$usr/share/metainfo/$id.metainfo.xml
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
  grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "launchable"
  # Each screenshot named is one of the repository's pictures.
  shots=$(sed -n 's|.*<image>.*/\([^/<]*\)</image>.*|\1|p' "$metainfo")
  [ -n "$shots" ] || fail "no screenshots in the metainfo"
  for shot in $shots; do
    [ -f "$source/docs/screenshots/$shot" ] || fail "screenshot $shot is not in docs/screenshots"
  done
}

check_manpage() {
  need man
  install_tree
  page=$usr/share/man/man1/caustica-batch.1.gz
  [ -f "$page" ] || {
    echo "FAIL: no manual page installed (is help2man installed?)"
    exit 1
  }
  text=$(MANWIDTH=100 man -l "$page" 2>"$work/man.err") || fail "man -l failed: $(cat "$work/man.err")"
  [ ! -s "$work/man.err" ] || fail "man -l warned: $(cat "$work/man.err")"
  for heading in NAME SYNOPSIS "RECONSTRUCT COMMAND" "SIMULATE COMMAND"; do
    grep -q "^$heading" <<<"$text" || fail "no $heading section"
  done
  for option in --intra --method --zernike-format --frame-width --version; do
    grep -q -- "$option" <<<"$text" || fail "the page does not mention $option"
  done
}

# Completion offers each command and every option of each command's --help.
check_completion() {
  need bash
  install_tree
  exe=$usr/bin/caustica-batch
  complete_words() { # the offered words for the command line "$@" (last word being completed)
    bash -c 'shopt -s extglob; source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1));
             _caustica_batch; printf "%s\n" "${COMPREPLY[@]}"' _ \
      "$usr/share/bash-completion/completions/caustica-batch" "$@"
  }
  for command in reconstruct simulate help; do
    grep -qx "$command" <<<"$(complete_words caustica-batch "")" || fail "command $command not offered"
  done
  for command in reconstruct simulate; do
    offered=$(complete_words caustica-batch "$command" --)
    listed=$("$exe" "$command" --help | grep -o -- '--[a-z][a-z0-9-]*' | sort -u)
    for option in $listed; do
      grep -qx -- "$option" <<<"$offered" || fail "$command: $option not offered"
    done
    for option in $offered; do
      grep -qx -- "$option" <<<"$listed" || [ "$option" = --help ] || fail "$command: $option offered but not in --help"
    done
  done
  # (grep reads a here-string: an early exit of grep must not fail a pipe)
  grep -qx accurate <<<"$(complete_words caustica-batch reconstruct --method a)" || fail "--method values"
  grep -qx psf,foucaultgram <<<"$(complete_words caustica-batch reconstruct --products psf,fo)" ||
    fail "--products list"
  [ -z "$(complete_words caustica-batch reconstruct --diameter "")" ] || fail "a number offered options"
}

check_deb() {
  need cpack
  need dpkg-deb
  need dpkg-shlibdeps
  (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1) || {
    cat "$work/cpack.log"
    echo "FAIL: cpack -G DEB"
    exit 1
  }
  deb=$(ls "$work"/pkg/caustica_*.deb 2>/dev/null | head -1)
  [ -n "$deb" ] || {
    echo "FAIL: no caustica_*.deb made"
    exit 1
  }
  depends=$(dpkg-deb -f "$deb" Depends)
  echo "Depends: $depends"
  for lib in libqt6widgets6 libqt6charts6 libqt6printsupport6 libqt6svg6 libfftw3 libcfitsio10 libjpeg62-turbo libc6; do
    grep -q "$lib" <<<"$depends" || fail "the package does not depend on $lib"
  done
  contents=$(dpkg-deb -c "$deb")
  for f in ./usr/bin/caustica ./usr/bin/caustica-batch ./usr/share/applications/$id.desktop \
    ./usr/share/caustica/samples/newtonian200_intra.fits ./usr/share/man/man1/caustica-batch.1.gz; do
    grep -q " $f\$" <<<"$contents" || fail "$f not in the package"
  done
  [ "$(dpkg-deb -f "$deb" Package)" = caustica ] || fail "package name"
}

case $group in
tree) check_tree ;;
locations) check_locations ;;
desktop) check_desktop ;;
manpage) check_manpage ;;
completion) check_completion ;;
deb) check_deb ;;
*)
  echo "unknown group $group"
  exit 2
  ;;
esac
[ "$failures" -eq 0 ] || exit 1
echo "PASS: $group"
