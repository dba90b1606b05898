#!/usr/bin/env bash
# Installs the built game into a scratch prefix and checks the tree a player's system receives:
# exactly the expected files, the icons at their nominal sizes, the sounds as built, and the
# desktop entry, the metainfo, the icon and the program all naming one another consistently.
# With "lint", also builds the Debian package from the same tree and fails on any error or warning
# lintian reports.
# With a sound loader, also loads the installed sounds through the class the game plays them with.
#   tst_package.sh <build folder> <version> [lint|nolint] [load_sounds program]
set -uo pipefail
build=${1:?usage: tst_package.sh <build folder> <version> [lint] [load_sounds]}
version=${2:?usage: tst_package.sh <build folder> <version> [lint] [load_sounds]}
lint=${3:-nolint}
load_sounds=${4:-}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/usr
passed=0
failed=0
check() { # check <description> <command...>
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $what"
    fi
}

if ! cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1; then
    cat "$scratch/install.log"
    echo "0 passed, 1 failed"
    exit 1
fi

sizes=(16 22 24 32 48 64 128 256)
expected=(games/tilora share/games/tilora/chimes.wav share/games/tilora/utopia.wav
    share/games/tilora/translations/tilora_ro.qm share/applications/tilora.desktop
    share/metainfo/io.github.tilora.tilora.metainfo.xml share/doc/tilora/copyright
    share/doc/tilora/changelog.gz share/man/man6/tilora.6.gz share/man/ro/man6/tilora.6.gz)
for s in "${sizes[@]}"; do expected+=("share/icons/hicolor/${s}x${s}/apps/tilora.png"); done

# Nothing more, nothing less: build tools, libraries or test programs must not leak into a package.
actual=$(cd "$prefix" && find . -type f | sed 's|^\./||' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
check "installed files differ from the expected list:
$(diff <(echo "$wanted") <(echo "$actual"))" test "$actual" = "$wanted"

check "games/tilora is not executable" test -x "$prefix/games/tilora"
# A build-tree run path would make the installed program load libraries from the build folder.
check "games/tilora keeps a run path" bash -c "! readelf -d '$prefix/games/tilora' | grep -Eq 'RPATH|RUNPATH'"

# The game finds its sounds in ../share/games/tilora from its own folder, so they must be the built ones.
for sound in chimes.wav utopia.wav; do
    check "$sound differs from the built one" cmp -s "$build/$sound" "$prefix/share/games/tilora/$sound"
done

# The command line is answered without a display, in Romanian from the installed catalogue: a wrong
# option is a usage error (status 2), not a crash for want of a window.
bogus=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/games/tilora" --bogus 2>&1)
status=$?
check "--bogus without a display ends with $status, not 2: $bogus" test "$status" -eq 2
check "--bogus is not told in Romanian: $bogus" grep -qF 'Opțiune necunoscută: „bogus”' <<<"$bogus"
usage=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/games/tilora" --help 2>&1)
check "--help is not in Romanian: $usage" grep -q '^Utilizare: .*\[opțiuni\] \[poză\]' <<<"$usage"

# The sounds play through Qt Multimedia's QSoundEffect, which reads the WAV files itself and hands them
# to the desktop's sound server through libpulse, a dependency of the Qt library; no GStreamer plugin
# and no media backend takes part. Loaded here with both kept out of reach, as on a fresh system.
if [ -n "$load_sounds" ]; then
    mkdir -p "$scratch/no-plugins"
    loaded=$(env GST_PLUGIN_SYSTEM_PATH_1_0="$scratch/no-plugins" GST_PLUGIN_PATH_1_0="$scratch/no-plugins" \
        GST_REGISTRY_1_0="$scratch/no-plugins/registry.bin" QT_MEDIA_BACKEND=none QT_QPA_PLATFORM=offscreen \
        "$load_sounds" "$prefix/share/games/tilora/chimes.wav" "$prefix/share/games/tilora/utopia.wav" 2>&1)
    check "the installed sounds do not load: $loaded" test $? -eq 0
fi

png_size() { # prints "W H" read from the PNG header
    od -An -tu1 -j16 -N8 "$1" | awk '{ print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'
}
for s in "${sizes[@]}"; do
    icon=$prefix/share/icons/hicolor/${s}x${s}/apps/tilora.png
    check "${s}px icon is not a PNG" test "$(head -c 8 "$icon" 2>/dev/null | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a
    check "${s}px icon has the wrong size: $(png_size "$icon")" test "$(png_size "$icon")" = "$s $s"
done

desktop=$prefix/share/applications/tilora.desktop
metainfo=$prefix/share/metainfo/io.github.tilora.tilora.metainfo.xml
key() { sed -n "s/^$1=//p" "$desktop"; }
# The program is the command's first word; a file manager's "Open with" fills in the rest.
program=$(key Exec | cut -d' ' -f1)
check "desktop entry starts '$program', not the installed program" test -x "$prefix/games/$program"
check "desktop entry names icon '$(key Icon)', which is not installed" \
    test -f "$prefix/share/icons/hicolor/48x48/apps/$(key Icon).png"
check "metainfo launches a different desktop entry" \
    grep -q '<launchable type="desktop-id">tilora.desktop</launchable>' "$metainfo"
check "metainfo's first release is not $version" \
    test "$(grep -o '<release version="[^"]*"' "$metainfo" | head -1)" = "<release version=\"$version\""
check "metainfo provides a different binary" grep -q "<binary>$program</binary>" "$metainfo"
# The version is written once, in the project; every file that repeats it is made from it.
for page in man6 ro/man6; do
    check "manual page in $page is not of version $version" \
        bash -c "gzip -dc '$prefix/share/man/$page/tilora.6.gz' | grep -m1 '^\.TH ' | grep -qF '\"Tilora $version\"'"
done
check "change log does not start at version $version" \
    bash -c "gzip -dc '$prefix/share/doc/tilora/changelog.gz' | head -1 | grep -qF 'tilora ($version)'"

# The software centres' own check of the tree: desktop entry, metainfo and icon found together.
if command -v appstreamcli >/dev/null; then
    verdict=$(appstreamcli validate-tree --no-net "$scratch" 2>&1)
    check "appstream rejects the installed tree: $verdict" test $? -eq 0
fi

# The package as a player's system receives it, held to Debian's own rules: errors and warnings are
# faults, and so are the hints that the program lost its hardening or carries sections it needs not.
# lintian is optional on a developer's machine, like the validators; the test command installs it.
no_faults() { ! grep -qE '^[EW]: |^I: [^ ]+ (hardening-|binary-has-unneeded-section)' <<<"$1"; }
if [ "$lint" = lint ] && command -v lintian >/dev/null; then
    if cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/deb" >"$scratch/cpack.log" 2>&1; then
        # The Romanian page travels in the package beside the English one, each where man looks for it.
        pages=$(dpkg-deb -c "$scratch"/deb/tilora_*.deb | grep -o '\./usr/share/man/.*\.gz$' | sort)
        check "the package's manual pages are not the two expected: $pages" test "$pages" = \
            "$(printf './usr/share/man/%s/tilora.6.gz\n' man6 ro/man6)"
        report=$(lintian --info "$scratch"/deb/tilora_*.deb 2>&1)
        check "lintian finds faults in the package:
$report" no_faults "$report"
    else
        cat "$scratch/cpack.log"
        check "the Debian package cannot be built" false
    fi
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
