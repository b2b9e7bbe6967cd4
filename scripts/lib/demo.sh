# shellcheck shell=bash
# make_demo_tree DIR: a small music tree to list, with accents, an ampersand and a cover image.
make_demo_tree() {
    local root=$1
    rm -rf "$root"
    mkdir -p "$root"
    local album
    make_album() { # artist album track...
        album="$root/$1/$2"
        mkdir -p "$album"
        shift 2
        local track
        for track in "$@"; do : >"$album/$track"; done
        : >"$album/cover.jpg"
    }
    make_album "Édith Piaf" "La Vie en rose" "01 La Vie en rose.mp3" "02 Hymne à l'amour.mp3"
    make_album "Miles Davis" "Kind of Blue" "01 So What.mp3" "02 Freddie Freeloader.mp3" \
        "03 Blue in Green.mp3"
    make_album "Rock & Roll" "Live #1" "01 Intro.mp3" "02 Encore.MP3"
    : >"$root/Welcome.mp3"
    : >"$root/Bonus track.mp3"
}
