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

# make_silence_wav FILE: two seconds of silence, 8 kHz mono: all an encoder needs.
make_silence_wav() {
    printf 'RIFF\x24\x7d\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x40\x1f\x00\x00\x80\x3e\x00\x00\x02\x00\x10\x00data\x00\x7d\x00\x00' >"$1"
    head -c 32000 /dev/zero >>"$1"
}

# make_tagged_demo_tree DIR: a few albums of short tagged MP3s (a tone each), for the web page.
make_tagged_demo_tree() {
    local root=$1
    rm -rf "$root"
    mkdir -p "$root"
    local tone="$root/.tone.wav"
    make_silence_wav "$tone"
    tagged() { # artist album track title
        mkdir -p "$root/$1/$2"
        LC_ALL=C.UTF-8 lame --quiet --ta "$1" --tl "$2" --tn "$3" --tt "$4" "$tone" "$root/$1/$2/$(printf %02d "$3") $4.mp3"
    }
    tagged "Édith Piaf" "La Vie en rose" 1 "La Vie en rose"
    tagged "Édith Piaf" "La Vie en rose" 2 "Hymne à l'amour"
    tagged "Miles Davis" "Kind of Blue" 1 "So What"
    tagged "Miles Davis" "Kind of Blue" 2 "Freddie Freeloader"
    tagged "Miles Davis" "Kind of Blue" 10 "Blue in Green"
    tagged "Björk" "Homogenic" 1 "Hunter"
    rm -f "$tone"
}
