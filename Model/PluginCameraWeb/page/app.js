// The camera remote's page: follows /api/events and sends the picks to the API.
'use strict';

const SETTINGS = [
  // API name, label, record field with the value, record field with the choices
  ['focus', 'Focus mode', 'focusMode', 'supportedFocusMode'],
  ['iso', 'ISO', 'iso', 'supportedIso'],
  ['iris', 'Iris', 'iris', 'supportedIris'],
  ['shutter', 'Shutter speed', 'shutterSpeed', 'supportedShutterSpeed'],
  ['wb', 'White balance', 'whiteBalance', 'supportedWhiteBalance'],
];
// The models by the record's cameraType, as people know them.
const MODELS = ['', 'Sony A7 III', 'Sony A7 IV', 'Sony A7S III', 'Sony ZV-E10', 'Sony FX3', 'Sony FX3A',
  'Sony FX30', 'Sony ZV-E10 II', 'Canon EOS R6', 'Canon EOS R6 Mark II', 'Canon EOS RP', 'Canon EOS R6 Mark II',
  'Nikon Z8', 'Nikon Z9'];
const SURFACE = { w: 1920, h: 1080 };
const CAMERA_STATES = ['not connected', 'connected', 'connection failed'];
const MAX_CHANGES = 12;
const PENDING_MS = 15000;  // a change that matches a request of this page sooner is the page's

const params = new URLSearchParams(location.search);
const token = params.get('token') || sessionStorage.getItem('camera-token') || '';
if (params.get('token')) sessionStorage.setItem('camera-token', token);

const $ = (id) => document.getElementById(id);
let last = null;        // the last record shown
const pending = {};     // record field -> {value, at} asked for by this page
let source = null;
let heartbeatTimer = 0;
let retryMs = 1000;

function text(el, value) { el.textContent = value; }

function buildSettings() {
  const box = $('settings');
  // The exposure program, which every list offered depends on: shown, set on the camera.
  box.innerHTML = '<div class="setting"><span class="label">Exposure program</span>' +
    '<div class="value" id="value-mode">–</div></div>';
  for (const [name, label] of SETTINGS) {
    const div = document.createElement('div');
    div.className = 'setting';
    div.innerHTML = `<label for="pick-${name}">${label}</label>` +
      `<div class="value" id="value-${name}">–</div><select id="pick-${name}" disabled></select>`;
    box.appendChild(div);
    div.querySelector('select').addEventListener('change', (e) => set(name, e.target.value));
  }
}

function showError(message) {
  const el = $('error');
  text(el, message);
  el.hidden = !message;
}

async function post(path, body) {
  const headers = { 'Content-Type': 'application/json' };
  if (token) headers.Authorization = 'Bearer ' + token;
  try {
    const r = await fetch(path, { method: 'POST', headers, body: JSON.stringify(body) });
    const answer = await r.json().catch(() => ({}));
    showError(r.ok ? '' : `${path}: ${answer.error || r.status}`);
    return r.ok;
  } catch (e) {
    showError(`${path}: ${e.message}`);
    return false;
  }
}

function set(name, value) {
  const field = SETTINGS.find((s) => s[0] === name)[2];
  pending[field] = { value, at: Date.now() };
  post('/api/set', { setting: name, value });
}

// `value` is the record's new value of `field`; from and to are its words for people.
function addChange(what, from, to, field, value) {
  const p = pending[field];
  const mine = p !== undefined && p.value === value && Date.now() - p.at < PENDING_MS;
  if (mine) delete pending[field];
  const li = document.createElement('li');
  li.innerHTML = '<span class="what"></span> <span class="source"></span>';
  text(li.firstChild, `${what}: ${from === undefined ? '–' : from} → ${to}`);
  text(li.lastChild, `(${mine ? 'this page' : 'camera'}, ${new Date().toLocaleTimeString()})`);
  li.dataset.source = mine ? 'page' : 'camera';
  const list = $('changes');
  list.prepend(li);
  while (list.children.length > MAX_CHANGES) list.lastChild.remove();
}

function fillPicker(select, value, choices) {
  const list = choices.includes(value) || value === '' ? choices : [value, ...choices];
  if (select.dataset.list !== JSON.stringify(list)) {
    select.replaceChildren(...list.map((c) => new Option(c, c)));
    select.dataset.list = JSON.stringify(list);
  }
  select.value = value;
  select.disabled = list.length === 0;
}

function show(record) {
  const connected = record.connectState === 1;
  const model = record.cameraType ? MODELS[record.cameraType] || record.cameraName : 'No camera';
  text($('model'), model);
  document.title = `${model} – Camera remote`;
  text($('value-mode'), record.mode || '–');
  const state = $('camera-state');
  text(state, CAMERA_STATES[record.connectState] || `state ${record.connectState}`);
  state.className = 'state ' + (connected ? 'on' : 'off');
  for (const [name, label, field, list] of SETTINGS) {
    text($('value-' + name), record[field] || '–');
    fillPicker($('pick-' + name), record[field] || '', connected ? record[list] || [] : []);
    if (last && last[field] !== record[field]) addChange(label, last[field], record[field], field, record[field]);
  }
  const rec = $('record');
  rec.classList.toggle('on', record.recordEnable);
  rec.setAttribute('aria-pressed', String(record.recordEnable));
  rec.disabled = !connected;
  text(rec, record.recordEnable ? 'Stop recording' : 'Start recording');
  text($('record-state'), record.recordEnable ? 'recording' : 'stopped');
  if (last && last.recordEnable !== record.recordEnable)
    addChange('Recording', last.recordEnable ? 'on' : 'off', record.recordEnable ? 'on' : 'off', 'recordEnable',
              record.recordEnable);
  if (last && last.mode !== record.mode) addChange('Exposure program', last.mode, record.mode, 'mode', record.mode);
  if (last && last.connectState !== record.connectState)
    addChange('Camera', CAMERA_STATES[last.connectState], CAMERA_STATES[record.connectState], 'connectState',
              record.connectState);
  last = record;
}

function link(state, label) {
  const el = $('link');
  el.className = 'state ' + state;
  text(el, label);
}

function watchHeartbeat() {
  clearTimeout(heartbeatTimer);
  // A stream silent for much longer than the server's heartbeat is dead: start again.
  heartbeatTimer = setTimeout(connect, 35000);
}

function connect() {
  if (source) source.close();
  const url = '/api/events' + (token ? '?token=' + encodeURIComponent(token) : '');
  source = new EventSource(url);
  link('wait', 'connecting…');
  source.onopen = () => { retryMs = 1000; link('on', 'live'); watchHeartbeat(); };
  source.addEventListener('record', (e) => { watchHeartbeat(); show(JSON.parse(e.data)); });
  source.addEventListener('heartbeat', watchHeartbeat);
  source.onerror = () => {
    link('off', 'disconnected, retrying');
    // The browser retries by itself unless the server answered with an error (e.g. 401).
    if (source.readyState === EventSource.CLOSED) {
      setTimeout(connect, retryMs);
      retryMs = Math.min(retryMs * 2, 10000);
      if (!token) showError('The server refused the event stream: open this page with ?token=TOKEN.');
    }
  };
}

// The surface's box snapped to whole pixels, as clicks land on whole pixels: the middle pixel
// of an even-sized box is then exactly the middle of the 1920 x 1080 surface.
function touch(e) {
  const r = $('surface').getBoundingClientRect();
  const left = Math.round(r.left), top = Math.round(r.top);
  const w = Math.round(r.width), h = Math.round(r.height);
  const clamp = (v, max) => Math.min(Math.max(v, 0), max);
  const x = clamp(Math.floor((e.clientX - left) * SURFACE.w / w), SURFACE.w - 1);
  const y = clamp(Math.floor((e.clientY - top) * SURFACE.h / h), SURFACE.h - 1);
  const marker = $('marker');
  marker.style.left = (x * 100 / SURFACE.w) + '%';
  marker.style.top = (y * 100 / SURFACE.h) + '%';
  marker.hidden = false;
  text($('surface-hint'), `Focus point (${x}, ${y})`);
  post('/api/touch', { x, y });
}

buildSettings();
$('record').addEventListener('click', () => {
  const on = !(last && last.recordEnable);
  pending.recordEnable = { value: on, at: Date.now() };
  post('/api/record', { on });
});
$('surface').addEventListener('click', touch);
connect();
