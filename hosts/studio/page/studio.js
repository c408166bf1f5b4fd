// drawlet studio: the page. The controls are made from the session's parameter table. Every
// change draws the frame again: one request at a time per view, the newest settings sent when
// it returns, first scaled down, then at full size when that is quick (or on "Exact frame").
'use strict';

// A full-size render follows a preview by itself when it should take less than this.
const AUTO_EXACT_MS = 400;

const $ = (selector, root = document) => root.querySelector(selector);

let session = null;  // GET api/session
// Each side: {values: {key: int}, look: name or '', boilRate: number or null, followMotion:
// true or false, confirmed: the values as the module left them at the side's last render, or
// undefined before it}.
const sides = {a: null, b: null};
let active = 'a';
let frame = 0;
let split = 0.5;
const controls = {};  // key -> {element, set(value)}
const views = {};
const originals = new Map();  // "frame:maxSide" -> object URL of the frame as it is
// This page's renders name it, so that the server drops one of a side that a newer one of the
// same side overtook.
const pageId = Math.random().toString(36).slice(2);

function el(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) {
    if (name === 'class') node.className = value;
    else if (name === 'text') node.textContent = value;
    else node.setAttribute(name, value);
  }
  for (const child of children) if (child) node.append(child);
  return node;
}

function parameter(key) { return session.parameters.find((p) => p.key === key); }
function defaults() { return Object.fromEntries(session.parameters.map((p) => [p.key, p.default])); }
function lookNamed(name) { return session.looks.find((l) => l.name === name); }
// Whether the side's look (or the defaults) follows the motion.
function baseFollows(side) { return lookNamed(sides[side].look)?.followMotion ?? false; }
function isVideo() { return session.input.video; }
function previewSide() { return Number($('#preview-size').value); }

// What the values start from: the look's values, or the defaults.
function baseValues(side) {
  const look = lookNamed(sides[side].look);
  return look ? look.values : defaults();
}

// ---- controls ----------------------------------------------------------------------------

function rangeText(p) {
  if (p.kind === 'check') return 'on/off';
  return `${p.min}..${p.max}${p.unit ? ' ' + p.unit : ''}`;
}

function makeControl(p) {
  const head = el('div', {class: 'head'},
    el('span', {class: 'label', text: p.label}),
    el('span', {class: 'name', text: p.name === p.key ? '' : `${p.name} · ${p.key}`}),
    el('span', {class: 'range', text: rangeText(p)}));
  const inputs = el('div', {class: 'inputs'});
  const box = el('div', {class: 'control', 'data-key': p.key}, head, inputs,
    el('div', {class: 'description', text: p.description}));
  head.title = 'Double-click to reset to ' + p.default;
  head.addEventListener('dblclick', () => change(p.key, p.default));
  let set;
  if (p.kind === 'check') {
    const check = el('input', {type: 'checkbox', 'aria-label': p.label});
    check.addEventListener('change', () => change(p.key, check.checked ? 1 : 0));
    inputs.append(check, el('span', {class: 'unit', text: p.default ? 'on by default' : 'off by default'}));
    set = (v) => { check.checked = v !== 0; };
  } else if (p.choices.length > 0) {
    const select = el('select', {'aria-label': p.label});
    for (const c of p.choices) select.append(el('option', {value: c.value, text: `${c.value}: ${c.label}`}));
    select.addEventListener('change', () => change(p.key, Number(select.value)));
    inputs.append(select);
    set = (v) => { select.value = String(v); };
  } else {
    const slider = el('input', {type: 'range', min: p.min, max: p.max, step: 1, 'aria-label': p.label});
    const number = el('input', {type: 'number', min: p.min, max: p.max, step: 1, 'aria-label': p.label + ' value'});
    slider.addEventListener('input', () => change(p.key, Number(slider.value)));
    number.addEventListener('change', () => {
      const v = Math.round(Number(number.value));
      if (Number.isFinite(v)) change(p.key, Math.min(p.max, Math.max(p.min, v)));
    });
    inputs.append(slider, number, el('span', {class: 'unit', text: p.unit}));
    set = (v) => { slider.value = String(v); number.value = String(v); };
  }
  controls[p.key] = {element: box, set};
  return box;
}

// The boil rate: how many times a second the hatching's jitter changes, whatever the clip's
// frame rate; the server turns it into the update interval as drawlet render --boil-rate does.
function makeBoilControl() {
  const input = el('input', {type: 'number', min: 0, step: 0.5, placeholder: 'off', 'aria-label': 'boil rate'});
  input.addEventListener('change', () => {
    const text = input.value.trim();
    const rate = text === '' ? null : Number(text);
    if (rate !== null && !(rate >= 0)) return;
    sides[active].boilRate = rate;
    refresh();
    renderChanged([active]);
  });
  const box = el('div', {class: 'control', id: 'boil'},
    el('div', {class: 'head'}, el('span', {class: 'label', text: 'Boil rate'}),
      el('span', {class: 'range', text: 'changes per second'})),
    el('div', {class: 'inputs'}, input),
    el('div', {class: 'description', id: 'boil-note'}));
  controls.boilRate = {element: box, set: (v) => { input.value = v === null ? '' : String(v); }};
  return box;
}

// Follow motion: between two changes of the jitter the hatching moves with the picture. The
// server draws such a frame after the frames from the last change on, as drawlet render
// --follow-motion does.
function makeFollowControl() {
  const check = el('input', {type: 'checkbox', 'aria-label': session.followMotion.label});
  check.addEventListener('change', () => {
    sides[active].followMotion = check.checked;
    refresh();
    renderChanged([active]);
  });
  const box = el('div', {class: 'control', id: 'follow-motion'},
    el('div', {class: 'head'}, el('span', {class: 'label', text: session.followMotion.label}),
      el('span', {class: 'name', text: session.followMotion.key}),
      el('span', {class: 'range', text: 'on/off'})),
    el('div', {class: 'inputs'}, check, el('span', {class: 'unit', text: 'off by default'})),
    el('div', {class: 'description', text: session.followMotion.description}));
  controls.followMotion = {element: box, set: (v) => { check.checked = v; }};
  return box;
}

function buildControls() {
  const groups = new Map();
  for (const p of session.parameters) {
    if (!groups.has(p.group)) groups.set(p.group, el('fieldset', {}, el('legend', {text: p.group})));
    groups.get(p.group).append(makeControl(p));
  }
  if (isVideo() && groups.has('Motion')) groups.get('Motion').append(makeBoilControl(), makeFollowControl());
  $('#groups').append(...groups.values());
  const looks = $('#look');
  looks.append(el('option', {value: '', text: '(no look: defaults)'}));
  for (const look of session.looks) looks.append(el('option', {value: look.name, text: look.name}));
}

// Shows the edited side's values in the controls.
function refresh() {
  const side = sides[active];
  const base = baseValues(active);
  for (const p of session.parameters) {
    controls[p.key].set(side.values[p.key]);
    controls[p.key].element.classList.toggle('changed', side.values[p.key] !== base[p.key]);
  }
  const look = lookNamed(side.look);
  $('#look').value = side.look;
  const modified = look && (session.parameters.some((p) => side.values[p.key] !== look.values[p.key]) ||
    (isVideo() && side.followMotion !== look.followMotion));
  $('#look-description').textContent = look ? look.description + (modified ? ' (changed below)' : '') : '';
  for (const s of ['a', 'b']) $('#side-' + s).setAttribute('aria-pressed', String(s === active));
  $('#copy-side').textContent = active === 'a' ? 'Copy A to B' : 'Copy B to A';
  if (controls.boilRate) {
    controls.boilRate.set(side.boilRate);
    const interval = side.boilRate === null ? side.values['update-interval'] : views[active].interval;
    const slider = controls['update-interval'].element;
    for (const input of slider.querySelectorAll('input')) input.disabled = side.boilRate !== null;
    $('#boil-note').textContent = boilNote(side.boilRate, interval);
  }
  if (controls.followMotion) {
    controls.followMotion.set(side.followMotion);
    controls.followMotion.element.classList.toggle('changed', side.followMotion !== baseFollows(active));
  }
  $('#command-line').textContent = commandLine(active);
}

function boilNote(rate, interval) {
  const fps = session.input.fps;
  const timing = interval === undefined || interval === null ? ''
    : interval === 0 ? 'the hatching never changes'
    : `every ${interval} frame${interval === 1 ? '' : 's'}: ${(fps / interval).toFixed(1)} changes a second at ${fps.toFixed(3).replace(/\.?0+$/, '')} fps`;
  return rate === null ? `Off: the update interval counts frames (${timing}). Give a rate to boil alike at any frame rate.`
    : `Sets the update interval: ${timing}.`;
}

// A change made on the page. The render that follows takes it to the module, whose update
// callback may change other values in turn (switching one interpolation box on switches the
// other off); the controls then show what it left.
function change(key, value) {
  sides[active].values[key] = value;
  refresh();
  renderChanged([active]);
}

// The values as the module left the settings a render sent: a value changed on the page
// since then stays as it is now, and goes with the next render.
function adoptValues(side, sent, left) {
  const state = sides[side];
  for (const [key, value] of Object.entries(left))
    if (state.values[key] === sent[key]) state.values[key] = value;
  state.confirmed = left;
}

function chooseLook(name) {
  const look = lookNamed(name);
  sides[active].values = {...(look ? look.values : defaults())};
  sides[active].look = name;
  sides[active].followMotion = look ? look.followMotion : false;
  refresh();
  renderChanged([active]);
}

// ---- rendering ---------------------------------------------------------------------------

function visibleSides() { return $('#ab').checked ? ['a', 'b'] : [active]; }

function setupViews() {
  for (const figure of document.querySelectorAll('.view')) {
    const side = figure.dataset.side;
    views[side] = {
      figure, drawn: $('img.drawn', figure), original: $('img.original', figure),
      divider: $('.divider', figure), status: $('.status', figure),
      busy: false, dirty: false, wantExact: false, url: null, shown: null, interval: null, renders: 0,
      generation: 0, following: false, sentFrame: null,
    };
    const frameBox = $('.frame', figure);
    const follow = (event) => {
      if (!$('#split').checked) return;
      const box = frameBox.getBoundingClientRect();
      split = Math.min(1, Math.max(0, (event.clientX - box.left) / box.width));
      showSplit();
    };
    frameBox.addEventListener('pointerdown', (event) => {
      frameBox.setPointerCapture(event.pointerId);
      follow(event);
    });
    frameBox.addEventListener('pointermove', (event) => { if (frameBox.hasPointerCapture(event.pointerId)) follow(event); });
  }
}

function showSplit() {
  const on = $('#split').checked;
  for (const view of Object.values(views)) {
    view.figure.style.setProperty('--split', (split * 100).toFixed(2) + '%');
    view.original.hidden = !on || !view.original.getAttribute('src');
    view.divider.hidden = !on;
  }
}

async function originalUrl(frameNumber, maxSide) {
  const key = `${frameNumber}:${maxSide}`;
  if (!originals.has(key)) {
    const response = await fetch(`api/original?frame=${frameNumber}&maxSide=${maxSide}`);
    if (!response.ok) throw new Error((await response.json()).error);
    originals.set(key, URL.createObjectURL(await response.blob()));
    if (originals.size > 8) {
      const [oldest] = originals.keys();
      URL.revokeObjectURL(originals.get(oldest));
      originals.delete(oldest);
    }
  }
  return originals.get(key);
}

// The side's settings, and the values the module last left for it, so that its update
// callback sees what changed since.
function requestBody(side, maxSide) {
  const state = sides[side];
  const body = {settings: {...state.values}, frame, maxSide, boilRate: isVideo() ? state.boilRate : null,
    followMotion: isVideo() && state.followMotion};
  if (state.confirmed) body.previous = state.confirmed;
  return body;
}

function renderChanged(which) {
  for (const side of which) {
    views[side].wantExact = false;
    if (visibleSides().includes(side)) render(side);
  }
  $('#command-line').textContent = commandLine(active);
}

// Draws the side's frame; while a request is out, later changes only mark it dirty, and the
// newest settings go out when it returns. A frame that follows the motion may first wait for
// the frames since the jitter last changed: another frame does not wait for it, and the
// server drops the one it overtook.
async function render(side) {
  const view = views[side];
  const overtake = view.busy && view.following && view.sentFrame !== frame;
  if (view.busy && !overtake) {
    view.dirty = true;
    return;
  }
  const generation = ++view.generation;
  view.busy = true;
  view.dirty = false;
  view.figure.classList.add('busy');
  const maxSide = view.wantExact ? 0 : previewSide();
  const body = requestBody(side, maxSide);
  view.following = body.followMotion;
  view.sentFrame = body.frame;
  let estimate = Infinity;
  try {
    const response = await fetch('api/render', {
      method: 'POST', body: JSON.stringify(body),
      headers: {'Content-Type': 'application/json', 'X-Preview-Of': `${pageId}-${side}`},
    });
    if (generation !== view.generation) return;
    if (!response.ok) throw new Error((await response.json()).error);
    const blob = await response.blob();
    const header = (name) => response.headers.get(name);
    const width = Number(header('X-Width')), height = Number(header('X-Height'));
    const ms = Number(header('X-Filter-Ms'));
    const exact = header('X-Exact') === '1';
    const followed = header('X-Followed') === '1';
    view.interval = Number(header('X-Update-Interval'));
    adoptValues(side, body.settings, JSON.parse(header('X-Values')));
    estimate = ms * (session.input.width * session.input.height) / (width * height);
    const source = await originalUrl(body.frame, maxSide);
    if (view.url) URL.revokeObjectURL(view.url);
    view.url = URL.createObjectURL(blob);
    view.drawn.src = view.url;
    view.original.src = source;
    view.renders += 1;
    Object.assign(view.figure.dataset, {exact: exact ? '1' : '0', frame: String(body.frame), renders: String(view.renders),
      followed: followed ? '1' : '0'});
    view.shown = {exact, frame: body.frame};
    view.status.classList.remove('error');
    view.status.textContent = `${side.toUpperCase()} · ${exact ? 'exact' : 'preview'} ${width}×${height} · frame ${body.frame}` +
      `${followed ? ' · hatching carried along the motion' : ''} · filter ${ms.toFixed(0)} ms`;
    showSplit();
    if (side === active) refresh();
    if (exact) {
      const link = $('#download-frame');
      link.href = view.url;
      link.download = `${session.input.name.replace(/\.[^.]*$/, '')}-frame${body.frame}${side === 'b' ? '-b' : ''}.png`;
      link.hidden = false;
    }
  } catch (error) {
    if (generation === view.generation) {
      view.status.classList.add('error');
      view.status.textContent = `${side.toUpperCase()}: ${error.message}`;
    }
  } finally {
    if (generation === view.generation) {
      view.busy = false;
      view.figure.classList.remove('busy');
    }
  }
  if (generation !== view.generation) return;
  if (view.dirty) {
    view.wantExact = false;
    render(side);
  } else if (!view.shown?.exact && view.shown?.frame === frame && estimate < AUTO_EXACT_MS) {
    view.wantExact = true;
    render(side);
  }
}

function renderExact() {
  for (const side of visibleSides()) {
    views[side].wantExact = true;
    render(side);
  }
}

// ---- frame -------------------------------------------------------------------------------

function setupTimeline() {
  const scrubber = $('#scrubber'), number = $('#frame-number');
  const last = isVideo() ? Math.max(0, (session.input.frames ?? Math.round(session.input.duration * session.input.fps)) - 1) : 0;
  if (isVideo()) {
    scrubber.max = String(last);
    number.max = String(last);
  } else {
    scrubber.hidden = true;
    number.title = 'A picture is the same at every frame; the number moves the hatching\'s jitter';
  }
  const go = (value) => {
    const n = Math.max(0, Math.round(Number(value)) || 0);
    frame = isVideo() ? Math.min(n, last) : n;
    scrubber.value = String(frame);
    number.value = String(frame);
    $('#time').textContent = isVideo() ? seconds(frame / session.input.fps) + ' of ' + seconds(session.input.duration)
      : 'the frame number the picture is given as';
    renderChanged(['a', 'b']);
  };
  scrubber.addEventListener('input', () => go(scrubber.value));
  number.addEventListener('change', () => go(number.value));
  go(0);
}

function seconds(s) {
  const m = Math.floor(s / 60);
  return `${m}:${(s - 60 * m).toFixed(2).padStart(5, '0')}`;
}

// ---- saving and the command line ----------------------------------------------------------

function quote(text) {
  return /^[\w@%+=:,./-]+$/.test(text) ? text : `'${text.replace(/'/g, `'\\''`)}'`;
}

function commandLine(side) {
  const state = sides[side];
  const stem = session.input.name.replace(/\.[^.]*$/, '');
  const words = ['drawlet', 'render', quote(session.input.path), '-o', quote(`${stem}-drawn.${isVideo() ? 'mp4' : 'png'}`)];
  if (!isVideo() && frame !== 0) words.push('--frame', String(frame));
  if (state.look) words.push('--look', state.look);
  const base = baseValues(side);
  for (const p of session.parameters) {
    const v = state.values[p.key];
    if (v === base[p.key] || (p.key === 'update-interval' && state.boilRate !== null)) continue;
    words.push('--set', `${p.key}=${p.kind === 'check' ? (v ? 'on' : 'off') : v}`);
  }
  if (isVideo() && state.boilRate !== null) words.push('--boil-rate', String(state.boilRate));
  if (isVideo() && state.followMotion !== baseFollows(side))
    words.push(...(state.followMotion ? ['--follow-motion'] : ['--set', 'follow-motion=off']));
  return words.join(' ');
}

async function saveSettings() {
  const response = await fetch('api/settings-file', {
    method: 'POST', headers: {'Content-Type': 'application/json'},
    body: JSON.stringify({settings: sides[active].values, boilRate: isVideo() ? sides[active].boilRate : null,
      followMotion: isVideo() && sides[active].followMotion}),
  });
  if (!response.ok) {
    views[active].status.textContent = (await response.json()).error;
    return;
  }
  const link = el('a', {href: URL.createObjectURL(await response.blob()), download: `${sides[active].look || 'drawlet'}-settings.json`});
  document.body.append(link);
  link.click();
  link.remove();
}

async function copyCommand() {
  const text = commandLine(active);
  try {
    await navigator.clipboard.writeText(text);
    $('#copy-command').textContent = 'Copied';
  } catch {
    const range = document.createRange();
    range.selectNodeContents($('#command-line'));
    getSelection().removeAllRanges();
    getSelection().addRange(range);
    $('#copy-command').textContent = 'Selected: copy it';
  }
  setTimeout(() => { $('#copy-command').textContent = 'Copy command line'; }, 1500);
}

// ---- start -------------------------------------------------------------------------------

async function start() {
  // The token is in the cookie now: keep it out of the address bar, history and screenshots.
  if (location.search.includes('token=')) history.replaceState(null, '', location.pathname);
  const response = await fetch('api/session');
  session = await response.json();
  const input = session.input;
  $('#input-name').textContent = `${input.name} · ${input.width}×${input.height}` +
    (input.video ? ` · ${input.frames ?? '?'} frames at ${input.fps.toFixed(3).replace(/\.?0+$/, '')} fps` : '');
  $('#module-name').textContent = session.module;
  document.title = `${input.name} · drawlet studio`;
  $('#views').style.setProperty('--aspect', String(input.width / input.height));
  const first = {values: {...session.start.values}, look: session.start.look, boilRate: session.start.boilRate,
    followMotion: session.start.followMotion};
  sides.a = first;
  sides.b = structuredClone(first);
  buildControls();
  setupViews();
  refresh();

  $('#look').addEventListener('change', (event) => chooseLook(event.target.value));
  $('#reset').addEventListener('click', () => chooseLook(''));
  for (const side of ['a', 'b'])
    $('#side-' + side).addEventListener('click', () => {
      active = side;
      refresh();
      if (!$('#ab').checked) {
        for (const s of ['a', 'b']) views[s].figure.hidden = s !== side;
        render(side);
      }
    });
  $('#ab').addEventListener('change', () => {
    for (const s of ['a', 'b']) views[s].figure.hidden = !visibleSides().includes(s);
    for (const s of visibleSides()) render(s);
  });
  $('#copy-side').addEventListener('click', () => {
    const other = active === 'a' ? 'b' : 'a';
    sides[other] = structuredClone(sides[active]);
    renderChanged([other]);
  });
  $('#split').addEventListener('change', showSplit);
  $('#preview-size').addEventListener('change', () => renderChanged(['a', 'b']));
  $('#exact').addEventListener('click', renderExact);
  $('#save').addEventListener('click', saveSettings);
  $('#copy-command').addEventListener('click', copyCommand);
  setupTimeline();
}

start().catch((error) => {
  document.body.prepend(el('p', {class: 'status error', text: 'The studio could not start: ' + error.message}));
});
