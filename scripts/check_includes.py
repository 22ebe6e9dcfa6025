#!/usr/bin/env python3
"""Checks every include of the project's C, C++ and resource files against the
boundaries the build draws, naming file and line of each fault:

- no include climbs out of a folder ("..");
- a header that names a library ("engine/Download.h") is found through the
  include folders of whatever compiles the file, that is, what compiles it
  links that library. The compiler looks beside the including file first, so
  a file in Updater/ would find "engine/Download.h" there whatever it links;
- a library's header is included by the name it is published under
  (build/<build>/include/<library>/...);
- nothing that ships is compiled with the tests' helpers on its include path.

What may include what is written once, in the libraries' target_link_libraries:
this check reads the compile commands CMake writes for each build.

usage: scripts/check_includes.py [build folder]...   (default: each of
       build/host, build/win32, build/win64 and build/fuzz that is configured)
"""
import json
import os
import re
import shlex
import subprocess
import sys

ROOT = os.path.realpath(os.path.join(os.path.dirname(__file__), '..'))
SOURCE_EXTENSIONS = ('.h', '.hpp', '.c', '.cc', '.cpp', '.rc', '.inl')
# Folders whose files never ship.
NOT_SHIPPED = {'tests', 'bench', 'fuzz'}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')


def includes_of(path):
    """(line number, delimiter, spelled path) of each include in a file."""
    found = []
    try:
        with open(path, encoding='utf-8', errors='replace') as text:
            for number, line in enumerate(text, 1):
                match = INCLUDE.match(line)
                if match:
                    found.append((number, match.group(1), match.group(2)))
    except OSError:
        pass
    return found


def relative(path):
    return os.path.relpath(path, ROOT)


def in_repository(path):
    real = os.path.realpath(path)
    return real.startswith(ROOT + os.sep) and not relative(real).startswith('build' + os.sep)


class Published:
    """The headers each library publishes, from the links under include/."""

    def __init__(self, builds):
        self.name_of = {}      # real path of a header -> its published name
        self.prefixes = set()  # first folders of published names: the libraries
        self.test_only = {}    # include root of tests' helpers -> library
        for build in builds:
            base = os.path.join(build, 'include')
            if not os.path.isdir(base):
                continue
            for library in sorted(os.listdir(base)):
                root = os.path.join(base, library)
                for folder, _, files in os.walk(root):
                    for name in files:
                        link = os.path.join(folder, name)
                        spelled = os.path.relpath(link, root).replace(os.sep, '/')
                        real = os.path.realpath(link)
                        self.name_of.setdefault(real, spelled)
                        self.prefixes.add(spelled.split('/')[0])
                        if NOT_SHIPPED & set(relative(real).split(os.sep)[:-1]):
                            self.test_only[os.path.realpath(root)] = library


def compile_entries(build):
    """(source file, include folders) of each compile command of a build."""
    with open(os.path.join(build, 'compile_commands.json')) as text:
        commands = json.load(text)
    for entry in commands:
        directory = entry['directory']
        arguments = []
        for argument in entry.get('arguments') or shlex.split(entry['command']):
            if argument.startswith('@'):  # a response file, as the Windows build writes
                with open(os.path.join(directory, argument[1:])) as response:
                    arguments.extend(shlex.split(response.read()))
            else:
                arguments.append(argument)
        folders = []
        at = 0
        while at < len(arguments):
            argument = arguments[at]
            for flag in ('-iquote', '-isystem', '-I'):
                if argument.startswith(flag):
                    folder = argument[len(flag):]
                    if not folder and at + 1 < len(arguments):
                        at += 1
                        folder = arguments[at]
                    folders.append(os.path.join(directory, folder))
                    break
            at += 1
        yield os.path.realpath(os.path.join(directory, entry['file'])), tuple(folders)


class Checker:
    def __init__(self, published):
        self.published = published
        self.faults = set()
        self.seen = set()

    def fault(self, path, line, message):
        self.faults.add((relative(path), line, message))

    def check_climbs(self, files):
        for path in files:
            for line, _, spelled in includes_of(path):
                if '..' in spelled.replace('\\', '/').split('/'):
                    self.fault(path, line, f'"{spelled}" climbs out of its folder: include it by '
                               'the name its library publishes')

    def check_not_shipped(self, source, folders):
        if NOT_SHIPPED & set(relative(source).split(os.sep)[:-1]):
            return
        for folder in folders:
            library = self.published.test_only.get(os.path.realpath(folder))
            if library:
                self.fault(source, 1, f'compiled with the tests\' helpers ({library}) on its '
                           'include path: only tests may link them')

    def check_from(self, source, folders):
        """Follows the quoted includes of a source the way the compiler does."""
        pending = [source]
        while pending:
            path = pending.pop()
            if (path, folders) in self.seen:
                continue
            self.seen.add((path, folders))
            for line, delimiter, spelled in includes_of(path):
                if delimiter != '"' or '..' in spelled.split('/'):
                    continue
                beside = os.path.join(os.path.dirname(path), spelled)
                through_path = next((os.path.join(folder, spelled) for folder in folders
                                     if os.path.isfile(os.path.join(folder, spelled))), None)
                found = beside if os.path.isfile(beside) else through_path
                library = spelled.split('/')[0] if '/' in spelled else None
                if library in self.published.prefixes and not through_path:
                    self.fault(path, line, f'"{spelled}" crosses a boundary: what compiles '
                               f'{relative(source)} does not link the library "{library}"')
                if not found:
                    continue  # a platform header, or one of another build
                real = os.path.realpath(found)
                published = self.published.name_of.get(real)
                if published and published != spelled and library not in self.published.prefixes:
                    self.fault(path, line, f'"{spelled}": include it as "{published}"')
                if in_repository(real):
                    pending.append(real)


def main(arguments):
    builds = [os.path.realpath(b) for b in arguments] or [
        os.path.join(ROOT, 'build', name) for name in ('host', 'win32', 'win64', 'fuzz')
        if os.path.isfile(os.path.join(ROOT, 'build', name, 'compile_commands.json'))]
    if not builds:
        print('check_includes: no configured build (scripts/build.sh makes them)', file=sys.stderr)
        return 2
    checker = Checker(Published(builds))
    tracked = subprocess.run(['git', '-C', ROOT, 'ls-files', '-z'], capture_output=True,
                             check=True).stdout.decode().split('\0')
    checker.check_climbs(os.path.join(ROOT, name) for name in tracked
                         if name.endswith(SOURCE_EXTENSIONS))
    for build in builds:
        for source, folders in compile_entries(build):
            if in_repository(source):
                checker.check_not_shipped(source, folders)
                checker.check_from(source, folders)
    for path, line, message in sorted(checker.faults):
        print(f'{path}:{line}: {message}')
    if checker.faults:
        print(f'check_includes: {len(checker.faults)} fault(s)', file=sys.stderr)
        return 1
    print(f'check_includes: the includes of {len(builds)} build(s) keep to the boundaries')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
