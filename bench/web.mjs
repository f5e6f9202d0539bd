// Benchmark, not a test: the web page in Chromium. Prints the size of its WebAssembly, the time
// from asking for the page on localhost to a usable Connect button, and the time of the demo's
// update of examples/demo-firmware.hex from the confirmation to the reboot notice, against the
// same update on the desktop's run loop (bench/flash --demo).
//
//   scripts/web.sh --build-only && node bench/web.mjs [DESKTOP_BUILD]   (default: build)
// The desktop build needs its benchmarks (KORVANE_BENCH, the default); Playwright comes from
// tests/web (npm ci there).
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { chromium } from '../tests/web/node_modules/playwright-core/index.mjs';

const root = new URL('../', import.meta.url).pathname;
const pageFolder = `${root}build-web/page`;
const firmware = `${root}examples/demo-firmware.hex`;
const desktop = path.resolve(process.argv[2] ?? `${root}build`);
const runs = 5;

const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
  '.wasm': 'application/wasm' };
const server = http.createServer((request, response) => {
  const file = path.join(pageFolder, new URL(request.url, 'http://localhost').pathname);
  fs.readFile(file.endsWith('/') ? file + 'index.html' : file, (error, data) => {
    response.writeHead(error ? 404 : 200, { 'content-type': types[path.extname(file)] ?? 'text/html' });
    response.end(data);
  });
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const url = `http://localhost:${server.address().port}/`;
const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--headless',
  '--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
  '--no-first-run'] });

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

const wasm = fs.statSync(`${pageFolder}/korvane.wasm`).size;
console.log(`korvane.wasm: ${(wasm / 1024).toFixed(0)} KiB (target <= 1024 KiB)`);

const loads = [];
for (let run = 0; run < runs; ++run) {
  const context = await browser.newContext();  // nothing cached
  const page = await context.newPage();
  const start = Date.now();
  await page.goto(url + '?demo');
  await page.locator('#connect:enabled').waitFor();
  loads.push((Date.now() - start) / 1000);
  await context.close();
}
console.log(`first load to a usable page: median ${median(loads).toFixed(3)} s, ` +
  `slowest ${Math.max(...loads).toFixed(3)} s (target < 1 s)`);

// Seconds from pressing Update to the reboot notice, timed in the page.
async function pageUpdate() {
  const context = await browser.newContext();
  const page = await context.newPage();
  await page.goto(url + '?demo');
  await page.click('#connect');
  await page.locator('#connectStatus', { hasText: 'Connected' }).waitFor();
  const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.click('#firmware')]);
  await chooser.setFiles(firmware);
  await page.locator('dialog[open] button', { hasText: 'Update' }).waitFor();
  const started = await page.evaluate(() => {
    new MutationObserver(() => {
      if (!window.noticeAt && document.body.textContent.includes('The device is rebooting')) {
        window.noticeAt = performance.now();
      }
    }).observe(document.body, { childList: true, subtree: true });
    document.querySelector('dialog[open] button').click();
    return performance.now();
  });
  await page.waitForFunction(() => window.noticeAt, null, { timeout: 60000, polling: 100 });
  const seconds = (await page.evaluate(() => window.noticeAt) - started) / 1000;
  await context.close();
  return seconds;
}

const desktopUpdate = () => Number(execFileSync(`${desktop}/bench/flash`,
  ['--demo', firmware], { stdio: ['ignore', 'pipe', 'ignore'] }));

const inPage = [];
const onDesktop = [];
for (let run = 0; run < runs; ++run) {
  inPage.push(await pageUpdate());
  onDesktop.push(desktopUpdate());
}
const ratio = median(inPage) / median(onDesktop);
console.log(`demo update of ${path.basename(firmware)}: page ${median(inPage).toFixed(3)} s, ` +
  `desktop ${median(onDesktop).toFixed(3)} s (medians of ${runs}), ratio ${ratio.toFixed(3)} ` +
  '(target <= 1.05)');

await browser.close();
server.close();
