#!/usr/bin/env bash
# Opens the report of the bundled sample in a real browser (headless
# Chromium): fails unless the browser loaded every picture the report links;
# with --screenshot FILE also saves the page as a PNG.
#   scripts/render-report.sh CAUSTICA_BATCH [--screenshot FILE]
# Exits with 77 (a skipped test) when Chromium is not installed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
batch="$(realpath "${1:?usage: render-report.sh CAUSTICA_BATCH [--screenshot FILE]}")"
shot=""
if [ "${2:-}" = "--screenshot" ]; then shot="$(realpath -m "${3:?--screenshot needs a file}")"; fi

browser="$(command -v chromium || command -v chromium-browser || true)"
if [ -z "$browser" ]; then
  echo "render-report: Chromium not installed (apt-get install chromium); skipped"
  exit 77
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
samples="$root/resources/samples"
"$batch" reconstruct --quiet --method classic \
  --intra "$samples/newtonian200_intra.fits" --extra "$samples/newtonian200_extra.fits" \
  --diameter 200 --focal 1200 --defocus 3.6 --products all --output "$work/results" \
  --report "$work/report/report.html" --instrument "Newtonian 200 mm f/6" \
  --camera "Mono camera, 5 um pixels" --exposure-intra 2 --exposure-extra 2 >/dev/null

# No sandbox: test machines run as root; no network, GPU or shared memory.
flags=(--headless --no-sandbox --disable-gpu --disable-dev-shm-usage --disable-background-networking
       --disable-extensions --no-first-run --hide-scrollbars --virtual-time-budget=5000)

# A copy of the page that records, once loaded, which pictures failed.
expected="$(grep -o '<img ' "$work/report/report.html" | wc -l)"
cp "$work/report/report.html" "$work/report/check.html"
printf '%s\r\n' '<script>addEventListener("load",()=>{const bad=[...document.images].filter(i=>!(i.complete&&i.naturalWidth>0)).map(i=>i.getAttribute("src"));document.documentElement.setAttribute("data-pictures",bad.length?"missing "+bad.join(","):"loaded "+document.images.length);});</script>' \
  >>"$work/report/check.html"
result="$(timeout 120 "$browser" "${flags[@]}" --dump-dom "file://$work/report/check.html" 2>/dev/null |
  grep -o 'data-pictures="[^"]*"' || true)"
if [ "$result" != "data-pictures=\"loaded $expected\"" ]; then
  echo "render-report: the browser did not load every picture (expected $expected): ${result:-no answer}"
  exit 1
fi
echo "render-report: the browser loaded all $expected pictures"

if [ -n "$shot" ]; then
  timeout 120 "$browser" "${flags[@]}" --window-size=1000,2900 --screenshot="$shot" \
    "file://$work/report/report.html" 2>/dev/null
  [ -s "$shot" ] || { echo "render-report: no screenshot written"; exit 1; }
  echo "render-report: $shot"
fi
