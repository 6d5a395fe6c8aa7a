#!/usr/bin/env bash
# Renders kymdl's Mermaid output of tests/mermaid/keywords.yaml (classes named
# like Mermaid keywords, and names that fold to one id) with the Mermaid
# command-line renderer in Debian's Chromium, and checks that every class is
# drawn under its real name. Usage: check-mermaid.sh KYMDL
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
kymdl="$(realpath "$1")"

work="build/mermaid"
mkdir -p "$work"
cp tests/mermaid/package.json tests/mermaid/package-lock.json "$work/"
# Puppeteer's own browser download is skipped: the renderer drives /usr/bin/chromium.
(cd "$work" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --ignore-scripts >/dev/null)

cat > "$work/puppeteer.json" <<'JSON'
{
  "executablePath": "/usr/bin/chromium",
  "args": ["--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
           "--disable-component-update", "--disable-sync", "--no-first-run"]
}
JSON
"$kymdl" diagram tests/mermaid/keywords.yaml --format mermaid -o "$work/keywords.mmd"
rm -f "$work/keywords.svg"
(cd "$work" && npx --no-install mmdc -q -p puppeteer.json -i keywords.mmd -o keywords.svg)
for name in click note link a-b a_b classDiagram end 2fast; do
  if ! grep -q ">$name<" "$work/keywords.svg"; then
    echo "check-mermaid: the rendered diagram does not name the class $name" >&2
    exit 1
  fi
done
echo "check-mermaid: Mermaid renders every class of tests/mermaid/keywords.yaml"
