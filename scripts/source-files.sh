#!/bin/sh
# Lists the C++ files of the sources (every .cpp and .h under src, tests, bench and fuzz), one per
# line, sorted. The list is taken from the folders themselves, never from git, so that a clone and
# a copy of the sources without git (a downloaded archive) check the same files.
cd "$(dirname "$0")/.."
find src tests bench fuzz -type f \( -name '*.cpp' -o -name '*.h' \) | LC_ALL=C sort
