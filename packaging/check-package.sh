#!/usr/bin/env bash
# Checks the packages of a .changes: lintian --pedantic on the source and
# binary packages (every tag fails unless overridden, with its reason, in
# debian/), the relations dpkg-shlibdeps cannot find, the files a desktop and
# Debian expect, and those files with the desktop's and Debian's checkers.
#   packaging/check-package.sh <package .changes>
set -euo pipefail

changes=$1
dir=$(dirname "$changes")
problems=0
problem() {
    echo "package: $*" >&2
    problems=$((problems + 1))
}

# The files of this .changes only: the folder may hold earlier versions.
listed=$(sed -n '/^Files:/,/^[^ ]/{s/^ .* \([^ ]*\)$/\1/p}' "$changes")
named() { grep -x "$1" <<<"$listed" | head -n 1; }
deb=$dir/$(named 'qmtaskscheduler2_.*\.deb')
[ -n "$(named 'qmtaskscheduler2-dbgsym_.*\.deb')" ] || problem "no -dbgsym package"
[ -n "$(named 'qmtaskscheduler2_.*\.dsc')" ] || problem "no source package"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Section)" = utils ] || problem "section is '$(field Section)'"
depends=$(field Depends)
# From dpkg-shlibdeps (libqt6gui6 brings the X11 and offscreen platform
# plugins), and the SVG icon engine Qt loads at run time; Wayland's plugin is
# recommended.
for pkg in libqt6widgets6 libqt6gui6 libqt6core6 libglib2.0-0 libc6 libqt6svg6 shared-mime-info; do
    grep -Eq "(^|, )$pkg( |,|$)" <<<"$depends" || problem "Depends lacks $pkg: $depends"
done
for pkg in qt6-qpa-plugins qt6-wayland; do
    ! grep -Eq "(^|, )$pkg( |,|$)" <<<"$depends" || problem "Depends has $pkg: $depends"
done
for pkg in qt6-wayland xdg-utils; do
    grep -Eq "(^|, )$pkg(,|$)" <<<"$(field Recommends)" ||
        problem "Recommends lacks $pkg: $(field Recommends)"
done
grep -Eq "(^|, )x-terminal-emulator(,|$)" <<<"$(field Suggests)" ||
    problem "Suggests lacks x-terminal-emulator: $(field Suggests)"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
for f in usr/bin/QMTaskScheduler2 \
         usr/share/applications/qmtaskscheduler2.desktop \
         usr/share/icons/hicolor/scalable/apps/qmtaskscheduler2.svg \
         usr/share/icons/hicolor/{16x16,24x24,32x32,48x48,64x64,128x128}/apps/qmtaskscheduler2.png \
         usr/share/metainfo/example.quillmar.QMTaskScheduler2.metainfo.xml \
         usr/share/man/man1/QMTaskScheduler2.1.gz \
         usr/share/doc/qmtaskscheduler2/copyright \
         usr/share/doc/qmtaskscheduler2/README.md.gz \
         usr/share/doc/qmtaskscheduler2/changelog.Debian.gz; do
    [ -f "$root/$f" ] || problem "missing /$f"
done

desktop-file-validate "$root/usr/share/applications/qmtaskscheduler2.desktop" ||
    problem "desktop-file-validate"
appstreamcli validate --pedantic --no-net "$root"/usr/share/metainfo/*.metainfo.xml ||
    problem "appstreamcli validate"
mandoc -T lint "$root/usr/share/man/man1/QMTaskScheduler2.1.gz" || problem "mandoc -T lint"

# lintian reads the overrides shipped in the packages.
if ! lintian --pedantic --display-info --fail-on error,warning,info,pedantic \
        --tag-display-limit 0 "$changes"; then
    problem "lintian reports tags that are neither mended nor overridden"
fi

if [ "$problems" -ne 0 ]; then
    echo "package: $problems problem(s) in $changes" >&2
    exit 1
fi
echo "package: $(basename "$changes"): relations, contents, desktop entry, metainfo," \
     "manual page and lintian OK"
