#!/bin/sh
# Compiles the locales that the date and language tests run under into DIR
# (for LOCPATH), without root: Debian's locale sources (package locales) and
# localedef.
set -eu
dir=$1
mkdir -p "$dir"
for locale in de_DE ru_RU uk_UA en_US; do
  [ -e "$dir/$locale.UTF-8/LC_TIME" ] && continue
  # -c: write the locale despite localedef's warnings about its sources.
  localedef -c -i "$locale" -f UTF-8 "$dir/$locale.UTF-8" || true
  [ -e "$dir/$locale.UTF-8/LC_TIME" ] || { echo "make_locales: cannot compile $locale" >&2; exit 1; }
done
