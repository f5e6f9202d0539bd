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
const demoFirmware = `${root}examples/demo-firmware.hex`;
// Line 2 has a checksum one too low.
const broken = { name: 'broken.hex', mimeType: 'text/plain',
  buffer: Buffer.from(':020000040000FA\n:0410000001020304E1\n:00000001FF\n') };
const connected = 'Connected. Bootloader: 012A, Device ID: BEEF, Soft: ';
const erase = 'Writing <55 03 C0 01 55 AA 00 10 00 00>';

const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--headless',
  '--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
  '--no-first-run'] });
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
  await dialog.waitFor({ timeout: 15000 });
  assert.equal(await dialog.locator('p').textContent(), message);
  await dialog.getByRole('button', { name: button, exact: true }).click();
}
async function chooseFile(page, file) {
  const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.click('#firmware')]);
  await chooser.setFiles(file);
}
// The update from confirming to the reboot notice; the progress shows the time left meanwhile. The
// restart closes the port, which is told too.
async function update(page, file, version) {
  await chooseFile(page, file);
  await answer(page, `Update firmware from file Software version: ${version}?`, 'Update');
  await until(page, 'firmwareProgressText', /^\d+% - 0:0\d left$/);
  await answer(page, 'The device is rebooting. Click Connect button to reconnect', 'OK');
  await answer(page, 'The device is disconnected', 'OK');
}

test('the demo: settings, units, a refused file, an update, disconnect', async () => {
  const page = await openPage('?demo');
  await page.click('#connect');
  assert.equal(await until(page, 'connectStatus', connected), connected + '07');

  // The user's action, the status once the controller read the setting back (none: nothing is
  // written), and what the control shows then. The speed is kept in mph: 25 mph shows as 40 km/h,
  // 16 km/h is written as 10 mph.
  // prettier-ignore
  const steps = [
    [(p) => p.check('#auto'),               'Auto is updated',        '#auto',    true],
    [(p) => p.check('#config3'),            'Config is updated',      '#config3', true],
    [(p) => p.selectOption('#speed', '25'), 'Speed Limit is updated', '#speed',   '25', 30],
    [(p) => p.check('#kmh'),                null,                     '#speed',   '40', 50],
    [(p) => p.selectOption('#speed', '16'), 'Speed Limit is updated', '#speed',   '16', 50],
    [(p) => p.press('#speed', 'ArrowDown'), null,                     '#speed',   '16', 50],
    [(p) => p.check('#mph'),                null,                     '#speed',   '10', 30],
  ];
  for (const [act, status, id, shown, items] of steps) {
    await act(page);
    if (status) assert.equal(await until(page, 'setStatus', status), status);
    const control = page.locator(id);
    assert.equal(items ? await control.inputValue() : await control.isChecked(), shown);
    if (items) assert.equal(await control.locator('option').count(), items);
  }

  await chooseFile(page, broken);
  assert.equal(await until(page, 'firmwareStatus', 'Invalid'), 'Invalid firmware file');
  assert.equal(await text(page, 'firmwareDetail'), 'line 2: checksum E1, should be E2');
  assert.equal((await text(page, 'logPanel')).includes(erase), false);

  await update(page, demoFirmware, '08');
  assert.equal(await text(page, 'connectStatus'), '');
  assert.equal((await text(page, 'logPanel')).includes(erase), true);
  await page.click('#connect');
  assert.equal(await until(page, 'connectStatus', connected), connected + '08');
  await page.click('#disconnect');
  assert.equal(await text(page, 'connectStatus'), '');
  assert.equal(await page.locator('#connect').isEnabled(), true);
});

test('a browser without Web Serial says so, and offers the demo', async () => {
  const page = await openPage('', (context) =>
    context.addInitScript(() => { delete Navigator.prototype.serial; }));
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
  const written = [[], []];
  const lines = [];
  t.after(() => simulators.forEach(({ child }) => child.kill()));
  const page = await openPage('', async (context) => {
    // The simulator's pseudo-terminal; a hang-up (a reset, a stop) is a lost device.
    await context.exposeFunction('simulatorOpen', (n) => {
      const fd = fs.openSync(simulators[n].path, fs.constants.O_RDWR);
      const line = Object.assign(new tty.ReadStream(fd), { fd });
      lines[n] = line;
      line.on('data', (bytes) => page.evaluate(([n, b]) => feed(n, b), [n, [...bytes]]));
      line.on('end', () => line.closedByPage || page.evaluate((n) => gone(n), n));
    });
    await context.exposeFunction('simulatorWrite', (n, bytes) => {
      written[n].push(...bytes);
      fs.writeSync(lines[n].fd, Buffer.from(bytes));
    });
    await context.exposeFunction('simulatorClose', (n) => {
      lines[n].closedByPage = true;
      lines[n].destroy();
    });
    await context.addInitScript(() => {
      const ports = [0, 1].map((n) => ({
        opened: [],
        getInfo: () => ({ usbVendorId: 0x9209, usbProductId: 0x4b56 }),
        async open(options) {
          await window.simulatorOpen(n);
          this.opened.push(options);
          this.readable = new ReadableStream({ start: (controller) => { this.feed = controller; } });
          this.writable = new WritableStream({ write: (chunk) => window.simulatorWrite(n, [...chunk]) });
        },
        async setSignals(signals) { this.signals = signals; },
        async close() { await window.simulatorClose(n); },
      }));
      window.ports = ports;
      window.feed = (n, bytes) => ports[n].feed.enqueue(new Uint8Array(bytes));
      window.gone = (n) => {
        ports[n].readable = null;
        ports[n].feed.error(new DOMException('The device has been lost.', 'NetworkError'));
      };
      // The chooser grants one port more each time.
      const granted = [];
      Object.defineProperty(navigator, 'serial', { value: { getPorts: async () => granted,
        requestPort: async () => granted[granted.push(ports[granted.length]) - 1],
        addEventListener() {} } });
    });
  });

  // With no port granted, Connect asks for one first: the silent one.
  await page.click('#connect');
  assert.equal(await until(page, 'connectStatus', 'Please'), 'Please connect the USB device');
  assert.equal(await text(page, 'connectDetail'), 'serial port 1: silent');
  await page.click('#addPort');
  await page.click('#connect');
  assert.equal(await until(page, 'connectStatus', connected), connected + '07');
  assert.deepEqual(await page.evaluate(() => ports.map((port) => [port.opened[0], port.signals])),
    Array(2).fill([{ baudRate: 19200, dataBits: 8, parity: 'none', stopBits: 1, flowControl: 'none' },
      { dataTerminalReady: false, requestToSend: false }]));
  assert.match(await text(page, 'logPanel'), /Path: serial port 2, .*, VendorId: 37385, ProductId: 19286\n/);
  const identify = [0x55, 0, 0, 0, 0, 0, 0, 0, 0, 0];
  assert.deepEqual(written.map((bytes) => bytes.slice(0, 10)), [identify, identify]);

  await page.check('#config2');
  assert.equal(await until(page, 'setStatus', 'Config is updated'), 'Config is updated');
  await update(page, demoFirmware, '08');
  await page.click('#connect');
  assert.equal(await until(page, 'connectStatus', connected), connected + '08');
  simulators[1].child.kill();
  await answer(page, 'The device is disconnected', 'OK');
  assert.equal(await text(page, 'connectStatus'), '');
});
