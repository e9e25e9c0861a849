// Loads globe packages in a browser globe, offline, and reports as JSON what
// the globe shows of each: its placemark entities, the billboards shown and
// drawn (image loaded), the legend pictures shown; the console errors; and
// how many requests to anything but this machine were refused.
//
//   node globe_test.mjs FOLDER PACKAGE... [--screenshot PACKAGE OUT.png]
//
// The page, the globe's files and the packages come from a server bound to
// 127.0.0.1; every other request is aborted and counted.
import {createServer} from 'node:http';
import {mkdtempSync, readFileSync, rmSync, existsSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {dirname, extname, join, normalize} from 'node:path';
import {fileURLToPath} from 'node:url';
import {chromium} from 'playwright-core';

const here = dirname(fileURLToPath(import.meta.url));
const args = process.argv.slice(2);
const shotAt = args.indexOf('--screenshot');
const shot = shotAt >= 0 ? args.splice(shotAt, 3).slice(1) : null;
const [folder, ...packages] = args;
const cesium = join(here, 'node_modules/cesium/Build/Cesium');

const types = {'.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
               '.json': 'application/json', '.png': 'image/png', '.jpg': 'image/jpeg',
               '.xml': 'text/xml', '.kmz': 'application/vnd.google-earth.kmz', '.wasm': 'application/wasm'};

function serve(request, response) {
  const path = decodeURIComponent(new URL(request.url, 'http://127.0.0.1').pathname);
  let file = null;
  if (path === '/') file = join(here, 'globe_page.html');
  else if (path.startsWith('/cesium/')) file = join(cesium, normalize(path.slice(8)));
  else if (path.startsWith('/data/')) file = join(folder, normalize(path.slice(6)));
  if (!file || !existsSync(file) || file.includes('..')) {
    response.writeHead(404);
    response.end();
    return;
  }
  response.writeHead(200, {'Content-Type': types[extname(file)] || 'application/octet-stream'});
  response.end(readFileSync(file));
}

const server = createServer(serve);
await new Promise((done) => server.listen(0, '127.0.0.1', done));
const origin = `http://127.0.0.1:${server.address().port}`;
const profile = mkdtempSync(join(tmpdir(), 'globe-profile-'));
const report = {packages: {}, errors: [], refused: 0, refusedUrls: []};
let context;
try {
  context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    viewport: {width: 720, height: 450},
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--use-angle=swiftshader', '--enable-unsafe-swiftshader'],
  });
  await context.route('**/*', (route) => {
    const url = new URL(route.request().url());
    if (url.protocol === 'blob:' || url.protocol === 'data:' || url.hostname === '127.0.0.1') {
      return route.continue();
    }
    report.refused += 1;
    report.refusedUrls.push(url.href);
    return route.abort();
  });
  const page = context.pages()[0] || await context.newPage();
  page.on('console', (message) => {
    if (message.type() === 'error' || /error/i.test(message.text())) report.errors.push(message.text());
  });
  page.on('response', (response) => {
    if (response.status() >= 400) report.errors.push(`${response.status()}: ${response.url()}`);
  });
  page.on('pageerror', (error) => report.errors.push(String(error)));
  page.on('requestfailed', (request) => {
    if (new URL(request.url()).hostname === '127.0.0.1') report.errors.push(`failed: ${request.url()}`);
  });
  const started = Date.now();
  await page.goto(`${origin}/`);
  await page.evaluate(() => window.globeReady);
  report.startSeconds = (Date.now() - started) / 1000;
  const order = shot ? [...packages.filter((p) => p !== shot[0]), shot[0]] : packages;
  for (const name of order) {
    report.packages[name] = await page.evaluate((url) => window.showPackage(url), `/data/${name}`);
  }
  if (shot) await page.screenshot({path: shot[1]});
} finally {
  if (context) await context.close();
  server.close();
  rmSync(profile, {recursive: true, force: true});
}
process.stdout.write(JSON.stringify(report) + '\n');
