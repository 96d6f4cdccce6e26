#!/bin/sh
# Installs the Debian packages the build needs, and only those that are missing,
# so a second run costs one dpkg query.
set -eu

PACKAGES="
  g++ cmake ninja-build pkg-config python3
  zlib1g-dev liblzma-dev libsqlite3-dev libcurl4-openssl-dev curl libssl-dev xfsprogs libpng-dev
  libsdl2-dev libgumbo-dev libfreetype-dev libfontconfig-dev fonts-liberation2 fonts-dejavu-core
  duktape-dev libcairo2-dev libjpeg62-turbo-dev adwaita-icon-theme hicolor-icon-theme shared-mime-info
  libgtest-dev libgmock-dev libbenchmark-dev
"
# Extra packages for one target (make fuzz asks for clang) come as arguments.
PACKAGES="$PACKAGES $*"

missing=""
for p in $PACKAGES; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  case "$status" in
    *"install ok installed"*) ;;
    *) missing="$missing $p" ;;
  esac
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "vorra: these packages are missing:$missing" >&2
  echo "vorra: install them as root (sudo apt-get install$missing) and run make again" >&2
  exit 1
fi

echo "vorra: installing$missing"
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
if ! { apt-get update -qq && apt-get install -y -qq --no-install-recommends $missing; } >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  echo "vorra: installing$missing failed" >&2
  exit 1
fi
rm -f "$log"
