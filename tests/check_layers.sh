#!/usr/bin/env bash
# The shape of the code, checked on every build:
# - the core is standard C++: no toolkit and no operating-system header may appear in it;
# - each folder includes only the folders below it, so a dependency that runs the wrong way
#   is caught even where the linker would not notice it (a header-only use).
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
core_dirs=(src/ports src/protocol src/store src/station src/editor src/discovery src/diag src/stats src/sfn src/monitor src/plant src/web src/app)
bad=0
for d in "${core_dirs[@]}"; do
  [ -d "$root/$d" ] || continue
  hits=$(grep -rnE '^\s*#\s*include\s*[<"](Q[A-Za-z]*|qt[a-z]*/|sys/|netinet/|arpa/|net/|linux/|unistd\.h|fcntl\.h|poll\.h|ifaddrs\.h|pthread\.h|dlfcn\.h)' "$root/$d" || true)
  if [ -n "$hits" ]; then
    echo "$hits"
    echo "core layer includes a toolkit or system header"
    bad=1
  fi
done

# folder: the folders it may include (besides itself)
declare -A allowed=(
  [src/ports]=""
  [src/protocol]="ports"
  [src/store]="ports protocol"
  [src/station]="ports protocol store"
  [src/editor]="ports protocol store station"
  [src/discovery]="ports protocol store station editor"
  [src/diag]="ports protocol store station editor"
  [src/stats]="ports protocol store station editor"
  [src/sfn]="ports protocol store station editor"
  [src/monitor]="ports protocol store station editor stats"
  [src/plant]="ports protocol store station editor stats sfn monitor"
  [src/web]="ports protocol store station editor stats monitor plant"
  [src/app]="ports protocol store station editor discovery diag stats sfn monitor plant"
  [src/platform]="ports protocol store"
  [sim]="ports protocol sim"
  [src/runtime]="ports protocol store station platform sim monitor plant web"
  [src/ui]="ports protocol store station editor discovery diag stats sfn monitor plant web app platform runtime"
  [src/cli]="ports protocol store station editor discovery diag stats sfn monitor plant web app platform runtime"
)
for d in "${!allowed[@]}"; do
  [ -d "$root/$d" ] || continue
  self=$(basename "$d")
  while IFS= read -r line; do
    [ -n "$line" ] || continue
    folder=$(sed -E 's/.*#\s*include\s*"([a-z_]+)\/.*/\1/' <<<"$line")
    [ "$folder" = "$self" ] && continue
    case " ${allowed[$d]} " in
      *" $folder "*) ;;
      *) echo "$line"; echo "$d may not include $folder/"; bad=1 ;;
    esac
  done < <(grep -rnE '^\s*#\s*include\s*"[a-z_]+/' "$root/$d" || true)
done
# The command line runs on a headless server: no widget, no GUI class.
if grep -rnE '#\s*include\s*<Q(Application|Widget|Gui|MessageBox|Dialog)' "$root/src/cli" "$root/src/runtime" "$root/src/platform" 2>/dev/null; then
  echo "a headless layer includes Qt Widgets or Gui"
  bad=1
fi
# The main window model is start-up, the tree, the toolbar and the main socket: only the front
# ends and the station fixture of the tests reach it; every conversation with an element has a
# home of its own that the others reach instead.
while IFS= read -r hit; do
  [ -n "$hit" ] || continue
  case "${hit#"$root"/}" in
    src/app/*|src/ui/*|src/cli/*|tests/support/*) ;;
    *) echo "$hit"; echo "only src/app, src/ui, src/cli and tests/support may include app/frm_main.h"; bad=1 ;;
  esac
done < <(grep -rlE '^\s*#\s*include\s*"app/frm_main\.h"' "$root/src" "$root/tests" "$root/bench" "$root/fuzz" "$root/sim" 2>/dev/null || true)
if [ "$bad" = 1 ]; then exit 1; fi
echo "every layer includes only what lies below it"
