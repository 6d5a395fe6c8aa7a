#!/usr/bin/env bash
# Checks the installed tree as a host sees it: builds the release preset,
# installs it into a temporary prefix, copies that prefix elsewhere (so nothing
# can reach back into the source or build tree), then builds and runs
# examples/consumer through find_package and a one-file program through
# pkg-config against the copy; finally makes the Debian packages and looks into
# the development package.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$PWD"

scripts/ensure-deps.sh
cmake --preset release
cmake --build --preset release

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

cmake --install build/release --prefix "$scratch/stage"
# The prefix the checks use is a copy: include and library paths that point
# into the staging prefix or the build tree would be found broken.
cp -a "$scratch/stage" "$scratch/prefix"
rm -rf "$scratch/stage"
prefix="$scratch/prefix"
libdir="$(find "$prefix" -name 'libvoVerizezav.so' -printf '%h\n' | head -n 1)"

echo "check-install: CMake consumer (find_package)"
cmake -S examples/consumer -B "$scratch/consumer" -G Ninja \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix"
cmake --build "$scratch/consumer"
"$scratch/consumer/consumer"

echo "check-install: pkg-config consumer"
cat > "$scratch/pc_main.cpp" <<'CPP'
#include <kymetamodel.h>
#include <kyversion.h>
#include <cstring>
#include <iostream>

int main() {
    auto model = ky::metamodel::modelInfo::createModelInfo(false);
    auto cls = model->createClassInfo(_T("Item"), false);
    if (!cls) return 1;
    std::cout << "pkg-config consumer: voVerizezav " << ky::versionString() << "\n";
    return std::strcmp(ky::versionString(), KY_VERSION_STRING) == 0 ? 0 : 1;
}
CPP
flags="$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs voVerizezav)"
case "$flags" in
  *"$root"*) echo "check-install: pkg-config flags reach into the source tree: $flags" >&2; exit 1 ;;
esac
# shellcheck disable=SC2086
g++ -std=c++20 -Wall -Wextra -Werror "$scratch/pc_main.cpp" -o "$scratch/pc_main" $flags
LD_LIBRARY_PATH="$libdir" "$scratch/pc_main"

echo "check-install: pkg-config consumer of the model-file library"
cat > "$scratch/pc_file.cpp" <<'CPP'
#include <kymdlfile.h>
#include <iostream>

int main() {
    namespace file = ky::metamodel::file;
    const file::loadResult loaded = file::loadModelText(
        "{\"classes\": [{\"name\": \"Item\", \"fields\": [{\"name\": \"id\", \"type\": \"int\", \"semantic\": \"primkey\"}]}]}",
        L"item.json");
    if (!loaded.model || loaded.model->countClasses() != 1) return 1;
    std::cout << "pkg-config consumer: voVerizezavFile loaded " << loaded.model->countClasses() << " class\n";
    return 0;
}
CPP
file_flags="$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs voVerizezavFile)"
case "$file_flags" in
  *"$root"*) echo "check-install: pkg-config flags reach into the source tree: $file_flags" >&2; exit 1 ;;
esac
# shellcheck disable=SC2086
g++ -std=c++20 -Wall -Wextra -Werror "$scratch/pc_file.cpp" -o "$scratch/pc_file" $file_flags
LD_LIBRARY_PATH="$libdir" "$scratch/pc_file"

echo "check-install: SQL consumer (find_package, voVerizezav::sql)"
mkdir -p "$scratch/sqlsrc"
cat > "$scratch/sqlsrc/main.cpp" <<'CPP'
#include <kymdlsql.h>
#include <iostream>

// Writes a one-class model into a SQLite database in memory's place (a
// temporary file) and reflects it back.
int main(int argc, char** argv) {
    if (argc < 2) return 2;
    using namespace ky::metamodel;
    auto model = modelInfo::createModelInfo(false);
    auto cls = model->createClassInfo(_T("order"), false);
    cls->createFieldInfo(_T("id"), eInt, ky::genericSet(), _T(""))->setSemantic(eSemPrimkey, ky::genericSet(), _T(""));
    const sql::ddlResult ddl = sql::createDdl(*model, sql::ddlOptions());
    if (!sql::executeDdlOnSqliteFile(argv[1], ddl.text).empty()) return 1;
    const sql::reflectResult back = sql::reflectSqliteFile(argv[1], sql::reflectOptions());
    if (!back.model || !back.model->classInfo(_T("order"), false)) return 1;
    std::cout << "sql consumer: " << ddl.text;
    return 0;
}
CPP
cat > "$scratch/sqlsrc/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(sql_consumer LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(voVerizezav REQUIRED)
add_executable(sql_consumer main.cpp)
target_link_libraries(sql_consumer PRIVATE voVerizezav::sql)
CMAKE
cmake -S "$scratch/sqlsrc" -B "$scratch/sqlbuild" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix"
cmake --build "$scratch/sqlbuild"
"$scratch/sqlbuild/sql_consumer" "$scratch/cmake.sqlite"

echo "check-install: SQL consumer (pkg-config voVerizezavSql)"
sqlflags="$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs voVerizezavSql)"
case "$sqlflags" in
  *"$root"*) echo "check-install: pkg-config flags reach into the source tree: $sqlflags" >&2; exit 1 ;;
esac
# shellcheck disable=SC2086
g++ -std=c++20 -Wall -Wextra -Werror "$scratch/sqlsrc/main.cpp" -o "$scratch/sql_pc" $sqlflags
LD_LIBRARY_PATH="$libdir" "$scratch/sql_pc" "$scratch/pc.sqlite"

echo "check-install: Debian packages (cpack -G DEB)"
(cd build/release && rm -f ./*.deb && cpack -G DEB)
dev_deb="$(ls build/release/libvoverizezav-dev_*.deb)"
dpkg-deb -I build/release/libvoverizezav0_*.deb >/dev/null
dpkg -x "$dev_deb" "$scratch/debroot"
for wanted in \
    include/voVerizezav/kymetamodel.h \
    include/voVerizezav/kymdlfile.h \
    include/voVerizezav/kymdlfileexport.h \
    include/voVerizezav/kyversion.h \
    include/voVerizezav/kymdlsql.h \
    include/voVerizezav/kymdlsqlexport.h \
    lib/cmake/voVerizezav/voVerizezavConfig.cmake \
    lib/cmake/voVerizezav/voVerizezavConfigVersion.cmake \
    lib/cmake/voVerizezav/voVerizezavTargets.cmake \
    lib/pkgconfig/reRazud.pc \
    lib/pkgconfig/voVerizezav.pc \
    lib/pkgconfig/voVerizezavFile.pc \
    lib/pkgconfig/voVerizezavSql.pc; do
  if [[ ! -e "$scratch/debroot/usr/$wanted" ]]; then
    echo "check-install: $dev_deb lacks /usr/$wanted" >&2
    exit 1
  fi
done

echo "check-install: API documentation (docs target)"
# Every public member is documented: any Doxygen warning fails the check.
doxygen_log="$(cmake --build build/release --target docs 2>&1 || true)"
warnings="$(grep -c 'warning:' <<<"$doxygen_log" || true)"
echo "check-install: doxygen warnings: $warnings"
if [[ "$warnings" -ne 0 ]]; then
  grep 'warning:' <<<"$doxygen_log" | head -n 40 >&2
  exit 1
fi

echo "check-install: all checks passed"
