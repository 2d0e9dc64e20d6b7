// End-to-end: the live panel in Debian's Chromium. Starts `panel-bench
// serve` on a free port, checks that a press's click is fetched from the
// sound folder unless "Mute clicks" (remembered over a reload) is on,
// checks that the scale chosen at first shows every gauge in a 1600 x 1000
// window, that a press where a gauge takes none says so, powers the
// aircraft up with one button, swaps COM2 from its key (the log saying it in
// words, the raw call on hover), times 20 presses from the press to the new
// COM2 text in the picture (printed, not judged), holds a split key and
// watches the standby frequency step, checks that the panel fits a 1600 px
// window, leaves a screenshot, opens pages of other origins that reach for
// the panel's event stream and page, alongside it, and at the end stops the
// server and checks that the page shows it is cut off. Exits non-zero if any
// expectation failed.
//
//   node live_panel_test.mjs <panel-bench> <output dir>
// A Windows panel-bench.exe runs under Wine (tools/wine-run.sh).
import { spawn } from "node:child_process";
import { createServer } from "node:http";
import { mkdirSync } from "node:fs";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";
import { chromium } from "playwright-core";

const [bench, outDir] = process.argv.slice(2);
if (!bench || !outDir) {
  console.error("usage: node live_panel_test.mjs <panel-bench> <output dir>");
  process.exit(2);
}
mkdirSync(outDir, { recursive: true });

let failures = 0;
function expect(ok, what, seen) {
  console.log(`${ok ? "ok  " : "FAIL"} ${what}${ok ? "" : ` (saw: ${seen})`}`);
  if (!ok) failures++;
}

// ---- the server ---------------------------------------------------------------

function startServer() {
  const wine = bench.toLowerCase().endsWith(".exe");
  const wineRun = join(dirname(fileURLToPath(import.meta.url)), "..", "..", "tools", "wine-run.sh");
  const server = spawn(wine ? wineRun : bench, [...(wine ? [bench] : []), "serve", "--port", "0"],
                       { stdio: ["ignore", "pipe", "pipe"] });
  let output = "";
  return new Promise((resolve, reject) => {
    // A deadline: Wine may first set up its prefix.
    const timer = setTimeout(() => reject(new Error("the server did not start: " + output)), 120000);
    const look = (chunk) => {
      output += chunk;
      const match = output.match(/http:\/\/127\.0\.0\.1:(\d+)\//);
      if (match) {
        clearTimeout(timer);
        resolve({ server, url: match[0] });
      }
    };
    server.stdout.on("data", look);
    server.stderr.on("data", (chunk) => { output += chunk; });
    server.on("exit", (code) => reject(new Error(`the server exited (${code}): ${output}`)));
  });
}

// ---- reading the radio page -----------------------------------------------------

// The radio display's picture carries what it shows in its text alternative:
// "VORN_Kestrel_FMC: TUNE COM1 COM2 <COM1> <COM2> PRESET PRESET <COM1 preset>
// <COM2 preset> ..." while it has power.
async function radioTexts(page) {
  const alt = await page.getAttribute("#gauge-VORN_Kestrel_FMC", "alt");
  const [, texts = ""] = alt.split(": ");
  return texts.split(" ");
}
const COM2 = 4;
const COM2_PRESET = 8;

// Waits are deadlines, generous for a loaded machine: they end as soon as
// the condition holds.
async function until(what, condition, ms = 15000) {
  const end = Date.now() + ms;
  for (;;) {
    const value = await condition();
    if (value) return value;
    if (Date.now() > end) return null;
    await new Promise((done) => setTimeout(done, 50));
  }
}

// ---- another site's page -------------------------------------------------------

// A page of another origin that holds four images of the panel's event
// stream and four frames of its page: what a site open in the same browser
// could do to take every stream the server keeps. Served on 127.0.0.1 at
// another port (the same site as the panel, another origin) and as
// localhost (another site).
function startOtherSite(panelUrl) {
  const images = [1, 2, 3, 4].map((i) => `<img src="${panelUrl}api/events?${i}" alt="">`);
  const frames = [1, 2, 3, 4].map((i) => `<iframe src="${panelUrl}?${i}"></iframe>`);
  const html = `<!doctype html><title>another site</title>${images.join("")}${frames.join("")}`;
  const other = createServer((req, res) => {
    res.writeHead(200, { "Content-Type": "text/html; charset=utf-8" });
    res.end(html);
  });
  return new Promise((resolve) => other.listen(0, "127.0.0.1", () => resolve(other)));
}

// ---- the test ---------------------------------------------------------------------

const { server, url } = await startServer();
let browser;
try {
  browser = await chromium.launch({
    executablePath: "/usr/bin/chromium",
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
  // One browser profile for the panel's page and the other sites' pages.
  const context = await browser.newContext({ viewport: { width: 1600, height: 1000 } });
  const page = await context.newPage();
  const favicons = [];
  page.on("request", (r) => { if (new URL(r.url()).pathname === "/favicon.ico") favicons.push(r.url()); });
  await page.goto(url);
  await page.waitForSelector("#gauge-VORN_Kestrel_FMC");
  expect(await page.title() === "Business-jet panel, live", "the page opens", await page.title());

  // The scale it starts at shows all four gauges in a 1600 x 1000 window.
  await until("the pictures", () => page.evaluate(() =>
    [...document.querySelectorAll(".gauge img")].every((img) => img.complete && img.naturalWidth > 0)));
  const inView = await page.evaluate(() => {
    const outside = [...document.querySelectorAll(".gauge")].filter((box) => {
      const r = box.getBoundingClientRect();
      return r.right > document.documentElement.clientWidth || r.bottom > window.innerHeight;
    }).map((box) => box.id);
    return { ok: outside.length === 0, seen: `scale ${document.getElementById("view-scale").value}, ` +
             `outside: ${outside.join(" ")}` };
  });
  expect(inView.ok, "at first every gauge is in view in a 1600 x 1000 window", inView.seen);
  expect(favicons.length === 0, "the page has its own icon (no request for /favicon.ico)", favicons.join(" "));
  await page.setViewportSize({ width: 1600, height: 1250 });

  // The clicks. Every press of R1 (the COM2 swap, with or without power)
  // plays the radio's key click; muted, the page asks for no sound, and
  // unmuted it asks for that .wav. Muted first, so nothing was asked for
  // before.
  const R1 = '[data-gauge="VORN_Kestrel_FMC"][data-area="6"]';
  const soundsAsked = [];
  page.on("request", (r) => {
    if (new URL(r.url()).pathname.startsWith("/sound/")) soundsAsked.push(r);
  });
  const live = () => until("the page's first message", async () =>
    await page.textContent("#status") === "running");
  const clicksShown = () => page.locator("#log li.click").count();
  expect(!(await page.isChecked("#sound-mute")), "the clicks are not muted at first", "muted");
  await page.check("#sound-mute");
  await page.reload();
  await page.waitForSelector("#gauge-VORN_Kestrel_FMC");
  expect(await page.isChecked("#sound-mute"), "Mute clicks is remembered over a reload", "not muted");
  await live();
  const before = await clicksShown();
  await page.click(R1);
  const shown = await until("the muted press's click in the log",
                            async () => (await clicksShown()) > before);
  expect(shown && soundsAsked.length === 0,
         "muted, a press's click shows in the log and no sound is asked for",
         shown ? soundsAsked.map((r) => r.url()).join(" ") : "no click in the log");
  await page.uncheck("#sound-mute");
  await page.click(R1);
  const clickAsked = await until("the click asked for",
                            async () => soundsAsked.find((r) => r.url().endsWith("/sound/vornqexclick.wav")));
  const answer = clickAsked ? await clickAsked.response() : null;
  expect(answer !== null && [200, 206].includes(answer.status()) &&
         answer.headers()["content-type"] === "audio/wav",
         "unmuted, a press's click is asked for at /sound/vornqexclick.wav and sent",
         clickAsked ? `${clickAsked.url()}: ${answer ? answer.status() : clickAsked.failure()?.errorText}`
               : soundsAsked.map((r) => r.url()).join(" ") || "nothing asked for");

  // A press where the gauge takes none (the hydraulics panel has no keys).
  await page.click("#gauge-orlahyd");
  const hinted = await until("the hint", async () => (await page.locator("#click-hint").count()) > 0 &&
                                                  await page.textContent("#click-hint"));
  expect(hinted && /Nothing to click here/.test(hinted), "a press that hits no key says so",
         hinted || "no hint");

  expect(!(await page.isChecked("#control-battery")), "the battery is off at first", "on");
  await page.click("#power-up");
  const powered = await until("the page text", async () => {
    const texts = await radioTexts(page);
    return texts.length > COM2_PRESET && texts[0] === "TUNE" ? texts : null;
  });
  expect(powered !== null && await page.isChecked("#control-battery") &&
         await page.isChecked("#control-avionics") && await page.isChecked("#control-engine1"),
         "Power up switches battery, avionics and engines on, and the radio page shows",
         await page.getAttribute("#gauge-VORN_Kestrel_FMC", "alt"));

  if (powered) {
    const [active, standby] = [powered[COM2], powered[COM2_PRESET]];
    await page.click('[data-gauge="VORN_Kestrel_FMC"][data-area="6"]');  // R1: COM2 swap
    const swapped = await until("the swap", async () => {
      const texts = await radioTexts(page);
      return texts[COM2] === standby && texts[COM2_PRESET] === active ? texts : null;
    });
    expect(swapped !== null, `the COM2 swap key makes COM2 ${standby} and its preset ${active}`,
           (await radioTexts(page)).slice(COM2, COM2_PRESET + 1).join(" "));
    const log = await page.textContent("#log");
    const raw = await page.evaluate(() => [...document.querySelectorAll("#log li.key")].map((li) => li.title).join(" | "));
    expect(/VORN_Kestrel_FMC: key event: COM2 swap/.test(log) && /key 0x1038C value 0/.test(raw),
           "the log says the key event the swap sent in words, the raw call on hover", `${log} / ${raw}`);

    // Click to picture: from the press on R1 to its new COM2 text in the
    // radio picture's text alternative, which the page sets when it shows
    // a picture. Timed in the page; printed, not judged.
    const latencies = [];
    for (let i = 0; i < 20; i++) {
      latencies.push(await page.evaluate(async () => {
        const img = document.getElementById("gauge-VORN_Kestrel_FMC");
        const area = document.querySelector('[data-gauge="VORN_Kestrel_FMC"][data-area="6"]');
        const com2 = () => (img.alt.split(": ")[1] || "").split(" ")[4];
        const before = com2();
        const r = area.getBoundingClientRect();
        const at = { bubbles: true, button: 0, clientX: r.x + r.width / 2, clientY: r.y + r.height / 2 };
        const started = performance.now();
        const changed = new Promise((resolve) => {
          const observer = new MutationObserver(() => {
            if (com2() !== before) { observer.disconnect(); resolve(performance.now() - started); }
          });
          observer.observe(img, { attributes: true, attributeFilter: ["alt"] });
          setTimeout(() => { observer.disconnect(); resolve(Infinity); }, 15000);
        });
        area.dispatchEvent(new MouseEvent("mousedown", at));
        window.dispatchEvent(new MouseEvent("mouseup", at));
        return changed;
      }));
    }
    const sorted = [...latencies].sort((a, b) => a - b);
    const median = (sorted[9] + sorted[10]) / 2;
    console.log(`click to picture, 20 presses: median ${median.toFixed(0)} ms, ` +
                `worst ${sorted[19].toFixed(0)} ms, best ${sorted[0].toFixed(0)} ms`);
    expect(sorted[19] !== Infinity, "every press on R1 shows its new COM2 text in the picture",
           latencies.map((ms) => ms.toFixed(0)).join(" "));

    // Hold the COM2 standby whole-MHz-up quarter (R2 upper-left) until the
    // standby frequency has shown three values.
    const area = page.locator('[data-gauge="VORN_Kestrel_FMC"][data-area="7"]');
    const box = await area.boundingBox();
    const seen = new Set([(await radioTexts(page))[COM2_PRESET]]);
    await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    await page.mouse.down();
    await until("three standby frequencies", async () => {
      seen.add((await radioTexts(page))[COM2_PRESET]);
      return seen.size >= 3;
    });
    await page.mouse.up();
    expect(seen.size >= 3, "holding a split key steps the standby frequency more than once",
           [...seen].join(", "));
  }

  // At 1600 px the panel wraps: every gauge inside the window, no scrolling
  // sideways.
  const fits = await page.evaluate(() => {
    const width = document.documentElement.clientWidth;
    const outside = [...document.querySelectorAll(".gauge")]
      .filter((box) => box.getBoundingClientRect().right > width)
      .map((box) => `${box.id} ends at ${box.getBoundingClientRect().right.toFixed(0)}`);
    const scroll = document.documentElement.scrollWidth;
    return { ok: outside.length === 0 && scroll <= width, seen: `window ${width}, page ${scroll}; ${outside.join(", ")}` };
  });
  expect(fits.ok, "at 1600 px every gauge is inside the window", fits.seen);

  // By night with the panel lights on: wait until every gauge shows a
  // picture drawn after the change.
  const versions = () => page.evaluate(() =>
    [...document.querySelectorAll(".gauge img")].map((img) => Number(img.dataset.version || 0)));
  const day = await versions();
  await page.check("#control-lights");
  await page.selectOption("#control-ambient", "night");
  const night = await until("the night pictures", async () => {
    const now = await versions();
    return now.every((v, i) => v > day[i]) ? now : null;
  });
  const asked = await page.evaluate(() => fetch("/api/state").then((r) => r.json()));
  expect(asked.ambient === "night" && night !== null, "every gauge is drawn again by night",
         `ambient ${asked.ambient}, versions ${day.join(" ")} -> ${(await versions()).join(" ")}, ` +
         `page status "${await page.textContent("#status")}"`);
  const shot = join(outDir, "live-panel.png");
  await page.screenshot({ path: shot, fullPage: true });
  console.log(`screenshot: ${shot}`);

  // Each row: a page of another origin open beside the panel's. What it
  // asks of the panel is refused, and the panel's page stays live: a press
  // still shows in its picture, and it was not told another page took its
  // stream.
  const other = await startOtherSite(url);
  try {
    const port = other.address().port;
    const sites = [
      { what: "a page of 127.0.0.1 on another port (same site)", at: `http://127.0.0.1:${port}/` },
      { what: "a page of localhost (another site)", at: `http://localhost:${port}/` },
    ];
    for (const site of sites) {
      const foreign = await context.newPage();
      // Each of its requests to the panel: the status, or why there is none.
      const answered = new Map();
      foreign.on("response", (r) => {
        if (r.url().startsWith(url)) answered.set(r.request(), r.status());
      });
      foreign.on("requestfailed", (r) => {
        if (r.url().startsWith(url) && !answered.has(r)) answered.set(r, r.failure()?.errorText);
      });
      await foreign.goto(site.at, { waitUntil: "domcontentloaded" });
      await until("its 4 images and 4 frames answered", async () => answered.size >= 8);
      const of = (type) =>
        [...answered].filter(([r]) => r.resourceType() === type).map(([, got]) => got);
      // What the images got, the browser keeps from the page (it blocks
      // JSON and event streams in an image); the panel's page staying live
      // below is what shows the server refused them.
      console.log(`${site.what}: its stream images got ${of("image").join(" ") || "nothing"}`);
      const frames = of("document");
      expect(frames.length === 4 && frames.every((status) => status === 403),
             `${site.what}: its 4 frames of the panel's page are refused (403)`,
             frames.join(" ") || "no answers");

      const before = (await radioTexts(page))[COM2];
      await page.click('[data-gauge="VORN_Kestrel_FMC"][data-area="6"]');  // R1: COM2 swap
      const after = await until("the swap", async () => {
        const now = (await radioTexts(page))[COM2];
        return now !== before ? now : null;
      });
      const status = await page.textContent("#status");
      expect(after !== null && !/another page now follows/.test(status),
             `${site.what}: beside it the panel's page stays live (COM2 ${before} swapped)`,
             `COM2 ${(await radioTexts(page))[COM2]}, page status "${status}"`);
      await foreign.close();
    }
  } finally {
    other.close();
  }

  // The server stops: the page says it is cut off, and takes no changes.
  server.kill("SIGINT");
  const cut = await until("the page cut off", async () =>
    await page.isHidden("#live-badge") && await page.isDisabled("#control-battery"));
  expect(cut, "with the server gone the page drops its LIVE badge and disables its controls",
         `status "${await page.textContent("#status")}"`);
  const shotCut = join(outDir, "live-panel-disconnected.png");
  await page.screenshot({ path: shotCut });
} catch (error) {
  expect(false, "the test ran to its end", error.message);
} finally {
  if (browser) await browser.close();
  server.kill("SIGINT");
}
const stopped = await new Promise((done) => {
  const timer = setTimeout(() => done(false), 15000);  // a deadline, as above
  server.on("exit", (code) => { clearTimeout(timer); done(code === 0); });
  if (server.exitCode !== null) { clearTimeout(timer); done(server.exitCode === 0); }
});
expect(stopped, "Ctrl-C stops the server cleanly", server.exitCode);
process.exit(failures === 0 ? 0 : 1);
