#!/usr/bin/env bash
# Redraws docs/screenshot.png (the main window with the bundled sample pair,
# its reconstructed wavefront and residual) and docs/screenshots/ (the
# information panel, each product window, an imported colour picture, the
# mid-line window and the colour results), on
# a virtual X display.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build -G Ninja
cmake --build build --target ui_screenshot
mkdir -p docs
xvfb-run -a -s "-screen 0 1280x800x24" build/tests/ui_screenshot resources/samples docs/screenshot.png docs/screenshots
echo "screenshots: docs/screenshot.png docs/screenshots/"
