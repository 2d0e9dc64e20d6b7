#!/usr/bin/env node
// live-load.mjs: drives `panel-bench serve` the way the live page does and
// reports what it cost the server: its CPU time per second of the run (from
// /proc), the pictures it sent, and how long the requests took.
//
//   node tools/live-load.mjs [--bench PATH] [--seconds N] [--scale N]
//                            [--page events|poll] [--change none|click|hold]
//                            [--slow N]
//
//   --page events  as the page does: follows /api/events and fetches a
//                  gauge's picture only when its version moved (default)
//   --page poll    every gauge's picture fetched again as soon as the last
//                  arrived, at most 18 a second each, state and log every
//                  250 ms (the way the page worked before it had events)
//   --change click one press a second on the radio display's COM2 swap key
//                  (default); hold: the COM2 standby key held, a repeat every
//                  100 ms; none: nothing changes after power is on
//   --slow N       N more connections, each sending a request one byte every
//                  half second (one cut off is opened again), while the
//                  page's /api/state is asked for on a new connection every
//                  250 ms: reports how long those took (default 0: none)
//
// With the battery and avionics on, the run lasts --seconds (default 10).
// A Windows panel-bench.exe runs under Wine (tools/wine-run.sh); its CPU
// time then counts the Wine server's beside the program's own.
// Needs node and a Linux /proc; says so and exits 0 without them.
import { spawn, execFileSync } from "node:child_process";
import { existsSync, readFileSync } from "node:fs";
import http from "node:http";
import net from "node:net";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

const root = join(dirname(fileURLToPath(import.meta.url)), "..");
const options = { bench: join(root, "build/native/bin/panel-bench"), seconds: 10, scale: 2,
                  page: "events", change: "click", slow: 0 };
const args = process.argv.slice(2);
for (let i = 0; i < args.length; i += 2) {
  const name = args[i].replace(/^--/, "");
  if (!(name in options) || args[i + 1] === undefined) {
    console.error(`live-load: unknown option or missing value: ${args[i]} (see the top of ${process.argv[1]})`);
    process.exit(2);
  }
  options[name] = typeof options[name] === "number" ? Number(args[i + 1]) : args[i + 1];
}
if (!["events", "poll"].includes(options.page) || !["none", "click", "hold"].includes(options.change) ||
    !(options.seconds > 0) || !(options.scale >= 1 && options.scale <= 4) ||
    !(Number.isInteger(options.slow) && options.slow >= 0)) {
  console.error("live-load: --page events|poll, --change none|click|hold, --seconds > 0, --scale 1..4, --slow N >= 0");
  process.exit(2);
}
if (!existsSync("/proc/self/stat")) {
  console.log("live-load: skipped: no /proc here to read the server's CPU time from");
  process.exit(0);
}
if (!existsSync(options.bench)) {
  console.error(`live-load: no ${options.bench} (build it with tools/build.sh build/native, or give --bench)`);
  process.exit(1);
}

const ticks = Number(execFileSync("getconf", ["CLK_TCK"]).toString().trim()) || 100;
function cpuSeconds(pid) {
  // utime and stime are fields 14 and 15; the name (field 2) may hold spaces.
  const stat = readFileSync(`/proc/${pid}/stat`, "utf8");
  const fields = stat.slice(stat.lastIndexOf(")") + 2).split(" ");
  return (Number(fields[11]) + Number(fields[12])) / ticks;
}

const wine = options.bench.toLowerCase().endsWith(".exe");
// The Wine server's pid, when the bench runs under Wine: it works for the
// program (its waits, its messages), so its time is the program's cost too.
function wineServerPid() {
  if (!wine) return null;
  try {
    return Number(execFileSync("pgrep", ["-n", "-f", "wineserver"]).toString().trim()) || null;
  } catch {
    return null;
  }
}
function serverCpu() {
  const extra = wineServerPid();
  return cpuSeconds(server.pid) + (extra ? cpuSeconds(extra) : 0);
}

function startServer() {
  const server = wine
    ? spawn(join(root, "tools/wine-run.sh"), [options.bench, "serve", "--port", "0"],
            { stdio: ["ignore", "pipe", "pipe"] })
    : spawn(options.bench, ["serve", "--port", "0"], { stdio: ["ignore", "pipe", "pipe"] });
  let output = "";
  return new Promise((resolve, reject) => {
    const look = (chunk) => {
      output += chunk;
      const match = output.match(/http:\/\/127\.0\.0\.1:(\d+)\//);
      if (match) resolve({ server, port: Number(match[1]) });
    };
    server.stdout.on("data", look);
    server.stderr.on("data", (chunk) => { output += chunk; });
    server.on("exit", (code) => reject(new Error(`the server exited (${code}): ${output}`)));
  });
}

const { server, port } = await startServer();
const agent = new http.Agent({ keepAlive: true, maxSockets: 8 });
const stats = { pictures: 0, bytes: 0, unchanged: 0, requests: 0, failed: 0, slowest: 0, events: 0 };

function request(method, path, body, headers = {}) {
  return new Promise((resolve) => {
    const started = performance.now();
    const req = http.request({ host: "127.0.0.1", port, method, path, agent,
                               headers: body ? { "Content-Type": "application/json", ...headers } : headers },
      (res) => {
        const chunks = [];
        res.on("data", (c) => chunks.push(c));
        res.on("end", () => {
          stats.requests++;
          stats.slowest = Math.max(stats.slowest, performance.now() - started);
          resolve({ status: res.statusCode, headers: res.headers, body: Buffer.concat(chunks) });
        });
      });
    req.on("error", () => { stats.failed++; resolve({ status: 0, headers: {}, body: Buffer.alloc(0) }); });
    if (body) req.write(JSON.stringify(body));
    req.end();
  });
}
const sleep = (ms) => new Promise((done) => setTimeout(done, ms));

async function picture(name) {
  const res = await request("GET", `/api/gauge/${name}.png?scale=${options.scale}`);
  if (res.status === 200) {
    stats.pictures++;
    stats.bytes += res.body.length;
  } else if (res.status === 304) {
    stats.unchanged++;
  } else {
    stats.failed++;
  }
}

const panel = JSON.parse((await request("GET", "/api/panel")).body);
const names = panel.gauges.map((g) => g.name);
await request("POST", "/api/control", { name: "battery", value: true });
await request("POST", "/api/control", { name: "avionics", value: true });
await sleep(500);

let running = true;
const workers = [];
if (options.page === "poll") {
  for (const name of names) {
    workers.push((async () => {
      while (running) {
        const started = performance.now();
        await picture(name);
        await sleep(Math.max(1000 / 18 - (performance.now() - started), 5));
      }
    })());
  }
  workers.push((async () => {
    let next = 0;
    while (running) {
      await request("GET", "/api/state");
      next = JSON.parse((await request("GET", `/api/log?since=${next}`)).body).next ?? next;
      await sleep(250);
    }
  })());
} else {
  // The page's way: one event stream; a picture when its version moved.
  const seen = {};
  const wanted = new Set();
  const busy = new Set();
  const fetchChanged = async (name) => {
    if (busy.has(name)) return;
    busy.add(name);
    while (wanted.has(name) && running) {
      wanted.delete(name);
      await picture(name);
    }
    busy.delete(name);
  };
  const stream = http.get({ host: "127.0.0.1", port, path: "/api/events" }, (res) => {
    if (res.statusCode !== 200) {
      console.error(`live-load: /api/events answered ${res.statusCode}: this server has no event stream (try --page poll)`);
      process.exitCode = 1;
      running = false;
      return;
    }
    let buffer = "";
    res.setEncoding("utf8");
    res.on("data", (chunk) => {
      buffer += chunk;
      let end;
      while ((end = buffer.indexOf("\n\n")) >= 0) {
        const message = buffer.slice(0, end);
        buffer = buffer.slice(end + 2);
        const data = message.split("\n").filter((l) => l.startsWith("data:")).map((l) => l.slice(5)).join("\n");
        if (!data) continue;
        stats.events++;
        const event = JSON.parse(data);
        for (const [name, version] of Object.entries(event.versions ?? {})) {
          if (seen[name] === version) continue;
          seen[name] = version;
          wanted.add(name);
          fetchChanged(name);
        }
      }
    });
  });
  stream.on("error", () => {});
  workers.push((async () => { while (running) await sleep(100); stream.destroy(); })());
}

// The change: one press a second, or a key held (a repeat every 100 ms).
const swap = { gauge: "VORN_Kestrel_FMC", x: 360, y: 66 };
const hold = (() => {
  const radio = panel.gauges.find((g) => g.name === "VORN_Kestrel_FMC");
  const area = radio?.areas.find((a) => a.repeats);
  return area ? { gauge: radio.name, x: area.x + 1, y: area.y + 1 } : swap;
})();
workers.push((async () => {
  if (options.change === "none") return;
  let n = 0;
  while (running) {
    if (options.change === "click") {
      await request("POST", "/api/click", swap);
      await sleep(1000);
    } else {
      await request("POST", "/api/click", { ...hold, event: n++ === 0 ? "press" : "repeat" });
      await sleep(100);
    }
  }
})());

// Slow clients: each sends a request a byte every half second; when the
// server ends one (408, or it was refused), another takes its place.
const slowSockets = new Set();
const probes = [];
let slowOpened = 0;
function slowClient() {
  if (!running) return;
  const text = `GET /api/state HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\nX-Slow: ${"a".repeat(200)}\r\n\r\n`;
  const socket = net.connect(port, "127.0.0.1");
  slowOpened++;
  slowSockets.add(socket);
  let i = 0;
  const timer = setInterval(() => { if (i < text.length) socket.write(text[i++]); }, 500);
  const again = () => {
    clearInterval(timer);
    if (slowSockets.delete(socket)) setTimeout(slowClient, 100);
  };
  socket.on("error", again);
  socket.on("close", again);
  socket.on("data", () => {});
}
for (let i = 0; i < options.slow; i++) slowClient();
if (options.slow > 0) {
  workers.push((async () => {
    await sleep(2000);  // every slow client connected and sending
    while (running) {
      const started = performance.now();
      const ok = await new Promise((resolve) => {
        const req = http.get({ host: "127.0.0.1", port, path: "/api/state", agent: false }, (res) => {
          res.resume();
          res.on("end", () => resolve(res.statusCode === 200));
        });
        req.on("error", () => resolve(false));
      });
      probes.push({ ms: performance.now() - started, ok });
      await sleep(250);
    }
  })());
}

await sleep(1000);  // settled: measure from here
const before = { cpu: serverCpu(), at: performance.now(), ...stats };
await sleep(options.seconds * 1000);
const cpu = serverCpu() - before.cpu;
const seconds = (performance.now() - before.at) / 1000;
running = false;
for (const socket of [...slowSockets]) { slowSockets.delete(socket); socket.destroy(); }
await Promise.all(workers);
server.kill("SIGINT");
agent.destroy();

const perSecond = (n) => (n / seconds).toFixed(1);
console.log(`live-load: page ${options.page}, change ${options.change}, scale ${options.scale}, ` +
            `${seconds.toFixed(1)} s, ${names.length} gauges`);
console.log(`  server CPU      ${(100 * cpu / seconds).toFixed(1)} % of one core ` +
            `(${(cpu / seconds * 1000).toFixed(0)} ms per second)`);
console.log(`  pictures sent   ${stats.pictures - before.pictures} (${perSecond(stats.pictures - before.pictures)} a second, ` +
            `${((stats.bytes - before.bytes) / 1024 / seconds).toFixed(0)} KiB a second)`);
const sent = stats.pictures - before.pictures;
if (sent > 0) console.log(`  CPU per picture ${(cpu * 1000 / sent).toFixed(1)} ms (all the server did, over the pictures sent)`);
console.log(`  machine load    ${readFileSync("/proc/loadavg", "utf8").split(" ").slice(0, 3).join(" ")} ` +
            `(1, 5, 15 min) on ${execFileSync("nproc").toString().trim()} cores`);
console.log(`  unchanged (304) ${stats.unchanged - before.unchanged}`);
console.log(`  events          ${stats.events - before.events}`);
console.log(`  requests        ${stats.requests - before.requests}, failed ${stats.failed - before.failed}, ` +
            `slowest ${stats.slowest.toFixed(0)} ms`);
if (options.slow > 0) {
  const times = probes.map((p) => p.ms).sort((a, b) => a - b);
  const at = (q) => times.length ? times[Math.min(times.length - 1, Math.floor(q * times.length))].toFixed(1) : "-";
  console.log(`  with ${options.slow} slow clients (${slowOpened} connections opened): /api/state ` +
              `${times.length} times, median ${at(0.5)} ms, 90th ${at(0.9)} ms, ` +
              `slowest ${times.length ? times[times.length - 1].toFixed(1) : "-"} ms, ` +
              `failed ${probes.filter((p) => !p.ok).length}`);
}
