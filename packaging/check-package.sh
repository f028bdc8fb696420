#!/usr/bin/env bash
# Checks a built .deb: its control fields, the files a desktop and Debian
# expect in it, and lintian without errors (warnings are printed).
#   packaging/check-package.sh <package.deb>
set -euo pipefail

deb=$1
problems=0
problem() {
    echo "package: $*" >&2
    problems=$((problems + 1))
}

field() { dpkg-deb --field "$deb" "$1"; }
name=$(field Package)
[ "$name" = qmtaskscheduler2 ] || problem "package name is '$name'"
[ "$(field Section)" = utils ] || problem "section is '$(field Section)'"
[ -n "$(field Maintainer)" ] || problem "no maintainer"
# Found by dpkg-shlibdeps from the libraries the program links.
depends=$(field Depends)
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libglib2.0-0 libc6; do
    grep -Eq "(^|, )$lib( |,|$)" <<<"$depends" || problem "Depends lacks $lib: $depends"
done
# A summary line and a long description below it.
[ "$(field Description | wc -l)" -ge 3 ] || problem "no long description"

listing=$(dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./|/|')
for f in /usr/bin/QMTaskScheduler2 \
         /usr/share/applications/qmtaskscheduler2.desktop \
         /usr/share/icons/hicolor/scalable/apps/qmtaskscheduler2.svg \
         /usr/share/icons/hicolor/64x64/apps/qmtaskscheduler2.png \
         /usr/share/icons/hicolor/128x128/apps/qmtaskscheduler2.png \
         /usr/share/metainfo/example.quillmar.QMTaskScheduler2.metainfo.xml \
         /usr/share/man/man1/QMTaskScheduler2.1.gz \
         "/usr/share/doc/$name/copyright" \
         "/usr/share/doc/$name/changelog.gz"; do
    grep -qxF "$f" <<<"$listing" || problem "missing $f"
done

# lintian reads the overrides shipped in the package itself.
if ! lintian --fail-on error --tag-display-limit 0 "$deb"; then
    problem "lintian reports errors"
fi

if [ "$problems" -ne 0 ]; then
    echo "package: $problems problem(s) in $deb" >&2
    exit 1
fi
echo "package: $deb holds $(wc -l <<<"$listing") entries; contents, control fields and lintian OK"
