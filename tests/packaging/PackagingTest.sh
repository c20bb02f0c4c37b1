#!/usr/bin/env bash
# Checks of what `cmake --install` delivers, run by CTest:
#   PackagingTest.sh desktop FILE      desktop-file-validate
#   PackagingTest.sh metainfo FILE     appstreamcli validate
#   PackagingTest.sh manpage FILE      groff, which must not warn
#   PackagingTest.sh install BUILD ID CMAKE
#                                      install into a temporary prefix, look for every
#                                      file, start the installed program offscreen,
#                                      run its command line without a display, match
#                                      its version with the changelog's
# A missing checking tool skips the check (exit 77) with one line naming its package.
set -euo pipefail

need() {  # need PROGRAM PACKAGE
    command -v "$1" >/dev/null || { echo "skipped: needs $1 (Debian package $2)"; exit 77; }
}

case $1 in
desktop)
    need desktop-file-validate desktop-file-utils
    out=$(desktop-file-validate "$2" 2>&1) || { echo "$out"; exit 1; }
    # Hints are not failures for the tool; they are for us.
    [[ -z "$out" ]] || { echo "$out"; exit 1; }
    ;;
metainfo)
    need appstreamcli appstream
    appstreamcli validate --no-net "$2"
    ;;
manpage)
    need groff groff-base
    out=$(groff -man -ww -z "$2" 2>&1)
    [[ -z "$out" ]] || { echo "$out"; exit 1; }
    ;;
install)
    build=$2 id=$3 cmake=$4
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' EXIT
    prefix=$tmp/prefix
    "$cmake" --install "$build" --prefix "$prefix" >/dev/null

    missing=0
    for f in bin/vellomar share/vellomar/HAND-M.CUR share/vellomar/Samples/CUSTOMER.DB \
             share/applications/"$id".desktop share/metainfo/"$id".metainfo.xml \
             share/icons/hicolor/32x32/apps/"$id".png share/icons/hicolor/scalable/apps/"$id".svg \
             share/man/man1/vellomar.1.gz share/doc/vellomar/copyright \
             share/doc/vellomar/changelog.gz; do
        [[ -f "$prefix/$f" ]] || { echo "not installed: $f"; missing=1; }
    done
    # The program's files belong under share/, never beside the program.
    extra=$(ls "$prefix/bin" | grep -vx vellomar || true)
    [[ -z "$extra" ]] || { echo "beside the program in bin/: $extra"; missing=1; }
    ((missing == 0)) || exit 1

    # The installed program starts and keeps running until it is stopped.
    mkdir -m 700 "$tmp/home" "$tmp/runtime"
    set +e
    HOME=$tmp/home XDG_CONFIG_HOME=$tmp/home/.config XDG_RUNTIME_DIR=$tmp/runtime \
        QT_QPA_PLATFORM=offscreen timeout 5 "$prefix/bin/vellomar"
    status=$?
    set -e
    [[ $status -eq 124 ]] || { echo "the installed program ended with status $status within 5 s"; exit 1; }

    # Its command line runs without a display and finds the installed sample tables.
    version=$(env -u DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/vellomar" --version)
    [[ $version == "vellomar "* ]] || { echo "--version printed: $version"; exit 1; }
    # A new version needs its changelog entry before it can be packaged.
    entry=$(zcat "$prefix/share/doc/vellomar/changelog.gz" | sed -n 1p)
    [[ $entry == "vellomar (${version#vellomar }) "* ]] ||
        { echo "the changelog's newest entry is \"$entry\", the program is $version"; exit 1; }
    tables=$(env -u DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/vellomar" list "$prefix/share/vellomar/Samples" | cut -f1 | tr '\n' ' ')
    [[ $tables == "CUSTOMER EMPLOYEE ORDERS PARTS ORDERS1999 " ]] || { echo "list printed: $tables"; exit 1; }
    ;;
*)
    echo "unknown check: $1"; exit 2 ;;
esac
