#!/usr/bin/env bash
# The folders are layers that use only those below them: platform, then
# the picture pipeline, download and library, then catalogue, skin, and app
# on top, which alone holds windows. libjpeg is spoken to by the picture
# layer alone, and the root-window backend in platform/ gets its pictures
# through a loader handed down to it, never by including the layer above. Waits are events and timers, never a loop that pumps events
# or sleeps on the GUI thread. Each rule is checked on the sources, so a
# change that breaks one fails here with the line that breaks it.
# Argument: the source folder.
set -uo pipefail
cd "${1:?usage: check_layers.sh SOURCE_DIR}" || exit 2

failures=0
report() {
  echo "layers: $1" >&2
  sed 's/^/  /' >&2
  failures=$((failures + 1))
}
# check DESCRIPTION PATTERN FOLDER...: no line of a source in the folders matches.
check() {
  local description=$1 pattern=$2 found
  shift 2
  found=$(grep -rnE --include='*.cpp' --include='*.h' "$pattern" "$@" 2>/dev/null)
  [[ -z $found ]] || report "$description" <<<"$found"
}

readonly BELOW_APP=(platform picture download library catalogue)
readonly WIDGET_HEADERS='#include <(QtWidgets/)?Q(Widget|Application|Dialog|Label|AbstractButton|PushButton|MessageBox|FileDialog|Menu|Action|SystemTrayIcon|ListWidget|Frame|MainWindow|StyleOption[A-Za-z]*|Layout|BoxLayout|GridLayout)>'

check "a widget header below app/" "$WIDGET_HEADERS" "${BELOW_APP[@]}"
check "an app/ header below app/" '#include "app/' "${BELOW_APP[@]}" skin
check "a skin/ header below skin/" '#include "skin/' "${BELOW_APP[@]}"
check "catalogue/ used below it" '#include "catalogue/' platform picture download library
check "library/ used below it" '#include "library/' platform picture download
check "download/ used below it" '#include "download/' platform picture
check "picture/ used by platform/" '#include "picture/' platform
# Tests may make odd JPEGs with libjpeg itself; the program reads them in one place.
check "libjpeg used outside picture/" '#include [<"](jpeglib|jerror|turbojpeg)\.h[>"]' \
  platform download library catalogue skin app tools bench
check "a main window member defined outside app/" 'TfrmMain::' "${BELOW_APP[@]}" skin
check "a nested event loop in program code" 'processEvents' "${BELOW_APP[@]}" skin app
check "sleeping in program code" '(msleep|usleep|QThread::sleep|sleep_for)' picture download library catalogue skin app
check "sleeping in an adapter other than the socket's" '(msleep|usleep|QThread::sleep|sleep_for)' \
  $(ls platform/*.cpp platform/*.h | grep -v BlockingSocket)

# Services come in through the context the program's entry builds: no
# installable service, no test hook, no process-wide holder of one.
readonly PROGRAM_CODE=(platform picture download library catalogue skin app)
check_program() {
  local description=$1 pattern=$2 allowed=${3:-'^$'} found
  found=$(grep -rnE --include='*.cpp' --include='*.h' "$pattern" "${PROGRAM_CODE[@]}" 2>/dev/null |
    grep -vE "$allowed")
  [[ -z $found ]] || report "$description" <<<"$found"
}
# The folders are chosen once, where the context is built; everything else is
# handed them (an accessor of the folder handed in is no call).
check_program "the data or executable folder asked for below the entry" '(^|[^.>:A-Za-z0-9_])(dataFolder|exeFolder)\(\)' \
  '^(platform/ProgramFolder\.(h|cpp)|app/ProgramStart\.cpp):|(dataFolder|exeFolder)\(\) const'

check_program "a test hook in program code" 'ForTesting\b'
check_program "a service singleton or a global registry" \
  'static (const )?(std::)?(unique_ptr|shared_ptr|map|unordered_map|vector|set|list|QHash|QMap|QList|QVector)<.*> *[A-Za-z_][A-Za-z_0-9]* *(=|;|\{)'
check_program "a mutable global in program code" 'static (Q[A-Z][A-Za-z]*|std::string) [A-Za-z_][A-Za-z_0-9]* *;'

# Widgets are linked by the layers that draw, and by nothing below them.
for folder in "${BELOW_APP[@]}"; do
  found=$(grep -n 'Widgets' "$folder/CMakeLists.txt")
  [[ -z $found ]] || report "$folder/ links Qt Widgets" <<<"$found"
done

if ((failures > 0)); then
  echo "layers: $failures rule(s) broken" >&2
  exit 1
fi
echo "layers: every rule holds"
