#!/usr/bin/env bash
# Installs, with apt-get, whatever the build and the tests need and the machine lacks.
set -euo pipefail

pacchetti=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-base-private-dev qt6-translations-l10n libgl-dev
    libsqlite3-dev sqlite3 libglib2.0-dev libpq-dev postgresql-15 openssl iptables
    libgtest-dev libbenchmark-dev
    fonts-liberation shared-mime-info xvfb xdotool xauth x11-utils openbox
    libreoffice-calc-nogui
    python3-stdnum
    dpkg-dev file fakeroot lintian appstream man-db
)

mancanti=()
for p in "${pacchetti[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        mancanti+=("$p")
    fi
done

if ((${#mancanti[@]})); then
    echo "Installing: ${mancanti[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    # The tests start a cluster of their own; the package must not leave one running.
    if [[ " ${mancanti[*]} " == *" postgresql-15 "* ]] && [ ! -d /etc/postgresql/15 ]; then
        $sudo mkdir -p /etc/postgresql-common/createcluster.d
        echo "create_main_cluster = false" |
            $sudo tee /etc/postgresql-common/createcluster.d/anagrafica.conf >/dev/null
    fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${mancanti[@]}"
fi
