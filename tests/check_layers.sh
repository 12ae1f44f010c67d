#!/usr/bin/env bash
# The core is standard C++: no toolkit and no operating-system header may appear in it.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
core_dirs=(src/ports src/protocol src/store src/editor src/discovery src/diag src/stats src/sfn src/app)
bad=0
for d in "${core_dirs[@]}"; do
  [ -d "$root/$d" ] || continue
  hits=$(grep -rnE '^\s*#\s*include\s*[<"](Q[A-Za-z]*|qt[a-z]*/|sys/|netinet/|arpa/|net/|linux/|unistd\.h|fcntl\.h|poll\.h|ifaddrs\.h|pthread\.h|dlfcn\.h)' "$root/$d" || true)
  if [ -n "$hits" ]; then
    echo "$hits"
    bad=1
  fi
done
if [ "$bad" = 1 ]; then
  echo "core layer includes a toolkit or system header"
  exit 1
fi
echo "core layer is standard C++ only"
