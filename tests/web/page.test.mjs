// The page in Chromium: on the built-in simulated controller, and on korvane-sim through a stand-in
// for the browser's serial ports, so the page's WebAssembly drives the simulator byte for byte.
import { after, test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import tty from 'node:tty';
import { chromium } from 'playwright-core';

const root = new URL('../../', import.meta.url).pathname;
const pageFolder = process.env.KORVANE_PAGE ?? `${root}build-web/page`;
const simulator = process.env.KORVANE_SIM ?? `${root}build/korvane-sim`;
const file = (name, text) => ({ name, mimeType: 'text/plain', buffer: Buffer.from(text) });
// Line 2 has a checksum one too low.
const broken = file('broken.hex', ':020000040000FA\n:0410000001020304E1\n:00000001FF\n');
const connected = 'Connected. Bootloader: 012A, Device ID: BEEF, Soft: ';
const saved = 'Settings saved to korvane-settings-BEEF.json';
const erase = 'Writing <55 03 C0 01 55 AA 00 10 00 00>';

const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--disable-gpu'] });
after(() => browser.close());

// A page served from the built page's folder on http://localhost (a secure context).
async function openPage(query, prepare = async () => {}) {
  const context = await browser.newContext();
  await context.route('http://localhost/**', (route) => route.fulfill({
    path: pageFolder + (new URL(route.request().url()).pathname.replace(/\/$/, '/index.html')) }));
  await prepare(context);
  const page = await context.newPage();
  await page.goto(`http://localhost/${query}`);
  await page.locator('#connect:enabled').waitFor();
  return page;
}

const text = (page, id) => page.locator(`#${id}`).textContent();
const until = (page, id, want, timeout = 15000) =>
  page.locator(`#${id}`, { hasText: want }).waitFor({ timeout }).then(() => text(page, id));
// Answers the dialog that says `message` with `button`.
async function answer(page, message, button) {
  const dialog = page.locator('dialog[open]', { hasText: message });
  assert.equal(await dialog.locator('p').textContent(), message);
  await dialog.getByRole('button', { name: button, exact: true }).click();
}
// Clicks `button`: what that brings, a file chooser or a download.
const clicked = (page, button, what) =>
  Promise.all([page.waitForEvent(what), page.click(button)]).then(([brought]) => brought);
const chooseFile = async (page, button, chosen) => (await clicked(page, button, 'filechooser')).setFiles(chosen);
// Saves the settings: a download named for the controller, kept for `load`.
let savedFile;
async function save(page) {
  const download = await clicked(page, '#saveSettings', 'download');
  assert.equal(download.suggestedFilename(), 'korvane-settings-BEEF.json');
  savedFile = await download.path();
}
// Loads the saved file, or with `button` that file as device 1234's, automatic mode off.
async function load(page, button) {
  const other = { ...JSON.parse(fs.readFileSync(savedFile)), deviceId: '1234', auto: false };
  await chooseFile(page, '#loadSettings', button ? file('bike.json', JSON.stringify(other)) : savedFile);
  if (button) await answer(page, 'bike.json holds the settings of device 1234, not of this controller' +
    ' (BEEF). Load them anyway?', button);
}
// The update from confirming to the reboot notice, the time left shown meanwhile and gone at the
// end; the port's close told, and a connect after.
async function update(page, version) {
  await chooseFile(page, '#firmware', `${root}examples/demo-firmware.hex`);
  await answer(page, `Update firmware from file Software version: ${version}?`, 'Update');
  await until(page, 'firmwareProgressText', / - 0:0[1-9] left$/);
  await answer(page, 'The device is rebooting. Click Connect button to reconnect', 'OK');
  assert.equal(await text(page, 'firmwareProgressText'), '100%');
  await answer(page, 'The device is disconnected', 'OK');
  assert.equal(await text(page, 'connectStatus'), '');
  await page.click('#connect');
  assert.equal(await until(page, 'connectStatus', connected), connected + version);
}

test('the demo: settings, units, files of settings, a refused file, an update, disconnect', async () => {
  const page = await openPage('?demo');
  await page.click('#connect');
  assert.equal(await until(page, 'connectStatus', connected), connected + '07');
  // The user's action, the status once it ended (none: nothing is written), what the control shows
  // then. The speed is kept in mph: 25 mph shows as 40 km/h, 16 km/h is written as 10 mph.
  // prettier-ignore
  const steps = [
    [(p) => p.check('#auto'),               'Auto is updated',        '#auto',    true],
    [(p) => p.check('#config3'),            'Config is updated',      '#config3', true],
    [(p) => p.selectOption('#speed', '25'), 'Speed Limit is updated', '#speed',   '25', 30],
    [(p) => p.check('#kmh'),                null,                     '#speed',   '40', 50],
    [(p) => p.selectOption('#speed', '16'), 'Speed Limit is updated', '#speed',   '16', 50],
    [(p) => p.press('#speed', 'ArrowDown'), null,                     '#speed',   '16', 50],
    [(p) => p.check('#mph'),                null,                     '#speed',   '10', 30],
    // Saved; another device's file refused, then taken; the saved one put back.
    [(p) => save(p),                        saved,                    '#auto',    true],
    [(p) => load(p, 'Cancel'),              saved,                    '#auto',    true],
    [(p) => load(p, 'Load'),                'Settings loaded',        '#auto',    false],
    [(p) => p.check('#config1'),            'Config is updated',      '#config1', true],
    [(p) => load(p),                        'Settings loaded',        '#config3', true],
  ];
  for (const [act, status, id, shown, items] of steps) {
    await act(page);
    if (status) assert.equal(await until(page, 'setStatus', status), status);
    const control = page.locator(id);
    assert.equal(items ? await control.inputValue() : await control.isChecked(), shown);
    if (items) assert.equal(await control.locator('option').count(), items);
  }

  await chooseFile(page, '#firmware', broken);
  assert.equal(await until(page, 'firmwareStatus', 'Invalid'), 'Invalid firmware file');
  assert.equal(await text(page, 'firmwareDetail'), 'line 2: checksum E1, should be E2');
  assert.equal((await text(page, 'logPanel')).includes(erase), false);
  await update(page, '08');
  assert.equal((await text(page, 'logPanel')).includes(erase), true);
  await page.click('#disconnect');
  assert.deepEqual([await text(page, 'connectStatus'), await page.isEnabled('#connect')], ['', true]);
});

test('a browser without Web Serial says so, and offers the demo', async () => {
  const page = await openPage('', (context) => context.addInitScript(() => delete Navigator.prototype.serial));
  // Hidden, it is not found.
  assert.equal(await page.locator('#noSerial:visible').textContent({ timeout: 1000 }),
    'This browser cannot reach serial ports: open this page in Chrome, Edge or Opera, or use the' +
    ' desktop program korvane-config. The demo runs here too.');
  assert.equal(await page.locator('#demoLink').isVisible(), true);
});

// korvane-sim with `args`; its link's path once it serves.
function startSimulator(args) {
  const child = spawn(simulator, args, { stdio: ['ignore', 'pipe', 'inherit'] });
  return new Promise((resolve) => child.stdout.once('data', (line) =>
    resolve({ child, path: String(line).split('\n')[0].split(' ').pop() })));
}

test('korvane-sim through the serial stand-in: discovery, a setting, an update, an unplug', async (t) => {
  const simulators = [await startSimulator(['--silent']), await startSimulator([])];
  const [written, lines] = [[[], []], []];
  t.after(() => simulators.forEach(({ child }) => child.kill()));
  const page = await openPage('', async (context) => {
    // The simulator's pseudo-terminal: opened, written to, or closed (no bytes, while open).
    await context.exposeFunction('simulator', (n, bytes) => {
      if (bytes) return written[n].push(...bytes) && fs.writeSync(lines[n].fd, Buffer.from(bytes));
      if (lines[n]) return lines[n].destroy(lines[n] = null);
      const fd = fs.openSync(simulators[n].path, fs.constants.O_RDWR);
      const line = lines[n] = Object.assign(new tty.ReadStream(fd), { fd });
      line.on('data', (data) => page.evaluate(([n, b]) => ports[n].feed.enqueue(new Uint8Array(b)),
        [n, [...data]]));
      // A hang-up (a reset, a stop) is a lost device.
      line.on('end', () => lines[n] === line && page.evaluate((n) => { ports[n].readable = null;
        ports[n].feed.error(new DOMException('The device has been lost.', 'NetworkError')); }, n));
    });
    await context.addInitScript(() => {
      const ports = (window.ports = [0, 1].map((n) => ({
        getInfo: () => ({ usbVendorId: 0x9209, usbProductId: 0x4b56 }),
        async open(options) {
          await window.simulator(n);
          this.options = options;
          this.readable = new ReadableStream({ start: (controller) => { this.feed = controller; } });
          this.writable = new WritableStream({ write: (chunk) => window.simulator(n, [...chunk]) });
        },
        async setSignals(signals) { this.signals = signals; },
        async close() { await window.simulator(n); },
      })));
      // The chooser grants one port more each time.
      const granted = [];
      Object.defineProperty(navigator, 'serial', { value: { getPorts: async () => granted,
        requestPort: async () => granted[granted.push(ports[granted.length]) - 1], addEventListener() {} } });
    });
  });

  // With no port granted, Connect asks for one first: the silent one.
  await page.click('#connect');
  assert.equal(await until(page, 'connectStatus', 'Please'), 'Please connect the USB device');
  assert.equal(await text(page, 'connectDetail'), 'serial port 1: silent');
  await page.click('#addPort');
  await page.click('#connect');
  assert.equal(await until(page, 'connectStatus', connected), connected + '07');
  assert.deepEqual(await page.evaluate(() => ports.map((port) => [port.options, port.signals])),
    Array(2).fill([{ baudRate: 19200, dataBits: 8, parity: 'none', stopBits: 1, flowControl: 'none' },
      { dataTerminalReady: false, requestToSend: false }]));
  assert.match(await text(page, 'logPanel'), /Path: serial port 2, .*, VendorId: 37385, ProductId: 19286\n/);
  assert.deepEqual(written.map((bytes) => bytes.slice(0, 10)), Array(2).fill([0x55, 0, 0, 0, 0, 0, 0, 0, 0, 0]));

  await page.check('#config2');
  assert.equal(await until(page, 'setStatus', 'Config is updated'), 'Config is updated');
  await update(page, '08');
  simulators[1].child.kill();
  await answer(page, 'The device is disconnected', 'OK');
  // The device's removal is logged between the reading's error and the close.
  assert.match(await text(page, 'logPanel'),
    /didEncounterError serial port 2: .*\n.* serialPortWasRemovedFromSystem\n.* serialPortWasClosed\n/);
});
