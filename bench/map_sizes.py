#!/usr/bin/env python3
"""Where the bytes of a linked MinGW program come from, read from its linker map.

    map_sizes.py MAP [--top N] [--agent-half SOURCE_ROOT]

Prints the bytes each of our source files and each library member contributes
(code and constant data that the linker kept, after --gc-sections), the sum per
library, and the largest kept functions and tables. Uninitialised data (.bss) takes
no room in the file and is left out.

With --agent-half, the bytes of the agent half (the source files in src/agent,
src/process and src/stub/Agent* under SOURCE_ROOT) are summed apart from the rest.
"""
import collections
import glob
import os
import re
import subprocess
import sys

KEPT = ('.text', '.rdata', '.data', '.eh_frame', '.CRT', '.tls', '.idata', '.ctors', '.dtors', '.rsrc')


def kept_sections(path):
    """(size, section, input file) for every input section the map shows as placed."""
    rows, pending, placed = [], None, False
    one_line = re.compile(r'^ (\.[^\s]+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$')
    name_only = re.compile(r'^ (\.[^\s]+)\s*$')
    continued = re.compile(r'^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$')
    for line in open(path, encoding='utf-8', errors='replace'):
        if line.startswith('Linker script and memory map'):
            placed = True
            continue
        if not placed:
            continue
        m = name_only.match(line)
        if m:
            pending = m.group(1)
            continue
        m = one_line.match(line)
        if m:
            section, size, source = m.group(1), int(m.group(3), 16), m.group(4)
        else:
            m = continued.match(line)
            if not (m and pending):
                pending = None
                continue
            section, size, source = pending, int(m.group(2), 16), m.group(3)
        pending = None
        if size and section.startswith(KEPT) and int(m.group(1 if m.re is continued else 2), 16):
            rows.append((size, section, source.strip()))
    return rows


def owner(source):
    """Our object files by their source path, library members as lib(member)."""
    m = re.search(r'([^/]+\.a)\(([^)]+)\)$', source)
    if m:
        lib, member = m.groups()
        if lib.startswith('libstubcore'):
            return 'src: ' + re.sub(r'\.obj$', '', member)
        return f'{lib}({member})'
    m = re.search(r'CMakeFiles/[^/]+\.dir/(.+?)(\.obj|\.res)$', source)
    if m:
        return 'src: ' + re.sub(r'.*/', '', m.group(1))
    return re.sub(r'.*/', '', source)


def demangle(names):
    if not names:
        return []
    try:
        out = subprocess.run(['c++filt'], input='\n'.join(names), capture_output=True, text=True).stdout
        return out.split('\n')[:len(names)]
    except OSError:
        return names


AGENT_HALF = ('src/agent/*.cpp', 'src/process/*.cpp', 'src/stub/Agent*.cpp')


def agent_sources(root):
    """Base names of the agent half's sources (library members carry no folder)."""
    names = set()
    for pattern in AGENT_HALF:
        names.update(os.path.basename(p) for p in glob.glob(os.path.join(root, pattern)))
    rest = set()
    for p in glob.glob(os.path.join(root, 'src', '**', '*.cpp'), recursive=True):
        rel = os.path.relpath(p, root)
        if not any(glob.fnmatch.fnmatch(rel, pattern) for pattern in AGENT_HALF):
            rest.add(os.path.basename(p))
    for clash in sorted(names & rest):
        print(f'note: {clash} exists in both halves; counted as agent code', file=sys.stderr)
    return names


def option(args, name, default):
    if name not in args:
        return default
    i = args.index(name)
    value = args[i + 1]
    del args[i:i + 2]
    return value


def main():
    args = sys.argv[1:]
    top = int(option(args, '--top', 25))
    agent_root = option(args, '--agent-half', None)
    if not args:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    rows = kept_sections(args[0])
    by_owner = collections.Counter()
    by_library = collections.Counter()
    for size, _, source in rows:
        o = owner(source)
        by_owner[o] += size
        by_library['our code' if o.startswith('src: ') else re.sub(r'\(.*', '', o)] += size
    total = sum(by_owner.values())
    print(f'kept bytes in all: {total}')
    print('\nper library:')
    for name, size in by_library.most_common():
        print(f'{size:9d}  {100.0 * size / total:5.1f} %  {name}')
    print(f'\nper source file and library member (largest {top}):')
    for name, size in by_owner.most_common(top):
        print(f'{size:9d}  {name}')
    functions = sorted(((s, sec.split('$', 1)[1], owner(src)) for s, sec, src in rows if '$' in sec),
                       reverse=True)[:top]
    if agent_root:
        names = agent_sources(agent_root)
        agent = {o: n for o, n in by_owner.items() if o.startswith('src: ') and o[5:] in names}
        print(f'\nagent half (src/agent, src/process, src/stub/Agent*): {sum(agent.values())} kept bytes')
        for name, size in sorted(agent.items(), key=lambda x: -x[1]):
            print(f'{size:9d}  {name}')
        print(f'AGENT_HALF_BYTES={sum(agent.values())}')
    print(f'\nlargest functions and tables (largest {top}):')
    for (size, _, where), name in zip(functions, demangle([f[1] for f in functions])):
        print(f'{size:9d}  {name[:90]}  [{where}]')
    return 0


if __name__ == '__main__':
    sys.exit(main())
