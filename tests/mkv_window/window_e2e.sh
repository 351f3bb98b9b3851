#!/usr/bin/env bash
# window_e2e.sh VANTREL_MKV VANTREL_CLI SAMPLE_DISC: vantrel-mkv driven as a
# person drives it, under the X server and window manager of
# under_window_manager.sh. Started with the three-clip disc and -o, Ctrl+Return
# writes what vantrel-cli mkv writes for the same disc (mkvmerge -J's tracks,
# ffprobe's packets with their hashes); a run over a larger file stopped with
# Escape ends "Cancelled" and leaves its folder empty. Exit 77: a tool missing.
set -euo pipefail
mkv=$1 cli=$2 sample=$3
for tool in xdotool mkvmerge ffprobe python3; do
  command -v "$tool" >/dev/null || { echo "$tool missing" >&2; exit 77; }
done
work=$(mktemp -d)
pid=
cleanup() {
  local status=$?
  set +e
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT

# The window's title, once it is mapped.
title() { xdotool search --onlyvisible --name 'Vantrel MKV$' getwindowname 2>/dev/null | head -n1 || true; }
window() { xdotool search --onlyvisible --name 'Vantrel MKV$' 2>/dev/null | head -n1 || true; }
press() { xdotool windowactivate --sync "$(window)" key --clearmodifiers "$1"; }
# wait_title PATTERN SECONDS: until the title matches the extended regex.
wait_title() {
  local t
  for _ in $(seq $(($2 * 10))); do
    t=$(title)
    if [[ $t =~ $1 ]]; then echo "$t"; return 0; fi
    sleep 0.1
  done
  echo "title \"$(title)\" never matched $1" >&2
  return 1
}
# start_job: Ctrl+Return until the job runs (Start waits for the title's tracks).
start_job() {
  for _ in $(seq 60); do
    press ctrl+Return
    sleep 0.5
    [ "$(title)" != "Vantrel MKV" ] && return 0
  done
  echo "Ctrl+Return started nothing" >&2
  return 1
}

"$sample" --three-clips "$work/disc" >/dev/null
mkdir "$work/out" "$work/cli"
"$mkv" "$work/disc" -o "$work/out/feature.mkv" &
pid=$!
wait_title '^Vantrel MKV$' 60 >/dev/null
start_job
wait_title '^Done - Feature - Vantrel MKV$' 120
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=

"$cli" mkv "$work/disc" -o "$work/cli/feature.mkv" >/dev/null 2>&1
tracks() {
  mkvmerge -J "$1" | python3 -c '
import json, sys
for t in json.load(sys.stdin)["tracks"]:
    p = {k: v for k, v in t["properties"].items() if k not in ("uid", "number")}
    print(t["type"], t["codec"], json.dumps(p, sort_keys=True))'
}
# Every packet's stream, times, size, flags and data hash (not its place in the file: the headers'
# length varies with the muxing date).
packets() {
  ffprobe -v error -show_entries packet=stream_index,pts,dts,duration,size,flags,data_hash -show_data_hash md5 \
    -of compact "$1" 2>/dev/null
}
diff <(tracks "$work/cli/feature.mkv") <(tracks "$work/out/feature.mkv")
diff <(packets "$work/cli/feature.mkv") <(packets "$work/out/feature.mkv")
[ "$(tracks "$work/out/feature.mkv" | wc -l)" -eq 9 ]

# The second run: a larger file (two parts of 6000 frames, about 210 MB, its
# playlist taken away: the file alone, continued into its second part),
# stopped with Escape while it runs. The muxer is mkvmerge started a few
# seconds late, so that Escape finds the prepared files in place however fast
# this machine reads.
"$sample" "$work/big" 6000 >/dev/null
rm -r "$work/big/ADV_OBJ"
mkdir "$work/out2" "$work/bin"
printf '#!/bin/sh\ncase "$1" in @*) sleep 5 ;; esac\nexec %s "$@"\n' "$(command -v mkvmerge)" >"$work/bin/mkvmerge"
chmod +x "$work/bin/mkvmerge"
PATH="$work/bin:$PATH" "$mkv" "$work/big/HVDVD_TS/FEATURE_1.EVO" -o "$work/out2/big.mkv" &
pid=$!
wait_title '^Vantrel MKV$' 60 >/dev/null
start_job
wait_title '^[0-9]+% - ' 60 >/dev/null
press Escape
wait_title '^Cancelled - ' 60
if [ -n "$(ls -A "$work/out2")" ]; then
  echo "left behind:" >&2
  ls -la "$work/out2" >&2
  exit 1
fi
echo "done and cancelled as meant"
