#!/usr/bin/env bash
# cmake --install puts every piece where a desktop, man, the shells and systemd look for it, and
# each piece passes its own ecosystem's checker.
set -euo pipefail
build=$1
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null
usr=$dest/usr
fail() {
    echo "$*" >&2
    exit 1
}
for file in bin/lystora bin/lystora-list share/lystora/lya_v1.52.htm \
    share/applications/net.korvane.Lystora.desktop share/metainfo/net.korvane.Lystora.metainfo.xml \
    share/icons/hicolor/16x16/apps/lystora.png share/icons/hicolor/32x32/apps/lystora.png \
    share/icons/hicolor/48x48/apps/lystora.png share/man/man1/lystora.1.gz \
    share/man/man1/lystora-list.1.gz share/bash-completion/completions/lystora-list \
    share/zsh/vendor-completions/_lystora-list share/fish/vendor_completions.d/lystora-list.fish \
    lib/systemd/user/lystora-watch.service lib/systemd/user/lystora-list.service \
    lib/systemd/user/lystora-list.timer share/doc/lystora/copyright share/doc/lystora/changelog.gz; do
    [ -s "$usr/$file" ] || fail "missing: $file"
done

# The tag reader where the installed programs look for it: a list with tags reads them.
[ -x "$usr/libexec/lystora/lystora-tag-reader" ] || fail "missing: libexec/lystora/lystora-tag-reader"
mkdir -p "$dest/music" "$dest/cache"
# One second of silence, 8 kHz mono, as a WAV file.
{ printf 'RIFF\244\076\000\000WAVEfmt \020\000\000\000\001\000\001\000\100\037\000\000\200\076\000\000'
  printf '\002\000\020\000data\200\076\000\000'; head -c 16000 /dev/zero; } >"$dest/music/a.wav"
out=$(XDG_CACHE_HOME="$dest/cache" XDG_CONFIG_HOME="$dest/cache" "$usr/bin/lystora-list" -q -f \
    --tags -p '*.wav' --format json "$dest/music" "$dest/list.json" 2>&1) || fail "lystora-list --tags: $out"
[ -z "$out" ] || fail "lystora-list --tags said: $out"
grep -q "\"duration\":1.000,\"bitrate\":128" "$dest/list.json" || fail "no tags read: $(cat "$dest/list.json")"

# Both programs answer --help and --version without a display.
for program in lystora lystora-list; do
    env -u DISPLAY -u WAYLAND_DISPLAY "$usr/bin/$program" --version | head -1 |
        grep -qx "$program (Lystora) 1.52.1016" || fail "$program --version"
    env -u DISPLAY -u WAYLAND_DISPLAY "$usr/bin/$program" --help | grep -q "^Usage: $program" ||
        fail "$program --help"
done

# Manual pages: no warning from man, and every option of the help in the page.
for page in lystora lystora-list; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man $page: $warnings"
done
text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$usr/share/man/man1/lystora-list.1.gz" 2>/dev/null)
for section in "EXIT STATUS\|Exit status" FILES ENVIRONMENT EXAMPLES; do
    grep -q "$section" <<<"$text" || fail "lystora-list(1) lacks $section"
done
for option in $(LC_ALL=C "$usr/bin/lystora-list" --help | grep -o -- '--[a-z-]*' | sort -u); do
    grep -q -- "$option" <<<"$text" || fail "lystora-list(1) lacks $option"
done

# Completions: each shell reads its file and knows every option; bash completes options and
# their values, fish the formats of --also.
bash -n "$usr/share/bash-completion/completions/lystora-list"
zsh -n "$usr/share/zsh/vendor-completions/_lystora-list"
fish -n "$usr/share/fish/vendor_completions.d/lystora-list.fish"
complete_bash() {
    bash -c '. /usr/share/bash-completion/bash_completion; . "$1"; shift
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
        _lystora_list 2>/dev/null; echo "${COMPREPLY[*]}"' _ \
        "$usr/share/bash-completion/completions/lystora-list" lystora-list "$@"
}
[ "$(complete_bash --ty)" = "--type" ] || fail "bash: --ty"
[ "$(complete_bash --type '')" = "0 1 2" ] || fail "bash: --type values"
[ "$(complete_bash --format '')" = "classic page m3u8 json" ] || fail "bash: --format values"
[ "$(complete_bash --list-lang '')" = "en fr" ] || fail "bash: --list-lang values"
for option in $(LC_ALL=C "$usr/bin/lystora-list" --help | grep -o -- '--[a-z-]*' | sort -u); do
    for completion in share/bash-completion/completions/lystora-list \
        share/zsh/vendor-completions/_lystora-list share/fish/vendor_completions.d/lystora-list.fish; do
        grep -q -- "${option#--}" "$usr/$completion" || fail "$completion lacks $option"
    done
done
[ "$(fish -c "source $usr/share/fish/vendor_completions.d/lystora-list.fish; complete -C 'lystora-list --also '" | cut -f1 | sort | tr "\n" " ")" = "json: m3u8: page: " ] ||
    fail "fish: --also formats"

# Desktop entry and software-centre metadata.
desktop-file-validate "$usr/share/applications/net.korvane.Lystora.desktop"
appstreamcli validate --no-net --explain "$usr/share/metainfo/net.korvane.Lystora.metainfo.xml" >"$dest/as.log" ||
    fail "$(cat "$dest/as.log")"
grep -qE '^[EW]:' "$dest/as.log" && fail "$(cat "$dest/as.log")"

# The user units, with their program taken from the staged tree and their manual page from it.
units=$dest/units
mkdir -p "$units" "$dest/run"
chmod 700 "$dest/run"
for unit in "$usr"/lib/systemd/user/*; do
    sed "s|/usr/bin/|$usr/bin/|" "$unit" >"$units/$(basename "$unit")"
done
# The unit's command line, run as systemd runs it, with an environment file's quoted paths.
exec_start=$(sed -n 's/^ExecStart=//p' "$units/lystora-list.service")
mkdir -p "$dest/my music"
printf 'LYSTORA_LIST_ARGS=%s\n' "'--format json \"$dest/my music\" \"$dest/my music/all.json\"'" >"$dest/env"
(set -a; . "$dest/env"; eval "$exec_start") >/dev/null 2>&1
grep -q '"generator"' "$dest/my music/all.json" || fail "a unit's quoted paths with blanks"
XDG_RUNTIME_DIR=$dest/run MANPATH=$usr/share/man systemd-analyze --user verify "$units"/* ||
    fail "systemd-analyze verify"

echo "installed: $(cd "$dest" && find . -type f | wc -l) files"
