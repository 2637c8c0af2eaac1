#!/bin/sh
# The subsystems of src/ include only downwards (docs/architecture.md): a new include
# that points up the list fails here, naming the file and the line.
set -eu
src=$(cd "$(dirname "$0")/../../src" && pwd)
allowed() { # from to
  case "$1:$2" in
  "$1:$1") return 0 ;;
  stub:*) return 0 ;;
  agent:package | agent:net | agent:dialogs | agent:folders | agent:process | agent:util) return 0 ;;
  package:dialogs | package:util) return 0 ;;
  net:util | dialogs:util | folders:util) return 0 ;;
  process:util) return 0 ;;
  esac
  return 1
}
# The one arrow out of util: the language file reads the package's language settings.
exception() { [ "$1" = "util/LanguageFile.cpp" ] && [ "$2" = "package/PackageReader.h" ]; }

for file in $(cd "$src" && find . -name '*.h' -o -name '*.cpp' | sed 's#^\./##' | sort); do
  from=${file%%/*}
  grep -n '^#include "[a-z]*/' "$src/$file" | while IFS= read -r line; do
    target=$(printf '%s' "$line" | sed 's/.*#include "\([^"]*\)".*/\1/')
    to=${target%%/*}
    allowed "$from" "$to" || exception "$file" "$target" ||
      { echo "src/$file:${line%%:*}: $from must not include $target"; echo x; }
  done
done | { out=$(cat); [ -z "$out" ] || { printf '%s\n' "$out" | grep -v '^x$' >&2; exit 1; }; }
echo "includes follow the layers"
