#!/usr/bin/env python3
"""Doxygen input filter for the Markdown pages (FILTER_PATTERNS in Doxyfile.in).

Doxygen 1.9 reads a backtick followed later by a single quote as typographic
quotes, not as a code span, so spans such as `'it''s'::text` lose their code
font and their `::text` or backslash turns into a link request or a command;
a backslash in a span (`\"`) is read as a command too. Such spans are written as <code> with the characters Doxygen would act on
escaped. Fenced blocks pass unchanged; lines are neither added nor removed.
"""
import re
import sys

SPAN = re.compile(r"`([^`\n]*['\\][^`\n]*)`")


def escaped(code: str) -> str:
    code = code.replace("\\", "\\\\").replace("::", "\\::").replace("@", "\\@").replace('"', '\\"')
    return "<code>" + code + "</code>"


def main() -> None:
    fenced = False
    with open(sys.argv[1], encoding="utf-8") as source:
        for line in source:
            if line.lstrip().startswith("```"):
                fenced = not fenced
            elif not fenced:
                line = SPAN.sub(lambda m: escaped(m.group(1)), line)
            sys.stdout.write(line)


if __name__ == "__main__":
    main()
