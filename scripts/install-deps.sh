#!/usr/bin/env bash
# Installs every Debian and npm package Quillmer builds, runs or tests with. Safe to run again:
# when nothing is missing it prints nothing and touches nothing.
set -euo pipefail

# The one list. Grouped by what needs them; keep it sorted within a group.
packages=(
  # build
  ccache cmake g++ git ninja-build pkg-config
  # core
  libssl-dev nlohmann-json3-dev
  # media: screen and audio files, recording import, exact-time frames (FFmpeg); drawing (Cairo); PNG
  libavcodec-dev libavformat-dev libavutil-dev libcairo2-dev libpng-dev libswresample-dev libswscale-dev
  # screen and audio capture (X11 through XCB: RandR monitors, MIT-SHM grabs; PulseAudio)
  libpulse-dev libxcb-randr0-dev libxcb-shm0-dev libxcb1-dev
  # session library and moment detection (trash through GIO; locale dates and words through ICU)
  libglib2.0-dev libicu-dev
  # on-device speech recognition
  libpocketsphinx-dev pocketsphinx-en-us
  # desktop application (GTK 3 window, WebKitGTK view, H.264/AAC playback) and the review page over
  # loopback HTTP (quillmer serve, the desktop app's video server)
  gstreamer1.0-libav libgtk-3-dev libsoup-3.0-dev libwebkit2gtk-4.1-dev
  # meeting readiness and the recording indicator (active X11 window, tray item); the update feed
  libayatana-appindicator3-dev libcurl4-openssl-dev
  # credentials in the desktop keyring (freedesktop Secret Service)
  libsecret-1-dev
  # tests, benchmarks, fuzzing, the demo meeting (flite speaks it; pocketsphinx-testdata is recorded
  # human speech with its text for the transcription benchmark)
  clang curl ffmpeg flite libbenchmark-dev libclang-rt-14-dev libgmock-dev libgtest-dev pocketsphinx
  pocketsphinx-testdata
  # private display and sound server for capture tests
  pulseaudio pulseaudio-utils xvfb
  # a private session bus for the desktop application tests (single instance), and a private
  # keyring on it for the credential tests
  dbus-daemon gnome-keyring
  # renderer end-to-end tests (driven by playwright-core, never a downloaded browser)
  chromium
)

# The renderer is built with Node. A machine that already has Node 18 or newer keeps it;
# otherwise Debian's nodejs and npm are installed.
node_major=$(node -p 'process.versions.node.split(".")[0]' 2>/dev/null || echo 0)
(( node_major >= 18 )) || packages+=(nodejs npm)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # apt may still be busy right after a machine starts; wait for its lock instead of failing.
  $sudo apt-get -o DPkg::Lock::Timeout=900 update -qq
  $sudo apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The npm packages of the renderer and of the MCP client tests, exactly as locked; each only when
# its lock is newer than its install. A node_modules that is a link to another checkout's install is
# that checkout's to update: npm ci would empty the shared folder through the link.
checkout="$(cd "$(dirname "$0")/.." && pwd)"
for package in "$checkout/renderer" "$checkout/tests/mcp"; do
  if [[ -f "$package/package-lock.json" && ! -L "$package/node_modules" ]] &&
     [[ ! -d "$package/node_modules" || "$package/package-lock.json" -nt "$package/node_modules" ]]; then
    echo "Installing the npm packages of ${package#"$checkout"/}"
    (cd "$package" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error >/dev/null)
    touch "$package/node_modules"
  fi
done
