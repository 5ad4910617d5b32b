#!/usr/bin/env bash
# Installs the Debian packages of scripts/packages.txt that are not installed yet.
# Runs apt-get only when something is missing, so a prepared machine pays nothing.
#
# Packages with conditions (see packages.txt) come after the others: whether
# the kernel executes 32-bit code is learnt from the 32-bit Wine loader, which
# the plain list installs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
updated=

apt_update() {
    "${sudo[@]}" apt-get update -qq
    updated=yes
}

# Prints the installed version, nothing when the package is not installed.
installed_version() {
    { dpkg-query -W -f='${Status} ${Version}\n' "$1" 2>/dev/null || true; } |
        sed -n 's/^install ok installed //p'
}

plain=()
conditional=()
while read -r line; do
    line=${line%%#*}
    read -r -a words <<<"$line"
    [ ${#words[@]} -eq 0 ] && continue
    if [ ${#words[@]} -eq 1 ]; then
        plain+=("${words[0]}")
    else
        conditional+=("${words[*]}")
    fi
done <"$here/packages.txt"

missing=()
for pkg in "${plain[@]}"; do
    [ -n "$(installed_version "$pkg")" ] || missing+=("$pkg")
done
if [ ${#missing[@]} -ne 0 ]; then
    echo "Installing: ${missing[*]}"
    if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
        ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo[@]}" dpkg --add-architecture i386
    fi
    apt_update
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The codename's backports suite, added with the address and keyring of the
# machine's own source of the release (deb822 .sources or one-line .list).
add_backports() {
    local codename suite uri="" keyring="" file
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ -n "$codename" ] || {
        echo "install-deps: no release codename in /etc/os-release" >&2
        exit 1
    }
    suite=$codename-backports
    if grep -rqsw -- "$suite" /etc/apt/sources.list /etc/apt/sources.list.d/; then
        echo "$suite"
        return
    fi
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -r "$file" ] || continue
        # The first stanza that names the release itself as a suite.
        read -r uri keyring < <(awk -v want="$codename" '
            /^[[:space:]]*$/ { if (hit && uri != "") { print uri, key; exit } hit = 0; uri = ""; key = ""; next }
            tolower($1) == "uris:" { uri = $2 }
            tolower($1) == "signed-by:" { key = $2 }
            tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i == want) hit = 1 }
            END { if (hit && uri != "") print uri, key }' "$file") || true
        [ -n "$uri" ] && break
    done
    if [ -z "$uri" ]; then
        read -r uri keyring < <(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
            awk -v want="$codename" '$1 == "deb" {
                key = ""; i = 2
                if ($2 ~ /^\[/) {
                    for (; i <= NF; i++) {
                        if ($i ~ /signed-by=/) { key = $i; sub(/.*signed-by=/, "", key); sub(/\]$/, "", key) }
                        if ($i ~ /\]$/) { i++; break }
                    }
                }
                if ($(i + 1) == want) { print $i, key; exit }
            }') || true
    fi
    uri=${uri:-http://deb.debian.org/debian}
    keyring=${keyring:-/usr/share/keyrings/debian-archive-keyring.gpg}
    echo "Adding the suite $suite ($uri)" >&2
    printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n' \
        "$uri" "$suite" "$keyring" |
        "${sudo[@]}" tee "/etc/apt/sources.list.d/$suite.sources" >/dev/null
    # Standard output is the suite's name, for the caller.
    apt_update >&2
    echo "$suite"
}

for entry in "${conditional[@]}"; do
    read -r -a words <<<"$entry"
    pkg=${words[0]}
    only_if="" min="" suite=""
    for word in "${words[@]:1}"; do
        case "$word" in
        only-if=*) only_if=${word#only-if=} ;;
        min-version=*) min=${word#min-version=} ;;
        suite=*) suite=${word#suite=} ;;
        *)
            echo "install-deps: unknown condition '$word' for $pkg in packages.txt" >&2
            exit 1
            ;;
        esac
    done
    case "$only_if" in
    "") ;;
    no-native-i386)
        /usr/lib/wine/wine --version </dev/null >/dev/null 2>&1 && continue
        ;;
    *)
        echo "install-deps: unknown only-if=$only_if for $pkg in packages.txt" >&2
        exit 1
        ;;
    esac
    have=$(installed_version "$pkg")
    if [ -n "$have" ] && { [ -z "$min" ] || dpkg --compare-versions "$have" ge "$min"; }; then
        continue
    fi
    [ -n "$updated" ] || apt_update
    offered=$(apt-cache policy "$pkg" | sed -n 's/^ *Candidate: //p')
    target=()
    if [ -n "$min" ] && [ -n "$suite" ] &&
        { [ -z "$offered" ] || [ "$offered" = "(none)" ] ||
            dpkg --compare-versions "$offered" lt "$min"; }; then
        [ "$suite" = backports ] || {
            echo "install-deps: unknown suite=$suite for $pkg in packages.txt" >&2
            exit 1
        }
        target=(-t "$(add_backports)")
    fi
    echo "Installing: $pkg ${target[*]}"
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${target[@]}" "$pkg"
done
