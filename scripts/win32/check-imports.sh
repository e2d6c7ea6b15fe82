#!/bin/bash
# Fails when a Windows program imports a DLL that is not part of Windows
# itself (the compiler's runtime must be linked in statically).
# usage: check-imports.sh PROGRAM.exe...
set -euo pipefail
system_dlls='^(kernel32|user32|gdi32|comctl32|comdlg32|advapi32|shell32|ole32|oleaut32|msvcrt|ntdll|ws2_32|bcrypt|uxtheme|version|setupapi|cfgmgr32|shlwapi|api-ms-win-[a-z0-9-]+)\.dll$'
status=0
for program in "$@"; do
    imports="$(x86_64-w64-mingw32-objdump -p "$program" | awk '/DLL Name:/ {print $3}')"
    if [ -z "$imports" ]; then
        echo "$program: no imports found" >&2
        status=1
    fi
    for dll in $imports; do
        if ! echo "$dll" | tr '[:upper:]' '[:lower:]' | grep -Eq "$system_dlls"; then
            echo "$program: imports $dll, which is not a Windows system DLL" >&2
            status=1
        fi
    done
    echo "$program imports: $(echo $imports)"
done
exit $status
