// Captures examples/upload.body from a real browser: serves a form in
// windows-1251 on localhost, lets headless Chromium fill and submit it
// (Playwright drives it), and writes the raw POST body it receives.
//
//   node capture.mjs FILES_DIR OUTPUT_BODY
//
// Needs Debian's chromium and npm's playwright-core.
import http from 'node:http';
import fs from 'node:fs';
import path from 'node:path';
import { chromium } from 'playwright-core';

const [filesDir, output] = process.argv.slice(2);
const page1251 = Buffer.from(
  '<!doctype html><html><head><meta charset="windows-1251"><title>Upload</title></head><body>' +
  '<form method="post" action="/upload" enctype="multipart/form-data" accept-charset="windows-1251">' +
  '<input name="CustomerName"><input name="City"><textarea name="Comment"></textarea>' +
  '<input type="file" name="Notes"><input type="file" name="Archive"><input type="file" name="Table">' +
  '<button id="send" type="submit">Send</button></form></body></html>', 'latin1');

let resolveBody;
const gotBody = new Promise((r) => (resolveBody = r));
const server = http.createServer((req, res) => {
  if (req.method === 'POST') {
    const chunks = [];
    req.on('data', (c) => chunks.push(c));
    req.on('end', () => {
      resolveBody({ body: Buffer.concat(chunks), type: req.headers['content-type'], ua: req.headers['user-agent'] });
      res.end('ok');
    });
    return;
  }
  res.setHeader('Content-Type', 'text/html; charset=windows-1251');
  res.end(page1251);
});
await new Promise((r) => server.listen(0, '127.0.0.1', r));
const url = `http://127.0.0.1:${server.address().port}/`;

const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
const page = await browser.newPage();
await page.goto(url);
await page.fill('input[name=CustomerName]', 'John Smith / Иван Петров');
await page.fill('input[name=City]', 'Санкт-Петербург');
await page.fill('textarea[name=Comment]', 'Two lines:\nplain Latin and кириллица.');
const read = (f) => fs.readFileSync(path.join(filesDir, f));
// The text file goes with the full Windows path that older browsers sent.
await page.setInputFiles('input[name=Notes]', { name: 'C:\\Documents and Settings\\Ivan\\My Documents\\Notes.TXT', mimeType: 'text/plain', buffer: read('notes.txt') });
await page.setInputFiles('input[name=Archive]', { name: 'Archive.ZIP', mimeType: 'application/zip', buffer: read('archive.zip') });
await page.setInputFiles('input[name=Table]', { name: 'Prices.DBF', mimeType: 'application/octet-stream', buffer: read('prices.dbf') });
await page.click('#send');
const got = await gotBody;
fs.writeFileSync(output, got.body);
console.log(`captured ${got.body.length} bytes from ${got.ua}`);
console.log(`content-type: ${got.type}`);
await browser.close();
server.close();
