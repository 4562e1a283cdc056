#!/usr/bin/env bash
# Builds and starts the desktop program. Without a display it says so and
# runs caustica-batch on the bundled sample instead.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display found; running caustica-batch on the bundled sample instead (results in results/)"
  cmake --build build --target caustica-batch
  exec build/caustica-batch reconstruct --intra resources/samples/newtonian200_intra.fits \
    --extra resources/samples/newtonian200_extra.fits --diameter 200 --focal 1200 --defocus 3.6 \
    --products all --output results
fi

cmake --build build --target caustica
exec build/caustica
