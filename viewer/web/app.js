// The live panel page: draws the gauges as the bench serves them, sends the
// user's clicks and switch changes, shows what the gauges send and plays the
// clicks they play.
"use strict";

// Holding the button on a split key or knob half (an area that takes the
// held repeat) repeats like the simulator's arrow areas: a first repeat
// after this delay, then one every REPEAT_MS while the button stays down.
const REPEAT_DELAY_MS = 400;
const REPEAT_MS = 100;        // 10 a second

const view = { scale: 2, scaleChosen: false, overlay: false, gauges: [] };

// What "Power up" sets: the bench's day state.
const POWER_UP = [["battery", true], ["avionics", true], ["engine1", true], ["engine2", true],
                  ["ambient", "day"]];

// The largest scale at which every gauge is in the window, side by side if
// they fit so, else wrapped; 1 if none fits. Until the user picks a scale.
function fitScale() {
  const select = document.getElementById("view-scale");
  const main = document.getElementById("panel");
  const gap = 16, pad = 12, caption = 24;
  const room = { width: document.documentElement.clientWidth - 2 * pad,
                 height: window.innerHeight - main.getBoundingClientRect().top - window.scrollY - 2 * pad };
  const fits = (s) => {
    // Rows as the panel wraps them: gauges in order while they fit across.
    let rowWidth = 0, rowHeight = 0, height = 0;
    for (const g of view.gauges) {
      const w = g.width * s, h = g.height * s + caption;
      if (w > room.width) return false;
      if (rowWidth > 0 && rowWidth + gap + w > room.width) {
        height += rowHeight + gap;
        rowWidth = 0;
        rowHeight = 0;
      }
      rowWidth += (rowWidth > 0 ? gap : 0) + w;
      rowHeight = Math.max(rowHeight, h);
    }
    return height + rowHeight <= room.height;
  };
  let best = 1;
  for (const option of select.options) {
    const s = Number(option.value);
    if (s > best && fits(s)) best = s;
  }
  if (best !== view.scale) {
    view.scale = best;
    select.value = String(best);
    layout();
    refreshAll();
  }
}
let logNext = 0;

// `retry`: a request that is the same however often it arrives (a control
// set to a value) is sent once more if the connection failed under it, as
// when the server closed an idle connection just as it was reused.
async function api(path, body, { retry = false } = {}) {
  const init = body === undefined ? {} :
    { method: "POST", headers: { "Content-Type": "application/json" }, body: JSON.stringify(body) };
  let res;
  try {
    res = await fetch(path, init);
  } catch (e) {
    if (!retry) throw e;
    res = await fetch(path, init);
  }
  const data = await res.json();
  if (!res.ok) throw new Error(data.error || res.statusText);
  return data;
}

function setStatus(text) { document.getElementById("status").textContent = text; }

// Connected: the LIVE badge shows and the controls take changes. While the
// server cannot be reached the page says so and takes none, so that nothing
// looks applied that was not.
let connected = false;
function setConnected(now) {
  connected = now;
  document.getElementById("live-badge").hidden = !now;
  document.body.classList.toggle("disconnected", !now);
  for (const input of document.querySelectorAll("[data-control], #power-up")) input.disabled = !now;
}

// ---- sounds ---------------------------------------------------------------

// The clicks the gauges play, played here from the bench's sound folder
// unless "Mute clicks" is on (remembered in this browser; off at first).
const MUTE_KEY = "live-panel.mute-clicks";
const sound = { muted: false, players: new Map() };   // address -> Audio

function remembered(key) {
  try { return localStorage.getItem(key); } catch { return null; }   // storage may be off
}
function remember(key, value) {
  try { localStorage.setItem(key, value); } catch { /* kept for this page only */ }
}

// One player per sound, started again from its beginning at each play: the
// file is fetched once, and a held key's clicks at 10 a second each sound.
function playSound(address) {
  if (sound.muted) return;
  let player = sound.players.get(address);
  if (!player || player.error) {
    if (sound.players.size >= 32) sound.players.clear();
    player = new Audio(address);
    sound.players.set(address, player);
  } else {
    player.currentTime = 0;
  }
  // Refused before the user's first press on the page (browsers allow no
  // sound until then) or for a file the folder lacks: the click is silent.
  player.play().catch(() => {});
}

function wireSound() {
  const mute = document.getElementById("sound-mute");
  mute.checked = sound.muted = remembered(MUTE_KEY) === "1";
  mute.addEventListener("change", () => {
    sound.muted = mute.checked;
    remember(MUTE_KEY, mute.checked ? "1" : "0");
    if (sound.muted) for (const player of sound.players.values()) player.pause();
  });
}

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
      if (area.sends) div.title = area.sends;
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

// A press where the gauge takes none: a short note at the point, gone after
// a few seconds or at the next press.
let hintTimer = 0;
function hint(box, x, y) {
  let note = document.getElementById("click-hint");
  if (!note) {
    note = document.createElement("div");
    note.id = "click-hint";
    note.setAttribute("role", "status");
  }
  note.textContent = "Nothing to click here: the pointer turns into a hand or an arrow " +
                     "over the keys and knobs this gauge takes.";
  note.style.left = x * view.scale + "px";
  note.style.top = y * view.scale + "px";
  box.append(note);
  clearTimeout(hintTimer);
  hintTimer = setTimeout(() => note.remove(), 4000);
}

function areaAt(gauge, x, y) {
  return gauge.areas.find((a) => x >= a.x && x < a.x + a.width && y >= a.y && y < a.y + a.height);
}

// A press goes to the host at gauge pixels; it decides what was hit.
function press(gauge, box, event) {
  if (event.button !== 0) return;
  event.preventDefault();
  document.getElementById("click-hint")?.remove();
  const rect = box.getBoundingClientRect();
  const x = Math.floor((event.clientX - rect.left) / view.scale);
  const y = Math.floor((event.clientY - rect.top) / view.scale);
  if (!connected) return;
  const send = (kind) => api("/api/click", { gauge: gauge.name, x, y, event: kind })
    .then((reply) => {
      showSent(reply);
      if (kind === "press" && reply.hit === false) hint(box, x, y);
    })
    .catch((e) => setStatus("click failed: " + e.message));
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

// Each gauge's picture is fetched when the server says its version moved
// (or the view changed), never more than one request at a time per gauge.
// Its text alternative describes the picture shown: the version the
// picture came as (its ETag) is matched with what the events said of it.
const pictures = {};   // name -> { version, fetching, again, stale, shown, alts: {version: alt} }

function pictureOf(name) {
  if (!pictures[name]) {
    pictures[name] = { version: 0, fetching: false, again: false, stale: false, shown: 0, alts: {} };
  }
  return pictures[name];
}

function showAlt(name) {
  const picture = pictureOf(name);
  const alt = picture.alts[picture.shown];
  const img = document.getElementById("gauge-" + name);
  if (img && alt !== undefined && img.alt !== alt) img.alt = alt;
}

// `redraw`: the view changed, so even the version shown is fetched again.
async function fetchPicture(name, redraw = false) {
  const picture = pictureOf(name);
  if (redraw) picture.stale = true;
  if (picture.fetching) { picture.again = true; return; }
  picture.fetching = true;
  const img = document.getElementById("gauge-" + name);
  do {
    picture.again = false;
    picture.stale = false;
    try {
      const res = await fetch(`/api/gauge/${name}.png?scale=${view.scale}` +
                              (view.overlay ? "&overlay=1" : ""), { cache: "no-store" });
      if (res.ok) {
        const version = Number((res.headers.get("ETag") || "").split("-")[1]) || 0;
        const url = URL.createObjectURL(await res.blob());
        await new Promise((done) => { img.onload = img.onerror = done; img.src = url; });
        if (img.dataset.url) URL.revokeObjectURL(img.dataset.url);
        img.dataset.url = url;
        picture.shown = version;
        img.dataset.version = String(version);
        showAlt(name);
      } else {
        setStatus(`${name}: ${res.status} ${res.statusText}`);
      }
    } catch (e) {
      setStatus("disconnected: " + e.message);
    }
  } while (picture.again && (picture.stale || picture.shown !== picture.version));
  picture.fetching = false;
}

function refreshAll() {
  for (const gauge of view.gauges) fetchPicture(gauge.name, true);
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
  const pfd = document.getElementById("pfd");
  pfd.textContent = pfdWords(state);
  pfd.title = ["temp", "millibars", "dhset", "ratest"]
    .map((name) => `${name} ${state[name] === null ? "(not registered)" : state[name]}`).join(" ");
  document.getElementById("updates").textContent = state.updates;
  setStatus("running");
}

// What the PFD settings panel has set on the PFD, in words (the variables'
// names and values on hover).
function pfdWords(state) {
  if (state.temp === null) return "no PFD on the panel (the settings go nowhere)";
  return `TEMP ${state.temp}, baro in ${state.millibars ? "millibars" : "inches"}, ` +
         `DH ${state.dhset}, altitude test ${state.ratest ? "on" : "off"}`;
}

// A log entry in words; its raw form (the service call) on hover.
function entryWords(entry) {
  switch (entry.kind) {
    case "key": return `key event: ${entry.name || entry.id}`;
    case "click": return `click played: ${entry.file}${entry.found === false ? " (not in the sound folder)" : ""}`;
    case "stop": return "sound stopped";
    case "terminate": return "all sounds stopped";
    default: return entry.text;
  }
}

// What each gauge shows, in words, for the picture of the version given.
function describe(name, shows) {
  const parts = [name];
  if (shows.texts.length) parts.push(shows.texts.join(" "));
  if (shows.needle !== null) parts.push("needle " + shows.needle);
  return parts.join(": ");
}

// `live`: the entries were sent just now, so their clicks are played (not
// those a new event stream first tells of, sent before it opened).
function showSent(reply, live = true) {
  const log = document.getElementById("log");
  // The server keeps only its most recent entries: say what was missed.
  if (reply.dropped) {
    const item = document.createElement("li");
    item.className = "dropped";
    item.textContent = `(${reply.dropped} entries sent too fast to show)`;
    log.append(item);
  }
  for (const entry of reply.entries) {
    if (entry.seq <= logNext) continue;
    const item = document.createElement("li");
    item.className = entry.kind;
    item.textContent = `${entry.gauge}: ${entryWords(entry)}`;
    item.title = entry.kind === "key" ? `${entry.text} (${entry.id})` : entry.text;
    log.append(item);
    logNext = entry.seq;
    if (live && entry.sound && entry.found !== false) playSound(entry.sound);
  }
  while (log.children.length > 200) log.firstChild.remove();
  log.scrollTop = log.scrollHeight;
}

// The server tells of every change on one event stream: each picture's
// version, the state, and what the gauges sent since its last message.
function follow() {
  const events = new EventSource("/api/events");
  let first = true;   // of this connection: it tells of what came before
  events.onopen = () => { first = true; };
  events.onmessage = (message) => {
    const event = JSON.parse(message.data);
    for (const [name, version] of Object.entries(event.versions)) {
      const picture = pictureOf(name);
      if (event.state.shows[name]) {
        picture.alts[version] = describe(name, event.state.shows[name]);
        for (const old of Object.keys(picture.alts)) {
          if (Number(old) < Math.min(version, picture.shown)) delete picture.alts[old];
        }
      }
      picture.version = version;
      // Also after a fetch that failed: the picture shown is behind.
      if (picture.shown !== version) fetchPicture(name);
      showAlt(name);
    }
    showState(event.state);
    showSent(event, !first);
    first = false;
    setConnected(true);
  };
  events.onerror = () => {
    setConnected(false);
    setStatus("disconnected: the bench cannot be reached (is panel-bench serve still running?); " +
              "trying again…");
  };
  // Another page took this one's place on the server: stop, and say so,
  // rather than take it back and push that page out in turn.
  events.addEventListener("replaced", (message) => {
    events.close();
    setConnected(false);
    setStatus(JSON.parse(message.data).error);
  });
}

function wireControls() {
  for (const input of document.querySelectorAll("[data-control]")) {
    input.addEventListener("change", () => {
      const value = input.type === "checkbox" ? input.checked : input.value;
      api("/api/control", { name: input.dataset.control, value }, { retry: true })
        .then(showState).catch((e) => setStatus("control failed: " + e.message));
    });
  }
  // Power up: the aircraft as by day in flight, each control in turn.
  document.getElementById("power-up").addEventListener("click", async () => {
    try {
      for (const [name, value] of POWER_UP) {
        showState(await api("/api/control", { name, value }, { retry: true }));
      }
    } catch (e) {
      setStatus("power up failed: " + e.message);
    }
  });
  const scale = document.getElementById("view-scale");
  scale.addEventListener("change", () => {
    view.scaleChosen = true;
    view.scale = Number(scale.value);
    layout();
    refreshAll();
  });
  window.addEventListener("resize", () => { if (!view.scaleChosen) fitScale(); });
  const overlay = document.getElementById("view-overlay");
  overlay.addEventListener("change", () => { view.overlay = overlay.checked; refreshAll(); });
}

async function start() {
  view.scale = Number(document.getElementById("view-scale").value);
  wireControls();
  wireSound();
  setConnected(false);
  try {
    buildPanel(await api("/api/panel"));
  } catch (e) {
    setStatus("cannot reach the bench: " + e.message + " (start panel-bench serve, then reload)");
    return;
  }
  fitScale();
  follow();
}

start();
