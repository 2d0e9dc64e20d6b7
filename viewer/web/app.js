// The live panel page: draws the gauges as the bench serves them, sends the
// user's clicks and switch changes, and shows what the gauges send.
"use strict";

// Holding the button on a split key or knob half (an area that takes the
// held repeat) repeats like the simulator's arrow areas: a first repeat
// after this delay, then one every REPEAT_MS while the button stays down.
const REPEAT_DELAY_MS = 400;
const REPEAT_MS = 100;        // 10 a second
const FRAME_MS = 1000 / 18;   // the simulator's update rate
const POLL_MS = 250;

const view = { scale: 2, overlay: false, gauges: [] };
let logNext = 0;

async function api(path, body) {
  const init = body === undefined ? {} :
    { method: "POST", headers: { "Content-Type": "application/json" }, body: JSON.stringify(body) };
  const res = await fetch(path, init);
  const data = await res.json();
  if (!res.ok) throw new Error(data.error || res.statusText);
  return data;
}

function setStatus(text) { document.getElementById("status").textContent = text; }

// ---- gauges ---------------------------------------------------------------

function buildPanel(panel) {
  const main = document.getElementById("panel");
  main.replaceChildren();
  view.gauges = panel.gauges;
  for (const gauge of panel.gauges) {
    const figure = document.createElement("figure");
    const box = document.createElement("div");
    box.className = "gauge";
    box.id = "box-" + gauge.name;
    const img = document.createElement("img");
    img.id = "gauge-" + gauge.name;
    img.alt = gauge.name;
    img.draggable = false;
    box.append(img);
    gauge.areas.forEach((area, index) => {
      const div = document.createElement("div");
      div.className = "area cursor-" + area.cursor;
      div.dataset.gauge = gauge.name;
      div.dataset.area = String(index + 1);
      box.append(div);
    });
    box.addEventListener("mousedown", (event) => press(gauge, box, event));
    const caption = document.createElement("figcaption");
    caption.textContent = gauge.name;
    figure.append(box, caption);
    main.append(figure);
  }
  layout();
}

// Places each area's div over the picture at the chosen scale.
function layout() {
  for (const gauge of view.gauges) {
    const box = document.getElementById("box-" + gauge.name);
    box.style.width = gauge.width * view.scale + "px";
    box.style.height = gauge.height * view.scale + "px";
    const img = document.getElementById("gauge-" + gauge.name);
    img.width = gauge.width * view.scale;
    img.height = gauge.height * view.scale;
    gauge.areas.forEach((area, index) => {
      const div = box.querySelector(`[data-area="${index + 1}"]`);
      div.style.left = area.x * view.scale + "px";
      div.style.top = area.y * view.scale + "px";
      div.style.width = area.width * view.scale + "px";
      div.style.height = area.height * view.scale + "px";
    });
  }
}

function areaAt(gauge, x, y) {
  return gauge.areas.find((a) => x >= a.x && x < a.x + a.width && y >= a.y && y < a.y + a.height);
}

// A press goes to the host at gauge pixels; it decides what was hit.
function press(gauge, box, event) {
  if (event.button !== 0) return;
  event.preventDefault();
  const rect = box.getBoundingClientRect();
  const x = Math.floor((event.clientX - rect.left) / view.scale);
  const y = Math.floor((event.clientY - rect.top) / view.scale);
  const send = (kind) => api("/api/click", { gauge: gauge.name, x, y, event: kind })
    .then(showSent).catch((e) => setStatus("click failed: " + e.message));
  send("press");
  const area = areaAt(gauge, x, y);
  if (!area || !area.repeats) return;
  let timer = setTimeout(function again() {
    send("repeat");
    timer = setTimeout(again, REPEAT_MS);
  }, REPEAT_DELAY_MS);
  const release = () => {
    clearTimeout(timer);
    window.removeEventListener("mouseup", release);
    box.removeEventListener("mouseleave", release);
  };
  window.addEventListener("mouseup", release);
  box.addEventListener("mouseleave", release);
}

// Each gauge's picture is fetched again as soon as the last one arrived,
// at most at the simulator's rate.
async function refresh(gauge) {
  const img = document.getElementById("gauge-" + gauge.name);
  for (;;) {
    const started = performance.now();
    try {
      const res = await fetch(`/api/gauge/${gauge.name}.png?scale=${view.scale}` +
                              (view.overlay ? "&overlay=1" : ""), { cache: "no-store" });
      if (res.ok) {
        const url = URL.createObjectURL(await res.blob());
        await new Promise((done) => { img.onload = img.onerror = done; img.src = url; });
        if (img.dataset.url) URL.revokeObjectURL(img.dataset.url);
        img.dataset.url = url;
      }
    } catch (e) {
      setStatus("disconnected: " + e.message);
    }
    const wait = FRAME_MS - (performance.now() - started);
    await new Promise((done) => setTimeout(done, Math.max(wait, 5)));
  }
}

// ---- state, controls, log -----------------------------------------------------

function showState(state) {
  for (const input of document.querySelectorAll("[data-control]")) {
    const value = state[input.dataset.control];
    if (document.activeElement === input) continue;
    if (input.type === "checkbox") input.checked = Boolean(value);
    else input.value = String(value);
  }
  document.getElementById("baro").textContent = state.baro_inhg.toFixed(2);
  for (const name of ["temp", "millibars", "dhset", "ratest"]) {
    const value = state[name];
    document.getElementById("named-" + name).textContent = value === null ? "not registered" : value;
  }
  document.getElementById("updates").textContent = state.updates;
  for (const [name, shows] of Object.entries(state.shows)) {
    const img = document.getElementById("gauge-" + name);
    if (!img) continue;
    const parts = [name];
    if (shows.texts.length) parts.push(shows.texts.join(" "));
    if (shows.needle !== null) parts.push("needle " + shows.needle);
    img.alt = parts.join(": ");
  }
  setStatus("running");
}

function showSent(reply) {
  const log = document.getElementById("log");
  for (const entry of reply.entries) {
    if (entry.seq <= logNext) continue;
    const item = document.createElement("li");
    item.className = entry.kind;
    item.textContent = entry.kind === "key"
      ? `${entry.gauge}: key ${entry.id}${entry.name ? " " + entry.name : ""}`
      : `${entry.gauge}: ${entry.text}${entry.found === false ? " (file not found)" : ""}`;
    log.append(item);
    logNext = entry.seq;
  }
  while (log.children.length > 200) log.firstChild.remove();
  log.scrollTop = log.scrollHeight;
}

async function poll() {
  for (;;) {
    try {
      showState(await api("/api/state"));
      showSent(await api("/api/log?since=" + logNext));
    } catch (e) {
      setStatus("disconnected: " + e.message);
    }
    await new Promise((done) => setTimeout(done, POLL_MS));
  }
}

function wireControls() {
  for (const input of document.querySelectorAll("[data-control]")) {
    input.addEventListener("change", () => {
      const value = input.type === "checkbox" ? input.checked : input.value;
      api("/api/control", { name: input.dataset.control, value })
        .then(showState).catch((e) => setStatus("control failed: " + e.message));
    });
  }
  const scale = document.getElementById("view-scale");
  scale.addEventListener("change", () => { view.scale = Number(scale.value); layout(); });
  const overlay = document.getElementById("view-overlay");
  overlay.addEventListener("change", () => { view.overlay = overlay.checked; });
}

async function start() {
  view.scale = Number(document.getElementById("view-scale").value);
  wireControls();
  try {
    buildPanel(await api("/api/panel"));
  } catch (e) {
    setStatus("cannot reach the bench: " + e.message);
    return;
  }
  for (const gauge of view.gauges) refresh(gauge);
  poll();
}

start();
