// kavrad's dashboard: every unit from the server's event stream; controls post SCPI-backed
// actions to /control. Text from the server goes in through textContent only.
'use strict';

const HISTORY_MS = 10 * 60 * 1000;
const units = new Map(); // index -> {card, description, plot, data}

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function format(value, digits, unit) {
  return value === null || value === undefined ? '–' : `${Number(value).toFixed(digits)} ${unit}`;
}

async function post(fields, message) {
  message.textContent = '…';
  message.className = 'message';
  try {
    const response = await fetch('/control', { method: 'POST', body: new URLSearchParams(fields) });
    const reply = response.ok ? await response.json() : { ok: false, error: await response.text() };
    message.textContent = reply.ok ? 'done' : reply.error;
    message.className = reply.ok ? 'message' : 'message error';
  } catch (failure) {
    message.textContent = String(failure);
    message.className = 'message error';
  }
}

function button(label, className, onClick) {
  const node = element('button', className, label);
  node.type = 'button';
  node.addEventListener('click', onClick);
  return node;
}

function buildCard(description) {
  const card = element('section', 'unit');
  card.id = `unit-${description.serial}`;
  const title = element('h2');
  title.append(element('span', 'serial', description.serial),
    element('span', 'model', description.model), element('span', 'badge link', '…'));
  card.append(title, element('div', 'error-text error'), element('div', 'supply'));
  const message = element('div', 'message');
  const table = element('table', 'outputs');
  for (let n = 1; n <= description.outputs; ++n) {
    const row = element('tr', `out-${n}`);
    row.append(element('th', '', `Output ${n}`), element('td', 'state', '–'),
      element('td', 'voltage', '–'), element('td', 'polarity'), element('td', 'current'));
    const controls = element('td', 'controls');
    if (description.canSwitch) {
      controls.append(button('On', 'on', () => post({ unit: description.index, action: 'on', output: n }, message)),
        button('Off', 'off', () => post({ unit: description.index, action: 'off', output: n }, message)));
    }
    if (description.canSetVoltage) {
      const input = element('input', 'voltage');
      input.type = 'text';
      input.placeholder = 'volts';
      controls.append(input, button('Set', 'set', () =>
        post({ unit: description.index, action: 'voltage', output: n, value: input.value.trim() }, message)));
    }
    row.append(controls);
    table.append(row);
  }
  card.append(table);
  if (description.canClear)
    card.append(button('Clear error', 'clear', () => post({ unit: description.index, action: 'clear' }, message)));
  card.append(message);
  return card;
}

function buildPlot(entry) {
  const d = entry.description;
  if (!window.uPlot || !(d.hasCurrent || d.hasAdc)) return;
  const holder = element('div', 'plot');
  entry.card.append(holder);
  const series = [{}];
  if (d.hasCurrent) {
    for (let n = 1; n <= d.outputs; ++n)
      series.push({ label: `I${n} (µA)`, stroke: ['#2563eb', '#16a34a', '#9333ea'][n - 1] });
  }
  if (d.hasAdc) series.push({ label: 'ADC', stroke: '#ea580c' });
  entry.plot = new uPlot({ width: 390, height: 160, series, scales: { x: { time: true } } },
    entry.data, holder);
  entry.holder = holder;
}

function columns(d, history) {
  const data = [history.t.map((t) => t / 1000)];
  if (d.hasCurrent) history.current.forEach((c) => data.push(c.map((a) => (a === null ? null : a * 1e6))));
  if (d.hasAdc) data.push(history.adc);
  return data;
}

function append(entry, reading) {
  const d = entry.description;
  const values = [reading.t / 1000];
  if (d.hasCurrent) {
    for (let n = 0; n < d.outputs; ++n) {
      const output = (reading.outputs || [])[n] || {};
      values.push(output.current === undefined ? null : output.current * 1e6);
    }
  }
  if (d.hasAdc) values.push(reading.adc === undefined ? null : reading.adc);
  values.forEach((value, i) => entry.data[i].push(value));
  const oldest = (reading.t - HISTORY_MS) / 1000;
  while (entry.data[0].length && entry.data[0][0] < oldest) entry.data.forEach((column) => column.shift());
  if (entry.plot) {
    entry.plot.setData(entry.data);
    entry.holder.dataset.points = entry.data[0].length;
  }
}

function show(entry, reading) {
  const card = entry.card;
  const connected = reading.connected !== false;
  card.classList.toggle('away', !connected);
  card.dataset.connected = connected ? '1' : '0';
  const link = card.querySelector('.link');
  link.textContent = connected ? 'connected' : 'disconnected';
  link.className = `badge link ${connected ? 'ok' : 'bad'}`;
  card.querySelector('.error-text').textContent = connected ? '' : reading.error || '';
  const supply = card.querySelector('.supply');
  if (reading.supply) {
    supply.textContent = `Supply: ${reading.supply.text || 'No error'}`;
    supply.className = reading.supply.error ? 'supply bad' : 'supply';
  }
  (reading.outputs || []).forEach((output, i) => {
    const row = card.querySelector(`.out-${i + 1}`);
    if (!row) return;
    if (output.on !== undefined) {
      const state = row.querySelector('.state');
      state.textContent = output.on ? 'ON' : 'off';
      state.className = `state ${output.on ? 'on' : 'off'}`;
    }
    if (output.voltage !== undefined)
      row.querySelector('.voltage').textContent = format(output.voltage, 1, 'V') + (output.ramping ? ' (ramping)' : '');
    if (output.polarity !== undefined) row.querySelector('.polarity').textContent = output.polarity || '';
    if (output.current !== undefined) row.querySelector('.current').textContent = format(output.current * 1e6, 0, 'µA');
  });
  if (reading.adc !== undefined) supply.textContent = `ADC: ${reading.adc}`;
}

function start() {
  const link = document.getElementById('link');
  const message = document.getElementById('all-off-message');
  document.getElementById('all-off').addEventListener('click', () => {
    const first = units.keys().next();
    if (!first.done) post({ unit: first.value, action: 'alloff' }, message);
  });
  const events = new EventSource('/events');
  events.addEventListener('open', () => { link.textContent = 'live'; link.className = 'badge ok'; });
  events.addEventListener('error', () => { link.textContent = 'reconnecting'; link.className = 'badge bad'; });
  events.addEventListener('init', (event) => {
    const container = document.getElementById('units');
    container.replaceChildren();
    units.clear();
    for (const description of JSON.parse(event.data).units) {
      const entry = { description, card: buildCard(description), data: columns(description, description.history) };
      container.append(entry.card);
      units.set(description.index, entry);
      buildPlot(entry);
      if (description.latest && description.latest.t) show(entry, description.latest);
    }
  });
  events.addEventListener('unit', (event) => {
    const reading = JSON.parse(event.data);
    const entry = units.get(reading.index);
    if (!entry) return;
    show(entry, reading);
    append(entry, reading);
  });
}

start();
