#!/usr/bin/env bash
# Starts a demonstration: the switch simulator on a local port and Corvane
# with a demo configuration on the claim-file source. Stop with Ctrl-C.
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
demo="$top/demo"
bin="$top/$build/bin"
switch_port=6191
inbound_port=6190

mkdir -p "$demo/claims" "$demo/responses" "$demo/archive" "$demo/logs"
settings="$demo/Corvane.reg"
cat > "$settings" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane\\Demo]
"DataSourceType"="File"
"ClaimFileMask"="$demo/claims/*.clm"
"ResponseFileFolder"="$demo/responses"
"ClaimFileArchiveFolder"="$demo/archive"
"EnableDebugMessages"="1"
"DebugFileName"="$demo/logs/TuqLog.txt"
"EnableNetworkDebugMessages"="1"
"NetworkDebugFileName"="$demo/logs/TuqNetLog.txt"
"SystemID"="DEMO"
"InboundHostName"="127.0.0.1"
"InboundPort"=dword:$(printf '%08x' $inbound_port)
"InboundSocketFormat"=dword:00000001
"EnableNetwork1"="1"
"OutboundHostName1"="127.0.0.1"
"OutboundPort1A"=dword:$(printf '%08x' $switch_port)
"OutboundPort1B"=dword:00000000
"EnableOutboundTwofishSecurity"="1"
REG
chmod 600 "$settings"

# A sample NCPDP 5.1 claim to copy into the claim folder.
fs=$'\x1c'; gs=$'\x1d'; rs=$'\x1e'
printf '%s' "610020""51""B1""TUQDEMO   ""1""01""1234567893     ""20261209""CORVANEDEM" \
  "${rs}${fs}AM04${fs}C2987654321${fs}CCJOHN${fs}CDSMITH" \
  "${rs}${fs}AM01${fs}C419800101${fs}C51" \
  "${gs}${rs}${fs}AM07${fs}EM1${fs}D20000001${fs}E103${fs}D700093101001${fs}E730000" \
  > "$demo/sample-claim.txt"

"$bin/tuq-switch-sim" --host 127.0.0.1 --port $switch_port --twofish &
sim=$!
corvane=""
trap 'kill $sim 2>/dev/null; [ -n "$corvane" ] && kill $corvane 2>/dev/null; wait 2>/dev/null' EXIT INT TERM

mode=""
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  mode="-headless"
  echo "No display: Corvane runs headless."
fi
CORVANE_SETTINGS="$settings" "$bin/corvane" $mode /config Demo &
corvane=$!

cat <<TEXT

Corvane is running with the demo configuration ($settings).
Drop a claim file into the claim folder, for example:

    cp "$demo/sample-claim.txt" "$demo/claims/one.clm"

Its response appears as $demo/responses/one.rsp within about a second,
and the claim moves to $demo/archive/.
Logs: $demo/logs/TuqLog.txt and $demo/logs/TuqNetLog.txt
Press Ctrl-C to stop.
TEXT
wait $corvane
