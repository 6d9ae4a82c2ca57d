#!/usr/bin/env bash
# validate.sh desktop|metainfo|man FILE...: the file passes its validator with no error and no
# warning (hints and pedantic notes aside).
set -uo pipefail
kind=$1
shift
status=0
for file in "$@"; do
  case $kind in
    desktop) output=$(desktop-file-validate "$file" 2>&1) || status=1 ;;
    metainfo)
      output=$(appstreamcli validate --no-net "$file" 2>&1) || status=1
      grep -E '^[EW]: ' <<<"$output" && status=1
      # What software centres show and what the validator does not insist on.
      for element in '<summary>' '<description>' '<category>AudioVideo</category>' \
          '<category>Audio</category>' '<category>Recorder</category>' '<screenshot[ >]' \
          '<release version=' '<content_rating type="oars' '<launchable type="desktop-id">' \
          '<binary>tellamo</binary>' '<binary>tellamo-convert</binary>' \
          '<project_license>GPL-3.0-or-later</project_license>'; do
        grep -qE "$element" "$file" || { echo "missing: $element"; status=1; }
      done ;;
    man) output=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$file" 2>&1 >/dev/null) || status=1 ;;
    *) echo "unknown kind $kind" >&2; exit 2 ;;
  esac
  # desktop-file-validate and man print nothing for a clean file.
  if [[ $kind != metainfo && -n $output ]]; then status=1; fi
  echo "== $file"
  echo "$output"
done
exit $status
