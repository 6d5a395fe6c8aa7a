# Writes kymdl's man page from its own help: the top-level --help through
# help2man, with a section per subcommand made from `kymdl SUB --help`, so the
# page never drifts from the tool. Run as
#   cmake -DKYMDL=<tool> -DHELP2MAN=<help2man> -DOUT=<kymdl.1.gz> -P manpage.cmake
execute_process(COMMAND "${KYMDL}" --help OUTPUT_VARIABLE top RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "kymdl --help failed: ${status}")
endif()

# The subcommands are the first words of the lines after "Subcommands:".
string(REGEX REPLACE ".*\nSubcommands:\n" "" listing "${top}")
string(REGEX MATCHALL "\n  [a-z]+" names "\n${listing}")
set(include_text "[DESCRIPTION]\nkymdl works with models kept in model files (YAML or JSON) without a program\nof its own: it checks them, shows what they hold, answers lookups, converts\nbetween the formats, writes the DDL of their tables, reflects a live database\ninto a model file and draws class diagrams. Results go to standard output or\nto the file given with -o; diagnostics go to standard error, one per line.\n\n[SUBCOMMANDS]\n")
foreach(name IN LISTS names)
  string(STRIP "${name}" name)
  execute_process(COMMAND "${KYMDL}" ${name} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "kymdl ${name} --help failed: ${status}")
  endif()
  # Leading dots and quotes would read as roff requests.
  string(REGEX REPLACE "\n([.'])" "\n\\\\&\\1" help "\n${help}")
  string(APPEND include_text ".SS ${name}\n.nf\n${help}\n.fi\n")
endforeach()
string(APPEND include_text "\n[EXIT STATUS]\n0 done; 1 the input has errors, a lookup found nothing, or a file could not be read or written; 2 a usage error.\n\n[ENVIRONMENT]\n.TP\n.B NO_COLOR\nwhen set and not empty, diagnostics are never coloured.\n")

get_filename_component(dir "${OUT}" DIRECTORY)
set(include_file "${dir}/kymdl.h2m")
set(page "${dir}/kymdl.1")
file(WRITE "${include_file}" "${include_text}")
execute_process(
  COMMAND "${HELP2MAN}" --no-info --section=1
    "--name=check, convert, reflect and draw voVerizezav model files"
    "--include=${include_file}" --output=${page} "${KYMDL}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed: ${status}")
endif()
execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed: ${status}")
endif()
