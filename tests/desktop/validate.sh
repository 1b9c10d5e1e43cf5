#!/usr/bin/env bash
# The desktop files pass their own validators.
#   validate.sh entry|metainfo|manual <source dir>    exit 77: skipped (validator not installed)
set -uo pipefail
what=$1
share=$2/share
need() {
  command -v "$1" >/dev/null && return
  echo "skipped: $1 is not installed (scripts/setup.sh installs it)"
  exit 77
}
fail=0
report() {  # anything a validator said is a fault
  [[ -z "$1" ]] && return
  echo "$1"
  fail=1
}
case $what in
  entry)
    need desktop-file-validate
    report "$(desktop-file-validate "$share/applications/orvex2.desktop" 2>&1)"
    # No type that claims every .exe: the program must not become their default handler.
    for type in $(sed -n 's/^MimeType=//p' "$share/applications/orvex2.desktop" | tr ';' ' '); do
      if grep -qi 'glob pattern="\*\.exe"' "/usr/share/mime/$type.xml" 2>/dev/null; then
        report "MimeType $type claims every .exe"
      fi
    done
    ;;
  metainfo)
    need appstreamcli
    out=$(appstreamcli validate --no-net "$share"/metainfo/*.metainfo.xml 2>&1) || report "$out"
    report "$(grep -E '^[EW]:' <<<"$out")"
    ;;
  manual)
    need man
    need groff
    report "$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$share/man/man1/orvex2.1" 2>&1 >/dev/null)"
    report "$(groff -man -ww -z -t -Tutf8 -K utf8 "$share/man/man1/orvex2.1" 2>&1)"
    ;;
esac
exit $fail
