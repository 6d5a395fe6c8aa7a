#!/usr/bin/env bash
# Checks the installed tree as a host sees it: builds the release preset,
# installs it into a temporary prefix, copies that prefix elsewhere (so nothing
# can reach back into the source or build tree), then builds and runs
# consumers of each CMake package component and of each pkg-config file
# against the copy; finally makes the Debian packages (the package workflow),
# runs lintian on them and looks into them.
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

# configure_consumer NAME SOURCE_DIR [CMAKE_ARGS...]: configures and builds a
# consumer project against the copied prefix.
configure_consumer() {
  local name="$1" source="$2"
  shift 2
  cmake -S "$source" -B "$scratch/$name" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" "$@"
  cmake --build "$scratch/$name"
}

echo "check-install: CMake consumer of the components core and file (examples/consumer)"
configure_consumer consumer examples/consumer
"$scratch/consumer/consumer"

# A consumer of the core alone configures where none of the libraries' own
# dependencies could be found: the package asks for none of them.
echo "check-install: CMake consumer of the core alone, without ICU, libyaml, SQLite or libpq"
mkdir -p "$scratch/coresrc"
cat > "$scratch/coresrc/main.cpp" <<'CPP'
#include <kymetamodel.h>
#include <iostream>

int main() {
    auto model = ky::metamodel::modelInfo::createModelInfo(false);
    if (!model->createClassInfo(_T("Item"), false)) return 1;
    std::cout << "core consumer: " << model->countClasses() << " class\n";
    return 0;
}
CPP
cat > "$scratch/coresrc/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(core_consumer LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(voVerizezav 0.3 REQUIRED COMPONENTS core)
foreach(component core file sql)
  message(STATUS "voVerizezav_${component}_FOUND: ${voVerizezav_${component}_FOUND}")
endforeach()
if(TARGET voVerizezav::sql OR TARGET voVerizezav::file)
  message(FATAL_ERROR "asking for the core loaded other components")
endif()
add_executable(core_consumer main.cpp)
target_link_libraries(core_consumer PRIVATE voVerizezav::voVerizezav)
CMAKE
configure_consumer corebuild "$scratch/coresrc" \
  -DCMAKE_DISABLE_FIND_PACKAGE_ICU=ON -DCMAKE_DISABLE_FIND_PACKAGE_SQLite3=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_PostgreSQL=ON -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON
"$scratch/corebuild/core_consumer"

echo "check-install: a component the package does not have is refused"
mkdir -p "$scratch/nosuchsrc"
cat > "$scratch/nosuchsrc/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(nosuch_consumer LANGUAGES CXX)
find_package(voVerizezav 0.3 REQUIRED COMPONENTS core nosuch)
CMAKE
if nosuch_log="$(cmake -S "$scratch/nosuchsrc" -B "$scratch/nosuchbuild" -DCMAKE_PREFIX_PATH="$prefix" 2>&1)"; then
  echo "check-install: find_package with COMPONENTS nosuch succeeded" >&2
  exit 1
fi
if ! grep -q 'no component "nosuch"' <<<"$nosuch_log"; then
  echo "check-install: the failure does not name the component:" >&2
  echo "$nosuch_log" >&2
  exit 1
fi

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

echo "check-install: CMake consumer of the component sql"
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
find_package(voVerizezav 0.3 REQUIRED COMPONENTS sql)
if(NOT voVerizezav_sql_FOUND)
  message(FATAL_ERROR "voVerizezav_sql_FOUND is not set")
endif()
add_executable(sql_consumer main.cpp)
target_link_libraries(sql_consumer PRIVATE voVerizezav::sql)
CMAKE
configure_consumer sqlbuild "$scratch/sqlsrc"
"$scratch/sqlbuild/sql_consumer" "$scratch/cmake.sqlite"

echo "check-install: SQL consumer (pkg-config voVerizezavSql)"
sqlflags="$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs voVerizezavSql)"
case "$sqlflags" in
  *"$root"*) echo "check-install: pkg-config flags reach into the source tree: $sqlflags" >&2; exit 1 ;;
  *postgresql*|*-lpq*|*-lsqlite3*|*-lyaml*|*icu*)
    echo "check-install: pkg-config flags name a private dependency: $sqlflags" >&2; exit 1 ;;
esac
# shellcheck disable=SC2086
g++ -std=c++20 -Wall -Wextra -Werror "$scratch/sqlsrc/main.cpp" -o "$scratch/sql_pc" $sqlflags
LD_LIBRARY_PATH="$libdir" "$scratch/sql_pc" "$scratch/pc.sqlite"

echo "check-install: Debian packages (cmake --workflow --preset package)"
rm -f build/package/*.deb build/package/*.ddeb
cmake --workflow --preset package
version="$(sed -n 's/^#define KY_VERSION_STRING "\([^"]*\)".*/\1/p' build/package/generated/inc/kyversion.h)"
multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
packages=(librerazud0 libvoverizezav0 libvoverizezavfile0 libvoverizezavsql0 libvoverizezav-dev kymdl)
debs=()
for package in "${packages[@]}"; do
  deb="$(ls build/package/"${package}_${version}"_*.deb)"
  debs+=("$deb")
  dpkg -x "$deb" "$scratch/debroot"
done

echo "check-install: lintian -EvIL +pedantic"
lintian_log="$(lintian -EvIL +pedantic --tag-display-limit 0 "${debs[@]}" 2>&1 || true)"
if grep -E '^[EW]: ' <<<"$lintian_log" >&2; then
  echo "check-install: lintian reports errors or warnings (above)" >&2
  exit 1
fi

for wanted in \
    include/voVerizezav/kymetamodel.h \
    include/voVerizezav/kymdlfile.h \
    include/voVerizezav/kymdlfileexport.h \
    include/voVerizezav/kyversion.h \
    include/voVerizezav/kymdlsql.h \
    include/voVerizezav/kymdlsqlexport.h \
    "lib/$multiarch/cmake/voVerizezav/voVerizezavConfig.cmake" \
    "lib/$multiarch/cmake/voVerizezav/voVerizezavConfigVersion.cmake" \
    "lib/$multiarch/cmake/voVerizezav/voVerizezav-core-targets.cmake" \
    "lib/$multiarch/cmake/voVerizezav/voVerizezav-file-targets.cmake" \
    "lib/$multiarch/cmake/voVerizezav/voVerizezav-sql-targets.cmake" \
    "lib/$multiarch/pkgconfig/voVerizezavSql.pc" \
    "lib/$multiarch/libvoVerizezavSql.so.0" \
    bin/kymdl \
    share/man/man1/kymdl.1.gz \
    share/bash-completion/completions/kymdl \
    share/zsh/vendor-completions/_kymdl \
    share/fish/vendor_completions.d/kymdl.fish \
    share/voverizezav/model-file.schema.json \
    share/doc/kymdl/copyright \
    share/doc/kymdl/changelog.gz; do
  if [[ ! -e "$scratch/debroot/usr/$wanted" ]]; then
    echo "check-install: no package holds /usr/$wanted" >&2
    exit 1
  fi
done
if man --warnings -l "$scratch/debroot/usr/share/man/man1/kymdl.1.gz" 2>&1 >/dev/null | grep .; then
  echo "check-install: the man page has warnings (above)" >&2
  exit 1
fi
if ! bash -c 'source /usr/share/bash-completion/bash_completion 2>/dev/null; source "$1"; complete -p kymdl' _ \
    "$scratch/debroot/usr/share/bash-completion/completions/kymdl" >/dev/null; then
  echo "check-install: the bash completion does not load" >&2
  exit 1
fi

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
