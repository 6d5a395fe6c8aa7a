// The site of `kymdl doc` in headless Chromium, opened from file://: the
// search of the index, a class page's field table and links, screenshots
// neither blank nor cut, HTML5 without errors, no serious accessibility
// violation in light or dark mode, and every link leading to a file.
//   node site.test.mjs KYMDL MODEL [MORE_SITE_DIRS...]
// MORE_SITE_DIRS are sites written before (such as a large model's) whose
// pages are checked for HTML5 and links too; with MODEL "-" only they are.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { pathToFileURL, fileURLToPath } from "node:url";
import puppeteer from "puppeteer-core";
import { HtmlValidate } from "html-validate";

const here = path.dirname(fileURLToPath(import.meta.url));
const [kymdl, model, ...moreSites] = process.argv.slice(2);
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "kymdl-docsite-"));
const site = path.join(scratch, "site");
const withShop = model !== "-";
let browser;

function pagesOf(dir) {
  return fs.readdirSync(dir, { recursive: true }).filter((f) => f.endsWith(".html")).map((f) => path.join(dir, f));
}

before(async () => {
  if (!withShop) return;
  execFileSync(kymdl, ["doc", model, "-o", site], { stdio: ["ignore", "ignore", "inherit"] });
  browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    headless: true,
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
      "--disable-component-update", "--disable-sync", "--no-first-run", "--allow-file-access-from-files"],
    userDataDir: path.join(scratch, "profile"),
  });
});

after(async () => {
  if (browser) await browser.close();
  fs.rmSync(scratch, { recursive: true, force: true });
});

async function open(file, query = "") {
  const page = await browser.newPage();
  await page.setViewport({ width: 1200, height: 800 });
  await page.goto(pathToFileURL(file).href + query, { waitUntil: "load" });
  return page;
}

// The shot of the whole page, drawn onto a canvas of the page itself: its
// size against the page's scroll size, and how many colours it holds.
async function shotFacts(page) {
  const png = await page.screenshot({ fullPage: true, encoding: "base64" });
  const scroll = await page.evaluate(() => [document.documentElement.scrollWidth, document.documentElement.scrollHeight]);
  const shot = await page.evaluate(async (data) => {
    const img = new Image();
    img.src = "data:image/png;base64," + data;
    await img.decode();
    const canvas = document.createElement("canvas");
    canvas.width = img.naturalWidth;
    canvas.height = img.naturalHeight;
    const context = canvas.getContext("2d");
    context.drawImage(img, 0, 0);
    const pixels = context.getImageData(0, 0, canvas.width, canvas.height).data;
    const colours = new Set();
    for (let i = 0; i < pixels.length && colours.size < 50; i += 4 * 97) colours.add(pixels[i] * 65536 + pixels[i + 1] * 256 + pixels[i + 2]);
    return { width: img.naturalWidth, height: img.naturalHeight, colours: colours.size };
  }, png);
  return { scroll, shot };
}

async function seriousViolations(page) {
  await page.addScriptTag({ path: path.join(here, "node_modules/axe-core/axe.min.js") });
  const result = await page.evaluate(() => window.axe.run(document));
  return result.violations.filter((v) => v.impact === "serious" || v.impact === "critical").map((v) => v.id);
}

if (withShop) {
test("index.html?q=order leaves the classes holding 'order' visible", async () => {
  const page = await open(path.join(site, "index.html"), "?q=order");
  const visible = await page.$$eval("#classes tbody tr:not([hidden]) th a", (as) => as.map((a) => a.textContent));
  assert.deepEqual(visible.sort(), ["delivery", "order", "orderline"]);
  assert.equal(await page.$eval("#q", (input) => input.value), "order");
  assert.equal(await page.$$eval("#classes tbody tr[hidden]", (rows) => rows.length), 5);
  await page.close();
});

test("typing in the search box filters as one types", async () => {
  const page = await open(path.join(site, "index.html"));
  await page.type("#q", "SUPPL");
  const visible = await page.$$eval("#classes tbody tr:not([hidden]) th a", (as) => as.map((a) => a.textContent));
  assert.deepEqual(visible.sort(), ["product", "supplier"]);
  await page.close();
});

test("a class page lists inherited fields with their class and links to it", async () => {
  const page = await open(path.join(site, "classes/customer.html"));
  const rows = await page.$$eval("table.fields tbody tr", (trs) =>
    trs.map((tr) => [tr.querySelector("th").textContent, tr.cells[2].textContent]));
  assert.deepEqual(rows.find(([name]) => name === "id"), ["id", "inherited from party"]);
  assert.deepEqual(rows.find(([name]) => name === "creditlimit"), ["creditlimit", "own"]);
  await Promise.all([page.waitForNavigation(), page.click("table.fields a[href='party.html']")]);
  assert.equal(await page.$eval("h1 code", (code) => code.textContent), "party");
  await page.close();
});

for (const [name, file] of [["index", "index.html"], ["class page", "classes/customer.html"]]) {
  test(`the ${name}'s screenshot is neither blank nor cut`, async () => {
    const page = await open(path.join(site, file));
    const { scroll, shot } = await shotFacts(page);
    assert.deepEqual([shot.width, shot.height], scroll);
    assert.ok(shot.colours > 3, `only ${shot.colours} colours`);
    await page.close();
  });

  for (const scheme of ["light", "dark"]) {
    test(`the ${name} has no serious accessibility violation in ${scheme} mode`, async () => {
      const page = await open(path.join(site, file));
      await page.emulateMediaFeatures([{ name: "prefers-color-scheme", value: scheme }]);
      assert.deepEqual(await seriousViolations(page), []);
      await page.close();
    });
  }
}

}

for (const dir of withShop ? [site, ...moreSites] : moreSites) {
  test(`every page of ${path.basename(dir)} is HTML5 without errors`, async () => {
    const validator = new HtmlValidate({ extends: ["html-validate:standard"] });
    const problems = [];
    for (const file of pagesOf(dir)) {
      const report = await validator.validateFile(file);
      for (const r of report.results) for (const m of r.messages) problems.push(`${path.relative(dir, file)}:${m.line}: ${m.ruleId} ${m.message}`);
    }
    assert.deepEqual(problems.slice(0, 20), []);
  });

  test(`every link of ${path.basename(dir)} leads to a file`, () => {
    const broken = [];
    for (const file of pagesOf(dir)) {
      const html = fs.readFileSync(file, "utf8");
      for (const [, target] of html.matchAll(/(?:href|src)="([^"#?]*)[^"]*"/g)) {
        if (target && !fs.existsSync(path.join(path.dirname(file), decodeURIComponent(target)))) broken.push(`${path.relative(dir, file)} -> ${target}`);
      }
    }
    assert.deepEqual(broken, []);
  });
}
