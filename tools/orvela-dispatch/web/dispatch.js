// The dispatcher's page. Everything it shows comes from the service over one WebSocket, texts and
// colours made there; here it is only put in place, always as text (textContent), never as markup.
'use strict';

const state = {
  tiles: new Map(),      // station -> overview tile
  tileElements: new Map(),
  alarms: new Map(),     // key -> alarm
  headers: [],
  station: '',           // the station page shown, '' elsewhere
  input: 0,              // the input whose readings it shows
};

let socket = null;
let retryMs = 1000;

function $(id) { return document.getElementById(id); }

function element(tag, className, text) {
  const e = document.createElement(tag);
  if (className) e.className = className;
  if (text !== undefined && text !== null) e.textContent = String(text);
  return e;
}

function clear(e) { while (e.firstChild) e.removeChild(e.firstChild); }

// A colour from the service, and nothing else, goes into a style.
function setColor(e, color) { e.style.color = /^#[0-9a-f]{6}$/i.test(color || '') ? color : ''; }

// ---- The view chosen by the address: #/, #/alarms, #/station/<name>[/<input>]

function route() {
  const hash = location.hash || '#/';
  const shown = state.station;
  let view = 'overview';
  state.station = '';
  state.input = 0;
  if (hash === '#/alarms') {
    view = 'alarms';
  } else if (hash.startsWith('#/station/')) {
    const parts = hash.slice('#/station/'.length).split('/');
    try {
      state.station = decodeURIComponent(parts[0]);
      view = 'station';
    } catch (e) {
      view = 'overview';
    }
    state.input = Math.max(0, Math.min(192, parseInt(parts[1] || '0', 10) || 0));
  }
  for (const id of ['overview', 'station', 'alarms']) $(id).hidden = id !== view;
  $('nav-overview').classList.toggle('current', view !== 'alarms');
  $('nav-alarms').classList.toggle('current', view === 'alarms');
  if (view === 'station') {
    $('station-name').textContent = state.station;
    document.title = state.station + ' — Диспетчер Orvela';
    // Another input of the same station keeps the grid; only its readings go.
    if (state.station !== shown) clear($('grid').tBodies[0]);
    for (const tr of $('grid').tBodies[0].rows) tr.classList.toggle('selected', Number(tr.dataset.input) === state.input);
    renderReadings(state.input, []);
  } else {
    document.title = view === 'alarms' ? 'Тревоги — Диспетчер Orvela' : 'Диспетчер Orvela';
  }
  sendWatch();
}

function stationHref(name, input) {
  return '#/station/' + encodeURIComponent(name) + (input ? '/' + input : '');
}

function send(message) {
  if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(message));
}

function sendWatch() { send({type: 'watch', station: state.station, input: state.input}); }

// ---- The overview

function hasAlarms(tile) { return tile.alarmCount > 0; }

function tileLine(label, value, className) {
  const line = element('div', 'tile-line' + (className ? ' ' + className : ''));
  line.append(element('span', 'label', label + ': '), element('span', 'value', value));
  return line;
}

function alarmsText(tile) {
  if (!tile.alarmCount) return 'нет';
  return tile.alarms.map(a => a.kindText + ' ' + a.count).join(', ');
}

function hottestText(tile) {
  const h = tile.hottest;
  return h ? h.text + ' °C (вход ' + h.input + ', датчик ' + h.sensor + ')' : '—';
}

function notInExchangeText(tile) {
  const list = tile.notInExchange || [];
  if (!list.length) return 'нет';
  const shown = list.slice(0, 12).join(', ');
  return list.length + ' (' + shown + (list.length > 12 ? ', …' : '') + ')';
}

function renderTile(tile) {
  let a = state.tileElements.get(tile.station);
  if (!a) {
    a = element('a', 'tile');
    state.tileElements.set(tile.station, a);
  }
  a.href = stationHref(tile.station);
  a.dataset.station = tile.station;
  a.className = 'tile ' + (tile.alive ? 'alive' : tile.status === 'unknown' ? 'unknown' : 'dead') +
      (hasAlarms(tile) ? ' has-alarms' : '');
  clear(a);
  a.append(element('div', 'tile-name', tile.station), element('div', 'tile-status', tile.statusText));
  a.append(tileLine('Контроллер', tile.controller ? tile.controller.text : '—', 'tile-controller'));
  const alarms = tileLine('Тревоги', alarmsText(tile), 'tile-alarm-line');
  if (hasAlarms(tile)) alarms.lastChild.className = 'value tile-alarms';
  a.append(alarms);
  a.append(tileLine('Самая высокая температура', hottestText(tile), 'tile-hottest'));
  a.append(tileLine('Входы без обмена', notInExchangeText(tile), 'tile-inputs'));
  a.append(tileLine('Последнее показание', tile.lastReadingText || '—', 'tile-reading'));
}

function tileOrder(a, b) {
  if (hasAlarms(a) !== hasAlarms(b)) return hasAlarms(a) ? -1 : 1;
  return a.station < b.station ? -1 : a.station > b.station ? 1 : 0;
}

function placeTiles() {
  const box = $('tiles');
  const tiles = [...state.tiles.values()].sort(tileOrder);
  tiles.forEach((tile, i) => {
    const e = state.tileElements.get(tile.station);
    if (box.children[i] !== e) box.insertBefore(e, box.children[i] || null);
  });
  while (box.children.length > tiles.length) box.removeChild(box.lastChild);
  $('no-stations').hidden = tiles.length > 0;
  if (state.station && state.tiles.has(state.station)) renderStationStatus(state.tiles.get(state.station));
}

// ---- The station page

function renderStationStatus(tile) {
  const status = $('station-status');
  status.textContent = tile.statusText + (tile.lastReadingText ? '; последнее показание ' + tile.lastReadingText : '');
  status.className = 'status ' + (tile.alive ? 'alive' : 'dead');
}

function renderHeaders() {
  const row = $('grid').tHead.rows[0];
  clear(row);
  for (const caption of state.headers) row.append(element('th', '', caption));
}

function renderRow(n, cells) {
  const body = $('grid').tBodies[0];
  while (body.rows.length < n) {
    const tr = element('tr');
    const number = body.rows.length + 1;
    tr.dataset.input = number;
    tr.addEventListener('click', () => { location.hash = stationHref(state.station, number); });
    body.append(tr);
  }
  const tr = body.rows[n - 1];
  tr.classList.toggle('selected', n === state.input);
  const count = Math.max(state.headers.length, 1);
  while (tr.cells.length < count) tr.append(element('td'));
  for (let c = 0; c < count; ++c) {
    const cell = cells ? cells[c] : null;
    const td = tr.cells[c];
    td.textContent = cell ? cell[0] : c === 0 ? String(n) : '';
    setColor(td, cell ? cell[1] : '');
  }
}

function renderController(lines) {
  const body = $('controller').tBodies[0];
  clear(body);
  for (const [label, value] of lines) {
    const tr = element('tr');
    tr.append(element('td', '', label), element('td', '', value));
    body.append(tr);
  }
  if (!lines.length) {
    const tr = element('tr');
    tr.append(element('td', 'empty', 'Состояние контроллера не получено.'));
    body.append(tr);
  }
}

function renderStationAlarms(alarms) {
  const body = $('station-alarms').tBodies[0];
  clear(body);
  for (const a of alarms) {
    const tr = element('tr', 'active');
    tr.append(element('td', 'start', a.startText || '—'), element('td', a.kind === 'rise' ? 'kind-rise' : '', a.kindText),
              element('td', '', a.text));
    body.append(tr);
  }
  $('station-alarms').hidden = !alarms.length;
  $('station-no-alarms').hidden = alarms.length > 0;
}

function renderReadings(input, readings) {
  $('readings-title').textContent = input ? 'Последние показания входа ' + input : 'Последние показания';
  const body = $('readings').tBodies[0];
  clear(body);
  for (const r of readings || []) {
    const tr = element('tr');
    tr.append(element('td', '', r.timeText));
    for (const [text, color] of r.cells) {
      const td = element('td', '', text);
      setColor(td, color);
      tr.append(td);
    }
    body.append(tr);
  }
  $('readings').hidden = !input || !(readings || []).length;
  $('choose-input').hidden = !!input;
  $('no-readings').hidden = !input || (readings || []).length > 0;
  $('no-readings').textContent = 'Показаний входа ' + input + ' пока не получено.';
}

function showStation(m) {
  if (m.station !== state.station) return;
  $('station-missing').hidden = !m.missing;
  $('station-body').hidden = !!m.missing;
  if (m.missing) return;
  renderHeaders();
  renderStationStatus(m.tile);
  renderController(m.controller);
  renderStationAlarms(m.alarms);
  m.rows.forEach((cells, i) => renderRow(i + 1, cells));
  if (m.input === state.input) renderReadings(m.input, m.readings);
}

function updateStation(m) {
  if (m.station !== state.station) return;
  if (m.rows) for (const [n, cells] of m.rows) renderRow(n, cells);
  if (m.controller) renderController(m.controller);
  if (m.alarms) renderStationAlarms(m.alarms);
}

// ---- The alarm list

function ackName() { return $('ack-name').value.trim(); }

function acknowledge(key) {
  const name = ackName();
  $('ack-hint').hidden = !!name;
  if (!name) {
    $('ack-name').focus();
    return;
  }
  localStorage.setItem('orvela-ack-name', name);
  send({type: 'ack', key: key, name: name});
}

function renderAlarms() {
  const body = $('alarm-list').tBodies[0];
  clear(body);
  const alarms = [...state.alarms.values()].sort((a, b) => b.order - a.order || (a.key < b.key ? -1 : 1));
  for (const a of alarms) {
    const tr = element('tr', (a.active ? 'active' : 'ended') + (a.ack ? ' acknowledged' : ''));
    tr.dataset.key = a.key;
    const end = element('td', 'end', a.active ? '' : a.endText);
    if (!a.active) end.append(element('div', 'ended-mark', 'завершена'));
    tr.append(element('td', 'start', a.startText || '—'), end, element('td', 'station', a.station),
              element('td', 'input', a.input || ''), element('td', 'sensor', a.sensor || ''),
              element('td', a.kind === 'rise' ? 'kind kind-rise' : 'kind', a.kindText + (a.severity ? ', ' + a.severity : '')),
              element('td', 'text', a.text));
    const ack = element('td', 'ack');
    if (a.ack) {
      ack.textContent = a.ack.name + ', ' + a.ack.timeText;
    } else {
      const button = element('button', '', 'Подтвердить');
      button.type = 'button';
      button.addEventListener('click', () => acknowledge(a.key));
      ack.append(button);
    }
    tr.append(ack);
    body.append(tr);
  }
  $('alarm-list').hidden = !alarms.length;
  $('no-alarms').hidden = alarms.length > 0;
  const open = alarms.filter(a => a.active && !a.ack).length;
  $('alarm-badge').hidden = !open;
  $('alarm-badge').textContent = String(open);
}

// ---- Messages from the service

function renderService(s) {
  const parts = [s.brokerConnected ? 'Брокер MQTT: на связи' : 'Брокер MQTT: нет связи'];
  if (s.malformed || s.unknownSchema)
    parts.push('пропущено сообщений: искаженных ' + s.malformed + ', неизвестной версии ' + s.unknownSchema);
  $('service').textContent = parts.join('; ');
  $('broker-lost').hidden = !!s.brokerConnected;
  $('broker-lost').textContent = 'Нет связи сервера диспетчера с брокером MQTT: ' + s.brokerReason +
      '. Показаны последние полученные сведения.';
}

function takeTiles(tiles, gone) {
  for (const tile of tiles || []) {
    state.tiles.set(tile.station, tile);
    renderTile(tile);
  }
  for (const name of gone || []) {
    state.tiles.delete(name);
    state.tileElements.delete(name);
  }
  placeTiles();
}

function takeAlarms(alarms, gone) {
  for (const a of alarms || []) state.alarms.set(a.key, a);
  for (const key of gone || []) state.alarms.delete(key);
  renderAlarms();
}

function handle(m) {
  switch (m.type) {
  case 'hello':
    state.headers = m.headers;
    state.tiles.clear();
    state.tileElements.clear();
    clear($('tiles'));
    state.alarms.clear();
    takeTiles(m.tiles, []);
    takeAlarms(m.alarms, []);
    renderService(m.service);
    break;
  case 'update':
    if (m.tiles || m.goneTiles) takeTiles(m.tiles, m.goneTiles);
    if (m.alarms || m.goneAlarms) takeAlarms(m.alarms, m.goneAlarms);
    if (m.service) renderService(m.service);
    break;
  case 'station':
    showStation(m);
    break;
  case 'rows':
    updateStation(m);
    break;
  case 'readings':
    if (m.station === state.station && m.input === state.input) renderReadings(m.input, m.readings);
    break;
  }
}

// ---- The connection: pushed changes only; when lost, shown, and made again by itself.

function setLink(online) {
  $('link').textContent = online ? 'На связи' : 'Нет связи';
  $('link').className = 'link ' + (online ? 'online' : 'offline');
  $('link-lost').hidden = online;
}

function reconnectLater() {
  setTimeout(connect, retryMs);
  retryMs = Math.min(retryMs * 2, 10000);
}

async function connect() {
  let token;
  try {
    const answer = await fetch('/api/token', {cache: 'no-store'});
    if (!answer.ok) throw new Error(String(answer.status));
    token = (await answer.json()).token;
  } catch (e) {
    setLink(false);
    reconnectLater();
    return;
  }
  const ws = new WebSocket((location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/live?token=' +
                           encodeURIComponent(token));
  socket = ws;
  ws.onopen = () => {
    retryMs = 1000;
    setLink(true);
    sendWatch();
  };
  ws.onmessage = event => handle(JSON.parse(event.data));
  ws.onclose = () => {
    if (socket === ws) socket = null;
    setLink(false);
    reconnectLater();
  };
}

window.addEventListener('hashchange', route);
document.addEventListener('DOMContentLoaded', () => {
  $('ack-name').value = localStorage.getItem('orvela-ack-name') || '';
  route();
  connect();
});
