#!/usr/bin/env bash
# cmake --install into a scratch prefix: the GNU layout; the installed corvane runs from any
# folder and finds its module and libcorvane relative to itself, also once the whole tree has
# moved; without its module it says where it looked.
#
#   test-install.sh BUILD_DIR BINDIR MODULE_DIR MANDIR DOCDIR    (the install directories)
set -euo pipefail

BUILD=$1 BINDIR=$2 MODULE_DIR=$3 MANDIR=$4 DOCDIR=$5
T=$(mktemp -d /tmp/corvane-install.XXXXXX)
trap 'rm -rf "$T"' EXIT

# shellcheck source=checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

cmake --install "$BUILD" --prefix "$T/prefix" >"$T/install.log"
P=$T/prefix

check "bin/ holds corvane and nothing else" output_is "$(ls "$P/$BINDIR")" corvane
check "the module folder holds Dns.so, libcorvane.so and libcorvaneconsole.so" \
    output_is "$(ls "$P/$MODULE_DIR")" $'Dns.so\nlibcorvane.so\nlibcorvaneconsole.so'
check "the man page corvane(1)" test -f "$P/$MANDIR/man1/corvane.1.gz"
check "the man page renders" output_has "$(MANWIDTH=200 man -l "$P/$MANDIR/man1/corvane.1.gz" 2>&1)" \
    "corvane - console command processor with the DNS and RDNS lookup commands"
check "the documentation" test -f "$P/$DOCDIR/README.md" -a -f "$P/$DOCDIR/docs/host.md" \
    -a -f "$P/$DOCDIR/docs/resolver.md" -a -f "$P/$DOCDIR/docs/settings.md"

run_from() { (cd "$1" && env -u LD_LIBRARY_PATH "$2" -c "$3" 2>&1); }
help_text=$(run_from / "$P/$BINDIR/corvane" "dns /?")
check "corvane -c \"dns /?\" from another folder" output_has "$help_text" \
    $'Display DNS records for a domain or host.\n\nDNS /K /N: /P /S /W server name...'
check "the module is the installed one" output_is "$(run_from "$T" "$P/$BINDIR/corvane" plugins)" \
    "DNS 1.0.9  Replacement for the DNS command"
library=$(ldd "$P/$BINDIR/corvane" | sed -n 's/^[[:space:]]*libcorvane\.so => \(.*\) (0x.*$/\1/p')
check "libcorvane comes from the installation, not the build" \
    output_is "$(realpath "$library")" "$P/$MODULE_DIR/libcorvane.so"

mv "$P" "$T/moved"
check "the tree still works once moved" output_has "$(run_from / "$T/moved/$BINDIR/corvane" "rdns /?")" \
    "Perform a reverse DNS lookup."

rm "$T/moved/$MODULE_DIR/Dns.so"
status=0
missing=$(run_from / "$T/moved/$BINDIR/corvane" "dns /?") || status=$?
check "without the module: both places named" output_has "$missing" \
    "corvane: cannot load $T/moved/$BINDIR/Dns.so: "
check "without the module: both places named (installed)" output_has "$missing" \
    "corvane: cannot load $T/moved/$BINDIR/$(realpath -m --relative-to="/$BINDIR" "/$MODULE_DIR")/Dns.so: "
check "without the module: dns is unknown" output_is "$status" 127

checks_done
