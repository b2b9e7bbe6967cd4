#!/usr/bin/env bash
# cmake --install puts every piece where a desktop looks for it.
set -euo pipefail
build=$1
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null
for file in usr/bin/lystora usr/bin/lystora-list usr/share/lystora/lya_v1.52.htm \
    usr/share/applications/lystora.desktop usr/share/icons/hicolor/16x16/apps/lystora.png \
    usr/share/icons/hicolor/32x32/apps/lystora.png usr/share/icons/hicolor/48x48/apps/lystora.png; do
    if [ ! -s "$dest/$file" ]; then
        echo "missing: $file" >&2
        exit 1
    fi
done
grep -q '^Exec=lystora$' "$dest/usr/share/applications/lystora.desktop"
grep -q '^Icon=lystora$' "$dest/usr/share/applications/lystora.desktop"
"$dest/usr/bin/lystora-list" --version | grep -q 'Lystora v1.52.1016'
echo "installed: $(cd "$dest" && find . -type f | wc -l) files"
