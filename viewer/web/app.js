// The live panel page: draws the gauges as the bench serves them, sends the
// user's clicks and switch changes, shows what the gauges send and plays the
// clicks they play.
"use strict";

// Holding the button on a split key or knob half (an area that takes the
// held repeat) repeats like the simulator's arrow areas: a first repeat
// after this delay, then one every REPEAT_MS while the button stays down.
const REPEAT_DELAY_MS = 400;
const REPEAT_MS = 100;        // 10 a second

const view = { scale: 2, overlay: false, gauges: [] };
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
  for (const name of ["temp", "millibars", "dhset", "ratest"]) {
    const value = state[name];
    document.getElementById("named-" + name).textContent = value === null ? "not registered" : value;
  }
  document.getElementById("updates").textContent = state.updates;
  setStatus("running");
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
    item.textContent = entry.kind === "key"
      ? `${entry.gauge}: key ${entry.id}${entry.name ? " " + entry.name : ""}`
      : `${entry.gauge}: ${entry.text}${entry.found === false ? " (file not found)" : ""}`;
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
  };
  events.onerror = () => setStatus("disconnected: reconnecting…");
  // Another page took this one's place on the server: stop, and say so,
  // rather than take it back and push that page out in turn.
  events.addEventListener("replaced", (message) => {
    events.close();
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
  const scale = document.getElementById("view-scale");
  scale.addEventListener("change", () => { view.scale = Number(scale.value); layout(); refreshAll(); });
  const overlay = document.getElementById("view-overlay");
  overlay.addEventListener("change", () => { view.overlay = overlay.checked; refreshAll(); });
}

async function start() {
  view.scale = Number(document.getElementById("view-scale").value);
  wireControls();
  wireSound();
  try {
    buildPanel(await api("/api/panel"));
  } catch (e) {
    setStatus("cannot reach the bench: " + e.message);
    return;
  }
  follow();
}

start();
